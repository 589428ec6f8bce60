#include "WaveImageTesting.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace brindle::test {

std::vector<std::int16_t> MonoOf(const std::vector<std::int16_t>& Pcm, int Channels) {
    std::vector<std::int16_t> mono(Pcm.size() / static_cast<std::size_t>(Channels));
    for (std::size_t f = 0; f < mono.size(); ++f) {
        int sum = 0;
        for (int c = 0; c < Channels; ++c)
            sum += Pcm[f * static_cast<std::size_t>(Channels) + static_cast<std::size_t>(c)];
        mono[f] = static_cast<std::int16_t>(sum / Channels);
    }
    return mono;
}

std::vector<int> WindowPeaks(const std::vector<std::int16_t>& Mono, int SrcRate, int ImgRate, std::int64_t Samples) {
    std::vector<int> peaks;
    for (std::int64_t i = 0; i < Samples; ++i) {
        const auto from = static_cast<std::size_t>(i * SrcRate / ImgRate);
        const auto to = std::min(static_cast<std::size_t>((i + 1) * SrcRate / ImgRate), Mono.size());
        int peak = 0;
        for (std::size_t k = from; k < to; ++k)
            peak = std::max(peak, std::abs(int(Mono[k])));
        peaks.push_back(peak);
    }
    return peaks;
}

std::vector<std::int16_t> ReadBytes16(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::vector<std::int16_t> out;
    std::int16_t v;
    while (in.read(reinterpret_cast<char*>(&v), 2))
        out.push_back(v);
    return out;
}

void WriteBytes16(const std::filesystem::path& Path, const std::vector<std::int16_t>& Samples) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Samples.data()), static_cast<std::streamsize>(Samples.size() * 2));
}

} // namespace brindle::test
