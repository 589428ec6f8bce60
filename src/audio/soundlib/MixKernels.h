#pragma once
// The sample loops of the engine, kept in one place so the compiler can vectorise them.
#include <cstdint>

namespace brindle::soundlib {

// Dest[i] = clamp(Dest[i] + Src[i], -32767, +32767).
void AddShorts(std::int16_t* Dest, const std::int16_t* Src, int Count);
// Dest[i] = clamp(Src[i] * Gain); a gain of exactly 1 copies bit for bit.
void GainShorts(std::int16_t* Dest, const std::int16_t* Src, int Count, float Gain);
// Multiplies Buf[i] by a gain falling linearly from Start by Step per frame (Channels samples each).
void RampShorts(std::int16_t* Buf, int Frames, int Channels, float Start, float Step);
void ShortsToFloats(float* Dest, const std::int16_t* Src, int Count);
// Rounds and saturates to the 16-bit range.
void FloatsToShorts(std::int16_t* Dest, const float* Src, int Count);

} // namespace brindle::soundlib
