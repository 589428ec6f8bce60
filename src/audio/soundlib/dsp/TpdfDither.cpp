#include "audio/soundlib/dsp/TpdfDither.h"

#include "audio/soundlib/Pcm16.h"

#include <cstddef>

namespace brindle::dsp {

void TTpdfDither::Quantize(std::int16_t* Dest, const float* Src, int Count) {
    if (Count <= 0) return;
    soundlib::ToPcm16(Src, static_cast<std::size_t>(Count), Dest, true, Next);
    Next += static_cast<std::uint64_t>(Count);
}

} // namespace brindle::dsp
