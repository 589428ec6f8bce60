#include "ui/views/MarkersWavView.h"

#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <cstdio>

TMarkersWavView::TMarkersWavView(QWidget* Parent) : TMemWavView(Parent) { setMouseTracking(true); }

// ---- markers and zones ----

void TMarkersWavView::AddZone(const std::string& Name, double Start, double Length) {
    const std::string label = Name.empty() ? std::to_string(Zones.Count() + 1) : Name;
    Zones.Add(new cZone);
    const int zone = Zones.Count() - 1;
    auto* begin = new cMarker;
    begin->ZoneIndex = zone;
    begin->MarkerPos = Start == -1 ? SelStart : Start;
    begin->LabelText = "(" + label;
    Markers.Add(begin);
    auto* end = new cMarker;
    end->ZoneIndex = zone;
    end->LabelText = label + ")";
    end->LabelLeft = true;
    end->MarkerPos = Length == -1 ? SelStart + SelLen : begin->MarkerPos + Length;
    Markers.Add(end);
    Zones.Last()->BeginMarker = begin;
    Zones.Last()->EndMarker = end;
    Redraw();
}

void TMarkersWavView::DeleteZone(int Index) {
    cZone* zone = Zones.Item(Index);
    for (cMarker* m : {zone->BeginMarker, zone->EndMarker})
        for (int i = 0; i < Markers.Count(); ++i)
            if (Markers.Item(i) == m) {
                if (Dragged == m) Dragged = nullptr;
                Markers.Delete(i);
                break;
            }
    Zones.Delete(Index);
    Redraw();
}

void TMarkersWavView::SelectionToMarkers() {
    auto* begin = new cMarker;
    begin->MarkerPos = SelStart;
    begin->LabelText = "1B";
    Markers.Add(begin);
    auto* end = new cMarker;
    end->MarkerPos = SelStart + SelLen;
    end->LabelText = "1E";
    Markers.Add(end);
    Redraw();
}

void TMarkersWavView::ZoneToSel() {
    if (!OptionMarkerZoneSelect || !Dragged || Dragged->ZoneIndex < 0 || Dragged->ZoneIndex >= Zones.Count()) return;
    const cZone* zone = Zones.Item(Dragged->ZoneIndex);
    SetSelStart(zone->BeginMarker->MarkerPos);
    SetSelLen(zone->EndMarker->MarkerPos - zone->BeginMarker->MarkerPos);
}

// ---- scroll bar ----

void TMarkersWavView::ConnectScrollbar(QScrollBar* Bar) {
    ScrollBar = Bar;
    Bar->setMinimum(0);
    Bar->setMaximum(ScrollRange);
    connect(Bar, &QScrollBar::valueChanged, this, &TMarkersWavView::PosScrollChange);
}

void TMarkersWavView::PosScrollChange(int Value) {
    if (BarQuiet || !ScrollBar) return;
    const auto keep = OnViewChange;
    OnViewChange = nullptr;
    SetViewStart(double(Value) / ScrollRange);
    OnViewChange = keep;
}

void TMarkersWavView::CallViewChange() {
    TMemWavView::CallViewChange();
    if (!ScrollBar) return;
    BarQuiet = true;
    // A Qt bar's range excludes the page: its thumb then shows the view's share of the file.
    const int page = int(ScrollRange * ViewLen);
    ScrollBar->setPageStep(std::max(page, 1));
    ScrollBar->setMaximum(std::max(ScrollRange - page, 0));
    ScrollBar->setValue(int(ScrollRange * ViewStart));
    ScrollBar->setSingleStep(std::max(page / 20, 1));
    BarQuiet = false;
}

// ---- drawing ----

void TMarkersWavView::PostDraw(QPainter& Canvas) {
    std::vector<cMarker*> order;
    for (int i = 0; i < Markers.Count(); ++i)
        if (SelectedZoneIndex == -1 || Markers.Item(i)->ZoneIndex != SelectedZoneIndex) order.push_back(Markers.Item(i));
    if (SelectedZoneIndex >= 0 && SelectedZoneIndex < Zones.Count()) {
        // The selected zone's markers on top.
        order.push_back(Zones.Item(SelectedZoneIndex)->BeginMarker);
        order.push_back(Zones.Item(SelectedZoneIndex)->EndMarker);
    }
    Canvas.setFont(font());
    for (cMarker* m : order)
        if (m->IsVisible) DrawMarker(Canvas, *m);
    DrawTimeLine(Canvas);
}

void TMarkersWavView::DrawMarker(QPainter& Canvas, cMarker& M) {
    if (M.MarkerPos < ViewStart || M.MarkerPos > ViewStart + ViewLen) {
        M.LabelShown = false;
        return;
    }
    const int h = Canvas.device()->height();
    int x = WavPosToX(M.MarkerPos);
    Canvas.setBrush(Qt::NoBrush);
    for (int i = 0; i < M.LineCount; ++i, ++x) {
        Canvas.setPen(QPen(M.LineColor, 1, M.Dotted ? Qt::DotLine : Qt::SolidLine));
        if (M.Short) {
            Canvas.drawLine(x, 0, x, h / 5);
            Canvas.drawLine(x, h - h / 5, x, h);
        } else {
            Canvas.drawLine(x, 0, x, h);
        }
    }
    if (M.LabelText.empty()) return;
    const QString text = QString::fromStdString(M.LabelText);
    const QFontMetrics metrics(Canvas.font());
    const int cx = metrics.horizontalAdvance(text), cy = metrics.height();
    QRect box = M.LabelLeft ? QRect(QPoint(x - cx - 2, 0), QPoint(x, cy + 2)) : QRect(QPoint(x, 0), QPoint(x + cx + 2, cy + 2));
    if (M.LabelBelow) box.translate(0, cy);
    M.LabelRect = box;
    M.LabelShown = true;
    Canvas.setPen(FontColor);
    Canvas.setBrush(ColorBack);
    Canvas.drawRect(box);
    Canvas.drawText(box.adjusted(1, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
    Canvas.setBrush(Qt::NoBrush);
}

std::string TMarkersWavView::TimeText(double Seconds, int Decimals) {
    const double minutes = std::floor(Seconds / 60);
    const double s = Seconds - 60 * minutes;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", Decimals < 0 ? 0 : Decimals, s);
    std::string sec = buf;
    // Two digits of whole seconds, then the point and the decimals.
    const std::size_t width = Decimals <= 0 ? 2 : std::size_t(Decimals + 3);
    while (sec.size() < width) sec = "0" + sec;
    const std::string m = std::to_string(std::int64_t(minutes));
    return Decimals == 0 ? m + " min " + sec + " sec" : m + ":" + sec;
}

int TMarkersWavView::RulerDecimals(double Step) {
    // Enough decimals that labels one step apart differ (0.092 s steps need hundredths).
    if (!(Step > 0)) return 1;
    return std::clamp(int(std::ceil(-std::log10(Step) - 1e-9)), 1, 6);
}

void TMarkersWavView::DrawTimeLine(QPainter& Canvas) {
    const double len = LenSec();
    if (!TimeLineShow || len == -1) return;
    const int w = Canvas.device()->width(), h = Canvas.device()->height();
    const double start = len * ViewStart, visible = len * ViewLen;
    const double step = TimeLineDist * visible / w;
    if (!(step > 0)) return;
    Canvas.setBrush(Qt::NoBrush);
    Canvas.setPen(QColor(128, 128, 128));
    const QFontMetrics metrics(Canvas.font());
    const int decimals = RulerDecimals(step);
    double t = std::floor(start / step) * step;
    for (int count = 0; visible / step + 1 > count; ++count, t += step) {
        const int x = WavPosToX(t / len);
        if (x == -1) continue;
        const QString text = QString::fromStdString(TimeText(t, decimals));
        if (x + metrics.horizontalAdvance(text) > w) break;
        Canvas.drawText(x, h - 16 + metrics.ascent(), text);
    }
}

// ---- mouse ----

void TMarkersWavView::ImageMouseDown(Qt::MouseButton Button, int X, int Y) {
    if (OnMouseClick) {
        ClickReleased = false;
        ClickButton = Button;
        ClickPos = XToWavPos(X);
        OnMouseClick(this);
    }
    if (OnPositionClick) OnPositionClick(this, XToWavPos(X));
    if (Locked) return;
    Dragged = nullptr;
    for (int i = Markers.Count() - 1; i >= 0 && !Dragged; --i) {
        cMarker* m = Markers.Item(i);
        const QRect& r = m->LabelRect;
        if (m->LabelShown && r.left() < X && X < r.right() && r.top() < Y && Y < r.bottom()) {
            Dragged = m;
            GrabOffset = m->LabelLeft ? X - r.right() : X - r.left();
        }
    }
    ZoneToSel();
    if (!Dragged) SelectionMouseDown(Button, X);
    else if (OnMarkerMoveStart) OnMarkerMoveStart(this, Dragged);
}

void TMarkersWavView::ImageMouseMove(int X, int Y, bool FromWidget) {
    SelectionMouseMove(X, FromWidget);
    bool overLabel = false;
    for (int i = 0; i < Markers.Count() && !overLabel; ++i) {
        const cMarker* m = Markers.Item(i);
        const QRect& r = m->LabelRect;
        overLabel = m->LabelShown && r.left() < X && X < r.right() && r.top() < Y && Y < r.bottom();
    }
    setCursor(overLabel ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (!Dragged) return;
    X = EdgeScroll(X, FromWidget);
    double pos = std::clamp(XToWavPos(X - GrabOffset), 0.0, 1.0);
    if (Dragged->ZoneIndex >= 0 && Dragged->ZoneIndex < Zones.Count()) {
        const cZone* zone = Zones.Item(Dragged->ZoneIndex);
        // Zone markers never pass each other.
        if (Dragged == zone->BeginMarker) pos = std::min(pos, zone->EndMarker->MarkerPos);
        if (Dragged == zone->EndMarker) pos = std::max(pos, zone->BeginMarker->MarkerPos);
    }
    Dragged->MarkerPos = pos;
    if (OnMarkerMove) OnMarkerMove(this, Dragged);
    ZoneToSel();
    Redraw();
}

void TMarkersWavView::ImageMouseUp(Qt::MouseButton Button, int X) {
    SelectionMouseUp();
    if (Dragged) {
        cMarker* m = Dragged;
        Dragged = nullptr;
        if (OnMarkerMoveEnd) OnMarkerMoveEnd(this, m);
    }
    if (OnMouseClick) {
        ClickReleased = true;
        ClickButton = Button;
        ClickPos = XToWavPos(X);
        OnMouseClick(this);
    }
}
