#pragma once
// WAV (16-bit, 24-bit or 32-bit float), FLAC (16 or 24 bits), Ogg Vorbis and Ogg Opus through
// libsndfile. 16-bit files take the render's rounded samples (Write); the others take its floats
// (WriteFloats): 24-bit samples are rounded from them here, float WAV keeps them as they are, and
// Opus, which stores 48 kHz, gets them resampled.
#include "audio/soundlib/OutputFormat.h"
#include "base/StagedFile.h"

#include <memory>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace brindle::soundlib {

class Resampler;

class TSoundFileWriter : public TAudioSink {
  public:
    TSoundFileWriter(const std::filesystem::path& Target, int SampleRate, int Channels,
                     const OutputFormat& Format);
    ~TSoundFileWriter() override;

    bool TakesFloats() const override { return Floats; }
    void Write(const std::int16_t* Samples, std::size_t Count) override;
    void WriteFloats(const float* Samples, std::size_t Count) override;
    void Finish() override;

    // The libsndfile format word for Format (0 when it has none).
    static int SndfileFormat(const OutputFormat& Format);

  private:
    [[noreturn]] void Fail(const char* Reason);
    void Flush();

    static constexpr std::size_t PendingLimit = 64 * 1024; // samples
    TStagedFile File;
    SNDFILE* Sound = nullptr;
    int Channels;
    bool Floats;
    bool Int24;
    std::unique_ptr<Resampler> ToFileRate;
    std::vector<std::int16_t> Pending16;
    std::vector<std::int32_t> Pending32;
    std::vector<float> PendingFloat;
};

} // namespace brindle::soundlib
