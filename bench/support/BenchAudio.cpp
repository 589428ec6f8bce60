#include "support/BenchAudio.h"

#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

namespace brindle::bench {

BenchFolder::BenchFolder() {
    std::random_device rd;
    Path = std::filesystem::temp_directory_path() / ("brindle-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(Path);
}

BenchFolder::~BenchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
}

bool WriteSine(const std::string& Path, double Hz, double Seconds) {
    const int rate = 44100;
    const auto frames = static_cast<size_t>(Seconds * rate);
    std::vector<short> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i)
        pcm[i * 2] = pcm[i * 2 + 1] =
            static_cast<short>(12000 * std::sin(2 * std::numbers::pi * Hz * static_cast<double>(i) / rate));
    const std::string ext = std::filesystem::path(Path).extension().string();
    const std::string target = ext == ".mp3" ? Path + ".wav" : Path;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = ext == ".flac"  ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_16)
                  : ext == ".ogg" ? (SF_FORMAT_OGG | SF_FORMAT_VORBIS)
                                  : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    SNDFILE* f = sf_open(target.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    sf_writef_short(f, pcm.data(), static_cast<sf_count_t>(frames));
    sf_close(f);
    if (ext != ".mp3") return true;
    const std::string cmd = "ffmpeg -nostdin -loglevel error -y -i '" + target +
                            "' -c:a libmp3lame -b:a 192k '" + Path + "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
}

} // namespace brindle::bench
