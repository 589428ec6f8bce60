// Channel volume and balance turned while the song plays: the change glides over a few
// milliseconds (no click); the allocation check is beside the other real-time ones.
#include "app/SongEngine.h"
#include "audio/mixer/LiveMixer.h"
#include "song/Sequencer.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int Rate = 44100;
constexpr int Block = 64;
constexpr std::int16_t Level = 8000;

class ChannelGainsLive : public ::testing::Test {
  protected:
    brindle::test::TempDir dir;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    std::unique_ptr<brindle::SongEngine> engine;
    std::vector<std::int16_t> heard; // interleaved stereo

    void SetUp() override {
        const auto sample = dir / "dc.wav";
        brindle::test::WriteSoundFile(sample, brindle::test::ConstantTone(Level, 2 * Rate, 2), Rate, 2);
        song->SetInstrumentFile(1, sample.string());
        song->PatternAt(1).RowCount = 64;
        song->PatternAt(1).SetCell(4, 0, {1, 0});
        song->Orders[0].PatternIndex = 1;
        engine = std::make_unique<brindle::SongEngine>(*song);
        ASSERT_TRUE(engine->PreloadInstruments().empty());
        engine->PlaySongFrom(1);
    }
    // Pulls Blocks blocks the way a device does, keeping what was heard.
    void pull(int Blocks) {
        std::vector<std::int16_t> block(Block * 2);
        for (int b = 0; b < Blocks; ++b) {
            engine->Mixer().PopData(block.data(), int(block.size() * 2));
            heard.insert(heard.end(), block.begin(), block.end());
        }
    }
    std::int16_t at(std::size_t Frame, int Side) const { return heard[2 * Frame + std::size_t(Side)]; }
    std::size_t frames() const { return heard.size() / 2; }
    // The largest change from one sample to the next on Side, from frame From on.
    int largestStep(int Side, std::size_t From) const {
        int worst = 0;
        for (std::size_t f = From + 1; f < frames(); ++f) worst = std::max(worst, std::abs(at(f, Side) - at(f - 1, Side)));
        return worst;
    }
};

TEST_F(ChannelGainsLive, ChangesWhilePlayingGlideInsteadOfJumping) {
    const int rampFrames = int(std::lround(TLiveMixer::GainRampSeconds * Rate));
    pull(20);
    ASSERT_EQ(at(frames() - 1, 0), Level) << "the note sounds at unity";
    const std::size_t settled = frames();

    struct TMove {
        float Volume, Pan;
        int Blocks;         // pulled after the change
        double Left, Right; // the gains it heads for
    } moves[] = {
        {0.0f, 0.0f, 10, 0, 0},     // fader down
        {1.0f, -1.0f, 10, 1, 0},    // back up, hard left
        {1.0f, 0.0f, 10, 1, 1},     // centre
        {2.0f, 0.0f, 1, 2, 2},      // up, and turned back before the glide ends
        {0.25f, 0.5f, 10, 0.125, 0.25},
        {1.0f, 0.0f, 10, 1, 1},
    };
    int worstAll = 0;
    for (const auto& m : moves) {
        SCOPED_TRACE(testing::Message() << "volume " << m.Volume << " pan " << m.Pan);
        const std::size_t changed = frames();
        song->SetChannel(4, m.Volume, m.Pan, false);
        pull(m.Blocks);
        const double target[] = {Level * m.Left, Level * m.Right};
        for (int side = 0; side < 2; ++side) {
            // A straight glide from where the sound was to the target over the ramp: no sample
            // moves further than that slope (plus rounding).
            const double distance = std::fabs(target[side] - at(changed - 1, side));
            int worst = 0;
            for (std::size_t f = changed; f < frames(); ++f)
                worst = std::max(worst, std::abs(at(f, side) - at(f - 1, side)));
            worstAll = std::max(worstAll, worst);
            EXPECT_LE(worst, distance / rampFrames + 1.0) << "side " << side;
            if (m.Blocks * Block <= rampFrames) continue;
            // Complete after the ramp's length, and not before it.
            EXPECT_NEAR(at(changed + std::size_t(rampFrames), side), target[side], 1.0) << "side " << side;
            EXPECT_NEAR(at(frames() - 1, side), target[side], 1.0) << "side " << side;
            if (distance > 1000) {
                EXPECT_GT(std::fabs(at(changed + std::size_t(rampFrames) / 2, side) - target[side]), distance / 4)
                    << "side " << side << " half way";
            }
        }
    }
    // Without a glide a fader pulled down would drop by the whole level in one sample.
    EXPECT_LT(worstAll, Level / 100);
    EXPECT_GT(largestStep(0, settled), 0);
}

TEST_F(ChannelGainsLive, ANoteStartedOnATurnedDownChannelStartsAtItsLevel) {
    song->SetChannel(4, 0.5f, -1.0f, false);
    engine->PlaySongFrom(1); // a new start applies the settings at once
    heard.clear();
    pull(10);
    EXPECT_EQ(at(0, 0), Level / 2);
    EXPECT_EQ(at(0, 1), 0);
    EXPECT_EQ(at(frames() - 1, 0), Level / 2);
    EXPECT_EQ(at(frames() - 1, 1), 0);
}

TEST_F(ChannelGainsLive, LiveNotesKeepTheirLevelWhateverTheChannels) {
    for (int c = 0; c < ChannelCount; ++c) song->SetChannel(c, 0.0f, 0.0f, false);
    engine->Stop();
    pull(5);
    heard.clear();
    ASSERT_TRUE(engine->Mixer().AddToMix(song->InstrumentAt(1).GetFileName(), 1, 1, 0, 0, 1000));
    pull(5);
    EXPECT_EQ(at(frames() - 1, 0), Level);
    EXPECT_EQ(at(frames() - 1, 1), Level);
}

} // namespace
