#include "app/RecentFiles.h"

#include "base/AppInfo.h"
#include "base/RegString.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class RecentFilesList : public ::testing::Test {
  protected:
    void SetUp() override {
        brindle::SetSettingsFolder(dir.path().string());
        brindle::SetCommandLine({"/opt/brindle/brindle.app", "song.hym"});
    }
    void TearDown() override { brindle::SetSettingsFolder({}); }
    static std::string key(const std::string& name) { return "brindle.app\\RecentFiles\\" + name; }
    static std::string stored(const std::string& name) { return brindle::ReadRegString(key(name), "?"); }
    static std::string path(int i) { return "/songs/song" + std::to_string(i) + ".hym"; }

    brindle::test::TempDir dir;
};

TEST_F(RecentFilesList, TheTwentyFirstFileDropsTheOldest) {
    cRecentFilesList list;
    EXPECT_EQ(list.Count(), 0);
    for (int i = 0; i < 21; ++i)
        list.NotifyOpen(path(i));
    ASSERT_EQ(list.Count(), 20);
    EXPECT_EQ(list.Item(0), path(20));
    EXPECT_EQ(list.Item(19), path(1));
    // Saved at once, under the program's file name with its extension.
    EXPECT_EQ(stored("Count"), "20");
    EXPECT_EQ(stored("File0"), path(20));
    EXPECT_EQ(stored("File19"), path(1));
    cRecentFilesList again;
    EXPECT_EQ(again.Items(), list.Items());
}

TEST_F(RecentFilesList, ReopeningMovesToTheTopAndLetterCaseDoesNotMakeANewEntry) {
    cRecentFilesList list;
    for (int i = 0; i < 5; ++i)
        list.NotifyOpen(path(i));
    list.NotifyOpen(path(1));
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(list.Item(0), path(1));
    EXPECT_EQ(list.Item(1), path(4));
    EXPECT_EQ(list.Item(4), path(0));

    list.NotifyOpen("/SONGS/Song3.HYM");
    ASSERT_EQ(list.Count(), 5);
    // The entry takes the spelling most recently passed.
    EXPECT_EQ(list.Item(0), "/SONGS/Song3.HYM");
    EXPECT_EQ(list.Item(1), path(1));
    EXPECT_EQ(stored("File0"), "/SONGS/Song3.HYM");
}

TEST_F(RecentFilesList, AfterClearAndOneOpenOlderKeysAreNotLoadedAgain) {
    cRecentFilesList list;
    for (int i = 0; i < 6; ++i)
        list.NotifyOpen(path(i));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(stored("Count"), "6"); // the store keeps the list until the next save
    list.NotifyOpen("/songs/new.hym");
    EXPECT_EQ(stored("Count"), "1");
    EXPECT_EQ(stored("File3"), path(2)); // left in the store, bounded out by the count
    cRecentFilesList again;
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.Item(0), "/songs/new.hym");
}

TEST_F(RecentFilesList, DamagedStoreLoadsWhatItCanAndNeverRunsAway) {
    brindle::WriteRegString(key("Count"), "three");
    brindle::WriteRegString(key("File0"), path(0));
    EXPECT_EQ(cRecentFilesList().Count(), 0);

    // A missing entry loads as an empty name.
    brindle::WriteRegString(key("Count"), "2");
    cRecentFilesList gap;
    ASSERT_EQ(gap.Count(), 2);
    EXPECT_EQ(gap.Item(0), path(0));
    EXPECT_EQ(gap.Item(1), "");

    // We never write more than 20; a count of two billion must not read keys for ever.
    brindle::WriteRegString(key("Count"), "2000000000");
    EXPECT_EQ(cRecentFilesList().Count(), cRecentFilesList::MaxEntries);
    brindle::WriteRegString(key("Count"), "-4");
    EXPECT_EQ(cRecentFilesList().Count(), 0);
}

TEST_F(RecentFilesList, EachProgramNameKeepsItsOwnListAndEmptyNamesAreIgnored) {
    cRecentFilesList list;
    list.NotifyOpen(path(1));
    list.NotifyOpen("");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(cRecentFilesList::KeyPrefix(), "brindle.app\\RecentFiles\\");

    brindle::SetCommandLine({"/usr/bin/brindle"});
    EXPECT_EQ(cRecentFilesList::KeyPrefix(), "brindle\\RecentFiles\\");
    EXPECT_EQ(cRecentFilesList().Count(), 0);
    cRecentFilesList::Registry_Value_Set("brindle\\RecentFiles\\Count", "1");
    cRecentFilesList::Registry_Value_Set("brindle\\RecentFiles\\File0", "/x.hym");
    EXPECT_EQ(cRecentFilesList().Item(0), "/x.hym");
    EXPECT_EQ(cRecentFilesList::Registry_Value_Get("brindle\\RecentFiles\\File9", "none"), "none");
}

} // namespace
