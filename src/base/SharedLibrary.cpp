#include "base/SharedLibrary.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace brindle {

namespace {

std::vector<std::filesystem::path> pluginFolders() {
    std::vector<std::filesystem::path> folders;
    if (const char* dir = std::getenv("BRINDLE_PLUGIN_DIR")) folders.emplace_back(dir);
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        folders.push_back(exe.parent_path());
        folders.push_back(exe.parent_path().parent_path() / "lib" / "brindle");
    }
    return folders;
}

} // namespace

void* PluginFunction(const char* FileName, const char* Name) {
    for (const auto& folder : pluginFolders()) {
        const auto path = folder / FileName;
        if (void* handle = OpenSharedLibrary(path.c_str())) {
            if (void* function = dlsym(handle, Name)) return function;
            dlclose(handle);
        }
    }
    return nullptr;
}

} // namespace brindle
