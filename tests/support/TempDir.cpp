#include "support/TempDir.h"

#include <random>

namespace brindle::test {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        Path = base / ("brindle-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(Path)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
}

} // namespace brindle::test
