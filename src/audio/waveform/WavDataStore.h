#pragma once
// The waveform image of a whole audio file for waveform views: the sound mixed to mono at
// ResultFrequency samples per second, signed 16-bit, each image sample the loudest source sample
// of its stretch (see PeakImage.h) so short clicks stay visible at any zoom.
//
// A background thread fills the image front to back while views draw it; the unwritten part reads
// as zeros. Reading without a lock is safe for the first FilledBytes() bytes (the counter is
// published after the samples below it), and SampleAt reads any sample safely at any time.
// A finished image is kept in a cache file in the application's data folder and read back instead
// of decoding while the source is not newer than it.
//
// All members but the readers of the image are for the owner's thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace brindle::soundlib {
class SoundFile;
}

class TWavDataStore {
  public:
    // Images of a header claiming more are cut to this length (about 10 hours at 441 Hz).
    static constexpr const char* ReadChannelError = "TransformChannel::Can't create read channel. Is BASS Initialized?";
    static constexpr std::int64_t MaxImageBytes = std::int64_t(32) << 20;

    TWavDataStore() = default;
    // Stops the reading thread and waits for it.
    ~TWavDataStore();
    TWavDataStore(const TWavDataStore&) = delete;
    TWavDataStore& operator=(const TWavDataStore&) = delete;

    // Stops any reading, frees the image and, for a non-empty name, opens the file, allocates a
    // zero-filled image and starts the reading thread. Throws brindle::Error with
    // "File not found <name>." or ReadChannelError, the name and the reason, leaving no image.
    // A file whose length is unknown gets an image as long as what decodes (MaxDecodeSeconds at
    // most); its length grows with FilledBytes.
    void SetFileName(const std::string& Name);
    const std::string& GetFileName() const { return FileName; }

    // Both take effect at the next SetFileName.
    void SetOptCacheImage(bool On) { OptCacheImage = On; }
    bool GetOptCacheImage() const { return OptCacheImage; }
    // Image samples per second, 1 .. MaxFileRate.
    void SetResultFrequency(int Hz);
    int GetResultFrequency() const { return ResultFrequency; }

    // The image, null before the first file and after an empty name or a failed open.
    const std::int16_t* GetMemStart() const { return Image.get(); }
    // Its length in bytes, a whole number of samples.
    std::int64_t GetMemLen() const { return MemLen.load(std::memory_order_acquire); }
    // The bytes from the start that hold their final values.
    std::int64_t FilledBytes() const { return Filled.load(std::memory_order_acquire); }
    // Sample Index of the image (0 <= Index < GetMemLen() / 2), safe while the thread writes it.
    std::int16_t SampleAt(std::int64_t Index) const;

    // True when no reading thread is at work.
    bool Done() const { return Finished.load(std::memory_order_acquire); }
    // Blocks until the reading thread has finished.
    void WaitReading();

    // Where the image of Source at the current ResultFrequency is cached.
    std::string CachePath(const std::string& Source) const;

    // Source-rate mono samples of the current file (see SourceMono.h); empty without a file.
    std::vector<std::int16_t> ReadSourceMono(std::int64_t FirstFrame, int Frames) const;
    int SourceRate() const { return SrcRate; }
    // As the header claims; 0 when unknown.
    std::int64_t SourceFrames() const { return SrcFrames; }

  private:
    void Stop();
    void Free();
    void Run(std::unique_ptr<brindle::soundlib::SoundFile> Source, std::string Cache, int Frequency,
             bool LengthKnown);
    bool Decode(brindle::soundlib::SoundFile& Source, int Frequency, bool LengthKnown);
    void ReadCache(const std::string& Cache, int Frequency, bool LengthKnown);
    // Stores Samples at sample Offset and publishes the new filled length.
    void Publish(std::int64_t Offset, const std::vector<std::int16_t>& Samples, bool LengthKnown);

    std::string FileName;
    bool OptCacheImage = true;
    int ResultFrequency = 441;

    std::unique_ptr<std::int16_t[]> Image;
    std::int64_t Capacity = 0; // bytes allocated
    std::atomic<std::int64_t> MemLen{0};
    std::atomic<std::int64_t> Filled{0};
    std::atomic<bool> StopRequest{false};
    std::atomic<bool> Finished{true};
    std::thread Reader;
    int SrcRate = 0;
    std::int64_t SrcFrames = 0;
};
