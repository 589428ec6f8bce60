#pragma once
// The sample loops of the engine, kept in one place so the compiler can vectorise them.
#include <cstdint>

namespace brindle::soundlib {

// Dest[i] = clamp(Dest[i] + Src[i], -32767, +32767).
void AddShorts(std::int16_t* Dest, const std::int16_t* Src, int Count);
// Dest[i] = clamp(Src[i] * Gain), rounded to nearest; a gain of exactly 1 copies bit for bit.
void GainShorts(std::int16_t* Dest, const std::int16_t* Src, int Count, float Gain);
// Mixing bus: voices are summed in float (exact for integer samples) and saturated once.
// Acc[i] += Src[i] * Gain.
void AccumulateShorts(float* Acc, const std::int16_t* Src, int Count, float Gain);
void AccumulateFloats(float* Acc, const float* Src, int Count, float Gain);
// Out[i] = clamp(Acc[i], -32767, +32767), rounded to nearest (unity sums are whole and stay
// bit-exact; scaled ones carry no bias).
void BusToShorts(std::int16_t* Out, const float* Acc, int Count);
// The same rounding without the saturation, at full scale 1.0: Out[i] = round(Acc[i]) / 32768.
void BusToFloats(float* Out, const float* Acc, int Count);
// Multiplies a float block by a gain falling linearly from Start by Step per frame, never below 0.
void RampFloats(float* Buf, int Frames, int Channels, float Start, float Step);
void ShortsToFloats(float* Dest, const std::int16_t* Src, int Count);
// Rounds and saturates to the 16-bit range.
void FloatsToShorts(std::int16_t* Dest, const float* Src, int Count);

} // namespace brindle::soundlib
