#pragma once
// Streaming decoder for any supported audio file: libsndfile first, FFmpeg as the fallback.
// Output is 16-bit signed interleaved PCM at the file's own rate and channel count; positions and
// lengths are in bytes of that output, always whole frames. Sources deeper than 16 bits are rounded
// to it once, with dither; ReadFloat gives their full resolution.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brindle::soundlib {

class Decoder;

// Sample rates a file may claim; anything else is a damaged header (a file claiming 1 Hz would
// become gigabytes at the mixer's rate).
inline constexpr int MinFileRate = 1000;
inline constexpr int MaxFileRate = 768000;
// The longest sound decoded whole: 30 minutes (about 318 MB at 44.1 kHz stereo).
inline constexpr double MaxDecodeSeconds = 30 * 60;

class SoundFile {
  public:
    SoundFile();
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    // Opens Path, closing any file already open. Throws brindle::Error naming the file when it is
    // missing, no decoder accepts it or it claims a sample rate outside MinFileRate..MaxFileRate;
    // the object is then left closed.
    void Open(const std::string& Path);
    void Close();
    bool IsOpen() const { return Impl != nullptr; }
    const std::string& Path() const { return FilePath; }
    // "libsndfile" or "FFmpeg"; empty when closed.
    const char* DecoderName() const;

    int SampleRate() const;
    int Channels() const;
    int FrameBytes() const { return Channels() * 2; }
    // The length the file's header claims, which a damaged file may overstate; 0 when unknown
    // (a stream without a length, a damaged Ogg).
    std::int64_t LengthFrames() const;
    std::int64_t LengthBytes() const;
    std::int64_t PositionBytes() const { return Position; }
    // Moves to Bytes (lowered to a whole frame, clamped at 0). Returns false if the decoder failed.
    bool SeekBytes(std::int64_t Bytes);
    // Reads up to Bytes bytes (whole frames) into Buf; a null Buf decodes and discards.
    // Returns the bytes delivered, or -1 at the end of the data (or when no file is open).
    int Read(void* Buf, int Bytes);
    // Reads up to Frames frames as floats (full scale ±1.0) at the source's own resolution; the
    // position moves as for Read. Returns the frames delivered, or -1 at the end of the data.
    int ReadFloat(float* Buf, int Frames);
    // True when the source carries more than 16 bits a sample (24/32-bit, float, lossy codecs).
    bool HasDeepSamples() const;

    double BytesToSeconds(std::int64_t Bytes) const;
    std::int64_t SecondsToBytes(double Seconds) const;

  private:
    int ReadDeep(std::int16_t* Buf, int Frames);

    std::unique_ptr<Decoder> Impl;
    std::string FilePath;
    std::int64_t Position = 0;
    std::array<float, 4096> Scratch; // deep samples on their way to 16 bits
};

// Reads File from its position to the end, at its own format. Memory grows with the data that
// actually arrives, never beyond MaxFrames frames: a longer file throws brindle::Error naming it.
std::vector<std::int16_t> ReadAll(SoundFile& File, std::int64_t MaxFrames);

// Decodes a whole file and converts it to Rate and Channels, at most MaxFrames frames at Rate
// (MaxDecodeSeconds when negative). A file already at Rate and Channels is copied as decoded; any
// other is converted from its full resolution (see Resampler) and rounded to 16 bits once.
// Throws brindle::Error naming the file like SoundFile::Open, and for a file longer than that.
std::vector<std::int16_t> DecodeFile(const std::string& Path, int Rate, int Channels,
                                     std::int64_t MaxFrames = -1);

} // namespace brindle::soundlib
