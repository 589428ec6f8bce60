#pragma once
// Converts interleaved float audio between rates and channel counts (libswresample).
// Mono to stereo copies the channel to both sides at full level; stereo to mono averages.
//
// High quality (the default) uses the SoX engine with a steep filter: images and aliases stay more
// than 120 dB down and the passband is flat within 0.01 dB to 0.95 of the lower Nyquist frequency
// (20.9 kHz at 44.1 kHz). Instruments are converted once, when they are loaded, so its cost is paid
// once. Either way output frame 0 is input time 0: the filter's delay is taken out, so notes keep
// their onsets.
#include <vector>

struct SwrContext;

namespace brindle::soundlib {

struct SwrLibrary;

enum class ResampleQuality {
    High,
    // libswresample's own engine with a long filter: what High falls back to where libswresample
    // was built without the SoX engine. As clean, and slower.
    LongFilter,
    // libswresample's own defaults (a 32-tap filter); kept as the measure of what High costs.
    LibraryDefault,
};

class Resampler {
  public:
    // Throws brindle::Error when the conversion cannot be set up.
    Resampler(int InRate, int InChannels, int OutRate, int OutChannels,
              ResampleQuality Quality = ResampleQuality::High);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // True when input and output formats match and Convert only copies.
    bool IsPassthrough() const { return Swr == nullptr; }
    // The most frames Convert(In, InFrames) (or Finish, for 0) can append.
    int OutFramesFor(int InFrames);
    // Appends the converted frames of In to Out.
    void Convert(const float* In, int Frames, std::vector<float>& Out);
    // Appends what the filter still holds at the end of the input.
    void Finish(std::vector<float>& Out);

  private:
    const SwrLibrary* Lib = nullptr;
    SwrContext* Swr = nullptr;
    int InChannels;
    int OutChannels;
};

} // namespace brindle::soundlib
