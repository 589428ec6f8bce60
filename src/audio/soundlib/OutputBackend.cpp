#include "audio/soundlib/OutputBackend.h"

#include "audio/soundlib/NullDevice.h"
#include "audio/soundlib/PortAudioOutput.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace brindle::soundlib {

namespace {
std::mutex configLock;
OutputConfig config;
} // namespace

void SetOutputConfig(const OutputConfig& value) {
    std::lock_guard lock(configLock);
    config = value;
}

OutputConfig GetOutputConfig() {
    std::lock_guard lock(configLock);
    return config;
}

bool NullAudioRequested() {
    const char* value = std::getenv("BRINDLE_AUDIO");
    return value && std::strcmp(value, "null") == 0;
}

int OutputBackend::RenderBlock(void* buffer, int bytes) {
    int written = 0;
    try {
        written = Render ? Render(buffer, bytes) : 0;
    } catch (...) {
        // Nothing may escape the audio thread; the block is played as silence.
        written = 0;
    }
    if (written < 0) written = 0;
    if (written < bytes) std::memset(static_cast<char*>(buffer) + written, 0, static_cast<size_t>(bytes - written));
    return written;
}

std::int64_t OutputBackend::BlockNs(int bytes) const {
    const std::int64_t frames = bytes / BytesPerFrame();
    return Format.SampleRate > 0 ? frames * 1'000'000'000LL / Format.SampleRate : 0;
}

OpenedOutput OpenOutput(const OutputRequest& request, RenderFunction render) {
    OpenedOutput result;
    const OutputConfig cfg = GetOutputConfig();
    if (!NullAudioRequested()) {
        try {
            result.Backend = std::make_unique<PortAudioOutput>(request, cfg, render);
            return result;
        } catch (const std::exception& e) {
            result.Error = e.what();
        }
    }
    result.Backend = std::make_unique<NullDevice>(request, cfg.BufferLenMs, std::move(render));
    return result;
}

} // namespace brindle::soundlib
