#pragma once
// Checks of programming invariants. A failure names the expression, file and line and ends the
// process; input from users or files must never reach one (that raises brindle::Error instead).
#include <string>

namespace brindle {
[[noreturn]] void AssertFailed(const char* expression, const char* file, int line);
// The trace-line convention: expression "(" file "):" line ":" value.
std::string TraceLine(const std::string& expression, const std::string& file, int line,
                      const std::string& value);
} // namespace brindle

#define BRINDLE_ASSERT(cond)                                                                                 \
    do {                                                                                                     \
        if (!(cond)) ::brindle::AssertFailed(#cond, __FILE__, __LINE__);                                     \
    } while (0)
