// The sample cut editor driven as a user would: the window's parts, the zone and the selection
// following each other, clicks inside and outside the zone, Space, and saving a selection.
#include "app/SampleCut.h"
#include "audio/nodes/PlayStream.h"
#include "audio/soundlib/SoundFile.h"
#include "audio/waveform/WavDataStore.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "ui/dialogs/SampleCutForm.h"
#include "ui/views/AudioView.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

using namespace brindle::test;
namespace fs = std::filesystem;

namespace {

class SampleCut : public ::testing::Test {
protected:
    TempDir dir;
    TSampleCutForm form;
    std::vector<std::string> messages;
    std::string saveAs;
    std::vector<std::int16_t> source;

    void SetUp() override {
        form.ShowMessage = [this](const std::string& Text) { messages.push_back(Text); };
        form.AskSaveFileName = [this] { return saveAs; };
        // Four seconds, every frame different.
        source.resize(44100 * 4 * 2);
        for (std::size_t i = 0; i < source.size(); ++i) source[i] = std::int16_t((i * 13) % 20000 - 10000);
        WriteSoundFile(dir / "rec.wav", source, 44100, 2);
        form.AskOpenFileName = [this] { return (dir / "rec.wav").string(); };
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        form.Open();
        form.AudioView->Store().WaitReading();
    }
    TAudioView& view() { return *form.AudioView; }
    int xOf(double Pos) { return view().WavPosToX(Pos); }
    void drag(double From, double To) {
        QTest::mousePress(&view(), Qt::LeftButton, {}, QPoint(xOf(From), 80));
        QTest::mouseMove(&view(), QPoint(xOf(To), 80));
        QTest::mouseRelease(&view(), Qt::LeftButton, {}, QPoint(xOf(To), 80));
    }
};

TEST_F(SampleCut, TheWindowHasItsPartsAndOpensTheWholeFile) {
    EXPECT_EQ(form.windowTitle(), "rec.wav");
    EXPECT_EQ(form.PlayBtn->text(), "> Play");
    EXPECT_EQ(form.InBtn->text(), "(+)  In");
    EXPECT_EQ(form.FullBtn->text(), "|<->| Full");
    EXPECT_EQ(view().Markers.Count(), 3);
    EXPECT_EQ(form.Zone().BeginMarker->LabelText, ">");
    EXPECT_EQ(form.Zone().EndMarker->LabelText, "<");
    EXPECT_EQ(form.ScrollBar1->pageStep(), 10000); // the whole file in view
    // Opening resets the selection and the view.
    view().SetViewLen(0.2);
    drag(0.05, 0.1);
    form.Open();
    EXPECT_EQ(view().GetSelLen(), 0);
    EXPECT_EQ(view().GetViewLen(), 1);
}

TEST_F(SampleCut, TheZoneAndTheSelectionFollowEachOther) {
    drag(0.6, 0.2); // leftwards
    EXPECT_NEAR(form.Zone().BeginMarker->MarkerPos, view().GetSelStart(), 1e-9);
    EXPECT_NEAR(form.Zone().EndMarker->MarkerPos, view().GetSelEnd(), 1e-9);
    // Dragging ">" moves the selection's start and length together.
    QApplication::processEvents();
    const QPoint grab = form.Zone().BeginMarker->LabelRect.center();
    QTest::mousePress(&view(), Qt::LeftButton, {}, grab);
    QTest::mouseMove(&view(), grab + QPoint(30, 0));
    QTest::mouseRelease(&view(), Qt::LeftButton, {}, grab + QPoint(30, 0));
    EXPECT_GT(view().GetSelStart(), 0.2 + 1e-3);
    EXPECT_NEAR(view().GetSelStart(), form.Zone().BeginMarker->MarkerPos, 1e-9);
    EXPECT_NEAR(view().GetSelEnd(), 0.6, 2.0 / view().width());
    // A new mouse selection still moves the zone.
    drag(0.7, 0.8);
    EXPECT_NEAR(form.Zone().BeginMarker->MarkerPos, view().GetSelStart(), 1e-9);
}

TEST_F(SampleCut, AClickInsideTheZoneLoopsItFromThereAndOutsideEmptiesIt) {
    drag(0.2, 0.6);
    QTest::mouseClick(&view(), Qt::LeftButton, {}, QPoint(xOf(0.4), 80));
    EXPECT_TRUE(view().Playing());
    EXPECT_TRUE(view().Stream().GetLooping());
    EXPECT_NEAR(view().GetSelStart(), 0.2, 2.0 / view().width());
    EXPECT_NEAR(view().GetSelEnd(), 0.6, 2.0 / view().width());
    EXPECT_NEAR(view().Stream().GetPos(), 0.4, 0.05);
    view().Stop();
    QTest::mouseClick(&view(), Qt::LeftButton, {}, QPoint(xOf(0.8), 80));
    EXPECT_NEAR(form.Zone().BeginMarker->MarkerPos, 0.8, 2.0 / view().width());
    EXPECT_EQ(form.Zone().BeginMarker->MarkerPos, form.Zone().EndMarker->MarkerPos);
}

TEST_F(SampleCut, SpacePlaysToTheEndOrLoopsTheSelection) {
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_TRUE(view().Playing());
    EXPECT_FALSE(view().Stream().GetLooping());
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_FALSE(view().Playing());
    drag(0.1, 0.3);
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_TRUE(view().Stream().GetLooping());
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_FALSE(view().Playing());
}

TEST_F(SampleCut, KeypadPlusAndMinusZoom) {
    QTest::keyClick(&form, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_NEAR(view().GetViewLen(), 1 / 1.4, 1e-9);
    QTest::keyClick(&form, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_NEAR(view().GetViewLen(), 1.0, 1e-9);
    QTest::mouseClick(form.InBtn, Qt::LeftButton);
    QTest::mouseClick(form.InBtn, Qt::LeftButton);
    EXPECT_NEAR(view().GetViewLen(), 1 / 1.96, 1e-9);
    QTest::mouseClick(form.FullBtn, Qt::LeftButton);
    EXPECT_EQ(view().GetViewLen(), 1.0);
}

TEST_F(SampleCut, SavingWritesExactlyTheSelectedFrames) {
    QTest::mouseClick(form.SaveBtn, Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Please make a selection first.");
    EXPECT_TRUE(form.isVisible());
    drag(0.25, 0.5);
    saveAs = (dir / "cut.wav").string();
    std::ofstream(saveAs) << "old";
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.ResultPath, saveAs);
    const auto frames = brindle::SelectionFrames(view().GetSelStart(), view().GetSelLen(), 44100 * 4);
    brindle::soundlib::SoundFile cut;
    cut.Open(saveAs);
    const auto pcm = brindle::soundlib::ReadAll(cut, 1 << 24);
    ASSERT_EQ(std::int64_t(pcm.size()), frames.Count * 2);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), source.begin() + frames.First * 2));
}

} // namespace
