#pragma once
// The one conversion from float samples (full scale ±1.0) to 16-bit PCM: scale by 32768, round to
// nearest, saturate. Sources with more than 16 bits get TPDF dither first, so detail below one step
// (a quiet tail, a fade) stays a signal instead of becoming a square wave or silence.
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace brindle::soundlib {

// Value already in steps of 16 bits: nearest step (ties to even, so halves carry no bias), saturated.
// A NaN (a damaged float file) is silence: converting it to an integer is undefined.
inline std::int16_t NearestPcm16(double Steps) {
    if (std::isnan(Steps)) return 0;
    const double v = std::nearbyint(Steps);
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<std::int16_t>(v);
}

inline std::int16_t RoundToPcm16(float Sample) {
    return NearestPcm16(static_cast<double>(Sample) * 32768.0);
}

// Triangular noise in (-1, 1) steps for the sample at Index, a hash of the index: the same
// position of a file gets the same dither however it is reached (read through, seeked, reloaded).
inline double TpdfDither(std::uint64_t Index) {
    std::uint64_t z = Index + 0x9E3779B97F4A7C15ull; // splitmix64
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    constexpr double unit = 1.0 / 16777216.0; // two uniform values of 24 bits each
    return static_cast<double>(z >> 40) * unit - static_cast<double>(z & 0xFFFFFF) * unit;
}

// Count interleaved samples to 16 bits; FirstIndex is the position of In[0] in the whole sound,
// in samples, which picks the dither.
inline void ToPcm16(const float* In, std::size_t Count, std::int16_t* Out, bool Dither,
                    std::uint64_t FirstIndex) {
    if (!Dither) {
        for (std::size_t i = 0; i < Count; ++i)
            Out[i] = RoundToPcm16(In[i]);
        return;
    }
    for (std::size_t i = 0; i < Count; ++i)
        Out[i] = NearestPcm16(static_cast<double>(In[i]) * 32768.0 + TpdfDither(FirstIndex + i));
}

} // namespace brindle::soundlib
