#include "ui/dialogs/FormTrace.h"

#include "base/AppInfo.h"

#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Sets the command line a window reads its switches from, and puts the test's own back.
class TraceWindow : public ::testing::Test {
  protected:
    void SetUp() override { saved = brindle::CommandLine(); }
    void TearDown() override { brindle::SetCommandLine(saved); }
    static void switches(std::vector<std::string> args) {
        args.insert(args.begin(), "brindle");
        brindle::SetCommandLine(args);
    }
    static QStringList lines(const TFormTrace& window) {
        const QString text = window.Memo->toPlainText();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }
    // Traces until the process-wide count sits at a clear, so a test sees whole rounds of 40.
    static void startRound(TFormTrace& window) {
        while (TFormTrace::LinesSinceClear() != TFormTrace::LinesPerClear)
            brindle::ui::Trace("sync");
        window.Memo->clear();
    }

    std::vector<std::string> saved;
};

TEST_F(TraceWindow, ShowsNumberedLinesOnlyWhileVisible) {
    switches({});
    TFormTrace window;
    EXPECT_EQ(window.windowTitle(), "Trace Log (Debug Info)");
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window.size(), QSize(867, 99));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(brindle::ui::TraceActive());

    const int before = TFormTrace::LineNumber();
    brindle::ui::Trace("hidden");
    EXPECT_EQ(TFormTrace::LineNumber(), before); // dropped, not numbered
    EXPECT_TRUE(lines(window).isEmpty());

    window.show();
    EXPECT_TRUE(QFontInfo(window.Memo->font()).fixedPitch());
    EXPECT_TRUE(brindle::ui::TraceActive());
    brindle::ui::Trace("\"MainForm::OnQueuePlayback\"(form_main):220:MainForm::OnQueuePlayback");
    brindle::ui::Trace("Tolm.seq->OnQueuePlayback_Key(form_main):221:7");
    const auto shown = lines(window);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].toStdString(),
              std::to_string(before + 1) +
                  ": \"MainForm::OnQueuePlayback\"(form_main):220:MainForm::OnQueuePlayback");
    EXPECT_EQ(shown[1].toStdString(),
              std::to_string(before + 2) + ": Tolm.seq->OnQueuePlayback_Key(form_main):221:7");
}

// Trace points name what they trace and where: the expression (a fixed text in quotes), the source
// file's name without its folder, the line and the value.
TEST_F(TraceWindow, TracePointsFollowTheLineConvention) {
    EXPECT_EQ(brindle::ui::TraceLine("InsGrid->Row", "/src/ui/editors/InstrumentList.cpp", 124, "5"),
              "InsGrid->Row(InstrumentList.cpp):124:5");
    switches({});
    TFormTrace window;
    window.show();
    startRound(window);
    const int line = __LINE__ + 1;
    BRINDLE_TRACE_TEXT("InsGrid: MouseDown");
    BRINDLE_TRACE_VALUE("PianoKeyboard->Param_Key", 188);
    const auto shown = lines(window);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].endsWith("\"InsGrid: MouseDown\"(FormTrace_test.cpp):" + QString::number(line) +
                                  ":InsGrid: MouseDown"))
        << shown[0].toStdString();
    EXPECT_TRUE(shown[1].endsWith(
        "PianoKeyboard->Param_Key(FormTrace_test.cpp):" + QString::number(line + 1) + ":188"))
        << shown[1].toStdString();
}

TEST_F(TraceWindow, TheFortyFirstLineEmptiesTheMemoAndNumberingRunsOn) {
    switches({});
    TFormTrace window;
    window.show();
    startRound(window);
    const int first = TFormTrace::LineNumber() + 1;
    for (int i = 0; i < 40; ++i)
        brindle::ui::Trace("x");
    EXPECT_EQ(lines(window).size(), 40);
    brindle::ui::Trace("forty-first");
    auto shown = lines(window);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].toStdString(), std::to_string(first + 40) + ": forty-first");
    // Every later round holds 40 lines too.
    for (int i = 0; i < 39; ++i)
        brindle::ui::Trace("y");
    EXPECT_EQ(lines(window).size(), 40);
    brindle::ui::Trace("z");
    EXPECT_EQ(lines(window).size(), 1);
}

TEST_F(TraceWindow, NoClearLogKeepsEveryLine) {
    switches({"NoClearLog", "trace"});
    TFormTrace window;
    EXPECT_FALSE(window.GetClearFlag());
    ASSERT_TRUE(window.isVisible());
    for (int i = 0; i < 100; ++i)
        brindle::ui::Trace("line");
    EXPECT_EQ(lines(window).size(), 100);
}

TEST_F(TraceWindow, PausedLinesAreNumberedButNotShown) {
    switches({"debug"});
    TFormTrace window;
    ASSERT_TRUE(window.isVisible());
    startRound(window);
    brindle::ui::Trace("a");
    QTest::mouseClick(window.PauseButton, Qt::LeftButton);
    ASSERT_TRUE(window.PauseButton->isChecked());
    brindle::ui::Trace("b");
    brindle::ui::Trace("c");
    QTest::mouseClick(window.PauseButton, Qt::LeftButton);
    brindle::ui::Trace("d");
    const auto shown = lines(window);
    ASSERT_EQ(shown.size(), 2);
    const int a = shown[0].section(':', 0, 0).toInt();
    EXPECT_EQ(shown[0].toStdString(), std::to_string(a) + ": a");
    EXPECT_EQ(shown[1].toStdString(), std::to_string(a + 3) + ": d");
}

TEST_F(TraceWindow, SwitchesPlaceAndSizeTheWindow) {
    switches({"traceheight", "300", "TRACEUP"});
    {
        TFormTrace window;
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.height(), 300);
        EXPECT_EQ(window.pos(), QPoint(0, 0));
    }
    switches({"traceheight"}); // no value: the window keeps its height rather than vanishing
    {
        TFormTrace window;
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(window.height(), 99);
    }
    switches({"debugmax"});
    {
        TFormTrace window;
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    }
}

TEST_F(TraceWindow, TheNewestWindowTakesTheLinesAndAGoneWindowNone) {
    switches({"trace"});
    auto first = std::make_unique<TFormTrace>();
    {
        TFormTrace second;
        EXPECT_EQ(TFormTrace::Registered(), &second);
        brindle::ui::Trace("to second");
        EXPECT_TRUE(second.Memo->toPlainText().endsWith("to second"));
        EXPECT_FALSE(first->Memo->toPlainText().contains("to second"));
    }
    EXPECT_EQ(TFormTrace::Registered(), nullptr);
    brindle::ui::Trace("nobody"); // no window: nothing happens
    EXPECT_FALSE(brindle::ui::TraceActive());
}

} // namespace
