#include "audio/soundlib/dsp/TpdfDither.h"

#include <algorithm>
#include <cmath>

namespace brindle::dsp {

float TTpdfDither::Uniform() {
    // xorshift32: plenty for dither, and no allocation or locking.
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return static_cast<float>(State >> 8) * (1.0f / 16777216.0f) - 0.5f;
}

void TTpdfDither::Quantize(std::int16_t* Dest, const float* Src, int Count) {
    for (int i = 0; i < Count; ++i) {
        float Scaled = Src[i] * 32768.0f;
        if (Scaled != Scaled) Scaled = 0.0f;
        const float Noise = Uniform() + Uniform();
        const float Dithered = std::clamp(Scaled + Noise, -32768.0f, 32767.0f);
        Dest[i] = static_cast<std::int16_t>(std::lrint(Dithered));
    }
}

} // namespace brindle::dsp
