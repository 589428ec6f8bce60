#pragma once
// A playing output stream that pulls 16-bit interleaved PCM from a render function: either a
// sound card (PortAudio) or the null device, which keeps real-time pace without one.
#include "audio/soundlib/OutputStats.h"

#include <functional>
#include <memory>
#include <string>

namespace brindle::soundlib {

// Fills up to `bytes` bytes and returns how many it wrote; the backend silences the rest.
// Runs on the audio thread.
using RenderFunction = std::function<int(void* buffer, int bytes)>;

struct OutputRequest {
    int SampleRate = 44100;
    int Channels = 2;
    // 0 is the default output device, i >= 1 the i-th output device of the device list.
    int Device = 0;
};

// Library-wide buffering, set by the audio application and read when a stream opens.
struct OutputConfig {
    int BufferLenMs = 40;
    int UpdatePeriodMs = 6;
};
void SetOutputConfig(const OutputConfig& config);
OutputConfig GetOutputConfig();

// True when BRINDLE_AUDIO=null asks for the null device.
bool NullAudioRequested();

class OutputBackend {
public:
    virtual ~OutputBackend() = default;
    OutputBackend(const OutputBackend&) = delete;
    OutputBackend& operator=(const OutputBackend&) = delete;

    virtual void Start() = 0;
    // Stops pulling; when it returns, the render function is no longer running.
    virtual void Stop() = 0;
    virtual bool IsNull() const = 0;
    // The device went away while playing (polled from the user-interface thread).
    virtual bool Lost() const { return false; }

    OutputStats& Stats() { return Statistics; }
    const OutputRequest& Request() const { return Format; }

protected:
    OutputBackend(const OutputRequest& request, RenderFunction render)
        : Format(request), Render(std::move(render)) {}
    // Renders one block into `buffer`, silencing what the render function left unwritten.
    int RenderBlock(void* buffer, int bytes);
    int BytesPerFrame() const { return Format.Channels * 2; }
    std::int64_t BlockNs(int bytes) const;

    OutputRequest Format;
    RenderFunction Render;
    OutputStats Statistics;
};

struct OpenedOutput {
    std::unique_ptr<OutputBackend> Backend;
    // Why the sound card could not be used; empty when it opened or the null device was asked for.
    std::string Error;
};

// Opens the requested sound card, or the null device when that fails or BRINDLE_AUDIO=null.
// Never throws for a device problem: the reason is returned with the null device.
OpenedOutput OpenOutput(const OutputRequest& request, RenderFunction render);
// Something that opens outputs the way OpenOutput does; tests hand in one of their own.
using OutputOpener = std::function<OpenedOutput(const OutputRequest&, RenderFunction)>;

} // namespace brindle::soundlib
