#include "ui/views/RecentFiles.h"

#include "base/AppInfo.h"
#include "base/RegString.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Each test has a program name of its own, so each sees a list of its own.
class RecentFilesMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = brindle::CommandLine();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        program = std::string(info->name()) + ".bin";
        brindle::SetCommandLine({"/opt/brindle/" + program});
    }
    void TearDown() override { brindle::SetCommandLine(saved); }
    std::string stored(const std::string& key) {
        return brindle::ReadRegString(program + "\\RecentFiles\\" + key, "?");
    }
    static std::string path(int i) { return "/songs/song" + std::to_string(i) + ".hym"; }
    static std::vector<QAction*> entries(QMenu& menu) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        auto list = menu.actions();
        return {list.begin(), list.end()};
    }

    std::vector<std::string> saved;
    std::string program;
};

TEST_F(RecentFilesMenu, ShowsTwelveNewestAndChoosingOneOpensIt) {
    QMenu menu("Recent Files");
    TRecentFiles recent;
    recent.SetMenuItem(&menu);
    std::vector<std::string> opened;
    recent.OnOpenFile = [&](TRecentFiles* sender, const std::string& file) {
        EXPECT_EQ(sender, &recent);
        opened.push_back(file);
    };
    for (int i = 0; i < 15; ++i)
        recent.NotifyOpen(path(i));
    const auto items = entries(menu);
    ASSERT_EQ(items.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(items[size_t(i)]->text().toStdString(), path(14 - i));
        EXPECT_EQ(items[size_t(i)]->data().toInt(), i);
    }
    EXPECT_EQ(stored("Count"), "15");

    // Choose the first entry with the mouse.
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(items[0]).center());
    ASSERT_EQ(opened, std::vector<std::string>{path(14)});
    // And the fourth from the keyboard.
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(&menu, Qt::Key_Down);
    QTest::keyClick(&menu, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], path(11));
}

TEST_F(RecentFilesMenu, OpeningFromTheMenuMayAnnounceTheFileAtOnce) {
    QMenu menu;
    TRecentFiles recent;
    recent.SetMenuItem(&menu);
    for (int i = 0; i < 3; ++i)
        recent.NotifyOpen(path(i));
    // The main window opens the file and announces it from inside the entry's own click.
    recent.OnOpenFile = [&](TRecentFiles* sender, const std::string& file) { sender->NotifyOpen(file); };
    entries(menu)[2]->trigger();
    const auto items = entries(menu);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->text().toStdString(), path(0));
    EXPECT_EQ(items[1]->text().toStdString(), path(2));
    EXPECT_EQ(items[2]->text().toStdString(), path(1));
}

TEST_F(RecentFilesMenu, SettingTheMenuShowsTheStoredListAndAmpersandsStayText) {
    {
        TRecentFiles first;
        first.NotifyOpen("/songs/rock & roll.hym");
        first.NotifyOpen(path(1));
    }
    QMenu menu;
    menu.addAction("left over");
    TRecentFiles recent;
    EXPECT_EQ(recent.GetList().Count(), 2);
    recent.SetMenuItem(&menu);
    const auto items = entries(menu);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->text().toStdString(), path(1));
    // "&&" shows one ampersand; a single one would underline the next letter instead.
    EXPECT_EQ(items[1]->text().toStdString(), "/songs/rock && roll.hym");
    std::string opened;
    recent.OnOpenFile = [&](TRecentFiles*, const std::string& file) { opened = file; };
    items[1]->trigger();
    EXPECT_EQ(opened, "/songs/rock & roll.hym");
}

TEST_F(RecentFilesMenu, ClearEmptiesTheMenuAndTheStoreAtTheNextSave) {
    QMenu menu;
    auto recent = std::make_unique<TRecentFiles>();
    recent->SetMenuItem(&menu);
    for (int i = 0; i < 4; ++i)
        recent->NotifyOpen(path(i));
    recent->Clear();
    EXPECT_TRUE(entries(menu).empty());
    EXPECT_EQ(stored("Count"), "4"); // kept until the list is saved
    recent.reset();                  // destruction saves
    EXPECT_EQ(stored("Count"), "0");
    EXPECT_EQ(TRecentFiles().GetList().Count(), 0);
}

TEST_F(RecentFilesMenu, AMenuDeletedFirstIsNotTouched) {
    TRecentFiles recent;
    {
        QMenu menu;
        recent.SetMenuItem(&menu);
        recent.NotifyOpen(path(1));
    }
    EXPECT_EQ(recent.GetMenuItem(), nullptr);
    recent.NotifyOpen(path(2));
    EXPECT_EQ(recent.GetList().Count(), 2);
}

} // namespace
