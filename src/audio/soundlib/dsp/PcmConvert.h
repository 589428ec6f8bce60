#pragma once
// 16-bit PCM to and from the effects' float format (full scale = 1.0).
#include <cstdint>

namespace brindle::dsp {

void PcmToFloats(float* Dest, const std::int16_t* Src, int Count);
// Rounds to nearest and saturates to the 16-bit range; a NaN becomes silence, not noise.
void FloatsToPcm(std::int16_t* Dest, const float* Src, int Count);
// Rounds in place to the nearest 16-bit step exactly as FloatsToPcm does, without saturating.
void RoundToPcmSteps(float* Samples, int Count);

} // namespace brindle::dsp
