#pragma once
// Where the encoder puts its interleaved sound: a WAV, FLAC, Ogg or Opus file (libsndfile), a raw
// PCM file or the lame program. Finish completes the output and moves it to its target;
// destroying an unfinished sink abandons the output and leaves no file at the target.
#include <cstddef>
#include <cstdint>

namespace brindle {

class TAudioSink {
public:
    virtual ~TAudioSink() = default;
    // Count is a whole number of frames' worth of samples. Throws brindle::Error on failure.
    virtual void Write(const std::int16_t* Samples, std::size_t Count) = 0;
    // True when the output is finer than 16 bits (or lossy and happier with floats): the sound
    // then goes in through WriteFloats, full scale 1.0, unrounded.
    virtual bool TakesFloats() const { return false; }
    virtual void WriteFloats(const float* Samples, std::size_t Count);
    virtual void Finish() = 0;
};

} // namespace brindle
