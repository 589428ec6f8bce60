#include "Tones.h"

#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <numbers>
#include <stdexcept>

namespace brindle::test {

std::vector<std::int16_t> SineTone(double Hz, double Seconds, int Rate, int Channels, double Amp) {
    const auto frames = static_cast<std::int64_t>(std::llround(Seconds * Rate));
    std::vector<std::int16_t> out(static_cast<size_t>(frames * Channels));
    for (std::int64_t i = 0; i < frames; ++i) {
        const double v =
            Amp * 32767.0 * std::sin(2.0 * std::numbers::pi * Hz * static_cast<double>(i) / Rate);
        for (int c = 0; c < Channels; ++c)
            out[static_cast<size_t>(i * Channels + c)] = static_cast<std::int16_t>(std::lround(v));
    }
    return out;
}

std::vector<std::int16_t> ConstantTone(std::int16_t Value, std::int64_t Frames, int Channels) {
    return std::vector<std::int16_t>(static_cast<size_t>(Frames * Channels), Value);
}

void WriteSoundFile(const std::filesystem::path& Path, const std::vector<std::int16_t>& Pcm, int Rate,
                    int Channels, int Bits) {
    SF_INFO info{};
    info.samplerate = Rate;
    info.channels = Channels;
    const auto ext = Path.extension().string();
    int sub = Bits == 8 ? SF_FORMAT_PCM_U8 : Bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16;
    if (ext == ".flac") {
        info.format = SF_FORMAT_FLAC | (Bits == 8 ? SF_FORMAT_PCM_S8 : sub);
    } else if (ext == ".ogg") {
        info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    } else {
        info.format = SF_FORMAT_WAV | sub;
    }
    SNDFILE* f = sf_open(Path.c_str(), SFM_WRITE, &info);
    if (!f) throw std::runtime_error("cannot write " + Path.string() + ": " + sf_strerror(nullptr));
    sf_writef_short(f, Pcm.data(), static_cast<sf_count_t>(Pcm.size() / Channels));
    sf_close(f);
}

std::filesystem::path WriteSineWav(const std::filesystem::path& Path, double Hz, double Seconds, int Rate,
                                   int Channels, int Bits, double Amp) {
    WriteSoundFile(Path, SineTone(Hz, Seconds, Rate, Channels, Amp), Rate, Channels, Bits);
    return Path;
}

bool FfmpegConvert(const std::filesystem::path& From, const std::filesystem::path& To,
                   const std::string& Extra) {
    const std::string cmd = "ffmpeg -nostdin -loglevel error -y -i '" + From.string() + "' " + Extra + " '" +
                            To.string() + "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0 && std::filesystem::exists(To);
}

std::vector<std::int16_t> ReadRawPcm(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

} // namespace brindle::test
