#pragma once
// The order list's grid: 100 positions, the position (or "-->" where the song plays) beside the
// pattern it plays. The view takes the keys of its commands before any shortcut can.
#include <QAbstractTableModel>
#include <QKeyCombination>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <utility>
#include <vector>

class QAction;
class cApp;
class cSequencer;

class TOrderModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TOrderModel(const cApp& App, QObject* Parent = nullptr);

    // What a cell shows: column 0 the position or "-->", column 1 the pattern or nothing.
    static QString CellText(const cSequencer& Song, int Row, int Column);
    // The pattern an entry plays, 0 for an empty entry or a number outside 1..100.
    static int EntryPattern(const cSequencer& Song, int Row);

    int rowCount(const QModelIndex& Parent = {}) const override;
    int columnCount(const QModelIndex& Parent = {}) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;

private:
    const cApp& App;
};

class TOrderDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
};

class TOrderGrid : public QTableView {
    Q_OBJECT

public:
    static constexpr int Width = 149;
    static constexpr int RowHeight = 16;

    explicit TOrderGrid(const cApp& App, QWidget* Parent = nullptr);

    // The action a key combination runs while the grid has the focus.
    void BindKeys(QAction* Action, std::vector<QKeyCombination> Keys);
    // Repaints one row only.
    void UpdateRow(int Row);
    // Scales the font and rows (0.5 to 3; 1 as designed).
    void SetZoom(double Value);

    // A left click released on a row; a cursor move by key.
    std::function<void(int Row)> OnRowClicked;
    std::function<void(int Row)> OnKeyMoved;

protected:
    bool event(QEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    QFont BaseFont;
    QAction* Bound(const QKeyEvent* Event) const;
    std::vector<std::pair<QKeyCombination, QAction*>> Keys;
};
