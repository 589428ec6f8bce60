// The waveform view: value wrapping, coordinate mappings at their edges, the drawn columns read
// back from the bitmap (colours inside and outside a selection, the cursor), selection by mouse in
// both directions with its events, edge scrolling, zoom arithmetic and the block repaint.
#include "ui/views/MemWavView.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

class WavView : public ::testing::Test {
protected:
    TMemWavView view;
    std::vector<std::int16_t> image;
    int selChanges = 0, selEnds = 0, viewChanges = 0;

    void SetUp() override {
        view.OnSelChange = [this](TMemWavView*) { ++selChanges; };
        view.OnSelEnd = [this](TMemWavView*) { ++selEnds; };
        view.OnViewChange = [this](TMemWavView*) { ++viewChanges; };
        view.resize(400, 130);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    // A window's new size arrives with the platform's event.
    void resizeTo(int W, int H) {
        view.resize(W, H);
        for (int i = 0; i < 100 && view.width() != W; ++i) QTest::qWait(5);
        ASSERT_EQ(view.width(), W);
    }
    void setImage(std::vector<std::int16_t> Samples) {
        image = std::move(Samples);
        view.SetMemBuffer(image.data(), std::int64_t(image.size()) * 2);
    }
    QColor pixel(int X, int Y) const { return view.Bitmap().pixelColor(X, Y); }
    // Rows of a column drawn in a colour.
    int rowsIn(int X, const QColor& Colour) const {
        int n = 0;
        for (int y = 0; y < view.Bitmap().height(); ++y) n += pixel(X, y) == Colour;
        return n;
    }
    int lowestRow(int X, const QColor& Colour) const {
        for (int y = view.Bitmap().height() - 1; y >= 0; --y)
            if (pixel(X, y) == Colour) return y;
        return -1;
    }
};

TEST_F(WavView, SettersWrapIntoRangeWithoutLoopingOnAbsurdValues) {
    view.SetViewStart(1.25);
    EXPECT_DOUBLE_EQ(view.GetViewStart(), 0.25);
    view.SetViewStart(-0.25);
    EXPECT_DOUBLE_EQ(view.GetViewStart(), 0.75);
    view.SetSelLen(-1.5);
    EXPECT_DOUBLE_EQ(view.RawSelLen(), -0.5);
    view.SetSelLen(1.0);
    EXPECT_DOUBLE_EQ(view.RawSelLen(), 1.0);
    for (double absurd : {1e30, -1e30, std::nan(""), double(INFINITY)}) {
        view.SetSelStart(absurd);
        EXPECT_GE(view.RawSelStart(), 0.0) << absurd;
        EXPECT_LE(view.RawSelStart(), 1.0) << absurd;
    }
    // The getters show the selection from its left end.
    view.SetSelStart(0.6);
    view.SetSelLen(-0.2);
    EXPECT_DOUBLE_EQ(view.GetSelStart(), 0.4);
    EXPECT_DOUBLE_EQ(view.GetSelLen(), 0.2);
    EXPECT_DOUBLE_EQ(view.GetSelEnd(), 0.6);
}

TEST_F(WavView, CoordinatesMapAtTheEdges) {
    view.SetViewStart(0.5);
    view.SetViewLen(0.5);
    const int w = view.width();
    EXPECT_EQ(view.WavPosToX(1.0), w - 1);
    EXPECT_EQ(view.WavPosToX(0.5), 0);
    EXPECT_EQ(view.WavPosToX(std::nextafter(0.5, 0.0)), -1);
    EXPECT_EQ(view.WavPosToX(0.75), (w - 1) / 2);
    EXPECT_DOUBLE_EQ(view.XToWavPos(0), 0.5);
    EXPECT_DOUBLE_EQ(view.XToWavPos(w), 1.0);
    EXPECT_DOUBLE_EQ(view.XDiffToWavLen(w / 2.0), 0.25);
}

TEST_F(WavView, DrawsTheWaveSelectionAndCursorInTheirColours) {
    // 400 columns over 800 samples: the first half high, the second half low.
    std::vector<std::int16_t> s(800, 16000);
    std::fill(s.begin() + 400, s.end(), -16000);
    setImage(s);
    const int h = view.height(), half = (h - 30) / 2;
    // Larger values lie lower on the screen.
    EXPECT_EQ(lowestRow(10, view.ColorPCM), 15 + half + 16000 * half / 32767 + 1);
    EXPECT_LT(lowestRow(300, view.ColorPCM), 15 + half);
    // No selection: the cursor is a dotted line in the selection colour at its column.
    view.SetSelStart(0.25);
    const int cursor = view.WavPosToX(0.25);
    EXPECT_GT(rowsIn(cursor, view.ColorSelectionBack), 0);
    EXPECT_LT(rowsIn(cursor, view.ColorSelectionBack), h);
    EXPECT_EQ(rowsIn(cursor + 20, view.ColorSelectionBack), 0);
    // A selection: white behind it, the wave darker inside it.
    view.SetSelLen(0.25);
    const int inside = view.WavPosToX(0.4), outside = view.WavPosToX(0.6);
    EXPECT_EQ(pixel(inside, 2), view.ColorSelectionBack);
    EXPECT_GT(rowsIn(inside, view.ColorSelectionPCM), 0);
    EXPECT_EQ(rowsIn(inside, view.ColorPCM), 0);
    EXPECT_EQ(pixel(outside, 2), view.ColorBack);
    EXPECT_GT(rowsIn(outside, view.ColorPCM), 0);
    // A selection wider than the view fills the whole width.
    view.SetSelStart(0.1);
    view.SetSelLen(0.8);
    view.SetViewStart(0.3);
    view.SetViewLen(0.3);
    EXPECT_EQ(pixel(0, 2), view.ColorSelectionBack);
    EXPECT_EQ(pixel(view.width() - 1, 2), view.ColorSelectionBack);
}

TEST_F(WavView, ColumnsOfUpTo200SamplesAreScannedWholeLongerOnesProbed) {
    // Columns of 200 samples and of 201: a peak at an odd position is seen only in the first.
    // (Column 0 holds the empty selection's column; column 5 is an ordinary one.)
    resizeTo(100, 130);
    for (int n : {200, 201}) {
        std::vector<std::int16_t> s(std::size_t(n) * 100, 0);
        s[std::size_t(5 * n + 1)] = 30000;
        setImage(s);
        const int lowest = lowestRow(5, view.ColorPCM);
        if (n == 200) EXPECT_GT(lowest, 15 + 50 + 40) << n;
        else EXPECT_LE(lowest, 15 + 50 + 1) << n;
    }
}

TEST_F(WavView, DraggingLeftwardsEndsWithAPositiveSelectionAndItsEvents) {
    setImage(std::vector<std::int16_t>(4000, 1000));
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(300, 50));
    EXPECT_EQ(selChanges, 0); // a press sets the anchor quietly
    QTest::mouseMove(&view, QPoint(200, 50));
    QTest::mouseMove(&view, QPoint(100, 50));
    EXPECT_LT(view.RawSelLen(), 0);
    const int beforeRelease = selChanges;
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(100, 50));
    EXPECT_EQ(selChanges - beforeRelease, 2);
    EXPECT_EQ(selEnds, 1);
    EXPECT_GT(view.RawSelLen(), 0);
    EXPECT_NEAR(view.RawSelStart(), 100.0 / 400, 1e-9);
    EXPECT_NEAR(view.RawSelLen(), 200.0 / 400, 1e-9);
    // The right button selects only when allowed.
    QTest::mousePress(&view, Qt::RightButton, {}, QPoint(20, 50));
    EXPECT_NEAR(view.RawSelStart(), 100.0 / 400, 1e-9);
    QTest::mouseRelease(&view, Qt::RightButton, {}, QPoint(20, 50));
}

TEST_F(WavView, DraggingPastAnEdgeScrollsFasterTheFurtherItGoes) {
    setImage(std::vector<std::int16_t>(40000, 500));
    view.SetViewStart(0.25);
    view.SetViewLen(0.25);
    view.ImageMouseDown(Qt::LeftButton, 200, 50);
    view.ImageMouseMove(view.width() + 5, 50, true);
    EXPECT_TRUE(view.ScrollTimer->isActive());
    EXPECT_EQ(view.ScrollTag, 5);
    const double before = view.GetViewStart();
    view.ScrollTick();
    const double step5 = view.GetViewStart() - before;
    EXPECT_NEAR(step5, 0.2 * view.XDiffToWavLen(std::trunc(std::pow(1.5, 5))), 1e-12);
    // The selection follows to the right edge of the moved view.
    EXPECT_NEAR(view.GetSelEnd(), view.GetViewStart() + view.GetViewLen(), 1e-9);
    view.ImageMouseMove(view.width() + 12, 50, true);
    const double mid = view.GetViewStart();
    view.ScrollTick();
    EXPECT_GT(view.GetViewStart() - mid, step5 * 10);
    // Back inside: the timer stops. The view never passes the end.
    view.ImageMouseMove(100, 50, true);
    EXPECT_FALSE(view.ScrollTimer->isActive());
    view.ImageMouseMove(view.width() + 12, 50, true);
    for (int i = 0; i < 200; ++i) view.ScrollTick();
    EXPECT_DOUBLE_EQ(view.GetViewStart(), 1 - view.GetViewLen());
    view.ImageMouseUp(Qt::LeftButton, 100);
    EXPECT_FALSE(view.ScrollTimer->isActive());
}

TEST_F(WavView, ZoomArithmetic) {
    setImage(std::vector<std::int16_t>(4000, 500));
    // At full view, zooming out changes nothing.
    view.ZoomOut();
    EXPECT_DOUBLE_EQ(view.GetViewStart(), 0);
    EXPECT_DOUBLE_EQ(view.GetViewLen(), 1);
    // An empty selection inside the view: centred on the cursor.
    view.SetSelStart(0.2);
    view.ZoomIn();
    EXPECT_NEAR(view.GetViewLen(), 1 / 1.4, 1e-12);
    EXPECT_NEAR(view.GetViewStart(), 0.0, 1e-12); // 0.2 - 0.5 + 0.1428... is negative: held at 0
    // A selection outside the view: shrinks about the view's centre.
    view.SetViewStart(0.5);
    view.SetViewLen(0.25);
    view.ZoomIn();
    EXPECT_NEAR(view.GetViewLen(), 0.25 / 1.4, 1e-12);
    EXPECT_NEAR(view.GetViewStart() + view.GetViewLen() / 2, 0.625, 1e-12);
    view.SetSelStart(0.3);
    view.SetSelLen(0.1);
    view.ZoomInSelection();
    EXPECT_NEAR(view.GetViewStart(), 0.3, 1e-12);
    EXPECT_NEAR(view.GetViewLen(), 0.1, 1e-12);
    view.Full();
    EXPECT_DOUBLE_EQ(view.GetViewLen(), 1);
}

// Hidden pages and closed dialogs hold views that are edited without being seen: they draw when
// shown, or when their bitmap is asked for, and then show what they were last given.
TEST_F(WavView, AHiddenViewDrawsWhenShownOrAsked) {
    view.hide();
    setImage(std::vector<std::int16_t>(800, 16000));
    view.SetSelStart(0.25);
    view.SetSelLen(0.25);
    const int inside = view.WavPosToX(0.4), outside = view.WavPosToX(0.8);
    EXPECT_EQ(pixel(inside, 2), view.ColorSelectionBack);
    EXPECT_GT(rowsIn(outside, view.ColorPCM), 0);
    view.SetSelLen(0);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_NE(view.BlocksRepainted(), 0) << "showing draws what changed while hidden";
    EXPECT_EQ(pixel(inside, 2), view.ColorBack);
}

TEST_F(WavView, OnlyTheBlocksThatChangedAreRepainted) {
    resizeTo(1000, 130);
    setImage(std::vector<std::int16_t>(20000, 3000));
    view.SetSelStart(0.105);
    view.SetSelStart(0.305);
    EXPECT_EQ(view.BlocksRepainted(), 2); // the block the cursor left and the one it entered
    view.Redraw();
    EXPECT_EQ(view.BlocksRepainted(), 0);
    // Narrower than 100 pixels: one piece.
    resizeTo(99, 130);
    view.SetSelStart(0.5);
    EXPECT_EQ(view.BlocksRepainted(), -1);
}

TEST_F(WavView, ZoomedPastTheImageItDrawsTheSourceAudio) {
    // 441 image samples; the view covers 10 of them over 400 columns.
    setImage(std::vector<std::int16_t>(441, 0));
    std::pair<double, double> asked{-1, -1};
    view.OnNeedDetail = [&](TMemWavView*, double Start, double Len) { asked = {Start, Len}; };
    view.SetViewStart(0.5);
    view.SetViewLen(10.0 / 441);
    EXPECT_DOUBLE_EQ(asked.first, 0.5);
    // The source: 44100 frames, a spike at frame 22200 the image does not hold.
    std::vector<std::int16_t> source(2000, 0);
    source[22200 - 21500] = 30000;
    view.SetDetail(source, 21500, 44100);
    const int x = int((22200.0 / 44100 - 0.5) / (10.0 / 441) * view.width());
    int found = -1;
    for (int dx = -2; dx <= 2 && found < 0; ++dx)
        if (lowestRow(x + dx, view.ColorPCM) > 15 + 50 + 40) found = x + dx;
    EXPECT_GE(found, 0);
    EXPECT_LE(lowestRow(10, view.ColorPCM), 15 + 50 + 1);
}

} // namespace
