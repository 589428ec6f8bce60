#include "song/Sequencer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>
#include <thread>

namespace {

class SongModel : public ::testing::Test {
protected:
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    cStep& cell(int pattern, int channel, int row) { return song->PatternAt(pattern).CellForWrite(channel, row); }
};

TEST_F(SongModel, StartsAsAnEmptyStoppedSongAtTheDefaultTempo) {
    EXPECT_EQ(song->BPM, 120.0f);
    EXPECT_EQ(song->PlayMode, PlayStopped);
    EXPECT_TRUE(song->FileName.empty());
    for (int p = 1; p <= PatternCount; ++p) {
        EXPECT_EQ(song->PatternAt(p).RowCount, 16);
        EXPECT_TRUE(song->IsPatternEmpty(p));
    }
    for (const auto& ins : song->Instruments) {
        EXPECT_FALSE(ins.IsUsed());
        EXPECT_EQ(ins.Volume, 1.0f);
        EXPECT_EQ(ins.Stretch, 1.0f);
    }
}

// Every value a user can change, set away from a new song's.
void EditEverything(cSequencer& Song) {
    Song.SetBPM(90);
    Song.PatternAt(3).RowCount = 64;
    Song.PatternAt(3).CellForWrite(5, 400) = {2, 1.0f};
    Song.SetInstrumentFile(2, "/tmp/sounds/kick.wav");
    Song.InstrumentAt(2).StopPrev = true;
    Song.InstrumentAt(2).Volume = 0.5f;
    Song.InstrumentAt(2).Stretch = 1.5f;
    Song.InstrumentAt(2).Pitch = -3;
    Song.InstrumentAt(9).StopPrev = true; // a slot without a file keeps its flag too
    Song.Orders[0].PatternIndex = 3;
    Song.Orders[1].Text = "x";
    Song.ChannelMuted[4] = true;
    Song.Effects.ReverbEnabled = true;
    Song.Effects.Eq[2] = 0.7f;
    Song.PlaySong(1);
}

// Compares with a song as it is made, field by field.
void ExpectNewSong(const cSequencer& Song) {
    const auto fresh = std::make_unique<cSequencer>();
    EXPECT_EQ(Song.BPM, 120.0f);
    EXPECT_EQ(Song.PlayMode, PlayStopped);
    for (int p = 0; p < PatternCount; ++p) {
        EXPECT_EQ(Song.Patterns[p].RowCount, DefaultRowCount) << p;
        EXPECT_FALSE(Song.Patterns[p].HasContent()) << p;
    }
    for (int i = 0; i < InstrumentCount; ++i) {
        const auto& ins = Song.Instruments[i];
        EXPECT_FALSE(ins.IsUsed()) << i;
        EXPECT_EQ(ins.Volume, fresh->Instruments[i].Volume) << i;
        EXPECT_EQ(ins.Stretch, fresh->Instruments[i].Stretch) << i;
        EXPECT_EQ(ins.Pitch, fresh->Instruments[i].Pitch) << i;
        EXPECT_EQ(ins.StopPrev, fresh->Instruments[i].StopPrev) << i;
    }
    for (const auto& order : Song.Orders) EXPECT_TRUE(order.IsEmpty());
    for (bool muted : Song.ChannelMuted) EXPECT_FALSE(muted);
    const TEffectSettings cleared = TEffectSettings::Cleared();
    EXPECT_EQ(Song.Effects.ReverbEnabled, cleared.ReverbEnabled);
    EXPECT_EQ(Song.Effects.CompressorEnabled, cleared.CompressorEnabled);
    EXPECT_EQ(Song.Effects.Eq[2], cleared.Eq[2]);
}

TEST_F(SongModel, ResetMakesANewSongAndTellsTheTempo) {
    EditEverything(*song);
    song->FileName = "/songs/a.hym";
    std::vector<float> tempi;
    song->OnBPMChange = [&](cSequencer* s) { tempi.push_back(s->BPM); };
    song->Reset();
    ExpectNewSong(*song);
    EXPECT_EQ(tempi, std::vector<float>{120.0f});
    EXPECT_EQ(song->FileName, "/songs/a.hym"); // the storage's to set
    song->Init();
    ExpectNewSong(*song);
    EXPECT_TRUE(song->FileName.empty());
}

TEST_F(SongModel, OrderEditsKeepTheEntryPlayingAndWhatFollowsIt) {
    // Entries 1..6 play patterns 11..16; the run plays entry 4 (pattern 14).
    struct Case {
        const char* edit;
        bool insert;
        int position;
        int playingAfter; // where pattern 14 sits after the edit (0: it was deleted)
        int nextPattern;  // the pattern the run goes on with
    } cases[] = {
        {"insert before", true, 2, 5, 15},  {"insert at", true, 4, 5, 15},
        {"insert after", true, 5, 4, 0},    {"delete before", false, 1, 3, 15},
        {"delete playing", false, 4, 0, 15}, {"delete after", false, 5, 4, 16},
        {"delete first", false, 1, 3, 15},
    };
    for (const auto& c : cases) {
        song = std::make_unique<cSequencer>();
        for (int i = 0; i < 6; ++i) song->Orders[i].PatternIndex = 11 + i;
        song->PlaySong(4);
        c.insert ? song->InsertOrder(c.position) : song->DeleteOrder(c.position);
        if (c.playingAfter) {
            EXPECT_EQ(song->Orders[c.playingAfter - 1].PatternIndex, 14) << c.edit;
            EXPECT_EQ(song->CurOrder, c.playingAfter) << c.edit;
        }
        const int next = song->CurOrder + 1;
        EXPECT_EQ(song->Orders[next - 1].PatternIndex, c.nextPattern) << c.edit;
    }
}

TEST_F(SongModel, AssigningAFileNamesTheSlotAndResetsItsSettings) {
    auto& ins = song->InstrumentAt(7);
    ins.Volume = 0.2f;
    ins.Pitch = 5;
    ins.StopPrev = true;
    song->SetInstrumentFile(7, "/home/me/samples/Warm Pad.flac");
    EXPECT_EQ(ins.Name, "Warm Pad.flac");
    EXPECT_EQ(ins.GetFileName(), "/home/me/samples/Warm Pad.flac");
    EXPECT_EQ(ins.Volume, 1.0f);
    EXPECT_EQ(ins.Pitch, 0.0f);
    EXPECT_TRUE(ins.StopPrev);
}

TEST_F(SongModel, RowOperationsMoveTheHiddenTailAndRestoreIt) {
    auto& p = song->PatternAt(1);
    p.RowCount = 8;
    cell(1, 0, 7) = {1, 0};
    cell(1, 0, 8) = {9, 0}; // hidden tail, lost by the insert
    cell(1, 1, 7) = {4, 0}; // another channel does not move
    song->InsertRow(1, 0, 7);
    EXPECT_EQ(cell(1, 0, 7).ins, 0);
    EXPECT_EQ(cell(1, 0, 8).ins, 1);
    EXPECT_EQ(cell(1, 1, 7).ins, 4);
    song->DeleteRow(1, 0, 7);
    EXPECT_EQ(cell(1, 0, 7).ins, 1);
    EXPECT_EQ(cell(1, 0, 8).ins, 0);

    // Shortening then lengthening keeps the notes of the hidden rows.
    cell(1, 2, 6) = {3, 2};
    p.RowCount = 4;
    p.RowCount = 8;
    EXPECT_EQ(cell(1, 2, 6).ins, 3);
}

TEST_F(SongModel, InsertRowInTheMiddleShiftsOnlyDownToTheTail) {
    auto& p = song->PatternAt(2);
    p.RowCount = 4;
    for (int r = 0; r < 4; ++r) cell(2, 3, r) = {r + 1, 0};
    song->InsertRow(2, 3, 1);
    EXPECT_EQ(cell(2, 3, 0).ins, 1);
    EXPECT_EQ(cell(2, 3, 1).ins, 0);
    EXPECT_EQ(cell(2, 3, 2).ins, 2);
    EXPECT_EQ(cell(2, 3, 4).ins, 4);
}

TEST_F(SongModel, OrderListInsertAndDeleteAtTheEdges) {
    for (int i = 0; i < OrderCount; ++i) song->Orders[i].PatternIndex = i + 1;
    song->InsertOrder(1);
    EXPECT_TRUE(song->Orders[0].IsEmpty());
    EXPECT_EQ(song->Orders[1].PatternIndex, 1);
    EXPECT_EQ(song->Orders[99].PatternIndex, 99); // 100 dropped off the end

    song->DeleteOrder(1);
    EXPECT_EQ(song->Orders[0].PatternIndex, 1);
    EXPECT_TRUE(song->Orders[99].IsEmpty());

    song->Orders[99].PatternIndex = 7;
    song->DeleteOrder(100);
    EXPECT_TRUE(song->Orders[99].IsEmpty());
    EXPECT_EQ(song->Orders[98].PatternIndex, 99);
}

TEST_F(SongModel, OrderTextAloneMakesAnEntryNonEmpty) {
    cOrder entry;
    EXPECT_TRUE(cSequencer::IsOrderEmpty(entry));
    entry.Text = "x";
    EXPECT_FALSE(cSequencer::IsOrderEmpty(entry));
}

TEST_F(SongModel, PatternWithNotesOnlyBeyondRow100IsNotEmpty) {
    cell(5, 99, 450) = {-1, 0}; // a stop marker counts as content
    EXPECT_FALSE(song->IsPatternEmpty(5));
    cell(5, 99, 511) = {2, 0};
    cell(5, 99, 450) = {};
    EXPECT_FALSE(song->IsPatternEmpty(5));
}

TEST_F(SongModel, MuteSoloAndUnmute) {
    song->ToggleMute(3);
    EXPECT_TRUE(song->ChannelMuted[3]);
    song->ToggleMute(3);
    EXPECT_FALSE(song->ChannelMuted[3]);
    song->Solo(10);
    for (int c = 0; c < ChannelCount; ++c) EXPECT_EQ(song->ChannelMuted[c], c != 10) << c;
    song->UnmuteAll();
    for (bool m : song->ChannelMuted) EXPECT_FALSE(m);
}

TEST_F(SongModel, SongLengthWalksOrdersToTheFirstEmptyEntry) {
    song->SetBPM(120); // 0.125 s per row
    song->PatternAt(2).RowCount = 16;
    song->PatternAt(1).RowCount = 8;
    song->Orders[0].PatternIndex = 2;
    song->Orders[1].PatternIndex = 1;
    song->Orders[3].PatternIndex = 2; // after the gap: not part of the song
    EXPECT_DOUBLE_EQ(song->SongLengthSeconds(), 24 * 0.125);
}

TEST_F(SongModel, FileNameCanBeReplacedWhileAnotherThreadReadsIt) {
    auto& ins = song->InstrumentAt(1);
    const std::string a(200, 'a'), b(300, 'b');
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done) {
            const std::string& name = ins.FileNameRef();
            if (!name.empty() && name != a && name != b) ++torn;
        }
    });
    for (int i = 0; i < 20000; ++i) ins.SetFileName(i % 2 ? a : b);
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
}

} // namespace

namespace {

TEST(SongEdits, CellsLengthsAndOrdersEditedWhilePlayingAreReadWhole) {
    auto song = std::make_unique<cSequencer>();
    song->SetInstrumentFile(1, "/s/one.wav");
    song->SetInstrumentFile(2, "/s/two.wav");
    song->Orders[0].PatternIndex = 1;
    song->Orders[1].PatternIndex = 1;
    std::atomic<int> torn{0}, notes{0};
    song->OnQueuePlayback = [&](cSequencer*, const std::string& file, float, float, float, float pitch, int, int ins) {
        ++notes;
        const bool first = ins == 1 && pitch == 0.0f && file == "/s/one.wav";
        const bool second = ins == 2 && pitch == 7.0f && file == "/s/two.wav";
        if (!first && !second) ++torn;
    };
    std::atomic<bool> done{false};
    std::thread audio([&] {
        // The audio thread plays the song over and over, as fast as it can.
        for (std::int64_t block = 0; !done; ++block) {
            if (song->PlayMode == PlayStopped) {
                song->PlaySong(1);
                block = 0; // every start begins the clock at 0
            }
            song->MixFrames(block * 4410, 4410, 44100);
        }
    });
    for (int i = 0; i < 20000 || notes < 2000; ++i) {
        // The editors: a cell changes, the pattern's length changes, an order entry moves.
        StoreStep(song->PatternAt(1).CellForWrite(0, i % 16), i % 2 ? cStep{1, 0.0f} : cStep{2, 7.0f});
        std::atomic_ref<std::int32_t>(song->PatternAt(1).RowCount).store(8 + i % 9);
        if (i % 100 == 0) song->InsertRow(1, 0, 3);
        if (i % 100 == 50) song->DeleteRow(1, 0, 3);
    }
    done = true;
    audio.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(notes, 0);
}

} // namespace
