// Undoing and redoing an order insert or delete while the song plays keeps the playing entry
// playing, as the edit itself did.
#include "app/SongEdit.h"
#include "song/Sequencer.h"

#include <gtest/gtest.h>

#include <memory>

TEST(UndoWhilePlaying, OrderInsertsAndDeletesUndoneFollowThePlayingEntry) {
    struct Case {
        const char* edit;
        bool insert;
        int position;
    } cases[] = {{"delete before", false, 1}, {"delete after", false, 3}, {"insert before", true, 1},
                 {"insert at", true, 2},      {"insert after", true, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edit);
        auto song = std::make_unique<cSequencer>();
        song->Init();
        for (int i = 0; i < 4; ++i) song->Orders[i].PatternIndex = i + 1;
        song->PlaySong(2);
        cSongEdit edit(*song);
        edit.Orders();
        edit.Capture();
        c.insert ? song->InsertOrder(c.position) : song->DeleteOrder(c.position);
        edit.Finish();
        const int moved = song->CurOrder;
        ASSERT_EQ(song->Orders[moved - 1].PatternIndex, 2);
        edit.Apply(false);
        EXPECT_EQ(song->CurOrder, 2);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(song->Orders[i].PatternIndex, i + 1);
        edit.Apply(true);
        EXPECT_EQ(song->CurOrder, moved);
        EXPECT_EQ(song->Orders[song->CurOrder - 1].PatternIndex, 2);
    }
}
