#pragma once
// The last conversion of an export to 16 bits with triangular (TPDF) dither: two uniform values
// of one step each are added before rounding, which makes the rounding error independent of the
// signal (its mean and power no longer depend on the level), so quiet fades and tails turn into
// a steady hiss instead of distortion. The noise is the one deep sources are decoded with, a
// function of the sample's position, so renders repeat.
#include <cstdint>

namespace brindle::dsp {

class TTpdfDither {
  public:
    // Src at full scale 1.0, any level; Dest saturated to -32768..32767. A NaN becomes silence.
    void Quantize(std::int16_t* Dest, const float* Src, int Count);

  private:
    std::uint64_t Next = 0; // samples quantized so far
};

} // namespace brindle::dsp
