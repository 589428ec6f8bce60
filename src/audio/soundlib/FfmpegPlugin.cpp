// FFmpeg's codec libraries cost every program about 50 ms of dynamic linking at start, yet they
// are needed only for files libsndfile refuses (WMA, AAC, ...). So the FFmpeg decoder lives in a
// plugin loaded on first use.
#include "audio/soundlib/Decoder.h"
#include "base/SharedLibrary.h"

namespace brindle::soundlib {

namespace {

using OpenFn = Decoder* (*)(const char*);

OpenFn loadPlugin() {
    OpenFn open = nullptr;
    ResolvePluginFunction("libbrindle_ffmpeg.so", "BrindleOpenFfmpegDecoder", open);
    return open;
}

} // namespace

std::unique_ptr<Decoder> OpenFfmpegDecoder(const std::string& Path) {
    static const OpenFn open = loadPlugin();
    if (!open) return nullptr;
    return std::unique_ptr<Decoder>(open(Path.c_str()));
}

} // namespace brindle::soundlib
