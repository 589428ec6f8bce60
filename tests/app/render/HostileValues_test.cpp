// A song whose instruments and cells hold values no slider gives, and instruments whose files
// lie about themselves, prepared and played straight through the song engine: everything ends in
// bounded time and memory, a broken file is named once and the rest plays.
#include "app/SongEngine.h"
#include "audio/soundlib/TempoStream.h"
#include "song/Sequencer.h"
#include "support/DamagedAudio.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace bt = brindle::test;

namespace {

constexpr int Rate = 44100;

class HostileValues : public ::testing::Test {
  protected:
    bt::TempDir Dir;
    std::unique_ptr<cSequencer> Song = std::make_unique<cSequencer>();
    std::string Tone;
    std::string SlowFlac;

    HostileValues() {
        Tone = bt::WriteSineWav(Dir / "tone.wav", 220, 0.1, Rate, 2).string();
        SlowFlac = (Dir / "slow.flac").string();
        bt::WriteSoundFile(SlowFlac, bt::SineTone(220, 0.1, Rate, 2), Rate, 2);
        bt::PatchFlacStreamInfo(SlowFlac, 1, -1); // claims 1 Hz
        Song->BPM = 120.0f;
        Song->PatternAt(1).RowCount = 16;
        Song->PatternAt(5).RowCount = 16; // never in the order list, prepared all the same
        Song->Orders[0].PatternIndex = 1;
    }

    void Instrument(int Slot, const std::string& File, float Stretch, float Pitch) {
        Song->SetInstrumentFile(Slot, File);
        Song->InstrumentAt(Slot).Stretch = Stretch;
        Song->InstrumentAt(Slot).Pitch = Pitch;
    }
    // Instrument Slot on channel Slot, row Row, in patterns 1 and 5.
    void Note(int Slot, int Row, float CellPitch = 0.0f) {
        Song->PatternAt(1).CellForWrite(Slot, Row) = {Slot, CellPitch};
        Song->PatternAt(5).CellForWrite(Slot, Row) = {Slot, CellPitch};
    }
};

TEST_F(HostileValues, PrepareAndPlayInBoundedTimeWithTheBrokenFileNamedOnce) {
    Instrument(1, Tone, 1.0f, 200.0f);
    Instrument(2, Tone, 1e-5f, 0.0f);
    Instrument(3, Tone, 1.0f, -250.0f);
    Instrument(4, Tone, 1.0f, 1e30f);
    Instrument(5, Tone, 1e-4f, -200.0f);
    Instrument(6, SlowFlac, 1.0f, 0.0f);
    Instrument(7, Tone, 1.0f, 0.0f);
    for (int slot = 1; slot <= 7; ++slot)
        Note(slot, 0);
    Note(7, 4, 150.0f); // the cell's pitch on top of the instrument's
    Note(7, 8);

    brindle::SongEngine engine(*Song, false);
    const auto problems = engine.PreloadInstruments();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("Instrument 6"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find(SlowFlac), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("1 Hz"), std::string::npos) << problems[0];

    // The variants are those of the playable values: speed 0.01, pitch +-48.
    auto& cache = *engine.Mixer().GetSampleCache();
    const auto base = cache.Find(Tone);
    ASSERT_NE(base, nullptr);
    const auto slow = cache.FindVariant(base.get(), 0.01f, 0.0f);
    ASSERT_NE(slow, nullptr);
    EXPECT_EQ(slow->Frames(), base->Frames() * 100);
    EXPECT_NE(cache.FindVariant(base.get(), 1.0f, 48.0f), nullptr);
    EXPECT_NE(cache.FindVariant(base.get(), 1.0f, -48.0f), nullptr);
    EXPECT_NE(cache.FindVariant(base.get(), 0.01f, -48.0f), nullptr);
    EXPECT_LE(cache.VariantBytes(), cache.GetVariantBudget());

    // Two seconds of the song: it plays, and the plain notes of instrument 7 sound on their rows.
    engine.PlaySongFrom(1);
    std::vector<std::int16_t> heard, block(441 * 2);
    for (int i = 0; i < 200; ++i) {
        engine.Output()->PopData(block.data(), 441 * 4);
        heard.insert(heard.end(), block.begin(), block.end());
    }
    EXPECT_GT(bt::Rms(bt::ChannelOf(heard, 2, 0)), 500.0);
    EXPECT_TRUE(engine.Mixer().TakeProblems().empty()) << "the broken file is not reported again per note";
}

TEST_F(HostileValues, ALiveEnginePreparesStreamsForNotesBeyondTheVariantBudget) {
    Instrument(1, Tone, 1.5f, 7.0f);
    Note(1, 0);
    Note(1, 4);
    brindle::SongEngine engine(*Song, true, 16);
    engine.Mixer().GetSampleCache()->SetVariantBudget(1000); // far too small for the variant
    ASSERT_TRUE(engine.PreloadInstruments().empty());
    EXPECT_EQ(engine.Mixer().GetSampleCache()->VariantBytes(), 0u);
    EXPECT_GE(engine.Mixer().PreparedStreams(1.5f, 7.0f), 2) << "one stream per note of the song";

    // Played as the device would: the notes start on the audio thread without waiting.
    engine.PlaySongFrom(1);
    std::vector<std::int16_t> heard, block(441 * 2);
    for (int i = 0; i < 100; ++i) {
        engine.Output()->PopData(block.data(), 441 * 4);
        heard.insert(heard.end(), block.begin(), block.end());
    }
    EXPECT_TRUE(engine.Mixer().TakeProblems().empty());
    const auto left = bt::ChannelOf(heard, 2, 0);
    EXPECT_NEAR(bt::ZeroCrossingHz(left, Rate, 500, 2500), 220 * std::pow(2.0, 7 / 12.0), 3.0);
}

} // namespace
