#include "support/TempDir.h"

#include <fstream>
#include <iterator>

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

namespace brindle::test {

std::string ReadAll(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace brindle::test
