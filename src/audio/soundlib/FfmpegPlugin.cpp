// FFmpeg's codec libraries cost every program about 50 ms of dynamic linking at start, yet they
// are needed only for files libsndfile refuses (WMA, AAC, ...). So the FFmpeg decoder lives in a
// plugin loaded on first use.
#include "audio/soundlib/Decoder.h"
#include "base/SharedLibrary.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace brindle::soundlib {

namespace {

using OpenFn = Decoder* (*)(const char*);

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

OpenFn loadPlugin() {
    for (const auto& folder : pluginFolders()) {
        const auto path = folder / "libbrindle_ffmpeg.so";
        if (void* handle = OpenSharedLibrary(path.c_str())) {
            OpenFn open = nullptr;
            if (ResolveFunction(handle, "BrindleOpenFfmpegDecoder", open)) return open;
            dlclose(handle);
        }
    }
    return nullptr;
}

} // namespace

std::unique_ptr<Decoder> OpenFfmpegDecoder(const std::string& Path) {
    static std::once_flag once;
    static OpenFn open = nullptr;
    std::call_once(once, [] { open = loadPlugin(); });
    if (!open) return nullptr;
    return std::unique_ptr<Decoder>(open(Path.c_str()));
}

} // namespace brindle::soundlib
