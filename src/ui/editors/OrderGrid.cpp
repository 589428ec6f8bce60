#include "ui/editors/OrderGrid.h"

#include "app/App.h"
#include "song/Sequencer.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

TOrderModel::TOrderModel(const cApp& App, QObject* Parent) : QAbstractTableModel(Parent), App(App) {}

int TOrderModel::EntryPattern(const cSequencer& Song, int Row) {
    if (Row < 0 || Row >= OrderCount) return 0;
    const int p = Song.Orders[Row].PatternIndex;
    return p >= 1 && p <= PatternCount ? p : 0;
}

QString TOrderModel::CellText(const cSequencer& Song, int Row, int Column) {
    if (Row < 0 || Row >= OrderCount) return {};
    if (Column == 0) return Song.CurOrder.load() == Row + 1 ? QStringLiteral("-->") : QString::number(Row + 1);
    const int p = EntryPattern(Song, Row);
    return p ? QString::number(p) : QString();
}

int TOrderModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : OrderCount; }

int TOrderModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : 2; }

QVariant TOrderModel::data(const QModelIndex& Index, int Role) const {
    if (Role != Qt::DisplayRole || !Index.isValid() || !App.seq) return {};
    return CellText(*App.seq, Index.row(), Index.column());
}

void TOrderDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
    const bool selected = Option.state & QStyle::State_Selected;
    const bool fixed = Index.column() == 0;
    const QColor back = selected ? QColor(Qt::black) : Option.palette.color(fixed ? QPalette::Button : QPalette::Window);
    const QColor text = selected ? QColor(Qt::white)
                                 : Option.palette.color(fixed ? QPalette::ButtonText : QPalette::WindowText);
    Painter->save();
    Painter->fillRect(Option.rect, back);
    Painter->setFont(Option.font);
    Painter->setPen(text);
    Painter->drawText(Option.rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      Index.data().toString());
    if (Option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(Option);
        focus.backgroundColor = back;
        const QWidget* w = Option.widget;
        (w ? w->style() : QApplication::style())->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, Painter, w);
    }
    Painter->restore();
}

TOrderGrid::TOrderGrid(const cApp& App, QWidget* Parent) : QTableView(Parent) {
    setObjectName("ordgrid");
    setModel(new TOrderModel(App, this));
    setItemDelegate(new TOrderDelegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabKeyNavigation(false);
    setWordWrap(false);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(RowHeight);
    // Wide enough for "100" and "-->" in any font, the text 2 px in.
    const QFontMetrics fm(font());
    const int first = std::max({20, fm.horizontalAdvance("100") + 4, fm.horizontalAdvance("-->") + 4});
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->resizeSection(0, first);
    horizontalHeader()->setStretchLastSection(true);
    setFixedWidth(Width);
    BaseFont = font();
}

void TOrderGrid::SetZoom(double Value) {
    const double zoom = std::clamp(Value, 0.5, 3.0);
    QFont zoomed = BaseFont;
    zoomed.setPointSizeF(BaseFont.pointSizeF() * zoom);
    setFont(zoomed);
    verticalHeader()->setDefaultSectionSize(int(std::lround(RowHeight * zoom)));
    const QFontMetrics fm(zoomed);
    horizontalHeader()->resizeSection(0, std::max({20, fm.horizontalAdvance("100") + 4, fm.horizontalAdvance("-->") + 4}));
    setFixedWidth(int(std::lround(Width * zoom)));
}

void TOrderGrid::BindKeys(QAction* Action, std::vector<QKeyCombination> Combinations) {
    for (const auto& k : Combinations) Keys.emplace_back(k, Action);
}

void TOrderGrid::UpdateRow(int Row) {
    if (Row < 0 || Row >= OrderCount) return;
    viewport()->update(QRect(0, rowViewportPosition(Row), viewport()->width(), rowHeight(Row)));
}

QAction* TOrderGrid::Bound(const QKeyEvent* Event) const {
    // The keypad's Enter is the same command as Return.
    const QKeyCombination pressed(Event->modifiers() & ~Qt::KeypadModifier, Qt::Key(Event->key()));
    for (const auto& [k, action] : Keys)
        if (k == pressed) return action;
    return nullptr;
}

bool TOrderGrid::event(QEvent* Event) {
    // Claimed here, the key comes to keyPressEvent instead of a window shortcut or the menu.
    if (Event->type() == QEvent::ShortcutOverride && Bound(static_cast<QKeyEvent*>(Event))) {
        Event->accept();
        return true;
    }
    return QTableView::event(Event);
}

void TOrderGrid::keyPressEvent(QKeyEvent* Event) {
    if (QAction* action = Bound(Event)) {
        action->trigger();
        Event->accept();
        return;
    }
    const QModelIndex before = currentIndex();
    QTableView::keyPressEvent(Event);
    if (currentIndex() != before && currentIndex().isValid() && OnKeyMoved) OnKeyMoved(currentIndex().row());
}

void TOrderGrid::mouseReleaseEvent(QMouseEvent* Event) {
    QTableView::mouseReleaseEvent(Event);
    const QModelIndex at = indexAt(Event->position().toPoint());
    if (Event->button() == Qt::LeftButton && at.isValid() && OnRowClicked) OnRowClicked(at.row());
}
