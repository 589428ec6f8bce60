#include "audio/waveform/SourceMono.h"

#include "audio/soundlib/SoundFile.h"
#include "audio/waveform/PeakImage.h"

#include <algorithm>

namespace brindle::waveform {

std::vector<std::int16_t> ReadSourceMono(const std::string& Path, std::int64_t FirstFrame, int Frames) {
    std::vector<std::int16_t> mono;
    if (Frames <= 0) return mono;
    soundlib::SoundFile file;
    file.Open(Path);
    const int channels = file.Channels();
    if (!file.SeekBytes(std::max<std::int64_t>(FirstFrame, 0) * file.FrameBytes())) return mono;
    // Blocks, so memory follows the data that arrives rather than the count asked for.
    const int block = std::min(Frames, 65536);
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(block) * channels);
    std::int64_t left = Frames;
    while (left > 0) {
        const int want = static_cast<int>(std::min<std::int64_t>(left, block));
        const int got = file.Read(pcm.data(), want * file.FrameBytes());
        if (got <= 0) break;
        const int frames = got / file.FrameBytes();
        const std::size_t at = mono.size();
        mono.resize(at + static_cast<std::size_t>(frames));
        MixToMono(pcm.data(), frames, channels, mono.data() + at);
        left -= frames;
    }
    return mono;
}

} // namespace brindle::waveform
