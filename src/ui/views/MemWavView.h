#pragma once
// A waveform view over a 16-bit mono image in memory (see TWavDataStore): draws the wave with the
// selection and the cursor into an off-screen bitmap, selects with the mouse (scrolling while a
// drag passes either edge), and zooms. Positions and lengths are fractions of the whole image.
// Only the blocks of the bitmap whose pixels changed are repainted, so a moving play marker costs
// the blocks it crosses.
#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QPainter;
class QTimer;

class TMemWavView : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TMemWavView* Sender)>;
    using TDrawEvent = std::function<void(TMemWavView* Sender, QPainter& Canvas)>;
    using TNeedDetailEvent = std::function<void(TMemWavView* Sender, double ViewStart, double ViewLen)>;

    explicit TMemWavView(QWidget* Parent = nullptr);
    ~TMemWavView() override;

    // View and selection. Positions are kept in double precision, so a view can narrow down to
    // single samples of long files.
    double GetViewStart() const { return ViewStart; }
    double GetViewLen() const { return ViewLen; }
    void SetViewStart(double Value);
    void SetViewLen(double Value);
    // The selection as the user sees it (start at the left end, length positive)...
    double GetSelStart() const { return SelLen < 0 ? SelStart + SelLen : SelStart; }
    double GetSelLen() const { return SelLen < 0 ? -SelLen : SelLen; }
    double GetSelEnd() const { return GetSelStart() + GetSelLen(); }
    // ...and as stored: an anchor and a signed length (negative while dragging leftwards).
    double RawSelStart() const { return SelStart; }
    double RawSelLen() const { return SelLen; }
    void SetSelStart(double Value);
    void SetSelLen(double Value);

    float Scale = 1.0f;
    float ScrollSpeed = 1.5f;
    bool RightButtonSelect = false;
    int GetViewMargin() const { return ViewMargin; }
    void SetViewMargin(int Value);
    QColor ColorBack{0, 0, 0};
    QColor ColorPCM{0, 255, 0};
    QColor ColorSelectionPCM{0, 128, 0};
    QColor ColorSelectionBack{255, 255, 255};
    void SetColorBack(const QColor& Value);
    void SetColorPCM(const QColor& Value);

    // The image: 16-bit mono samples, LenBytes long. It may still be filling (zeros until written).
    void SetMemBuffer(const std::int16_t* Start, std::int64_t LenBytes);
    std::int64_t GetMemLen() const { return MemLen; }

    // Source audio for views zoomed past one image sample per column: the decoded frames
    // [FirstFrame, FirstFrame + size) of a source TotalFrames long. OnNeedDetail asks for the
    // frames of a view that the detail does not cover; the owner reads them off the paint path.
    void SetDetail(std::vector<std::int16_t> Samples, std::int64_t FirstFrame, std::int64_t TotalFrames);
    TNeedDetailEvent OnNeedDetail;

    // Coordinates (W = width in pixels).
    double XToWavPos(double X) const;
    double XDiffToWavLen(double DX) const;
    int WavPosToX(double Pos) const;

    void ZoomIn();
    void ZoomOut();
    void ZoomInSelection();
    void Full();
    // Zooms by Factor (below 1: in) keeping Pos where it is on screen (a Pos outside the view
    // becomes its middle). The view narrows down to MinViewFrames frames of the whole.
    void ZoomAround(double Pos, double Factor);
    static constexpr double MinViewFrames = 8;
    static constexpr double WheelZoomStep = 1.4; // per notch of the wheel
    // Frames of the whole sound, for the narrowest zoom (the image's samples here).
    virtual std::int64_t TotalFrames() const { return MemLen / 2; }
    // Where keyboard zoom centres: the cursor, or the middle of the selection.
    double EditCursor() const { return SelLen == 0 ? SelStart : GetSelStart() + GetSelLen() * 0.5; }

    // Rebuilds the bitmap and repaints the blocks that changed. A hidden view (a page not shown,
    // a dialog not open) only notes that its bitmap is stale and draws it when shown or asked.
    void Redraw();
    const QImage& Bitmap() const {
        if (Stale) const_cast<TMemWavView*>(this)->DrawCanvas();
        return Canvas;
    }
    // Blocks handed to the screen by the last Redraw (all of them: -1).
    int BlocksRepainted() const { return LastBlocks; }

    TNotifyEvent OnSelChange;
    TNotifyEvent OnSelEnd;
    TNotifyEvent OnViewChange;
    TDrawEvent OnDraw;

    // The mouse, by position (the widget's mouse events call these). FromWidget is false when the
    // scroll timer moves the selection along an edge.
    virtual void ImageMouseDown(Qt::MouseButton Button, int X, int Y);
    virtual void ImageMouseMove(int X, int Y, bool FromWidget);
    virtual void ImageMouseUp(Qt::MouseButton Button, int X);
    // One tick of the drag-scroll timer.
    void ScrollTick();
    QTimer* ScrollTimer;
    int ScrollTag = 0;

    // The image's samples, read whole while the reading thread writes them.
    static std::int16_t Sample(const std::int16_t* At);

protected:
    // After the wave, before OnDraw: the marker view draws here.
    virtual void PostDraw(QPainter& Canvas);
    virtual void CallViewChange();

    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    // The wheel zooms around the mouse; a sideways wheel scrolls.
    void wheelEvent(QWheelEvent* Event) override;

    double ViewStart = 0.0;
    double ViewLen = 1.0;
    double SelStart = 0.0;
    double SelLen = 0.0;
    int ViewMargin = 15;
    const std::int16_t* MemStart = nullptr;
    std::int64_t MemLen = 0;
    bool Dragging = false;
    int LastMouseY = 0;

    // The selection part of the mouse handling, for views that add their own.
    void SelectionMouseDown(Qt::MouseButton Button, int X);
    void SelectionMouseMove(int X, bool FromWidget);
    void SelectionMouseUp();
    // Beyond either edge the scroll timer runs with the overshoot; returns X held at the edge.
    int EdgeScroll(int X, bool FromWidget);

private:
    void DrawCanvas();
    void DrawWave(int Columns, int Height, const std::int16_t* Data, std::int64_t Bytes, int X1, int X2);
    bool DrawDetail(int Columns, int Height, int X1, int X2);
    void DrawColumn(int Column, int Min, int Max, int Height, bool Selected);
    void PaintChangedBlocks();

    QImage Canvas;
    bool Stale = false;
    std::vector<quint32> BlockSums;
    int LastBlocks = 0;
    std::vector<std::int16_t> Detail;
    std::int64_t DetailFirst = 0;
    std::int64_t DetailTotal = 0;
};
