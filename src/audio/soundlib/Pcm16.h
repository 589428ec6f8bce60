#pragma once
// The one conversion from float samples (full scale ±1.0) to 16-bit PCM: scale by 32768, round to
// nearest, saturate. Sources with more than 16 bits get TPDF dither first, so detail below one step
// (a quiet tail, a fade) stays a signal instead of becoming a square wave or silence.
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace brindle::soundlib {

// Value already in steps of 16 bits: nearest step (ties to even, so halves carry no bias), saturated.
inline std::int16_t NearestPcm16(double Steps) {
    const double v = std::nearbyint(Steps);
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<std::int16_t>(v);
}

inline std::int16_t RoundToPcm16(float Sample) {
    return NearestPcm16(static_cast<double>(Sample) * 32768.0);
}

class Pcm16Quantizer {
  public:
    explicit Pcm16Quantizer(bool Dither = false, std::uint64_t Seed = 0) : Dither(Dither) { Reseed(Seed); }

    bool Dithers() const { return Dither; }
    // The dither sequence depends only on the seed, so the same data decoded twice is identical.
    void Reseed(std::uint64_t Seed) {
        State = Seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
        if (State == 0) State = 1; // xorshift never leaves 0
    }

    void Convert(const float* In, std::size_t Count, std::int16_t* Out) {
        if (!Dither) {
            for (std::size_t i = 0; i < Count; ++i)
                Out[i] = RoundToPcm16(In[i]);
            return;
        }
        for (std::size_t i = 0; i < Count; ++i) {
            // Two uniform values in [0, 1) make a triangular one in (-1, 1) steps.
            const double tpdf = Uniform() - Uniform();
            Out[i] = NearestPcm16(static_cast<double>(In[i]) * 32768.0 + tpdf);
        }
    }

  private:
    double Uniform() {
        // xorshift64*: cheap, and good enough for noise one step wide.
        State ^= State >> 12;
        State ^= State << 25;
        State ^= State >> 27;
        return static_cast<double>((State * 0x2545F4914F6CDD1Dull) >> 11) * (1.0 / 9007199254740992.0);
    }

    bool Dither;
    std::uint64_t State = 0;
};

} // namespace brindle::soundlib
