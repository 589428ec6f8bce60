#pragma once
// 16-bit PCM RIFF/WAVE through libsndfile; the header is completed when the writer finishes.
#include "audio/soundlib/AudioSink.h"
#include "base/StagedFile.h"

#include <filesystem>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace brindle {

class TWavWriter : public TAudioSink {
public:
    TWavWriter(const std::filesystem::path& Target, int SampleRate, int Channels);
    ~TWavWriter() override;

    void Write(const std::int16_t* Samples, std::size_t Count) override;
    void Finish() override;

private:
    [[noreturn]] void Fail(const char* Reason);
    void Flush();
    void WriteNow(const std::int16_t* Samples, std::size_t Count);

    static constexpr std::size_t PendingLimit = 64 * 1024; // samples
    std::vector<std::int16_t> Pending;

    TStagedFile File;
    SNDFILE* Sound = nullptr;
};

} // namespace brindle
