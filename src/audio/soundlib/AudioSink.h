#pragma once
// Where the encoder puts its 16-bit interleaved PCM: a WAV file, a raw PCM file or the lame
// program. Finish completes the output and moves it to its target; destroying an unfinished sink
// abandons the output and leaves no file at the target.
#include <cstddef>
#include <cstdint>

namespace brindle {

class TAudioSink {
public:
    virtual ~TAudioSink() = default;
    // Count is a whole number of frames' worth of samples. Throws brindle::Error on failure.
    virtual void Write(const std::int16_t* Samples, std::size_t Count) = 0;
    virtual void Finish() = 0;
};

} // namespace brindle
