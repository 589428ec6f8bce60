// Markers, zones, the ruler and the click events of the marker view, driven by the mouse.
#include "base/Error.h"
#include "ui/views/MarkersWavView.h"

#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include <vector>

namespace {

// Ruler labels one step apart never repeat, whatever the zoom.
TEST(TimeText, RulerLabelsOneStepApartDiffer) {
    for (double step : {2.5, 0.5, 0.092, 0.0123, 0.00045, 0.0000227}) {
        const int decimals = TMarkersWavView::RulerDecimals(step);
        std::set<std::string> labels;
        for (int i = 0; i < 12; ++i) labels.insert(TMarkersWavView::TimeText(std::floor(37.3 / step) * step + i * step, decimals));
        EXPECT_EQ(labels.size(), 12u) << step;
    }
    EXPECT_EQ(TMarkersWavView::RulerDecimals(0.5), 1);
    EXPECT_EQ(TMarkersWavView::RulerDecimals(0.092), 2);
}

TEST(TimeText, MinutesSecondsAndDecimals) {
    EXPECT_EQ(TMarkersWavView::TimeText(65.4, 1), "1:05.4");
    EXPECT_EQ(TMarkersWavView::TimeText(5, 0), "0 min 05 sec");
    EXPECT_EQ(TMarkersWavView::TimeText(125, 1), "2:05.0");
    EXPECT_EQ(TMarkersWavView::TimeText(7, -1), "0:07");
    EXPECT_EQ(TMarkersWavView::TimeText(3600.25, 2), "60:00.25");
}

class MarkerView : public ::testing::Test {
protected:
    TMarkersWavView view;
    std::vector<std::int16_t> image = std::vector<std::int16_t>(8000, 2000);

    void SetUp() override {
        view.resize(500, 150);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.SetMemBuffer(image.data(), std::int64_t(image.size()) * 2);
    }
    QPoint labelCentre(const cMarker& M) const { return M.LabelRect.center(); }
};

TEST_F(MarkerView, ListsRefuseIndexesPastTheEnd) {
    EXPECT_THROW(view.Markers.Item(0), brindle::Error);
    try {
        view.Zones.Item(3);
    } catch (const brindle::Error& e) {
        EXPECT_STREQ(e.what(), "cTemplateList - to big item number");
    }
}

TEST_F(MarkerView, ZonesAreNumberedAndTakeTheSelection) {
    view.AddZone("", 0.1, 0.1);
    view.AddZone("intro", 0.3, 0.1);
    view.SetSelStart(0.5);
    view.SetSelLen(0.2);
    view.AddZone("", -1, -1);
    ASSERT_EQ(view.Zones.Count(), 3);
    EXPECT_EQ(view.Markers.Item(4)->LabelText, "(3");
    EXPECT_EQ(view.Markers.Item(5)->LabelText, "3)");
    EXPECT_EQ(view.Markers.Item(2)->LabelText, "(intro");
    EXPECT_DOUBLE_EQ(view.Zones.Item(2)->BeginMarker->MarkerPos, 0.5);
    EXPECT_DOUBLE_EQ(view.Zones.Item(2)->EndMarker->MarkerPos, 0.7);
    EXPECT_TRUE(view.Zones.Item(2)->EndMarker->LabelLeft);
    view.DeleteZone(1);
    EXPECT_EQ(view.Zones.Count(), 2);
    EXPECT_EQ(view.Markers.Count(), 4);
    view.SelectionToMarkers();
    EXPECT_EQ(view.Markers.Last()->LabelText, "1E");
}

TEST_F(MarkerView, ADraggedZoneMarkerStopsAtItsPartnerAndTheSelectionFollows) {
    view.AddZone("a", 0.2, 0.2);
    cZone* zone = view.Zones.Item(0);
    ASSERT_TRUE(zone->BeginMarker->LabelShown);
    int moves = 0, ends = 0;
    view.OnMarkerMove = [&](TMarkersWavView*, cMarker*) { ++moves; };
    view.OnMarkerMoveEnd = [&](TMarkersWavView*, cMarker*) { ++ends; };
    const QPoint grab = labelCentre(*zone->BeginMarker);
    QTest::mousePress(&view, Qt::LeftButton, {}, grab);
    EXPECT_EQ(view.DraggedMarker(), zone->BeginMarker);
    QTest::mouseMove(&view, grab + QPoint(50, 0));
    EXPECT_GT(zone->BeginMarker->MarkerPos, 0.2);
    EXPECT_NEAR(view.GetSelStart(), zone->BeginMarker->MarkerPos, 1e-12);
    EXPECT_NEAR(view.GetSelEnd(), 0.4, 1e-12);
    QTest::mouseMove(&view, grab + QPoint(400, 0));
    EXPECT_DOUBLE_EQ(zone->BeginMarker->MarkerPos, zone->EndMarker->MarkerPos);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, grab + QPoint(400, 0));
    EXPECT_EQ(moves, 2);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(view.DraggedMarker(), nullptr);
}

TEST_F(MarkerView, LockedViewsReportClicksButChangeNothing) {
    view.AddZone("a", 0.2, 0.2);
    std::vector<std::pair<bool, double>> clicks;
    double position = -1;
    view.OnMouseClick = [&](TMarkersWavView* V) { clicks.push_back({V->ClickReleased, V->ClickPos}); };
    view.OnPositionClick = [&](TMarkersWavView*, double Pos) { position = Pos; };
    view.Locked = true;
    const double before = view.RawSelStart();
    const QPoint grab = labelCentre(*view.Zones.Item(0)->BeginMarker);
    QTest::mouseClick(&view, Qt::LeftButton, {}, grab);
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_FALSE(clicks[0].first);
    EXPECT_TRUE(clicks[1].first);
    EXPECT_NEAR(position, view.XToWavPos(grab.x()), 1e-12);
    EXPECT_EQ(view.DraggedMarker(), nullptr);
    EXPECT_DOUBLE_EQ(view.RawSelStart(), before);
    EXPECT_DOUBLE_EQ(view.Zones.Item(0)->BeginMarker->MarkerPos, 0.2);
}

TEST_F(MarkerView, RulerOnlyWithAKnownLength) {
    view.TimeLineShow = true;
    view.Redraw();
    const QImage without = view.Bitmap();
    view.TotalTime = 90;
    view.Redraw();
    EXPECT_NE(view.Bitmap(), without);
    // Its labels sit on the bottom 16 rows in grey.
    bool grey = false;
    for (int x = 0; x < view.width() && !grey; ++x)
        for (int y = view.height() - 16; y < view.height() && !grey; ++y) {
            const QColor c = view.Bitmap().pixelColor(x, y);
            grey = c.red() == c.green() && c.green() == c.blue() && c.red() > 60 && c.red() < 200;
        }
    EXPECT_TRUE(grey);
}

TEST_F(MarkerView, TheScrollBarFollowsTheViewAndMovesIt) {
    QScrollBar bar(Qt::Horizontal);
    view.ConnectScrollbar(&bar);
    EXPECT_EQ(bar.maximum(), 10000);
    view.SetViewLen(0.25);
    view.SetViewStart(0.5);
    EXPECT_EQ(bar.pageStep(), 2500);
    EXPECT_EQ(bar.maximum(), 7500); // the thumb is a quarter of the bar
    EXPECT_EQ(bar.value(), 5000);
    int changes = 0;
    view.OnViewChange = [&](TMemWavView*) { ++changes; };
    bar.setValue(2000);
    EXPECT_DOUBLE_EQ(view.GetViewStart(), 0.2);
    EXPECT_EQ(changes, 0);
}

} // namespace
