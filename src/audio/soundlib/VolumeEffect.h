#pragma once
// Linear gain on 16-bit blocks, saturating; unity gain leaves the data untouched.
#include <cstdint>

namespace brindle::soundlib {

class VolumeEffect {
  public:
    void SetVolume(float Value) { Volume = Value; }
    float GetVolume() const { return Volume; }
    void Apply(std::int16_t* Buf, int Samples) const;

  private:
    float Volume = 1.0f;
};

} // namespace brindle::soundlib
