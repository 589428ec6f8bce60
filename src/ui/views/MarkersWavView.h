#pragma once
// A waveform view with markers (lines with optional label boxes the user drags by the label),
// zones (two markers bounding a range), a time ruler, a connected scroll bar and click events.
#include "base/AnyList.h"
#include "ui/views/MemWavView.h"

#include <QColor>
#include <QFont>
#include <QRect>

#include <string>
#include <vector>

class QScrollBar;

struct cMarker {
    QColor LineColor{206, 6, 6};
    int LineCount = 1;
    double MarkerPos = 0.0; // fraction of the file; outside the view it is hidden
    std::string LabelText;  // empty: no label box
    QRect LabelRect;        // where the box was last drawn
    bool LabelShown = false;
    bool LabelLeft = false;
    bool Dotted = true;
    bool LabelBelow = false;
    bool Short = false; // only the top and bottom fifths of the line
    bool IsVisible = true;
    int ZoneIndex = -1;
};

struct cZone {
    cMarker* BeginMarker = nullptr;
    cMarker* EndMarker = nullptr;
};

class TMarkersWavView : public TMemWavView {
    Q_OBJECT

public:
    using TMarkerEvent = std::function<void(TMarkersWavView* Sender, cMarker* Marker)>;
    using TPositionEvent = std::function<void(TMarkersWavView* Sender, double Pos)>;
    using TClickEvent = std::function<void(TMarkersWavView* Sender)>;

    explicit TMarkersWavView(QWidget* Parent = nullptr);

    cMemWavAnyList<cMarker> Markers;
    cMemWavAnyList<cZone> Zones;

    double TotalTime = -1.0; // seconds, -1: unknown
    QColor FontColor{255, 255, 255};
    bool OptionMarkerZoneSelect = true;
    bool Locked = false;
    int SelectedZoneIndex = -1;
    bool TimeLineShow = false;
    int TimeLineDist = 50;

    TMarkerEvent OnMarkerMoveStart;
    TMarkerEvent OnMarkerMove;
    TMarkerEvent OnMarkerMoveEnd;
    TPositionEvent OnPositionClick;
    TClickEvent OnMouseClick;
    // What OnMouseClick handlers read.
    Qt::MouseButton ClickButton = Qt::NoButton;
    double ClickPos = 0.0;
    bool ClickReleased = false;

    // Start -1: the selection start; Length -1: up to the selection end. Name empty: the zone's number.
    void AddZone(const std::string& Name, double Start, double Length);
    void DeleteZone(int Index);
    void SelectionToMarkers();
    void ZoneToSel();
    // The bar's positions span 0..ScrollRange over the whole file.
    static constexpr int ScrollRange = 10000;
    void ConnectScrollbar(QScrollBar* Bar);
    QScrollBar* GetScrollBar() const { return ScrollBar; }
    virtual double LenSec() const { return TotalTime; }

    // "1:05.4" for 65.4 s with one decimal; "0 min 05 sec" for 5 s with none.
    // Decimals of the ruler's labels for labels Step seconds apart.
    static int RulerDecimals(double Step);
    static std::string TimeText(double Seconds, int Decimals);

    void ImageMouseDown(Qt::MouseButton Button, int X, int Y) override;
    void ImageMouseMove(int X, int Y, bool FromWidget) override;
    void ImageMouseUp(Qt::MouseButton Button, int X) override;

    cMarker* DraggedMarker() const { return Dragged; }

protected:
    void PostDraw(QPainter& Canvas) override;
    void CallViewChange() override;

private:
    void DrawMarker(QPainter& Canvas, cMarker& Marker);
    void DrawTimeLine(QPainter& Canvas);
    void PosScrollChange(int Value);

    QScrollBar* ScrollBar = nullptr;
    bool BarQuiet = false;
    cMarker* Dragged = nullptr;
    int GrabOffset = 0;
};
