#include "base/AppInfo.h"

#include <filesystem>
#include <mutex>

namespace brindle {
namespace {
std::mutex& infoLock() {
    static std::mutex m;
    return m;
}
std::vector<std::string>& args() {
    static std::vector<std::string> a;
    return a;
}
std::string& title() {
    static std::string t;
    return t;
}
} // namespace

void SetCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> v;
    for (int i = 0; i < argc; ++i) v.emplace_back(argv[i]);
    SetCommandLine(std::move(v));
}

void SetCommandLine(std::vector<std::string> a) {
    std::lock_guard g(infoLock());
    args() = std::move(a);
}

const std::vector<std::string>& CommandLine() { return args(); }

void SetApplicationTitle(const std::string& t) {
    std::lock_guard g(infoLock());
    title() = t;
}

std::string ApplicationTitle() {
    std::lock_guard g(infoLock());
    if (!title().empty()) return title();
    if (args().empty()) return "brindle";
    return std::filesystem::path(args().front()).stem().string();
}

} // namespace brindle
