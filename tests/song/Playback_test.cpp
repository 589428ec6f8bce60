#include "song/Sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
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
        song->PatternAt(pattern).CellForWrite(channel, row) = {ins, pitch};
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
    song->PreviewInstrument(2, 7, KeyTag('Q'));
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].tag, KeyTag('Q'));
    EXPECT_EQ(queued[0].instrument, 0); // previews name no slot, so they never cut
    EXPECT_EQ(queued[0].pitch, 5.0f);
    song->PreviewInstrument(9, 0, 1); // no file
    EXPECT_EQ(queued.size(), 1u);
    song->PreviewInstrument(2);
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[1].tag, PreviewTag);
    // A file preview has a tag of its own, whatever was queued before it.
    note(1, 7, 0, 1);
    song->PlayPatternFrom(1, 1);
    song->Mix(0, 0.01f);
    ASSERT_EQ(queued.size(), 3u);
    song->PreviewFile("/browse/x.ogg");
    ASSERT_EQ(queued.size(), 4u);
    EXPECT_EQ(queued[3].tag, FilePreviewTag);
    EXPECT_EQ(queued[3].volume, 1.0f);
    EXPECT_EQ(queued[3].stretch, 1.0f);
}

// Every live source's tags sit apart from the channels and from each other.
TEST(VoiceTags, LiveSourcesNeverShareATagWithAChannelOrAnotherSource) {
    std::vector<std::pair<int, const char*>> tags;
    for (int c = 0; c < ChannelCount; ++c) tags.push_back({c, "channel"});
    for (int key = 0; key < 255; ++key) tags.push_back({KeyTag(key), "key"});
    for (int pitch = -12; pitch < 128; ++pitch) tags.push_back({PianoTag(pitch), "piano"});
    for (int note = 0; note < 128; ++note) tags.push_back({MidiTag(note), "midi"});
    for (int t : {PreviewTag, ListPreviewTag, FilePreviewTag}) tags.push_back({t, "preview"});
    std::sort(tags.begin(), tags.end());
    for (std::size_t i = 1; i < tags.size(); ++i)
        EXPECT_NE(tags[i - 1].first, tags[i].first) << tags[i - 1].second << " and " << tags[i].second;
    for (const auto& [tag, source] : tags) EXPECT_EQ(IsLiveTag(tag), std::string(source) != "channel") << tag;
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

namespace {

// Edits while the song plays, heard as the frames each row's notes are queued on. Four orders play
// patterns 1..4 of 16 rows; every row holds one note whose pitch names its pattern and row.
constexpr int Rate = 44100, Block = 441;
struct Hit {
    int id;
    std::int64_t frame;
};

struct SongRun {
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    std::vector<Hit> hits;
    std::int64_t frame = 0;

    explicit SongRun(float Bpm = 120) {
        song->SetInstrumentFile(1, "/s/one.wav");
        song->SetBPM(Bpm);
        song->OnQueuePlayback = [this](cSequencer*, const std::string&, float offset, float, float, float pitch,
                                       int, int) {
            hits.push_back({int(pitch), frame + std::int64_t(std::floor(offset * Rate))});
        };
        for (int p = 1; p <= 4; ++p) {
            song->Orders[p - 1].PatternIndex = p;
            for (int r = 0; r < 16; ++r) note(p, r, p * 100 + r);
        }
    }
    void note(int Pattern, int Row, int Id) { song->PatternAt(Pattern).CellForWrite(0, Row) = {1, float(Id)}; }
    // Pulls blocks until Frames, as the mixer does.
    void pullTo(std::int64_t Frames) {
        for (; frame < Frames; frame += Block) song->MixFrames(frame, Block, Rate);
    }
    std::vector<int> ids() const {
        std::vector<int> out;
        for (const auto& h : hits) out.push_back(h.id);
        return out;
    }
};

// The whole song at one tempo from its start.
std::vector<Hit> songAt(float Bpm) {
    SongRun run(Bpm);
    run.song->PlaySong(1);
    run.pullTo(std::int64_t(64 * 60.0 / Bpm / 4 * Rate) + Rate);
    return run.hits;
}

TEST(EditWhilePlaying, ATempoChangeKeepsThePositionAndTheRowsPlayed) {
    struct Case {
        float from, to;
        std::int64_t change; // a block boundary
        bool atOnce;         // the new row length after the current row is already past
    } cases[] = {
        {120, 240, 4 * Rate + 5 * Block, false}, // 30 ms into row 32 (order 3's first row)
        {120, 240, 4 * Rate + 10 * Block, true}, // 100 ms in: the next row is overdue
        {120, 60, 4 * Rate + 10 * Block, false}, // slower: no restart of the pattern
        {97, 333, 3 * Rate + 7 * Block, true},   {200, 150, 2 * Rate + 3 * Block, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " at frame " << c.change);
        const auto first = songAt(c.from), second = songAt(c.to);
        SongRun run(c.from);
        auto& hits = run.hits;
        run.song->PlaySong(1);
        run.pullTo(c.change);
        const std::size_t played = hits.size();
        ASSERT_GT(played, 0u);
        run.song->SetBPM(c.to);
        run.pullTo(c.change + 40 * Rate);
        // Every row once, in order, up to the song's end.
        std::vector<int> all;
        for (const auto& h : first) all.push_back(h.id);
        EXPECT_EQ(run.ids(), all);
        EXPECT_EQ(run.song->PlayMode, PlayStopped);
        // The rows before the change keep their frames; the rest follow the current row at the
        // new tempo, as the second tempo's own render spaces them.
        for (std::size_t i = 0; i < played; ++i) EXPECT_EQ(hits[i].frame, first[i].frame) << i;
        const std::int64_t current = hits[played - 1].frame;
        for (std::size_t i = played; i < hits.size(); ++i) {
            const std::size_t k = i - played + 1; // rows after the current one
            const std::int64_t expected =
                c.atOnce ? c.change + second[k - 1].frame : current + second[k].frame;
            EXPECT_NEAR(double(hits[i].frame), double(expected), 1.0) << "row " << i;
        }
        EXPECT_EQ(c.atOnce, current + second[1].frame < c.change);
    }
}

TEST(EditWhilePlaying, RowsStayFrameExactForHoursAfterATempoChange) {
    SongRun run;
    auto& hits = run.hits;
    run.song->PatternAt(1).RowCount = 1;
    run.song->PlayPatternFrom(1, 1);
    run.pullTo(Rate + 3 * Block);
    const auto anchor = hits.back().frame;
    run.song->SetBPM(137);
    hits.clear();
    run.pullTo(3LL * 3600 * Rate);
    const double rowFrames = double(60.0f / 137 * 0.25f) * Rate; // the row length the player keeps
    ASSERT_NEAR(double(hits.size()), (3.0 * 3600 * Rate - double(anchor)) / rowFrames, 1.0);
    for (std::size_t i = 0; i < hits.size(); i += 997)
        EXPECT_NEAR(double(hits[i].frame), double(anchor) + double(i + 1) * rowFrames, 1.0) << i;
    EXPECT_NEAR(double(hits.back().frame), double(anchor) + double(hits.size()) * rowFrames, 1.0);
}

TEST(EditWhilePlaying, AShortenedPatternNeverPlaysItsHiddenRows) {
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop ? "pattern loop" : "song");
        SongRun run;
        auto& hits = run.hits;
        run.song->PatternAt(1).RowCount = 64;
        for (int r = 16; r < 64; ++r) run.note(1, r, 100 + r);
        loop ? run.song->PlayPatternFrom(1, 1) : run.song->PlaySong(1);
        run.pullTo(std::int64_t(40.5 * 0.125 * Rate)); // row 40 plays
        ASSERT_EQ(hits.back().id, 140);
        run.song->PatternAt(1).StoreRowCount(16);
        run.pullTo(run.frame + 20 * Rate / 8);
        // From the current position on: the loop's first row, or the next pattern's.
        const int next = loop ? 100 : 200;
        ASSERT_GE(hits.size(), 60u);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(hits[41 + size_t(i)].id, next + i) << i;
        for (std::size_t i = 41; i < hits.size(); ++i) {
            if (hits[i].id / 100 == 1) {
                EXPECT_LT(hits[i].id % 100, 16) << i;
            }
        }
        // The rows keep their grid: one row length apart throughout.
        for (std::size_t i = 1; i < hits.size(); ++i)
            EXPECT_NEAR(double(hits[i].frame - hits[i - 1].frame), 0.125 * Rate, 1.0) << i;
    }
}

TEST(EditWhilePlaying, OrderEditsKeepThePatternPlayingAndGoOnWithTheEntryThatFollows) {
    struct Case {
        const char* edit;
        bool insert;
        int position;
        std::vector<int> patterns; // as heard, one per pattern played
    } cases[] = {
        {"delete the entry playing", false, 2, {1, 2, 3, 4}},
        {"delete the entry before", false, 1, {1, 2, 3, 4}},
        {"delete the entry after", false, 3, {1, 2, 4}},
        {"insert at the entry playing", true, 2, {1, 2, 3, 4}},
        {"insert after it (an empty entry ends the song)", true, 3, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edit);
        SongRun run;
        auto& hits = run.hits;
        run.song->PlaySong(1);
        run.pullTo(std::int64_t(21.5 * 0.125 * Rate)); // order 2, row 5
        ASSERT_EQ(hits.back().id, 205);
        c.insert ? run.song->InsertOrder(c.position) : run.song->DeleteOrder(c.position);
        run.pullTo(run.frame + 10 * Rate);
        std::vector<int> heard;
        for (const auto& h : hits)
            if (heard.empty() || heard.back() != h.id / 100) heard.push_back(h.id / 100);
        EXPECT_EQ(heard, c.patterns);
        EXPECT_EQ(hits.size(), c.patterns.size() * 16);
        EXPECT_EQ(run.song->PlayMode, PlayStopped);
    }
}

} // namespace
