// A channel's volume, balance and mute heard in the render: levels measured on a constant signal,
// for the full mix and for the channel's stem.
#include "app/SongEngine.h"
#include "app/SongRender.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace brindle::test;

namespace {

constexpr int Rate = 44100;
constexpr std::int16_t Level = 8000;

struct TCase {
    const char* Name;
    float Volume, Pan;
    bool Mute;
    double Left, Right; // expected gains
};

const TCase Cases[] = {
    {"default", 1, 0, false, 1, 1},
    {"half volume", 0.5f, 0, false, 0.5, 0.5},
    {"double volume", 2, 0, false, 2, 2},
    {"silent", 0, 0, false, 0, 0},
    {"hard left", 1, -1, false, 1, 0},
    {"hard right", 1, 1, false, 0, 1},
    {"a little left", 1, -0.25f, false, 1, 0.75},
    {"half right, half volume", 0.5f, 0.5f, false, 0.25, 0.5},
    {"loud and left", 2, -0.5f, false, 2, 1},
    {"muted", 1, 0, true, 0, 0},
};

// Mean of one side over the frames the note holds steady, and the largest magnitude there.
struct TSide {
    double Mean = 0, Peak = 0;
};
TSide measure(const std::vector<float>& Pcm, int Side, std::size_t From, std::size_t To) {
    TSide s;
    for (std::size_t f = From; f < To; ++f) {
        const double v = Pcm[2 * f + std::size_t(Side)];
        s.Mean += v;
        s.Peak = std::max(s.Peak, std::fabs(v));
    }
    s.Mean /= double(To - From);
    return s;
}

std::vector<float> readFloats(const std::string& Path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(Path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << Path;
    if (!f) return {};
    std::vector<float> pcm(std::size_t(info.frames) * std::size_t(info.channels));
    sf_command(f, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE); // 16-bit values as they are
    sf_readf_float(f, pcm.data(), info.frames);
    sf_close(f);
    EXPECT_EQ(info.channels, 2);
    return pcm;
}

void expectLevels(const std::vector<float>& Pcm, const TCase& C) {
    const std::size_t from = 2000, to = 15000; // inside the note, away from its start and end
    ASSERT_GE(Pcm.size(), 2 * to);
    const double want[] = {C.Left, C.Right};
    for (int side = 0; side < 2; ++side) {
        const auto got = measure(Pcm, side, from, to);
        SCOPED_TRACE(side == 0 ? "left" : "right");
        if (want[side] == 0) {
            // Below -90 dB of full scale.
            EXPECT_LT(20 * std::log10(got.Peak / 32768.0 + 1e-12), -90.0) << got.Peak;
        } else {
            const double db = 20 * std::log10(got.Mean / (Level * want[side]));
            EXPECT_NEAR(db, 0.0, 0.05) << "mean " << got.Mean;
        }
    }
}

class ChannelMix : public ::testing::TestWithParam<TCase> {
  protected:
    TempDir dir;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();

    void SetUp() override {
        const auto sample = dir / "dc.wav";
        WriteSoundFile(sample, ConstantTone(Level, 20000, 2), Rate, 2);
        song->SetInstrumentFile(1, sample.string());
        song->PatternAt(1).RowCount = 8;
        song->PatternAt(1).SetCell(2, 0, {1, 0});
        song->Orders[0].PatternIndex = 1;
        const auto& c = GetParam();
        song->SetChannel(2, c.Volume, c.Pan, c.Mute);
    }
    brindle::RenderReport render(brindle::RenderOptions Options) {
        brindle::SongEngine engine(*song, false);
        Options.MasterEffects = false;
        return brindle::RenderSong(engine, Options);
    }
};

TEST_P(ChannelMix, TheMixCarriesTheChannelsGains) {
    brindle::RenderOptions options;
    options.OutputFile = (dir / "mix.wav").string();
    const auto report = render(options);
    EXPECT_TRUE(report.Problems.empty());
    expectLevels(readFloats(options.OutputFile), GetParam());
}

TEST_P(ChannelMix, TheStemCarriesTheSameGains) {
    brindle::RenderOptions options;
    options.OutputFile = (dir / "stems").string();
    options.Stems = true;
    if (GetParam().Mute) {
        // A muted channel has no stem; with it the only channel, there is nothing to write.
        EXPECT_THROW(render(options), std::exception);
        EXPECT_FALSE(fs::exists(dir / "stems") && !fs::is_empty(dir / "stems"));
        return;
    }
    const auto report = render(options);
    ASSERT_EQ(report.Files.size(), 1u);
    expectLevels(readFloats(report.Files[0]), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Settings, ChannelMix, ::testing::ValuesIn(Cases), [](const auto& Info) {
    std::string name = Info.param.Name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

// Other channels keep their own level beside a turned-down one.
TEST(ChannelMixTogether, EachChannelHasItsOwnGains) {
    TempDir dir;
    auto song = std::make_unique<cSequencer>();
    const auto sample = dir / "dc.wav";
    WriteSoundFile(sample, ConstantTone(Level, 20000, 2), Rate, 2);
    song->SetInstrumentFile(1, sample.string());
    song->PatternAt(1).RowCount = 8;
    song->PatternAt(1).SetCell(0, 0, {1, 0});
    song->PatternAt(1).SetCell(1, 0, {1, 0});
    song->Orders[0].PatternIndex = 1;
    song->SetChannel(1, 0.5f, 1.0f, false); // right only, half
    brindle::SongEngine engine(*song, false);
    brindle::RenderOptions options;
    options.OutputFile = (dir / "mix.wav").string();
    options.MasterEffects = false;
    brindle::RenderSong(engine, options);
    expectLevels(readFloats(options.OutputFile), {"two", 1, 0, false, 1, 1.5});
}

} // namespace
