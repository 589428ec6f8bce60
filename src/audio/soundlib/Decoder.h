#pragma once
// One decoding back end: delivers 16-bit interleaved frames at the file's own rate and channel count.
#include <cstdint>
#include <memory>
#include <string>

namespace brindle::soundlib {

class Decoder {
  public:
    virtual ~Decoder() = default;
    virtual int SampleRate() const = 0;
    virtual int Channels() const = 0;
    // Total frames; an estimate for containers that do not store it exactly, 0 when unknown.
    virtual std::int64_t LengthFrames() const = 0;
    // Reads up to Frames frames; Out may be null to decode and discard. Returns frames read, 0 at the end.
    virtual int ReadFrames(std::int16_t* Out, int Frames) = 0;
    // Moves so that the next frame read is Frame. Returns false when the back end cannot seek there.
    virtual bool SeekFrame(std::int64_t Frame) = 0;
    virtual const char* Name() const = 0;
};

// Each returns null when the file is not one its library decodes.
std::unique_ptr<Decoder> OpenSndfileDecoder(const std::string& Path);
std::unique_ptr<Decoder> OpenFfmpegDecoder(const std::string& Path);

} // namespace brindle::soundlib
