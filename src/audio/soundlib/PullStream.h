#pragma once
// A decode-only pull stream: whoever reads it gets blocks that its callback fills on demand.
#include <cstdint>

namespace brindle::soundlib {

struct PullStream {
    // Fills up to Frames interleaved frames into Buf; returns frames written, 0 when the source ended.
    using Callback = int (*)(void* User, std::int16_t* Buf, int Frames);

    Callback Fill = nullptr;
    void* User = nullptr;
    int SampleRate = 44100;
    int Channels = 2;

    int Read(std::int16_t* Buf, int Frames) const { return Fill ? Fill(User, Buf, Frames) : 0; }
};

} // namespace brindle::soundlib
