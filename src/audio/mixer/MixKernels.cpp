#include "audio/mixer/MixKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace brindle::soundlib {

namespace {
// Written as plain selects so the compiler turns them into vector min/max.
inline float ClampF(float V, float Lo, float Hi) {
    V = V < Lo ? Lo : V;
    return V > Hi ? Hi : V;
}
// Nearest integer, halves away from zero, without a library call so loops vectorise. Callers
// keep |V| below 2^30.
inline float RoundF(float V) {
    return static_cast<float>(static_cast<int>(V + std::copysign(0.5f, V)));
}
inline int ClampI(int V, int Lo, int Hi) {
    V = V < Lo ? Lo : V;
    return V > Hi ? Hi : V;
}
} // namespace

void AddShorts(std::int16_t* __restrict Dest, const std::int16_t* __restrict Src, int Count) {
    for (int i = 0; i < Count; ++i)
        Dest[i] = static_cast<std::int16_t>(ClampI(Dest[i] + Src[i], -32767, 32767));
}

void GainShorts(std::int16_t* Dest, const std::int16_t* Src, int Count, float Gain) {
    if (Gain == 1.0f) {
        if (Dest != Src) std::memmove(Dest, Src, static_cast<size_t>(Count) * sizeof(std::int16_t));
        return;
    }
    for (int i = 0; i < Count; ++i)
        Dest[i] =
            static_cast<std::int16_t>(RoundF(ClampF(static_cast<float>(Src[i]) * Gain, -32768.0f, 32767.0f)));
}

void AccumulateShorts(float* __restrict Acc, const std::int16_t* __restrict Src, int Count, float Gain) {
    if (Gain == 1.0f) {
        for (int i = 0; i < Count; ++i)
            Acc[i] += static_cast<float>(Src[i]);
        return;
    }
    for (int i = 0; i < Count; ++i)
        Acc[i] += static_cast<float>(Src[i]) * Gain;
}

void AccumulateFloats(float* __restrict Acc, const float* __restrict Src, int Count, float Gain) {
    for (int i = 0; i < Count; ++i)
        Acc[i] += Src[i] * Gain;
}

void BusToShorts(std::int16_t* __restrict Out, const float* __restrict Acc, int Count) {
    for (int i = 0; i < Count; ++i)
        Out[i] = static_cast<std::int16_t>(RoundF(ClampF(Acc[i], -32767.0f, 32767.0f)));
}

void BusToFloats(float* __restrict Out, const float* __restrict Acc, int Count) {
    // Rounded exactly as BusToShorts rounds, so sound that never clips is the same on both paths.
    constexpr float Scale = 1.0f / 32768.0f, Far = 1073741824.0f;
    for (int i = 0; i < Count; ++i)
        Out[i] = RoundF(ClampF(Acc[i], -Far, Far)) * Scale;
}

void RampFloats(float* Buf, int Frames, int Channels, float Start, float Step) {
    for (int f = 0; f < Frames; ++f) {
        const float g = ClampF(Start - Step * static_cast<float>(f), 0.0f, 1.0f);
        for (int c = 0; c < Channels; ++c)
            Buf[f * Channels + c] *= g;
    }
}

void ShortsToFloats(float* __restrict Dest, const std::int16_t* __restrict Src, int Count) {
    for (int i = 0; i < Count; ++i)
        Dest[i] = static_cast<float>(Src[i]);
}

void FloatsToShorts(std::int16_t* __restrict Dest, const float* __restrict Src, int Count) {
    // Round half away from zero without a library call, so the loop vectorises.
    for (int i = 0; i < Count; ++i) {
        const float v = Src[i] + std::copysign(0.5f, Src[i]);
        Dest[i] = static_cast<std::int16_t>(static_cast<int>(ClampF(v, -32768.0f, 32767.0f)));
    }
}

} // namespace brindle::soundlib
