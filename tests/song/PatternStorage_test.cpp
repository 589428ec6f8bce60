// Cell storage grows with the song: a channel owns cells only once written, reading never makes
// any, and what a pattern holds (the hidden tail included) survives every way of writing it.
#include "song/Sequencer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Channels that hold a note or stop marker somewhere, over the whole song.
int ChannelsWithContent(const cSequencer& Song) {
    int n = 0;
    for (int p = 1; p <= PatternCount; ++p)
        for (int c = 0; c < ChannelCount; ++c)
            for (int r = 0; r < RowCapacity; ++r)
                if (Song.PatternAt(p).Cell(c, r).ins != 0) {
                    ++n;
                    break;
                }
    return n;
}

int AllocatedChannels(const cSequencer& Song) {
    int n = 0;
    for (int p = 1; p <= PatternCount; ++p) n += Song.PatternAt(p).AllocatedChannels();
    return n;
}

struct StorageCase {
    const char* Name;
    std::function<void(cSequencer&)> Do;
    int Patterns; // patterns that own storage afterwards
    int Channels; // channels that own storage afterwards
};

class PatternStorage : public ::testing::TestWithParam<StorageCase> {};

TEST_P(PatternStorage, OnlyWrittenChannelsOwnCells) {
    auto song = std::make_unique<cSequencer>();
    GetParam().Do(*song);
    EXPECT_EQ(song->AllocatedPatterns(), GetParam().Patterns);
    EXPECT_EQ(AllocatedChannels(*song), GetParam().Channels);
    EXPECT_EQ(song->CellBytes(), std::size_t(GetParam().Channels) * RowCapacity * sizeof(cStep));
}

const StorageCase storageCases[] = {
    {"NewSong", [](cSequencer&) {}, 0, 0},
    {"InitAndReset", [](cSequencer& S) { S.Init(), S.Reset(); }, 0, 0},
    {"ReadingEveryCell",
     [](cSequencer& S) {
         int notes = 0;
         for (int p = 1; p <= PatternCount; ++p) {
             notes += !S.IsPatternEmpty(p);
             for (int c = 0; c < ChannelCount; ++c)
                 for (int r = 0; r < RowCapacity; ++r) notes += S.PatternAt(p).LoadCell(c, r).ins != 0;
         }
         EXPECT_EQ(notes, 0);
     },
     0, 0},
    {"OneNote", [](cSequencer& S) { S.PatternAt(7).SetCell(3, 5, {2, 0}); }, 1, 1},
    {"StopMarkerInTheHiddenTail", [](cSequencer& S) { S.PatternAt(100).SetCell(99, 511, {-1, 0}); }, 1, 1},
    {"TwoChannelsOfOnePattern",
     [](cSequencer& S) {
         S.PatternAt(2).SetCell(0, 0, {1, 0});
         S.PatternAt(2).CellForWrite(50, 0) = {1, 0};
     },
     1, 2},
    {"NotesInThreePatterns",
     [](cSequencer& S) {
         for (int p : {1, 40, 99}) S.PatternAt(p).SetCell(p % ChannelCount, p, {1, 0});
     },
     3, 3},
    {"EmptyCellsWritten",
     [](cSequencer& S) {
         for (int c = 0; c < ChannelCount; ++c) S.PatternAt(4).SetCell(c, 0, cStep{});
     },
     0, 0},
    {"RowsInsertedAndDeletedInEmptyChannels",
     [](cSequencer& S) {
         S.InsertRow(5, 0, 0);
         S.DeleteRow(5, 1, 3);
     },
     0, 0},
    {"ALengthChanged", [](cSequencer& S) { S.PatternAt(6).StoreRowCount(64); }, 0, 0},
    {"PitchWithoutInstrumentIsKept", [](cSequencer& S) { S.PatternAt(8).SetCell(1, 1, {0, 3.0f}); }, 1, 1},
    {"EmptiedByTheUserKeepsStorage",
     [](cSequencer& S) {
         S.PatternAt(9).SetCell(2, 2, {1, 0});
         S.PatternAt(9).SetCell(2, 2, {});
     },
     1, 1},
    {"ResetKeepsStorageButEmptiesIt",
     [](cSequencer& S) {
         S.PatternAt(10).SetCell(2, 2, {1, 0});
         S.Reset();
         EXPECT_TRUE(S.IsPatternEmpty(10));
     },
     1, 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, PatternStorage, ::testing::ValuesIn(storageCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(PatternStorageFile, TheDemoOwnsCellsOnlyWhereItHasNotes) {
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym");
    int withContent = 0;
    for (int p = 1; p <= PatternCount; ++p) withContent += !song->IsPatternEmpty(p);
    ASSERT_GT(withContent, 0);
    EXPECT_EQ(song->AllocatedPatterns(), withContent);
    EXPECT_EQ(AllocatedChannels(*song), ChannelsWithContent(*song));
    EXPECT_LT(song->CellBytes(), std::size_t(1) << 20);
    std::printf("demo: %d patterns, %d channels, %zu bytes of cells\n", song->AllocatedPatterns(),
                AllocatedChannels(*song), song->CellBytes());
}

TEST(PatternStorageFile, SavingReadsWithoutMakingStorageAndTheRoundTripMatches) {
    brindle::test::TempDir dir;
    auto song = std::make_unique<cSequencer>();
    song->PatternAt(3).SetCell(4, 7, {2, -3.0f});
    song->PatternAt(3).SetCell(4, 300, {5, 1.0f}); // hidden tail of a 16-row pattern
    song->PatternAt(60).StoreRowCount(80);         // a length without notes: saved, no storage
    const auto path = (dir / "song.hym").string();
    song->SaveFile(path);
    EXPECT_EQ(song->AllocatedPatterns(), 1);

    auto back = std::make_unique<cSequencer>();
    back->LoadFile(path);
    EXPECT_EQ(back->AllocatedPatterns(), 1);
    EXPECT_EQ(back->PatternAt(60).RowCount, 80);
    for (int c = 0; c < ChannelCount; ++c)
        for (int r = 0; r < RowCapacity; ++r) {
            const cStep a = song->PatternAt(3).Cell(c, r), b = back->PatternAt(3).Cell(c, r);
            ASSERT_TRUE(a.ins == b.ins && a.pitch == b.pitch) << c << "," << r;
        }
}

TEST(PatternStorageTail, AShortenedPatternKeepsItsTailAndDoesNotPlayIt) {
    auto song = std::make_unique<cSequencer>();
    song->SetInstrumentFile(1, "/tmp/none.wav");
    auto& p = song->PatternAt(1);
    p.StoreRowCount(32);
    p.SetCell(0, 4, {1, 0});
    p.SetCell(0, 20, {1, 0});
    p.StoreRowCount(8);
    std::vector<int> rows;
    std::int64_t block = 0;
    song->OnQueuePlayback = [&](cSequencer*, const std::string&, float Offset, float, float, float, int, int) {
        rows.push_back(int((block + std::int64_t(Offset * 44100)) / 2756)); // 240 BPM: 2756.25 frames a row
    };
    song->SetBPM(240);
    song->PlayPatternFrom(1, 1);
    for (; block < 4 * 8 * 2757; block += 441) song->MixFrames(block, 441, 44100);
    // Four rounds of eight rows; the tail's note would sound at row 20 of a single round of 32.
    EXPECT_EQ(rows, (std::vector<int>{4, 12, 20, 28}));
    EXPECT_EQ(p.Cell(0, 20).ins, 1);
    p.StoreRowCount(32);
    EXPECT_FALSE(song->IsPatternEmpty(1));
    song->DeleteRow(1, 0, 0); // the rows up to the length move up
    EXPECT_EQ(p.Cell(0, 19).ins, 1);
    EXPECT_EQ(p.Cell(0, 3).ins, 1);
}

} // namespace
