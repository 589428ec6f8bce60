#pragma once
// A fresh folder under the system temp folder, removed with everything in it.
#include <filesystem>
#include <string>

namespace brindle::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return Path; }
    std::filesystem::path operator/(const std::string& name) const { return Path / name; }

private:
    std::filesystem::path Path;
};

// The whole content of a file, as bytes; empty when it cannot be read.
std::string ReadAll(const std::filesystem::path& Path);

} // namespace brindle::test
