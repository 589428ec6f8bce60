#pragma once
// Raw headerless 16-bit little-endian PCM.
#include "audio/soundlib/AudioSink.h"
#include "base/StagedFile.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace brindle {

class TPcmWriter : public TAudioSink {
public:
    explicit TPcmWriter(const std::filesystem::path& Target);
    ~TPcmWriter() override;

    void Write(const std::int16_t* Samples, std::size_t Count) override;
    void Finish() override;

private:
    [[noreturn]] void Fail(int Code);

    TStagedFile File;
    std::FILE* Stream = nullptr;
    std::vector<std::int16_t> Swapped; // byte-swapped copy on big-endian hosts
};

} // namespace brindle
