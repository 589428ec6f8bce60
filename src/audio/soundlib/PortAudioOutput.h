#pragma once
// A sound-card output stream on PortAudio whose callback pulls blocks from the render function.
#include "audio/soundlib/OutputBackend.h"
#include "audio/soundlib/PortAudioLibrary.h"

#include <atomic>

namespace brindle::soundlib {

class PortAudioOutput : public OutputBackend {
public:
    // Opens the stream; a device that is missing or refuses the format or buffer throws
    // brindle::Error with the reason.
    PortAudioOutput(const OutputRequest& request, const OutputConfig& config, RenderFunction render);
    ~PortAudioOutput() override;

    void Start() override;
    void Stop() override;
    bool IsNull() const override { return false; }
    bool Lost() const override;

    // Called by PortAudio's callback and finished hook (audio thread).
    void Pull(void* output, unsigned long frames);
    void EndedOnItsOwn();

private:

    PortAudioLibrary Library;
    void* Stream = nullptr;
    std::atomic<bool> Playing{false};
    std::atomic<bool> EndedByItself{false};
};

} // namespace brindle::soundlib
