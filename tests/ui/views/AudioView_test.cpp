// The audio view over real files: the image arriving while it decodes, the same file in other
// letter case, a file that cannot be read, the play marker while playing and after, and the
// source audio drawn once the view is zoomed past its image.
#include "audio/nodes/PlayStream.h"
#include "audio/waveform/WavDataStore.h"
#include "base/Error.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "support/ui/Eventually.h"
#include "ui/views/AudioView.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace brindle::test;

namespace {

class AudioViewTest : public ::testing::Test {
  protected:
    TempDir dir;
    TAudioView view;
    int opened = 0;

    void SetUp() override {
        view.OnFileOpen = [this](TAudioView*) { ++opened; };
        view.resize(600, 150);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    std::string sine(const char* Name, double Seconds) {
        WriteSoundFile(dir / Name, SineTone(440, Seconds, 44100, 2), 44100, 2);
        return (dir / Name).string();
    }
};

TEST_F(AudioViewTest, ShowsTheFileAndIgnoresTheSameNameInOtherCase) {
    const std::string path = sine("Tone.wav", 2.0);
    view.SetFileName(path);
    EXPECT_EQ(opened, 1);
    view.Store().WaitReading();
    EXPECT_EQ(view.GetMemLen(), 2 * 882);
    EXPECT_NEAR(view.LenSec(), 2.0, 1e-9);
    EXPECT_NEAR(view.SecToPos(0.5), 0.25, 1e-12);
    EXPECT_NEAR(view.PosToSec(0.75), 1.5, 1e-12);
    // The 30 ms refresh draws what decoded: the wave's peaks (half scale) reach the middle columns.
    QTest::qWait(80);
    const int centre = 15 + (view.height() - 30) / 2;
    int far = 0;
    for (int x = 280; x < 320; ++x)
        for (int y = 0; y < view.height(); ++y)
            far += view.Bitmap().pixelColor(x, y) == view.ColorPCM && std::abs(y - centre) > 15;
    EXPECT_GT(far, 20);
    std::string upper = path;
    upper.replace(upper.find("Tone.wav"), 8, "TONE.WAV");
    view.SetFileName(upper);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(view.GetFileName(), path);
}

TEST_F(AudioViewTest, AFileThatCannotBeReadLeavesNoImage) {
    view.SetFileName(sine("a.wav", 1.0));
    const std::string missing = (dir / "missing.wav").string();
    try {
        view.SetFileName(missing);
        FAIL() << "no error";
    } catch (const brindle::Error& e) {
        EXPECT_EQ(std::string(e.what()), "File not found " + missing + ".");
    }
    EXPECT_EQ(view.GetMemLen(), 0);
    view.RefreshTick(); // draws the background only, and does not fail
}

TEST_F(AudioViewTest, ThePlayMarkerMovesWhilePlayingAndHidesAfter) {
    view.SetFileName(sine("a.wav", 3.0));
    view.Play(0.5);
    ASSERT_EVENTUALLY(view.PlayMarker()->MarkerPos > 0.5, 3000);
    EXPECT_TRUE(view.Playing());
    view.Stop();
    view.RefreshTick();
    EXPECT_EQ(view.PlayMarker()->MarkerPos, -1.0);
    // Looping a selection keeps the marker inside it.
    view.SetSelStart(0.2);
    view.SetSelLen(0.1);
    view.LoopSelection(true);
    QTest::qWait(400);
    view.RefreshTick();
    EXPECT_TRUE(view.Stream().GetLooping());
    EXPECT_GE(view.PlayMarker()->MarkerPos, 0.2 - 1e-6);
    EXPECT_LE(view.PlayMarker()->MarkerPos, 0.3 + 1e-3);
    view.Stop();
}

TEST_F(AudioViewTest, ZoomedPastTheImageItShowsTheExactSamples) {
    // One second of silence with a single loud sample at frame 30000.
    std::vector<std::int16_t> pcm(44100, 0);
    pcm[30000] = 32000;
    WriteSoundFile(dir / "click.wav", pcm, 44100, 1);
    view.SetFileName((dir / "click.wav").string());
    view.Store().WaitReading();
    // 300 frames across 600 columns.
    view.SetViewLen(300.0 / 44100);
    view.SetViewStart(29900.0 / 44100);
    const int x = int(100.0 / 300 * view.width());
    auto reaches = [&] {
        for (int dx = -3; dx <= 3; ++dx)
            for (int y = view.height() - 20; y < view.height(); ++y)
                if (view.Bitmap().pixelColor(x + dx, y) == view.ColorPCM) return true;
        return false;
    };
    ASSERT_EVENTUALLY(reaches(), 3000);
    // Elsewhere the line stays in the middle.
    for (int y = view.height() - 20; y < view.height(); ++y)
        EXPECT_NE(view.Bitmap().pixelColor(20, y), view.ColorPCM);
}

TEST_F(AudioViewTest, AnIdleViewDrawsNothingUntilSomethingChanges) {
    view.SetFileName(sine("a.wav", 1.0));
    view.Store().WaitReading();
    int draws = 0;
    view.OnDraw = [&](TMemWavView*, QPainter&) { ++draws; };
    view.RefreshTick(); // the finished image
    draws = 0;
    for (int i = 0; i < 10; ++i)
        view.RefreshTick();
    EXPECT_EQ(draws, 0);
    view.Play(0);
    ASSERT_EVENTUALLY(draws > 0, 2000);
    view.Stop();
}

} // namespace
