// A song whose notes add up past full scale, rendered with the compressor as a user sets it: the
// mix reaches the compressor whole, so the render is a clean sine at the threshold, where the
// same song without the compressor is a clipped one.
#include "app/SongEngine.h"
#include "app/SongRender.h"
#include "song/Sequencer.h"
#include "support/Distortion.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <memory>

using namespace brindle::test;

namespace {

constexpr int Rate = 44100;

std::vector<double> RenderLeft(cSequencer& Song, const TempDir& Dir, const std::string& Name) {
    brindle::SongEngine Engine(Song, false);
    brindle::RenderOptions Options;
    Options.OutputFile = (Dir / Name).string();
    brindle::RenderSong(Engine, Options);
    return ChannelOf(ReadRawPcm(Dir / Name), 2, 0);
}

TEST(RenderHeadroom, AnOverloadedSongThroughTheCompressorRendersClean) {
    TempDir Dir;
    auto Song = std::make_unique<cSequencer>();
    // Four channels of a half-scale 100 Hz sine: twice full scale on the bus.
    WriteSoundFile(Dir / "bass.wav", SineTone(100, 2.0, Rate, 2, 0.5), Rate, 2);
    Song->SetInstrumentFile(1, (Dir / "bass.wav").string());
    Song->PatternAt(1).RowCount = 16;
    for (int Channel = 0; Channel < 4; ++Channel)
        Song->PatternAt(1).CellForWrite(Channel, 0) = {1, 0};
    Song->Orders[0].PatternIndex = 1;

    const auto Clipped = RenderLeft(*Song, Dir, "plain.raw");
    // The effects panel's values: threshold 0.5, attack 5 ms, release 50 ms.
    Song->Effects.CompressorEnabled = true;
    Song->Effects.CompressorThres = 0.5f;
    Song->Effects.CompressorAttack = 0.005f;
    Song->Effects.CompressorRelease = 0.05f;
    const auto Clean = RenderLeft(*Song, Dir, "compressed.raw");

    ASSERT_GE(Clean.size(), std::size_t(2 * Rate));
    const std::size_t From = Rate / 2, To = 2 * Rate - 1000;
    EXPECT_GT(ThdDb(Clipped, 100, Rate, From, To), -20.0) << "without the compressor the mix clips";
    EXPECT_LT(ThdDb(Clean, 100, Rate, From, To), -40.0);
    EXPECT_NEAR(GoertzelAmplitude(Clean, 100, Rate, From, From + 441 * 100) / 32768.0, 0.5, 0.03);
}

} // namespace
