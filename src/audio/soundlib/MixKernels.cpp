#include "audio/soundlib/MixKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace brindle::soundlib {

void AddShorts(std::int16_t* __restrict Dest, const std::int16_t* __restrict Src, int Count) {
    for (int i = 0; i < Count; ++i) {
        const int sum = Dest[i] + Src[i];
        Dest[i] = static_cast<std::int16_t>(std::clamp(sum, -32767, 32767));
    }
}

void GainShorts(std::int16_t* Dest, const std::int16_t* Src, int Count, float Gain) {
    if (Gain == 1.0f) {
        if (Dest != Src) std::memmove(Dest, Src, static_cast<size_t>(Count) * sizeof(std::int16_t));
        return;
    }
    for (int i = 0; i < Count; ++i) {
        const float v = static_cast<float>(Src[i]) * Gain;
        Dest[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0f, 32767.0f));
    }
}

void RampShorts(std::int16_t* Buf, int Frames, int Channels, float Start, float Step) {
    for (int f = 0; f < Frames; ++f) {
        const float g = std::max(Start - Step * static_cast<float>(f), 0.0f);
        for (int c = 0; c < Channels; ++c) {
            std::int16_t& s = Buf[f * Channels + c];
            s = static_cast<std::int16_t>(static_cast<float>(s) * g);
        }
    }
}

void ShortsToFloats(float* __restrict Dest, const std::int16_t* __restrict Src, int Count) {
    for (int i = 0; i < Count; ++i) Dest[i] = static_cast<float>(Src[i]);
}

void FloatsToShorts(std::int16_t* __restrict Dest, const float* __restrict Src, int Count) {
    for (int i = 0; i < Count; ++i) {
        const float v = std::clamp(Src[i], -32768.0f, 32767.0f);
        Dest[i] = static_cast<std::int16_t>(std::lrintf(v));
    }
}

} // namespace brindle::soundlib
