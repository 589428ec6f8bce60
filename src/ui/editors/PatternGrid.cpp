#include "ui/editors/PatternGrid.h"

#include "ui/views/Theme.h"

#include "song/Pattern.h"
#include "ui/editors/PatternModel.h"
#include "ui/views/ChannelStrip.h"
#include "ui/views/LevelFeed.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

namespace {

constexpr int PageRows = 16;
constexpr int ChannelWidth = 65;
constexpr int RowHeight = 15;
constexpr int HeaderHeight = 36;
constexpr int LevelBarHeight = 3; // the channel's level along the header's foot
constexpr int MinRowNumberWidth = 20;

// The key at the left of the digits on the physical keyboard (X11 and evdev scan code 49).
constexpr quint32 GraveScanCode = 49;

void drawFocus(QPainter* Painter, const QRect& Rect) {
    QPen pen(brindle::ui::CurrentGridColours().Focus, 1, Qt::DotLine);
    Painter->setPen(pen);
    Painter->setBrush(Qt::NoBrush);
    Painter->drawRect(Rect.adjusted(0, 0, -1, -1));
}

} // namespace

// ---- grid ----

TPatternGrid::TPatternGrid(TPatternModel& Model, QWidget* Parent)
    : QTableView(Parent), PatPopup(new QMenu(this)), PatModel(Model) {
    setObjectName("PatGrid");
    auto* top = new TPatternHeader(Qt::Horizontal, *this);
    auto* side = new TPatternHeader(Qt::Vertical, *this);
    setHorizontalHeader(top);
    setVerticalHeader(side);
    setModel(&Model);
    setItemDelegate(new TPatternDelegate(*this));
    setEditTriggers(NoEditTriggers);
    setSelectionMode(ContiguousSelection);
    setSelectionBehavior(SelectItems);
    setShowGrid(false);
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollMode(ScrollPerItem);
    setVerticalScrollMode(ScrollPerItem);

    top->setSectionResizeMode(QHeaderView::Interactive);
    top->setMinimumSectionSize(8);
    top->setDefaultSectionSize(ChannelWidth);
    top->setFixedHeight(HeaderHeight);
    top->setHighlightSections(false);
    top->OnClick = [this](int Channel) {
        if (OnToggleMute) OnToggleMute(this, Channel);
    };
    side->setSectionResizeMode(QHeaderView::Fixed);
    side->setMinimumSectionSize(1);
    side->setDefaultSectionSize(RowHeight);
    side->setHighlightSections(false);
    side->setFixedWidth(std::max(MinRowNumberWidth, fontMetrics().horizontalAdvance("500") + 6));

    PatPopup->setObjectName("PatPopup");
    BaseFont = font();
}

void TPatternGrid::SetLevelFeed(const TLevelFeed* Feed) {
    disconnect(LevelsConnection);
    Levels = Feed;
    if (!Feed) return;
    LevelsConnection = connect(Feed, &TLevelFeed::levelsChanged, this, [this] {
        if (!isVisible()) return;
        auto* header = horizontalHeader()->viewport();
        header->update(0, header->height() - LevelBarHeight - 2, header->width(), LevelBarHeight + 2);
    });
}

void TPatternGrid::SetZoom(double Value) {
    ZoomFactor = std::clamp(Value, 0.5, 3.0);
    if (BaseFont.pointSizeF() <= 0) BaseFont = font();
    QFont zoomed = BaseFont;
    zoomed.setPointSizeF(BaseFont.pointSizeF() * ZoomFactor);
    setFont(zoomed);
    horizontalHeader()->setFont(zoomed);
    verticalHeader()->setFont(zoomed);
    static_cast<TPatternDelegate*>(itemDelegate())->ClearTexts();
    auto* top = horizontalHeader();
    const int width = int(std::lround(ChannelWidth * ZoomFactor));
    top->setDefaultSectionSize(width);
    for (int c = 0; c < top->count(); ++c) top->resizeSection(c, width);
    top->setFixedHeight(int(std::lround(HeaderHeight * ZoomFactor)));
    verticalHeader()->setDefaultSectionSize(int(std::lround(RowHeight * ZoomFactor)));
    verticalHeader()->setFixedWidth(std::max(MinRowNumberWidth, QFontMetrics(zoomed).horizontalAdvance("500") + 6));
    viewport()->update();
}

int TPatternGrid::CursorRow() const { return std::max(currentIndex().row(), 0); }

int TPatternGrid::CursorChannel() const { return std::max(currentIndex().column(), 0); }

void TPatternGrid::SetCursor(int Row, int Channel) {
    Row = std::clamp(Row, 0, std::max(PatModel.rowCount() - 1, 0));
    Channel = std::clamp(Channel, 0, GridChannelCount - 1);
    const QModelIndex target = PatModel.index(Row, Channel);
    const bool moved = target != currentIndex();
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
    // An unmoved cursor still reports: the editor moved it, even if only onto itself.
    if (!moved && OnGridClick) OnGridClick(this);
}

QRect TPatternGrid::SelectionRect() const {
    const QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty()) return QRect(CursorChannel(), CursorRow(), 1, 1);
    int top = PatModel.rowCount(), left = GridChannelCount, bottom = -1, right = -1;
    for (const auto& range : selection) {
        top = std::min(top, range.top());
        left = std::min(left, range.left());
        bottom = std::max(bottom, range.bottom());
        right = std::max(right, range.right());
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void TPatternGrid::SelectRect(int Top, int Left, int Bottom, int Right) {
    if (Top > Bottom) std::swap(Top, Bottom);
    if (Left > Right) std::swap(Left, Right);
    selectionModel()->select(QItemSelection(PatModel.index(Top, Left), PatModel.index(Bottom, Right)),
                             QItemSelectionModel::ClearAndSelect);
}

void TPatternGrid::PlayRowChanged(int CurRow) {
    if (CurRow == MarkerRow) return;
    QHeaderView* side = verticalHeader();
    for (const int row : {MarkerRow, CurRow}) {
        if (row < 0 || row >= PatModel.rowCount()) continue;
        const int y = side->sectionViewportPosition(row);
        if (y + RowHeight < 0 || y > side->viewport()->height()) continue;
        side->viewport()->update(QRect(0, y, side->width(), side->sectionSize(row)));
    }
    MarkerRow = CurRow;
}

void TPatternGrid::Refresh() {
    viewport()->update();
    horizontalHeader()->viewport()->update();
    verticalHeader()->viewport()->update();
}

bool TPatternGrid::IsStopMarkerKey(const QKeyEvent& Event) {
    if (Event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
    return Event.key() == Qt::Key_QuoteLeft || Event.nativeScanCode() == GraveScanCode;
}

QAction* TPatternGrid::MenuActionFor(const QKeyEvent& Event) const {
    const QKeySequence pressed(QKeyCombination(Event.modifiers() & ~Qt::KeypadModifier, Qt::Key(Event.key())));
    for (QAction* action : PatPopup->actions())
        if (!action->shortcut().isEmpty() && action->shortcut() == pressed) return action;
    return nullptr;
}

bool TPatternGrid::event(QEvent* Event) {
    if (Event->type() == QEvent::ShortcutOverride) {
        // The grid's own keys win over the window's shortcuts (Ctrl+S solos here, it does not save).
        auto* key = static_cast<QKeyEvent*>(Event);
        if (MenuActionFor(*key) || IsStopMarkerKey(*key)) {
            Event->accept();
            return true;
        }
    }
    return QTableView::event(Event);
}

void TPatternGrid::keyPressEvent(QKeyEvent* Event) {
    if (OnKey) OnKey(this, Event->key());
    if (QAction* action = MenuActionFor(*Event)) {
        action->trigger();
        Event->accept();
        return;
    }
    const bool shift = Event->modifiers() & Qt::ShiftModifier;
    auto raise = [this, Event](const std::function<void(TPatternGrid*)>& Handler) {
        if (Handler) Handler(this);
        Event->accept();
    };
    if (IsStopMarkerKey(*Event)) return raise(OnStopMarker);
    switch (Event->key()) {
    case Qt::Key_Delete: return raise(OnClearCell);
    case Qt::Key_Insert: return raise(OnInsertCell);
    case Qt::Key_Backspace: return raise(OnDeleteCell);
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        PageMove(Event->key() == Qt::Key_PageDown, shift);
        Event->accept();
        return;
    default: QTableView::keyPressEvent(Event);
    }
}

void TPatternGrid::PageMove(bool Down, bool Extend) {
    const int last = PatModel.rowCount() - 1;
    if (!Extend) {
        SetCursor(std::clamp(CursorRow() + (Down ? PageRows : -PageRows), 0, last), CursorChannel());
        return;
    }
    // The selection keeps its top-left corner; the moving corner goes to its right column.
    const QRect sel = SelectionRect();
    const int row = Down ? std::min(sel.bottom() + PageRows, last) : std::max(CursorRow() - PageRows, 0);
    selectionModel()->setCurrentIndex(PatModel.index(row, sel.right()), QItemSelectionModel::NoUpdate);
    SelectRect(sel.top(), sel.left(), row, sel.right());
    scrollTo(currentIndex());
}

void TPatternGrid::currentChanged(const QModelIndex& Current, const QModelIndex& Previous) {
    QTableView::currentChanged(Current, Previous);
    // A drag reports once, when the button comes up.
    if (!MouseDown && OnGridClick) OnGridClick(this);
}

void TPatternGrid::mousePressEvent(QMouseEvent* Event) {
    MouseDown = true;
    QTableView::mousePressEvent(Event);
}

void TPatternGrid::mouseReleaseEvent(QMouseEvent* Event) {
    QTableView::mouseReleaseEvent(Event);
    MouseDown = false;
    if (OnGridClick) OnGridClick(this);
}

void TPatternGrid::mouseDoubleClickEvent(QMouseEvent* Event) {
    Event->accept();
    if (OnToggleMute) OnToggleMute(this, CursorChannel());
}

void TPatternGrid::contextMenuEvent(QContextMenuEvent* Event) { PatPopup->exec(Event->globalPos()); }

void TPatternGrid::resizeEvent(QResizeEvent* Event) {
    verticalHeader()->setFixedWidth(std::max(MinRowNumberWidth, fontMetrics().horizontalAdvance("500") + 6));
    QTableView::resizeEvent(Event);
}

void TPatternGrid::paintEvent(QPaintEvent* Event) {
    QPainter painter(viewport());
    const QRect area = Event->rect();
    painter.fillRect(area, palette().base());
    const QHeaderView* top = horizontalHeader();
    const QHeaderView* side = verticalHeader();
    const int rows = PatModel.rowCount();
    int firstRow = side->logicalIndexAt(area.top()), lastRow = side->logicalIndexAt(area.bottom());
    int firstColumn = top->logicalIndexAt(area.left()), lastColumn = top->logicalIndexAt(area.right());
    if (firstRow < 0 || firstColumn < 0) return;
    if (lastRow < 0) lastRow = rows - 1;
    if (lastColumn < 0) lastColumn = GridChannelCount - 1;
    const QRect selection = SelectionRect();
    const QModelIndex cursor = currentIndex();
    const bool focus = hasFocus();
    auto* delegate = static_cast<TPatternDelegate*>(itemDelegate());
    for (int r = firstRow; r <= lastRow; ++r) {
        const int y = side->sectionViewportPosition(r), h = side->sectionSize(r);
        for (int c = firstColumn; c <= lastColumn; ++c) {
            const bool isCursor = cursor.row() == r && cursor.column() == c;
            delegate->PaintCell(&painter, QRect(top->sectionViewportPosition(c), y, top->sectionSize(c), h), r, c,
                                isCursor || selection.contains(c, r), isCursor && focus);
        }
    }
}

// ---- cells ----

void TPatternDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
    const bool focused = Index == Grid.currentIndex();
    PaintCell(Painter, Option.rect, Index.row(), Index.column(), focused || (Option.state & QStyle::State_Selected),
              focused && Grid.hasFocus());
}

void TPatternDelegate::PaintCell(QPainter* Painter, const QRect& r, int Row, int Channel, bool Selected,
                                 bool Focused) const {
    ++Grid.Painted.Cells;
    const auto& colours = brindle::ui::CurrentGridColours();
    Painter->fillRect(r, Selected ? colours.Selected : TPatternModel::RowColour(Row));
    Painter->setPen(colours.Line);
    Painter->drawLine(r.topRight(), r.bottomRight());
    if (Focused) drawFocus(Painter, r);
    const cStep cell = Grid.Model().Pattern().LoadCell(Channel, Row);
    if (cell.ins == 0) return;
    Painter->setPen(Selected ? colours.SelectedText : colours.Text);
    const QStaticText& text = Text(cell);
    // Rows and columns paint in order, so a taller text is covered by the row below; a wider one
    // is clipped, which costs more than the text.
    const bool fits = text.size().width() <= r.width() - 2;
    if (!fits) {
        Painter->save();
        Painter->setClipRect(r, Qt::IntersectClip);
    }
    Painter->drawStaticText(r.left() + 2, r.top() + 2, text);
    if (!fits) Painter->restore();
}

const QStaticText& TPatternDelegate::Text(cStep Cell) const {
    const qint64 key = (qint64(Cell.ins) << 32) | quint32(Cell.ins == -1 ? 0 : int(std::trunc(Cell.pitch)));
    auto it = Texts.find(key);
    if (it == Texts.end()) {
        QStaticText text(TPatternModel::CellText(Cell));
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), Grid.font());
        it = Texts.insert(key, text);
    }
    return *it;
}

// ---- headers ----

TPatternHeader::TPatternHeader(Qt::Orientation Orientation, TPatternGrid& Grid)
    : QHeaderView(Orientation, &Grid), Grid(Grid) {
    setSectionsClickable(false);
}

void TPatternHeader::paintEvent(QPaintEvent* Event) {
    Dirty = Event->rect();
    QHeaderView::paintEvent(Event);
}

void TPatternHeader::paintSection(QPainter* Painter, const QRect& Rect, int LogicalIndex) const {
    const TPatternModel& model = Grid.Model();
    Painter->save();
    Painter->setClipRect(Rect);
    const auto& colours = brindle::ui::CurrentGridColours();
    Painter->fillRect(Rect, orientation() == Qt::Vertical ? TPatternModel::RowColour(LogicalIndex) : colours.Header);
    // Fixed cells have lines on both sides.
    Painter->setPen(colours.Line);
    Painter->drawLine(Rect.topRight(), Rect.bottomRight());
    Painter->drawLine(Rect.bottomLeft(), Rect.bottomRight());
    Painter->setPen(colours.Text);
    const QRect text = Rect.adjusted(2, 2, 0, 0);
    constexpr int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    if (orientation() == Qt::Vertical) {
        ++Grid.Painted.RowNumbers;
        Painter->drawText(text, flags, model.headerData(LogicalIndex, Qt::Vertical).toString());
    } else {
        const int nameTop = int(16 * Grid.Zoom());
        const QRect labels(Rect.left(), Rect.top(), Rect.width(), 2 + nameTop + fontMetrics().height());
        if (Dirty.intersects(labels)) {
            ++Grid.Painted.Headers;
            Painter->drawText(text, flags, model.HeaderNumber(LogicalIndex));
            Painter->drawText(text.adjusted(0, nameTop, 0, 0), flags, model.HeaderName(LogicalIndex));
        }
        if (const TLevelFeed* levels = Grid.LevelFeed(); levels && LogicalIndex < brindle::TLevelMeters::Channels) {
            const QRect bar(Rect.left() + 2, Rect.bottom() - LevelBarHeight - 1, Rect.width() - 5, LevelBarHeight);
            TLevelBar::Paint(*Painter, bar, levels->Shown(LogicalIndex), Qt::Horizontal, colours.Line.darker(160));
        }
    }
    Painter->restore();
}

bool TPatternHeader::OnBorder(const QPoint& Pos) const {
    const int margin = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    const int at = orientation() == Qt::Horizontal ? Pos.x() : Pos.y();
    const int index = logicalIndexAt(at);
    if (index < 0) return false;
    const int start = sectionViewportPosition(index);
    const int end = start + sectionSize(index);
    return at - start <= margin || end - at <= margin;
}

void TPatternHeader::mousePressEvent(QMouseEvent* Event) {
    if (orientation() != Qt::Horizontal || Event->button() != Qt::LeftButton) return;
    // The border between two headers resizes (and mutes nothing); the header itself toggles mute.
    if (OnBorder(Event->position().toPoint())) {
        Resizing = true;
        QHeaderView::mousePressEvent(Event);
        return;
    }
    const int channel = logicalIndexAt(Event->position().toPoint());
    if (channel >= 0 && OnClick) OnClick(channel);
}

void TPatternHeader::mouseReleaseEvent(QMouseEvent* Event) {
    if (Resizing) QHeaderView::mouseReleaseEvent(Event);
    Resizing = false;
    if (orientation() != Qt::Horizontal || count() < 2) return;
    // Resizing the first channel resizes them all; any other column only itself.
    const int first = sectionSize(0);
    if (sectionSize(1) == first) return;
    for (int i = 1; i < count(); ++i) resizeSection(i, first);
}
