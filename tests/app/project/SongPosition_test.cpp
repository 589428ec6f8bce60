// Where a playing song is, as the status bar words it.
#include "app/SongPosition.h"
#include "song/Sequencer.h"

#include <gtest/gtest.h>

#include <memory>

TEST(SongPosition, ClockAndPositionTexts) {
    struct Case {
        double Seconds;
        const char* Text;
    };
    for (const Case& c : {Case{0, "0:00.0"}, Case{7.46, "0:07.4"}, Case{59.99, "0:59.9"}, Case{61, "1:01.0"},
                          Case{3725.5, "62:05.5"}, Case{-1, "0:00.0"}})
        EXPECT_EQ(brindle::ClockText(c.Seconds), c.Text) << c.Seconds;

    // Three entries of a 16-row and a 64-row pattern at 120 BPM (an eighth of a second a row).
    auto song = std::make_unique<cSequencer>();
    song->Init();
    song->PatternAt(1).RowCount = 16;
    song->PatternAt(2).RowCount = 64;
    for (int i : {0, 2}) song->Orders[i].PatternIndex = 1;
    song->Orders[1].PatternIndex = 2;
    song->PlaySong(3);
    song->CurRow = 11;
    auto where = brindle::WhereIs(*song, 0);
    EXPECT_EQ(brindle::PositionText(where), "Order 3/3 \u00b7 Pattern 1 \u00b7 Row 12/16 \u00b7 0:11.3 / 0:12.0");
    song->PlayPatternFrom(2, 1);
    song->CurRow = 63;
    where = brindle::WhereIs(*song, 4.25);
    EXPECT_EQ(brindle::PositionText(where), "Pattern 2 \u00b7 Row 64/64 \u00b7 0:04.2");
    song->Stop();
    EXPECT_FALSE(brindle::WhereIs(*song, 0).Playing);
}
