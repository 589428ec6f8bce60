#include "support/StressModule.h"

#include "song/Sequencer.h"

#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

namespace brindle::bench {

namespace {

constexpr int InstrumentsUsed = 16;
constexpr int Rows = 64;
constexpr int PatternsUsed = 4;

void writeTone(const std::string& path, double freq) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) throw std::runtime_error("cannot write " + path);
    const int frames = 44100 / 4;
    std::vector<float> pcm(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / 44100;
        const float v = float(0.2 * std::sin(2 * 3.14159265358979 * freq * t) * std::exp(-t * 8));
        pcm[size_t(i) * 2] = v;
        pcm[size_t(i) * 2 + 1] = v;
    }
    sf_writef_float(f, pcm.data(), frames);
    sf_close(f);
}

} // namespace

std::string WriteStressModule(const std::string& folder, const StressOptions& options) {
    std::filesystem::create_directories(folder);
    auto song = std::make_unique<cSequencer>();
    song->SetBPM(140);
    for (int i = 1; i <= InstrumentsUsed; ++i) {
        const auto path = (std::filesystem::path(folder) / ("tone" + std::to_string(i) + ".wav")).string();
        writeTone(path, 110.0 * std::pow(2.0, i / 12.0));
        song->SetInstrumentFile(i, path);
        if (options.stretched && i % 2 == 0) {
            auto& ins = song->InstrumentAt(i);
            if (i % 4 == 0) ins.Stretch = 1.3f;
            else ins.Pitch = 3;
        }
    }
    for (int p = 1; p <= PatternsUsed; ++p) {
        auto& pattern = song->PatternAt(p);
        pattern.RowCount = Rows;
        for (int c = 0; c < options.channels; ++c)
            for (int r = (c + p) % 4; r < Rows; r += 4) pattern.CellForWrite(c, r) = {c % InstrumentsUsed + 1, 0};
    }
    for (int o = 0; o < options.orders; ++o) song->Orders[o].PatternIndex = o % PatternsUsed + 1;
    song->Effects.CompressorEnabled = true;
    song->Effects.CompressorThres = 0.5f;
    song->Effects.CompressorAttack = 0.02f;
    song->Effects.CompressorRelease = 0.2f;
    song->Effects.ReverbEnabled = true;
    song->Effects.ReverbLevel = 0.1f;
    song->Effects.ReverbDelay = 1.5f;
    song->Effects.EqEnabled = true;
    song->Effects.Eq[0] = -2;
    song->Effects.Eq[2] = -1;
    const auto module =
        (std::filesystem::path(folder) / (options.stretched ? "stress-stretched.hym" : "stress.hym")).string();
    song->SaveFile(module);
    return module;
}

} // namespace brindle::bench
