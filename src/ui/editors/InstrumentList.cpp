#include "ui/editors/InstrumentList.h"

#include "app/App.h"
#include "app/ProjectFiles.h"
#include "audio/mixer/LiveMixer.h"
#include "song/Sequencer.h"
#include "ui/dialogs/FormTrace.h"

#include <QAbstractTableModel>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr int RowHeight = 16;

class TInstrumentModel : public QAbstractTableModel {
  public:
    explicit TInstrumentModel(TInstrumentList& List) : QAbstractTableModel(&List), List(List) {}
    int rowCount(const QModelIndex& Parent) const override { return Parent.isValid() ? 0 : InstrumentCount; }
    int columnCount(const QModelIndex& Parent) const override { return Parent.isValid() ? 0 : 1; }
    QVariant data(const QModelIndex& Index, int Role) const override {
        if (Role != Qt::DisplayRole || !Index.isValid()) return {};
        return List.RowText(Index.row());
    }

  private:
    TInstrumentList& List;
};

// The grid paints the cell; the text goes on top, 2 px in.
class TInstrumentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override {
        const bool selected = Option.state & QStyle::State_Selected;
        Painter->fillRect(Option.rect, selected ? Option.palette.highlight() : Option.palette.base());
        Painter->setPen(selected ? Option.palette.highlightedText().color() : Option.palette.text().color());
        Painter->drawText(Option.rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          Index.data().toString());
    }
};

} // namespace

TInstrumentList::TInstrumentList(cApp& App, QWidget* Parent)
    : QTableView(Parent), InsPopup(new QMenu(this)), App(App) {
    setObjectName("InsGrid");
    setModel(new TInstrumentModel(*this));
    setItemDelegate(new TInstrumentDelegate(this));
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(RowHeight);
    setShowGrid(false);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setMinimumWidth(214);
    setAcceptDrops(true);
    setDragDropMode(DropOnly);
    AssignAction = InsPopup->addAction("Assign Instrument");
    PlayAction = InsPopup->addAction("Play");
    AssignKeyAction = InsPopup->addAction("Assign to Key");
    ClearAction = InsPopup->addAction("Clear");
    Quiet = true;
    setCurrentIndex(model()->index(0, 0));
    Quiet = false;
}

QString TInstrumentList::RowText(int Row) const {
    const std::string name = App.seq ? App.seq->Instruments[Row].Name : std::string();
    return QString::number(Row + 1) + ". " + QString::fromStdString(name);
}

int TInstrumentList::CursorRow() const {
    return std::max(currentIndex().row(), 0);
}

void TInstrumentList::SetCursorRow(int Row, bool Notify) {
    Row = std::clamp(Row, 0, InstrumentCount - 1);
    Quiet = !Notify;
    setCurrentIndex(model()->index(Row, 0));
    Quiet = false;
}

void TInstrumentList::SelectQuietly() {
    Selected(false);
}

void TInstrumentList::Refresh() {
    viewport()->update();
}

void TInstrumentList::Selected(bool Preview) {
    if (!App.seq) return;
    const int instrument = CursorRow() + 1;
    App.SetActiveInstrument(instrument);
    if (OnShowFile) OnShowFile(this, App.seq->InstrumentAt(instrument).GetFileName());
    if (Preview) App.seq->PreviewInstrument(instrument, 0.0f, ListPreviewTag);
}

void TInstrumentList::currentChanged(const QModelIndex& Current, const QModelIndex& Previous) {
    QTableView::currentChanged(Current, Previous);
    if (InsGridMouseHeld || Quiet) return;
    BRINDLE_TRACE_TEXT("InsGridClick");
    Selected(App.seq && App.seq->PlayMode.load() == PlayStopped);
}

void TInstrumentList::mousePressEvent(QMouseEvent* Event) {
    InsGridMouseHeld = true;
    QTableView::mousePressEvent(Event);
    // Sounds while the button is held, playing or not.
    Selected(true);
    BRINDLE_TRACE_TEXT("InsGrid: MouseDown");
    BRINDLE_TRACE_VALUE("InsGrid->Row", CursorRow());
}

void TInstrumentList::mouseReleaseEvent(QMouseEvent* Event) {
    QTableView::mouseReleaseEvent(Event);
    Released();
}

void TInstrumentList::Released() {
    InsGridMouseHeld = false;
    BRINDLE_TRACE_TEXT("InsGrid:MouseUp");
    if (App.Mixer) App.Mixer->RemoveByTag(ListPreviewTag);
}

void TInstrumentList::contextMenuEvent(QContextMenuEvent* Event) {
    // The menu takes the button's release: the press ends here, or the list would stay held (its
    // preview sounding, keyboard moves ignored).
    if (InsGridMouseHeld) Released();
    InsPopup->exec(Event->globalPos());
}

// ---- drops ----

namespace {

std::vector<std::string> droppedFiles(const QMimeData* Mime) {
    std::vector<std::string> files;
    if (!Mime || !Mime->hasUrls()) return files;
    for (const QUrl& url : Mime->urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    return files;
}

} // namespace

void TInstrumentList::dragEnterEvent(QDragEnterEvent* Event) {
    if (!droppedFiles(Event->mimeData()).empty())
        Event->acceptProposedAction();
    else
        Event->ignore();
}

void TInstrumentList::dragMoveEvent(QDragMoveEvent* Event) {
    if (!droppedFiles(Event->mimeData()).empty())
        Event->acceptProposedAction();
    else
        Event->ignore();
}

void TInstrumentList::dropEvent(QDropEvent* Event) {
    const auto files = droppedFiles(Event->mimeData());
    if (files.empty()) return;
    Event->acceptProposedAction();
    if (files.size() == 1 && brindle::IsModuleFile(files[0])) {
        if (OnDropModule) OnDropModule(this, files[0]);
        return;
    }
    std::vector<std::string> sounds;
    for (const auto& f : files)
        if (!brindle::IsModuleFile(f)) sounds.push_back(f);
    const QModelIndex at = indexAt(Event->position().toPoint());
    // The row under the drop becomes the cursor row without the selection handling.
    SetCursorRow(at.isValid() ? at.row() : CursorRow(), false);
    if (OnDropFiles) OnDropFiles(this, CursorRow(), sounds);
}
