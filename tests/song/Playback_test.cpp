#include "song/Sequencer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Queued {
    int tag;
    std::string file;
    float offset, volume, stretch, pitch;
    int instrument;
};

class Playback : public ::testing::Test {
protected:
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    std::vector<Queued> queued;
    double clock = 0;

    void SetUp() override {
        song->OnQueuePlayback = [this](cSequencer*, const std::string& file, float offset, float volume,
                                       float stretch, float pitch, int key, int instrument) {
            queued.push_back({key, file, offset, volume, stretch, pitch, instrument});
        };
        song->SetInstrumentFile(1, "/s/one.wav");
        song->SetInstrumentFile(2, "/s/two.wav");
    }
    // Pulls `blocks` blocks of `seconds` each, as the mixer does.
    void pull(int blocks, float seconds) {
        for (int i = 0; i < blocks; ++i) {
            song->Mix(float(clock), seconds);
            clock += seconds;
        }
    }
    void note(int pattern, int channel, int row, int ins, float pitch = 0) {
        song->PatternAt(pattern).Cells[channel][row] = {ins, pitch};
    }
};

TEST_F(Playback, RowsLandInTheBlockThatHoldsThemWithTheirOffset) {
    note(1, 0, 0, 1);
    note(1, 0, 1, 2);
    song->PlayPatternFrom(1, 1);
    song->Mix(0, 0.1f);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].file, "/s/one.wav");
    EXPECT_EQ(queued[0].offset, 0.0f);
    song->Mix(0.1f, 0.1f);
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[1].file, "/s/two.wav");
    EXPECT_NEAR(queued[1].offset, 0.025f, 1e-6);
    EXPECT_EQ(song->CurRow, 1);
}

TEST_F(Playback, RowOnABlockBoundaryIsQueuedOnceByTheLaterBlock) {
    for (int r = 0; r < 16; ++r) note(1, 0, r, 1);
    song->PlayPatternFrom(1, 1);
    song->Mix(0, 0.125f);
    EXPECT_EQ(queued.size(), 1u);
    song->Mix(0.125f, 0.125f);
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[1].offset, 0.0f);
}

TEST_F(Playback, PatternLoopStartsAtTheGridRowAndWraps) {
    auto& p = song->PatternAt(3);
    p.RowCount = 6;
    for (int r = 0; r < 6; ++r) note(3, 1, r, 1, float(r));
    song->PlayPatternFrom(3, 5); // grid row 5 = model row 4
    pull(8, 0.125f);
    std::vector<float> rows;
    for (const auto& q : queued) rows.push_back(q.pitch);
    EXPECT_EQ(rows, (std::vector<float>{4, 5, 0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(queued[0].offset, 0.0f);
    EXPECT_EQ(song->PlayMode, PlayPatternLoop);
}

TEST_F(Playback, SongModeWalksOrdersAndStopsAtTheFirstEmptyEntry) {
    song->PatternAt(2).RowCount = 16;
    song->PatternAt(1).RowCount = 8;
    for (int r = 0; r < 16; ++r) note(2, 0, r, 1);
    for (int r = 0; r < 8; ++r) note(1, 0, r, 2);
    song->Orders[0].PatternIndex = 2;
    song->Orders[1].PatternIndex = 1;
    song->Orders[3].PatternIndex = 2; // behind the gap
    song->PlaySong(1);
    pull(40, 0.1f); // 4 s, more than the song's 3 s
    EXPECT_EQ(queued.size(), 24u);
    EXPECT_EQ(queued[16].file, "/s/two.wav");
    EXPECT_EQ(song->PlayMode, PlayStopped);
    EXPECT_EQ(song->CurOrder, 3);
}

TEST_F(Playback, SongFromAnEmptyEntryStopsWithoutQueuing) {
    song->PlaySong(5);
    pull(1, 0.1f);
    EXPECT_TRUE(queued.empty());
    EXPECT_EQ(song->PlayMode, PlayStopped);
}

TEST_F(Playback, MutedChannelsStopMarkersAndEmptySlots) {
    note(1, 0, 0, 1);
    note(1, 1, 0, -1);
    note(1, 2, 0, 3, 0); // instrument 3 has no file
    note(1, 3, 0, -1);
    note(1, 4, 0, 2, 2.5f);
    song->ChannelMuted[3] = true;
    song->InstrumentAt(2).Pitch = 1;
    song->InstrumentAt(2).Volume = 0.5f;
    song->InstrumentAt(2).Stretch = 1.5f;
    song->PlayPatternFrom(1, 1);
    song->Mix(0, 0.01f);
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_EQ(queued[0].tag, 0);
    EXPECT_EQ(queued[0].instrument, 1);
    EXPECT_EQ(queued[1].tag, 1);
    EXPECT_TRUE(queued[1].file.empty()); // stop marker
    EXPECT_EQ(queued[2].tag, 4);
    EXPECT_EQ(queued[2].instrument, 2);
    EXPECT_EQ(queued[2].pitch, 3.5f);
    EXPECT_EQ(queued[2].volume, 0.5f);
    EXPECT_EQ(queued[2].stretch, 1.5f);
}

TEST_F(Playback, PreviewsCarryTheirTagAndNeverCut) {
    song->InstrumentAt(2).Pitch = -2;
    song->PreviewInstrument(2, 7, 65);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].tag, 65);
    EXPECT_EQ(queued[0].instrument, 0); // previews name no slot, so they never cut
    EXPECT_EQ(queued[0].pitch, 5.0f);
    song->PreviewInstrument(9, 0, 1); // no file
    EXPECT_EQ(queued.size(), 1u);
    song->PreviewFile("/browse/x.ogg");
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[1].tag, 65); // keeps the tag queued last
    EXPECT_EQ(queued[1].volume, 1.0f);
    EXPECT_EQ(queued[1].stretch, 1.0f);
}

TEST_F(Playback, StoppedOrBrokenStateQueuesNothingAndNeverLoops) {
    note(1, 0, 0, 1);
    song->Mix(0, 1); // stopped
    EXPECT_TRUE(queued.empty());

    song->PlayPatternFrom(1, 1);
    song->BPM = 0;
    song->Mix(0, 1);
    EXPECT_EQ(song->PlayMode, PlayStopped);

    song->BPM = 120;
    song->PatternAt(1).RowCount = 0;
    song->PlayPatternFrom(1, 1);
    song->Mix(0, 1);
    EXPECT_EQ(song->PlayMode, PlayStopped);

    song->PatternAt(1).RowCount = 16;
    song->PlayPatternFrom(101, 1);
    song->Mix(0, 1);
    EXPECT_EQ(song->PlayMode, PlayStopped);
    song->PlayPatternFrom(0, 1);
    song->Mix(0, 1);
    EXPECT_EQ(song->PlayMode, PlayStopped);
    EXPECT_TRUE(queued.empty());
}

TEST_F(Playback, LongSongKeepsRowsOnTheirTimes) {
    // 20 minutes of pattern loop at 10 ms blocks: every row is queued exactly once.
    song->SetBPM(137);
    note(1, 0, 0, 1);
    song->PatternAt(1).RowCount = 1;
    song->PlayPatternFrom(1, 1);
    const int blocks = 20 * 60 * 100;
    std::int64_t frames = 0;
    for (int i = 0; i < blocks; ++i) {
        song->Mix(float(double(frames) / 44100.0), 441.0f / 44100.0f);
        frames += 441;
    }
    const double rows = 20 * 60 / (60.0 / 137 * 0.25);
    EXPECT_NEAR(double(queued.size()), rows, 1.0);
}

} // namespace

namespace {

TEST_F(Playback, FrameWindowsQueueBoundaryRowsOnceAtAnyHour) {
    // At 120 BPM every 8th row falls exactly on a 441-frame block boundary.
    for (int r = 0; r < 16; ++r) note(1, 0, r, 1);
    song->PlayPatternFrom(1, 1);
    const std::int64_t threeHours = 3LL * 3600 * 44100;
    std::int64_t frame = 0;
    for (; frame < threeHours; frame += 441) song->MixFrames(frame, 441, 44100);
    EXPECT_EQ(queued.size(), size_t(3 * 3600 * 8));
    queued.clear();
    for (int i = 0; i < 1000; ++i, frame += 441) song->MixFrames(frame, 441, 44100);
    // 1000 blocks of 10 ms hold exactly 80 rows of 0.125 s.
    EXPECT_EQ(queued.size(), 80u);
    for (const auto& q : queued) {
        EXPECT_GE(q.offset, 0.0f);
        EXPECT_LT(q.offset, 0.01f);
    }
}

} // namespace
