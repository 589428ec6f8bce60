#pragma once
// One decoding back end: delivers interleaved frames at the file's own rate and channel count, as
// 16-bit integers or as floats at the source's full resolution.
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
    // Meant for sources of 16 bits or fewer (deeper ones are read as floats and rounded once).
    virtual int ReadFrames(std::int16_t* Out, int Frames) = 0;
    // Reads up to Frames frames as floats, full scale ±1.0 (a 16-bit value v reads as v / 32768).
    virtual int ReadFloatFrames(float* Out, int Frames) = 0;
    // True when samples carry more than 16 bits (24/32-bit, float, lossy codecs).
    virtual bool HasDeepSamples() const = 0;
    // Moves so that the next frame read is Frame. Returns false when the back end cannot seek there.
    virtual bool SeekFrame(std::int64_t Frame) = 0;
    virtual const char* Name() const = 0;
};

// Each returns null when the file is not one its library decodes.
std::unique_ptr<Decoder> OpenSndfileDecoder(const std::string& Path);
std::unique_ptr<Decoder> OpenFfmpegDecoder(const std::string& Path);

} // namespace brindle::soundlib
