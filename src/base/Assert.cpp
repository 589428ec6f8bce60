#include "base/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace brindle {

void AssertFailed(const char* expression, const char* file, int line) {
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, file, line);
    std::fflush(stderr);
    std::abort();
}

std::string TraceLine(const std::string& expression, const std::string& file, int line,
                      const std::string& value) {
    return expression + "(" + file + "):" + std::to_string(line) + ":" + value;
}

} // namespace brindle
