#include "ui/views/Log.h"

#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Appended rather than added: GCC 12 misreads literal + std::string chains (-Wrestrict).
std::string numbered(const char* prefix, int i) {
    return std::string(prefix).append(std::to_string(i));
}

TEST(Log, NewLinesCarryTheTimeAndOnLogGetsTheTextAsGiven) {
    TLog log;
    std::vector<std::string> seen;
    log.OnLog = [&](TLog* sender, const std::string& text) {
        EXPECT_EQ(sender, &log);
        seen.push_back(text);
    };
    log.Add("Opening... demo.hym");
    ASSERT_EQ(log.LineCount(), 1);
    const QString line = QString::fromStdString(log.Line(0));
    EXPECT_TRUE(
        QRegularExpression("^\\d\\d:\\d\\d:\\d\\d: Opening\\.\\.\\. demo\\.hym$").match(line).hasMatch())
        << line.toStdString();
    log.SetShowTime(false);
    log.Add("plain");
    EXPECT_EQ(log.Line(1), "plain");
    EXPECT_EQ(seen, (std::vector<std::string>{"Opening... demo.hym", "plain"}));

    // Emptied by the widget's own clear, it starts again at its first line.
    log.clear();
    EXPECT_EQ(log.LineCount(), 0);
    log.Add("again");
    ASSERT_EQ(log.LineCount(), 1);
    EXPECT_EQ(log.Line(0), "again");
}

TEST(Log, SameLineAppendsToTheLastLineAfterOneTimePrefix) {
    TLog log;
    log.Add("Saving...");
    log.LogSameLine(" done");
    ASSERT_EQ(log.LineCount(), 1);
    const QString line = QString::fromStdString(log.Line(0));
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d: Saving\\.\\.\\. done$").match(line).hasMatch())
        << line.toStdString();

    // With no line yet the text becomes the first line, without a time.
    TLog fresh;
    fresh.LogSameLine("first");
    fresh.LogSameLine(" second");
    ASSERT_EQ(fresh.LineCount(), 1);
    EXPECT_EQ(fresh.Line(0), "first second");
}

TEST(Log, MoreThanMaxLinesKeepsTheNewerHalfBeforeAddingTheNext) {
    TLog log;
    log.SetShowTime(false);
    for (int i = 0; i < 1000; ++i)
        log.Add(numbered("L", i));
    log.Add("L1000"); // exactly 1000 lines held before it: nothing is dropped
    ASSERT_EQ(log.LineCount(), 1001);
    EXPECT_EQ(log.Line(0), "L0");

    log.Add("next"); // 1001 lines: those before index 500 go
    ASSERT_EQ(log.LineCount(), 502);
    EXPECT_EQ(log.Line(0), "L500");
    EXPECT_EQ(log.Line(500), "L1000");
    EXPECT_EQ(log.Line(501), "next");

    TLog small;
    small.SetShowTime(false);
    small.SetMaxLines(10);
    for (int i = 0; i < 40; ++i)
        small.Add(std::to_string(i));
    // Trimmed at 11 lines to 6 each time: never more than 11, always the newest at the end.
    EXPECT_LE(small.LineCount(), 11);
    EXPECT_EQ(small.Line(small.LineCount() - 1), "39");
    for (int i = 1; i < small.LineCount(); ++i)
        EXPECT_EQ(std::stoi(small.Line(i)), std::stoi(small.Line(i - 1)) + 1);
}

TEST(Log, TypingDoesNotChangeItAndTheViewFollowsTheNewestLine) {
    TLog log;
    log.SetShowTime(false);
    log.resize(300, 120);
    log.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
    log.Add("one");
    QTest::keyClicks(&log, "typed");
    QTest::keyClick(&log, Qt::Key_Backspace);
    EXPECT_EQ(log.LineCount(), 1);
    EXPECT_EQ(log.Line(0), "one");

    for (int i = 0; i < 200; ++i)
        log.Add(numbered("line ", i));
    QScrollBar* bar = log.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    // Someone reading older lines is not pulled down by new ones.
    bar->setValue(0);
    log.Add("more");
    EXPECT_EQ(bar->value(), 0);
}

} // namespace
