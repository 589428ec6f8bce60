#pragma once
// Streaming decoder for any supported audio file: libsndfile first, FFmpeg as the fallback.
// Output is 16-bit signed interleaved PCM at the file's own rate and channel count; positions and
// lengths are in bytes of that output, always whole frames.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brindle::soundlib {

class Decoder;

class SoundFile {
  public:
    SoundFile();
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    // Opens Path, closing any file already open. Throws brindle::Error naming the file when it is
    // missing or no decoder accepts it; the object is then left closed.
    void Open(const std::string& Path);
    void Close();
    bool IsOpen() const { return Impl != nullptr; }
    const std::string& Path() const { return FilePath; }
    // "libsndfile" or "FFmpeg"; empty when closed.
    const char* DecoderName() const;

    int SampleRate() const;
    int Channels() const;
    int FrameBytes() const { return Channels() * 2; }
    std::int64_t LengthBytes() const;
    std::int64_t PositionBytes() const { return Position; }
    // Moves to Bytes (lowered to a whole frame, clamped at 0). Returns false if the decoder failed.
    bool SeekBytes(std::int64_t Bytes);
    // Reads up to Bytes bytes (whole frames) into Buf; a null Buf decodes and discards.
    // Returns the bytes delivered, or -1 at the end of the data (or when no file is open).
    int Read(void* Buf, int Bytes);

    double BytesToSeconds(std::int64_t Bytes) const;
    std::int64_t SecondsToBytes(double Seconds) const;

  private:
    std::unique_ptr<Decoder> Impl;
    std::string FilePath;
    std::int64_t Position = 0;
};

// Decodes a whole file and converts it to Rate and Channels (libswresample).
// Throws brindle::Error like SoundFile::Open.
std::vector<std::int16_t> DecodeFile(const std::string& Path, int Rate, int Channels);

} // namespace brindle::soundlib
