// An undo step keeps what its edit changed, not the scope it named: a cell insert scoped to the
// whole column keeps the cells that moved, a clone scoped to a whole pattern the cells that differ,
// and naming an empty pattern makes no storage for it. Undo and redo put every cell back exactly.
#include "app/SongEdit.h"
#include "song/Sequencer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Snapshot = std::vector<cStep>;

Snapshot Take(const cSequencer& Song, int Pattern) {
    Snapshot s;
    for (int c = 0; c < ChannelCount; ++c)
        for (int r = 0; r < RowCapacity; ++r) s.push_back(Song.PatternAt(Pattern).Cell(c, r));
    return s;
}

bool Same(const Snapshot& A, const Snapshot& B) {
    for (std::size_t i = 0; i < A.size(); ++i)
        if (A[i].ins != B[i].ins || A[i].pitch != B[i].pitch) return false;
    return A.size() == B.size();
}

struct StepCase {
    const char* Name;
    std::function<void(cSequencer&)> Before; // the song before the edit
    std::function<void(cSongEdit&)> Scope;
    std::function<void(cSequencer&)> Edit;
    std::size_t Kept; // cells the step keeps
    int Storage;      // patterns that own storage after the edit and its undo
};

// Pattern 2 holds notes at rows 0, 3 and 10 of channel 1 and one in the hidden tail (row 300).
void ThreeNotesAndATail(cSequencer& S) {
    for (int r : {0, 3, 10}) S.PatternAt(2).SetCell(1, r, {r + 1, float(r)});
    S.PatternAt(2).SetCell(1, 300, {9, 0});
}

const StepCase stepCases[] = {
    {"ANoteInAnEmptyPattern", [](cSequencer&) {},
     [](cSongEdit& E) { E.Cells(5, 0, ChannelCount - 1, 0, RowCapacity - 1); },
     [](cSequencer& S) { S.PatternAt(5).SetCell(7, 7, {1, 0}); }, 1, 1},
    {"InsertAtTheTopOfAColumn", ThreeNotesAndATail, [](cSongEdit& E) { E.Cells(2, 1, 1, 0, RowCapacity - 1); },
     [](cSequencer& S) { S.InsertRow(2, 1, 0); }, 6, 1}, // rows 0, 1, 3, 4, 10, 11 change; the tail stays
    {"DeleteBelowTheNotes", ThreeNotesAndATail, [](cSongEdit& E) { E.Cells(2, 1, 1, 12, RowCapacity - 1); },
     [](cSequencer& S) { S.DeleteRow(2, 1, 12); }, 0, 1},
    {"InsertInAnEmptyColumn", ThreeNotesAndATail, [](cSongEdit& E) { E.Cells(2, 4, 4, 0, RowCapacity - 1); },
     [](cSequencer& S) { S.InsertRow(2, 4, 0); }, 0, 1},
    {"CloneOfThreeNotesOverAnEmptyPattern", ThreeNotesAndATail,
     [](cSongEdit& E) { E.Cells(8, 0, ChannelCount - 1, 0, 15); },
     [](cSequencer& S) {
         for (int c = 0; c < ChannelCount; ++c)
             for (int r = 0; r < 16; ++r) S.PatternAt(8).SetCell(c, r, S.PatternAt(2).LoadCell(c, r));
     },
     3, 2},
    {"ClearOfAWholeFullChannel",
     [](cSequencer& S) {
         for (int r = 0; r < RowCapacity; ++r) S.PatternAt(3).SetCell(0, r, {1, float(r % 24)});
     },
     [](cSongEdit& E) { E.Cells(3, 0, ChannelCount - 1, 0, RowCapacity - 1); },
     [](cSequencer& S) {
         for (int r = 0; r < RowCapacity; ++r) S.PatternAt(3).SetCell(0, r, {});
     },
     std::size_t(RowCapacity), 1}, // the edit touched all of it
    {"NothingChanged", ThreeNotesAndATail, [](cSongEdit& E) { E.Cells(2, 0, ChannelCount - 1, 0, RowCapacity - 1); },
     [](cSequencer&) {}, 0, 1},
};

class UndoSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(UndoSteps, KeepOnlyTheChangedCellsAndPutThemBack) {
    const auto& c = GetParam();
    auto song = std::make_unique<cSequencer>();
    c.Before(*song);
    const int touched = [&] {
        cSongEdit probe(*song);
        c.Scope(probe);
        return probe.Pattern();
    }();
    const Snapshot before = Take(*song, touched);

    cSongEdit edit(*song);
    c.Scope(edit);
    edit.Capture();
    c.Edit(*song);
    edit.Finish();
    const Snapshot after = Take(*song, touched);
    EXPECT_EQ(edit.KeptCells(), c.Kept);
    EXPECT_EQ(edit.Changed(), c.Kept > 0);

    edit.Apply(false);
    EXPECT_TRUE(Same(Take(*song, touched), before)) << "undo";
    edit.Apply(true);
    EXPECT_TRUE(Same(Take(*song, touched), after)) << "redo";
    edit.Apply(false);
    EXPECT_EQ(song->AllocatedPatterns(), c.Storage);
}

INSTANTIATE_TEST_SUITE_P(Cases, UndoSteps, ::testing::ValuesIn(stepCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(UndoStepsMerge, ALaterStepOfOtherCellsExtendsThisOne) {
    auto song = std::make_unique<cSequencer>();
    auto& p = song->PatternAt(1);
    p.SetCell(0, 0, {1, 0});
    const auto step = [&](int Row, cStep Value) {
        cSongEdit e(*song);
        e.Cells(1, 0, 0, 0, 31);
        e.Capture();
        p.SetCell(0, Row, Value);
        e.Finish();
        return e;
    };
    cSongEdit first = step(0, {2, 0});  // 1 -> 2 at row 0
    first.Extend(step(5, {3, 0}));      // a new cell
    first.Extend(step(0, {4, 0}));      // row 0 again: 2 -> 4
    EXPECT_EQ(first.KeptCells(), 2u);
    first.Apply(false);
    EXPECT_EQ(p.Cell(0, 0).ins, 1);
    EXPECT_EQ(p.Cell(0, 5).ins, 0);
    first.Apply(true);
    EXPECT_EQ(p.Cell(0, 0).ins, 4);
    EXPECT_EQ(p.Cell(0, 5).ins, 3);
}

} // namespace
