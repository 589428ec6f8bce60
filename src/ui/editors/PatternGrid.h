#pragma once
// The pattern grid, PatGrid: a table view over TPatternModel that paints every cell itself
// (row stripes, selected cells black, the play marker in the row-number column, two-line channel
// headers). It moves the cursor and the range selection; the commands live in the pattern editor,
// which puts them into the grid's context menu, PatPopup. Keys of that menu act before any other
// handler while the grid has the focus.
#include "song/Step.h"

#include <QHeaderView>
#include <QHash>
#include <QRect>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

class QMenu;
class TLevelFeed;
class TPatternModel;

// Painted cells, for the repaint benchmarks and tests.
struct TPaintCount {
    long Cells = 0;
    long RowNumbers = 0;
    long Headers = 0;
};

class TPatternGrid : public QTableView {
    Q_OBJECT

public:
    explicit TPatternGrid(TPatternModel& Model, QWidget* Parent = nullptr);

    TPatternModel& Model() const { return PatModel; }
    QMenu* PatPopup;
    TPaintCount Painted;

    // The cursor in song coordinates (pattern row, channel).
    int CursorRow() const;
    int CursorChannel() const;
    // Moves the cursor (clamped to the pattern), selecting just that cell; raises OnGridClick.
    void SetCursor(int Row, int Channel);
    // The selection as a rectangle of pattern rows and channels; the cursor cell without one.
    QRect SelectionRect() const;
    // The sequencer's row changed: repaints the row numbers whose marker moved, nothing else.
    void PlayRowChanged(int CurRow);
    // The pattern's cells or headers changed: repaint what is visible.
    void Refresh();
    // Scales the font, rows and channels (0.5 to 3; 1 as designed).
    void SetZoom(double Value);
    double Zoom() const { return ZoomFactor; }
    // Channel headers show each channel's level from Feed (null: none); only the bars repaint.
    void SetLevelFeed(const TLevelFeed* Feed);
    const TLevelFeed* LevelFeed() const { return Levels; }

    // The cursor moved (by key, by mouse release, or by the editor): the instrument list follows.
    std::function<void(TPatternGrid* Sender)> OnGridClick;
    // A channel header was clicked, or the grid double-clicked (the cursor's channel).
    std::function<void(TPatternGrid* Sender, int Channel)> OnToggleMute;
    // Keys the grid handles itself: stop marker, clear, insert and delete cell.
    std::function<void(TPatternGrid* Sender)> OnStopMarker;
    std::function<void(TPatternGrid* Sender)> OnClearCell;
    std::function<void(TPatternGrid* Sender)> OnInsertCell;
    std::function<void(TPatternGrid* Sender)> OnDeleteCell;
    // Every key that reaches the grid's key handling (the "showkey" switch shows them).
    std::function<void(TPatternGrid* Sender, int Key)> OnKey;

    // The stop-marker key: the grave accent key at the left of the digits, wherever the layout puts it.
    static bool IsStopMarkerKey(const QKeyEvent& Event);

protected:
    bool event(QEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;
    void resizeEvent(QResizeEvent* Event) override;
    // Paints the visible cells straight from the song: one selection rectangle, no per-cell
    // style options; the table's own painting costs several times more.
    void paintEvent(QPaintEvent* Event) override;

private:
    void PageMove(bool Down, bool Extend);
    void SelectRect(int Top, int Left, int Bottom, int Right);
    QAction* MenuActionFor(const QKeyEvent& Event) const;

    TPatternModel& PatModel;
    const TLevelFeed* Levels = nullptr;
    QMetaObject::Connection LevelsConnection;
    int MarkerRow = -1;
    bool MouseDown = false;
    double ZoomFactor = 1.0;
    QFont BaseFont;
};

// Paints the data cells.
class TPatternDelegate : public QStyledItemDelegate {
public:
    explicit TPatternDelegate(TPatternGrid& Grid) : QStyledItemDelegate(&Grid), Grid(Grid) {}
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
    void PaintCell(QPainter* Painter, const QRect& Rect, int Row, int Channel, bool Selected, bool Focused) const;
    // The laid-out texts depend on the font: a new one lays them out again.
    void ClearTexts() { Texts.clear(); }

private:
    // Laid-out cell texts: a grid shows few distinct ones, and laying out is most of a cell's cost.
    const QStaticText& Text(cStep Cell) const;
    TPatternGrid& Grid;
    mutable QHash<qint64, QStaticText> Texts;
};

// The row-number column and the channel header row.
class TPatternHeader : public QHeaderView {
    Q_OBJECT

public:
    TPatternHeader(Qt::Orientation Orientation, TPatternGrid& Grid);

    // A click on a channel's header (not on the border between two, which resizes).
    std::function<void(int Channel)> OnClick;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void paintSection(QPainter* Painter, const QRect& Rect, int LogicalIndex) const override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    bool OnBorder(const QPoint& Pos) const;
    TPatternGrid& Grid;
    bool Resizing = false;
    // What the paint under way covers: the level bars' 30 updates a second leave the labels be.
    QRect Dirty;
};
