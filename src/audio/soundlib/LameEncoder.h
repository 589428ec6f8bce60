#pragma once
// MP3 through the lame program: started as lame -m <j|m> -b <kbit/s> <keys...> - <output>, fed a
// WAV stream on its standard input. lame writes a temporary file beside the target, which is
// renamed over the target once lame has finished successfully.
#include "audio/soundlib/AudioSink.h"
#include "audio/soundlib/Process.h"
#include "base/StagedFile.h"

#include <filesystem>
#include <string>
#include <vector>

namespace brindle {

struct TLameOptions {
    std::string Program = "lame";
    int KBitRate = 256;
    int Channels = 2;   // 1 selects mono encoding, anything else joint stereo
    std::string Keys;   // extra options, split at white space
    bool RealTime = false;
};

class TLameEncoder : public TAudioSink {
public:
    TLameEncoder(const std::filesystem::path& Target, int SampleRate, int Channels, const TLameOptions& Options);

    void Write(const std::int16_t* Samples, std::size_t Count) override;
    void Finish() override;

    // The argument vector for an output path, program first.
    static std::vector<std::string> Arguments(const TLameOptions& Options, const std::string& Output);

private:
    [[noreturn]] void Failed(const std::string& What);

    TStagedFile File;
    TProcess Lame;
};

} // namespace brindle
