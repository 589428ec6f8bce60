#pragma once
// Converts 16-bit interleaved PCM between rates and channel counts (libswresample).
// Mono to stereo copies the channel to both sides at full level; stereo to mono averages.
#include <cstdint>
#include <vector>

struct SwrContext;

namespace brindle::soundlib {

class Resampler {
  public:
    // Throws brindle::Error when the conversion cannot be set up.
    Resampler(int InRate, int InChannels, int OutRate, int OutChannels);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // True when input and output formats match and Convert only copies.
    bool IsPassthrough() const { return Swr == nullptr; }
    // The most frames Convert(In, InFrames) (or Finish, for 0) can append.
    int OutFramesFor(int InFrames);
    // Appends the converted frames of In to Out.
    void Convert(const std::int16_t* In, int Frames, std::vector<std::int16_t>& Out);
    // Appends what the filter still holds at the end of the input.
    void Finish(std::vector<std::int16_t>& Out);

  private:
    SwrContext* Swr = nullptr;
    int InChannels;
    int OutChannels;
};

} // namespace brindle::soundlib
