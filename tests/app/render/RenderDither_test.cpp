// Dither at the render's final conversion: off, the render is exactly the mix; on, every sample
// moves by at most one step with no bias. (The export dialog's test checks --dither against it.)
#include "app/SongEngine.h"
#include "app/SongRender.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using namespace brindle::test;

namespace {

constexpr int Rate = 44100;

class RenderDither : public ::testing::Test {
  protected:
    void SetUp() override {
        // One neutral note of a sine at volume 1: the plain render is the sample itself.
        Tone = SineTone(440, 0.5, Rate, 2, 0.3);
        WriteSoundFile(Dir / "a.wav", Tone, Rate, 2);
        Song->SetInstrumentFile(1, (Dir / "a.wav").string());
        Song->PatternAt(1).RowCount = 4;
        Song->PatternAt(1).CellForWrite(0, 0) = {1, 0};
        Song->Orders[0].PatternIndex = 1;
    }
    std::vector<std::int16_t> Render(const std::string& Name, bool Dither) {
        brindle::SongEngine Engine(*Song, false);
        brindle::RenderOptions Options;
        Options.OutputFile = (Dir / Name).string();
        Options.Dither = Dither;
        brindle::RenderSong(Engine, Options);
        return ReadRawPcm(Dir / Name);
    }

    TempDir Dir;
    std::vector<std::int16_t> Tone;
    std::unique_ptr<cSequencer> Song = std::make_unique<cSequencer>();
};

TEST_F(RenderDither, OffIsTheExactMixAndOnMovesEverySampleByAtMostOneStep) {
    const auto Plain = Render("plain.raw", false);
    const auto Dithered = Render("dithered.raw", true);
    ASSERT_EQ(Plain.size(), Dithered.size());
    ASSERT_GE(Plain.size(), Tone.size());
    EXPECT_TRUE(std::equal(Tone.begin(), Tone.end(), Plain.begin())) << "a neutral note stays bit-exact";

    double Sum = 0, Power = 0;
    int Moved = 0;
    for (size_t i = 0; i < Plain.size(); ++i) {
        const int Diff = Dithered[i] - Plain[i];
        ASSERT_LE(std::abs(Diff), 1) << i;
        Moved += Diff != 0;
        Sum += Diff;
        Power += Diff * Diff;
    }
    const auto Count = static_cast<double>(Plain.size());
    // On whole steps, triangular noise over (-1, 1) moves a quarter of the samples.
    EXPECT_NEAR(Moved / Count, 0.25, 0.02);
    EXPECT_NEAR(Sum / Count, 0.0, 0.01);
    EXPECT_NEAR(Power / Count, 0.25, 0.02);
}

} // namespace
