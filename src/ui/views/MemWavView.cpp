#include "ui/views/MemWavView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

constexpr double ZoomFactor = 1.4;
constexpr int MaxBlocks = 1000;

// Into Low..1 by whole turns, as the setters take their values; nothing finite loops.
double wrap(double X, double Low) {
    if (!std::isfinite(X)) return 0.0;
    if (X > 1.0) X -= std::ceil(X - 1.0);
    if (X < Low) X += std::ceil(Low - X);
    return X;
}

} // namespace

TMemWavView::TMemWavView(QWidget* Parent) : QWidget(Parent), ScrollTimer(new QTimer(this)) {
    ScrollTimer->setInterval(25);
    connect(ScrollTimer, &QTimer::timeout, this, &TMemWavView::ScrollTick);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(50, 40);
}

TMemWavView::~TMemWavView() = default;

std::int16_t TMemWavView::Sample(const std::int16_t* At) {
    return std::atomic_ref<std::int16_t>(*const_cast<std::int16_t*>(At)).load(std::memory_order_relaxed);
}

// ---- setters ----

void TMemWavView::SetViewStart(double Value) {
    ViewStart = wrap(Value, 0.0);
    Redraw();
    CallViewChange();
}

void TMemWavView::SetViewLen(double Value) {
    ViewLen = wrap(Value, 0.0);
    Redraw();
    CallViewChange();
}

void TMemWavView::SetSelStart(double Value) {
    SelStart = wrap(Value, 0.0);
    Redraw();
    if (OnSelChange) OnSelChange(this);
}

void TMemWavView::SetSelLen(double Value) {
    SelLen = wrap(Value, -1.0);
    Redraw();
    if (OnSelChange) OnSelChange(this);
}

void TMemWavView::SetViewMargin(int Value) {
    ViewMargin = Value;
    Redraw();
}

void TMemWavView::SetColorBack(const QColor& Value) {
    ColorBack = Value;
    Redraw();
}

void TMemWavView::SetColorPCM(const QColor& Value) {
    ColorPCM = Value;
    Redraw();
}

void TMemWavView::SetMemBuffer(const std::int16_t* Start, std::int64_t LenBytes) {
    MemStart = Start;
    MemLen = Start ? LenBytes & ~std::int64_t(1) : 0;
    Detail.clear();
    Redraw();
    CallViewChange();
}

void TMemWavView::SetDetail(std::vector<std::int16_t> Samples, std::int64_t FirstFrame, std::int64_t TotalFrames) {
    Detail = std::move(Samples);
    DetailFirst = FirstFrame;
    DetailTotal = TotalFrames;
    Redraw();
}

void TMemWavView::CallViewChange() {
    if (OnViewChange) OnViewChange(this);
}

void TMemWavView::PostDraw(QPainter&) {}

// ---- coordinates ----

double TMemWavView::XToWavPos(double X) const { return X * ViewLen / std::max(width(), 1) + ViewStart; }

double TMemWavView::XDiffToWavLen(double DX) const { return DX * ViewLen / std::max(width(), 1); }

int TMemWavView::WavPosToX(double Pos) const {
    if (Pos < ViewStart || Pos > ViewStart + ViewLen) return -1;
    const int w = width();
    if (Pos == 1.0) return w - 1;
    return int((w - 1) * (Pos - ViewStart) / ViewLen);
}

// ---- zoom ----

void TMemWavView::ZoomIn() {
    const double selStart = GetSelStart(), selEnd = GetSelEnd();
    const double viewEnd = ViewStart + ViewLen;
    const bool selectionInView = selStart >= ViewStart && selStart <= viewEnd && selEnd >= ViewStart && selEnd <= viewEnd;
    if (selectionInView) ViewStart = selStart + GetSelLen() * 0.5 - ViewLen * 0.5;
    const double removed = ViewLen - ViewLen / ZoomFactor;
    ViewLen /= ZoomFactor;
    ViewStart += removed * 0.5;
    if (selectionInView) {
        if (ViewStart < 0) ViewStart = 0;
        if (ViewStart + ViewLen > 1) ViewStart = 1 - ViewLen;
    }
    Redraw();
    CallViewChange();
}

void TMemWavView::ZoomOut() {
    const double added = ViewLen * ZoomFactor - ViewLen;
    ViewLen *= ZoomFactor;
    ViewStart -= added * 0.5;
    if (ViewStart < 0) ViewStart = 0;
    if (ViewLen > 1) ViewLen = 1;
    if (ViewStart + ViewLen > 1) ViewStart = 1 - ViewLen;
    Redraw();
    CallViewChange();
}

void TMemWavView::ZoomInSelection() {
    if (SelLen == 0) return;
    ViewStart = GetSelStart();
    ViewLen = GetSelLen();
    Redraw();
    CallViewChange();
}

void TMemWavView::Full() {
    ViewStart = 0;
    ViewLen = 1;
    Redraw();
    CallViewChange();
}

void TMemWavView::ZoomAround(double Pos, double Factor) {
    if (!std::isfinite(Pos) || !(Factor > 0) || !std::isfinite(Factor)) return;
    const std::int64_t frames = TotalFrames();
    const double narrowest = frames > 0 ? std::min(1.0, MinViewFrames / double(frames)) : 1e-9;
    const double len = std::clamp(ViewLen * Factor, narrowest, 1.0);
    // The point's place on screen, as a fraction of the width, stays.
    const double at = Pos >= ViewStart && Pos <= ViewStart + ViewLen && ViewLen > 0 ? (Pos - ViewStart) / ViewLen : 0.5;
    ViewLen = len;
    ViewStart = std::clamp(Pos - at * len, 0.0, 1.0 - len);
    Redraw();
    CallViewChange();
}

// ---- drawing ----

void TMemWavView::Redraw() {
    if (!isVisible()) {
        Stale = true;
        return;
    }
    DrawCanvas();
}

void TMemWavView::DrawCanvas() {
    Stale = false;
    const int w = width(), h = height();
    if (w <= 0 || h <= 0) return;
    if (Canvas.size() != QSize(w, h)) Canvas = QImage(w, h, QImage::Format_RGB32);
    Canvas.fill(ColorBack);
    if (MemStart) {
        std::int64_t first = std::int64_t(double(MemLen) * ViewStart);
        const double fraction = ViewStart + ViewLen > 1 ? 1 - ViewStart : ViewLen;
        const std::int64_t visible = std::int64_t(double(MemLen) * fraction);
        first &= ~std::int64_t(3);
        int x1 = WavPosToX(GetSelStart()), x2 = WavPosToX(GetSelEnd());
        if (GetSelStart() < ViewStart) x1 = 0;
        if (ViewStart + ViewLen <= GetSelEnd()) x2 = w - 1;
        if (x1 != -1 && x2 != -1) {
            QPainter p(&Canvas);
            p.fillRect(QRect(QPoint(x1, 0), QPoint(x2, h - 1)), ColorSelectionBack);
        }
        if (x1 == -1) x1 = w;
        if (x2 == -1) x2 = 0;
        if (first >= 0 && first + visible <= MemLen && !DrawDetail(w, h, x1, x2))
            DrawWave(w, h, MemStart + first / 2, visible, x1, x2);
    }
    {
        QPainter p(&Canvas);
        PostDraw(p);
        if (OnDraw) OnDraw(this, p);
        if (MemStart && SelLen == 0) {
            const int x = WavPosToX(SelStart);
            if (x != -1) {
                p.setPen(QPen(ColorSelectionBack, 1, Qt::DotLine));
                p.drawLine(x, 0, x, h);
            }
        }
    }
    PaintChangedBlocks();
}

void TMemWavView::DrawColumn(int Column, int Min, int Max, int Height, bool Selected) {
    const int g = int(Scale * 4096);
    const int half = (Height - 2 * ViewMargin) / 2;
    const int maxScaled = g * Max / 4096, minScaled = g * Min / 4096;
    const int yMax = half + maxScaled * half / 32767, yMin = half + minScaled * half / 32767;
    const int top = std::clamp(ViewMargin + yMin, 0, Height - 1);
    const int bottom = std::clamp(ViewMargin + yMax + 1, 0, Height - 1);
    const QRgb colour = (Selected ? ColorSelectionPCM : ColorPCM).rgb();
    for (int y = top; y <= bottom; ++y) reinterpret_cast<QRgb*>(Canvas.scanLine(y))[Column] = colour;
}

void TMemWavView::DrawWave(int Columns, int Height, const std::int16_t* Data, std::int64_t Bytes, int X1, int X2) {
    if (Height < 2 || Bytes < 2) return;
    for (int i = 0; i < Columns; ++i) {
        const std::int64_t from = (Bytes * i / Columns) & ~std::int64_t(1);
        const std::int64_t to = (Bytes * (i + 1) / Columns) & ~std::int64_t(1);
        const std::int64_t n = (to - from) / 2;
        const std::int16_t* at = Data + from / 2;
        int lo = Sample(at), hi = lo;
        if (n <= 200) {
            for (std::int64_t k = 0; k < n; ++k) {
                const int s = Sample(at + k);
                if (s > hi) hi = s;
                else if (s < lo) lo = s;
            }
        } else {
            // About a hundred probes per column, whatever the zoom.
            const std::uint16_t step = std::uint16_t(n / 100);
            for (std::int64_t k = 0; k < n - 4; k += step) {
                const int s = Sample(at + k);
                if (s > hi) hi = s;
                else if (s < lo) lo = s;
            }
        }
        DrawColumn(i, lo, hi, Height, i >= X1 && i <= X2);
    }
}

bool TMemWavView::DrawDetail(int Columns, int Height, int X1, int X2) {
    // Needed once a column covers less than one image sample.
    if (MemLen / 2 == 0 || double(MemLen / 2) * ViewLen >= Columns || Height < 2) return false;
    const double total = double(DetailTotal);
    const std::int64_t first = std::int64_t(std::floor(ViewStart * total));
    const std::int64_t last = std::int64_t(std::ceil((ViewStart + ViewLen) * total));
    if (DetailTotal <= 0 || first < DetailFirst || last > DetailFirst + std::int64_t(Detail.size())) {
        if (OnNeedDetail) OnNeedDetail(this, ViewStart, ViewLen);
        return false;
    }
    for (int i = 0; i < Columns; ++i) {
        const double a = (ViewStart + ViewLen * i / Columns) * total;
        const double b = (ViewStart + ViewLen * (i + 1) / Columns) * total;
        std::int64_t from = std::int64_t(std::floor(a)) - DetailFirst;
        std::int64_t to = std::max(from + 1, std::int64_t(std::ceil(b)) - DetailFirst);
        from = std::clamp<std::int64_t>(from, 0, std::int64_t(Detail.size()) - 1);
        to = std::clamp<std::int64_t>(to, from + 1, std::int64_t(Detail.size()));
        int lo = Detail[std::size_t(from)], hi = lo;
        for (std::int64_t k = from + 1; k < to; ++k) {
            lo = std::min<int>(lo, Detail[std::size_t(k)]);
            hi = std::max<int>(hi, Detail[std::size_t(k)]);
        }
        DrawColumn(i, lo, hi, Height, i >= X1 && i <= X2);
    }
    return true;
}

void TMemWavView::PaintChangedBlocks() {
    const int w = Canvas.width(), h = Canvas.height();
    // Order-sensitive, so a cursor moving over identical columns still changes its block's sum
    // (a plain sum of the pixels would not, and the moved cursor would never reach the screen).
    auto sum = [&](int X, int Width) {
        quint32 s = 0;
        if (h <= 1) return s;
        for (int y = 0; y < h; ++y) {
            const quint32* row = reinterpret_cast<const quint32*>(Canvas.constScanLine(y)) + X;
            for (int x = 0; x < Width; ++x) s = s * 31u + row[x];
        }
        return s;
    };
    const int blocks = std::min(w / 100, MaxBlocks);
    const int blockWidth = blocks ? w / blocks : 0;
    if (blocks == 0 || blockWidth == 0) {
        const quint32 whole = sum(0, w);
        LastBlocks = 0;
        if (BlockSums.size() == 1 && BlockSums[0] == whole) return;
        BlockSums.assign(1, whole);
        LastBlocks = -1;
        update();
        return;
    }
    if (int(BlockSums.size()) != blocks + 1) BlockSums.assign(std::size_t(blocks + 1), 0);
    LastBlocks = 0;
    for (int x = 0, b = 0; x < w; x += blockWidth, ++b) {
        const int width = std::min(blockWidth, w - x);
        const quint32 s = sum(x, width);
        if (s == BlockSums[std::size_t(b)]) continue;
        BlockSums[std::size_t(b)] = s;
        ++LastBlocks;
        update(QRect(x, 0, width, h));
    }
}

void TMemWavView::paintEvent(QPaintEvent* Event) {
    QPainter p(this);
    if (Canvas.size() != size()) {
        p.fillRect(Event->rect(), ColorBack);
        return;
    }
    p.drawImage(Event->rect(), Canvas, Event->rect());
}

void TMemWavView::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    if (Stale) Redraw();
}

void TMemWavView::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    BlockSums.clear();
    Redraw();
    update();
}

// ---- mouse ----

void TMemWavView::ImageMouseDown(Qt::MouseButton Button, int X, int) { SelectionMouseDown(Button, X); }

void TMemWavView::ImageMouseMove(int X, int, bool FromWidget) { SelectionMouseMove(X, FromWidget); }

void TMemWavView::ImageMouseUp(Qt::MouseButton, int) { SelectionMouseUp(); }

void TMemWavView::SelectionMouseDown(Qt::MouseButton Button, int X) {
    if (Button != Qt::LeftButton && !RightButtonSelect) return;
    SelStart = XToWavPos(X);
    SelLen = 0;
    Redraw();
    Dragging = true;
}

int TMemWavView::EdgeScroll(int X, bool FromWidget) {
    const int w = width();
    if (X > w) {
        ScrollTimer->start();
        ScrollTag = X - w;
        return w;
    }
    if (X < 0) {
        ScrollTimer->start();
        ScrollTag = X;
        return 0;
    }
    if (FromWidget) ScrollTimer->stop();
    return X;
}

void TMemWavView::SelectionMouseMove(int X, bool FromWidget) {
    if (!Dragging) return;
    X = EdgeScroll(X, FromWidget);
    SetSelLen(XToWavPos(X) - SelStart);
    Redraw();
}

void TMemWavView::SelectionMouseUp() {
    ScrollTimer->stop();
    if (Dragging) {
        if (SelLen < 0) {
            const double len = SelLen;
            SetSelStart(SelStart + len);
            SetSelLen(-len);
        }
        if (OnSelEnd) OnSelEnd(this);
    }
    Dragging = false;
}

void TMemWavView::ScrollTick() {
    const int t = std::clamp(ScrollTag, -12, 12);
    const double s = std::trunc(std::pow(double(ScrollSpeed), std::abs(t)));
    const double d = t < 0 ? -XDiffToWavLen(s) : XDiffToWavLen(s);
    ViewStart += 0.2 * d;
    if (ViewStart < 0) ViewStart = 0;
    if (ViewStart > 1 - ViewLen) ViewStart = 1 - ViewLen;
    Redraw();
    CallViewChange();
    ImageMouseMove(t < 0 ? 0 : width(), LastMouseY, false);
}

void TMemWavView::mousePressEvent(QMouseEvent* Event) {
    LastMouseY = int(Event->position().y());
    ImageMouseDown(Event->button(), int(Event->position().x()), LastMouseY);
}

void TMemWavView::mouseMoveEvent(QMouseEvent* Event) {
    LastMouseY = int(Event->position().y());
    ImageMouseMove(int(Event->position().x()), LastMouseY, true);
}

void TMemWavView::wheelEvent(QWheelEvent* Event) {
    const QPoint delta = Event->angleDelta();
    if (delta.y() != 0) {
        ZoomAround(XToWavPos(Event->position().x()), std::pow(WheelZoomStep, -delta.y() / 120.0));
    } else if (delta.x() != 0) {
        SetViewStart(std::clamp(ViewStart - XDiffToWavLen(delta.x() / 120.0 * width() / 10.0), 0.0, 1.0 - ViewLen));
    }
    Event->accept();
}

void TMemWavView::mouseReleaseEvent(QMouseEvent* Event) { ImageMouseUp(Event->button(), int(Event->position().x())); }
