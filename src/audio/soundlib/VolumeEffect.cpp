#include "audio/soundlib/VolumeEffect.h"

#include "audio/mixer/MixKernels.h"

namespace brindle::soundlib {

void VolumeEffect::Apply(std::int16_t* Buf, int Samples) const {
    if (Volume != 1.0f) GainShorts(Buf, Buf, Samples, Volume);
}

} // namespace brindle::soundlib
