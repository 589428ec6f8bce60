#include "ui/editors/OrderEditor.h"

#include "app/App.h"
#include "song/Sequencer.h"
#include "ui/dialogs/OrdPatNumForm.h"
#include "ui/editors/OrderGrid.h"
#include "ui/editors/SongUndo.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>

namespace {

QPushButton* commandButton(const char* Text, QWidget* Parent) {
    auto* b = new QPushButton(Text, Parent);
    // The grid keeps the focus, so its keys keep working after a click.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

// Written whole: the audio thread reads the list while it plays.
void storePattern(cOrder& Entry, int Pattern) {
    std::atomic_ref<std::int32_t>(Entry.PatternIndex).store(Pattern, std::memory_order_relaxed);
}

} // namespace

TOrderEditor::TOrderEditor(cApp& App, TSongUndo& Undo, QWidget* Parent)
    : QWidget(Parent), App(App), Undo(Undo), Form(new TOrdPatNumForm(this)) {
    ordgrid = new TOrderGrid(App, this);
    OrdEditBtn = commandButton("[ v ]  Edit", this);
    GotoPattern = commandButton("-->  Goto", this);
    ClonePatternBtn = commandButton("I>II  Clone", this);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OrdEditBtn);
    buttons->addWidget(GotoPattern);
    buttons->addWidget(ClonePatternBtn);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ordgrid);
    layout->addLayout(buttons);
    layout->addStretch();

    OrdPopup = new QMenu(this);
    const auto add = [this](const char* Text, QKeySequence Shown, std::vector<QKeyCombination> Keys,
                            void (TOrderEditor::*Command)()) {
        QAction* a = OrdPopup->addAction(Text, this, Command);
        a->setShortcut(Shown);
        // Shown in the menu only: the grid runs these keys itself.
        a->setShortcutContext(Qt::WidgetShortcut);
        ordgrid->BindKeys(a, std::move(Keys));
    };
    add("Edit", QKeySequence(Qt::CTRL | Qt::Key_Return), {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter},
        &TOrderEditor::Edit);
    add("Goto Pattern", QKeySequence(Qt::Key_Return), {QKeyCombination(Qt::Key_Return), QKeyCombination(Qt::Key_Enter)},
        &TOrderEditor::GotoPatternCmd);
    add("Play/stop", QKeySequence(Qt::Key_Space), {QKeyCombination(Qt::Key_Space)}, &TOrderEditor::PlayStop);
    add("Delete", QKeySequence(Qt::Key_Delete), {QKeyCombination(Qt::Key_Delete)}, &TOrderEditor::DeleteEntry);
    add("Insert", QKeySequence(Qt::Key_Insert), {QKeyCombination(Qt::Key_Insert)}, &TOrderEditor::InsertEntry);
    add("Clone", QKeySequence(Qt::CTRL | Qt::Key_C), {Qt::CTRL | Qt::Key_C}, &TOrderEditor::Clone);

    ordgrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ordgrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { OrdPopup->popup(ordgrid->viewport()->mapToGlobal(At)); });
    connect(ordgrid, &QAbstractItemView::doubleClicked, this, [this] { Edit(); });
    connect(OrdEditBtn, &QPushButton::clicked, this, &TOrderEditor::Edit);
    connect(GotoPattern, &QPushButton::clicked, this, &TOrderEditor::GotoPatternCmd);
    connect(ClonePatternBtn, &QPushButton::clicked, this, &TOrderEditor::Clone);
    ordgrid->OnRowClicked = [this](int Row) { ShowPattern(Row); };
    ordgrid->OnKeyMoved = [this](int Row) { ShowPattern(Row); };

    RunDialog = [](TOrdPatNumForm* F) { return F->exec() == QDialog::Accepted; };
    ShowMessage = [this](const std::string& Text) {
        QMessageBox::information(this, windowTitle(), QString::fromStdString(Text));
    };
    OnPlaySong = [&App](int Row) { App.PlaySongFromOrderRow(Row); };
    OnStop = [&App] { App.Stop(); };

    if (App.seq) PaintedCurOrder = App.seq->CurOrder.load();
    SetCurrentRow(0);
}

TOrderEditor::~TOrderEditor() = default;

int TOrderEditor::CurrentRow() const {
    const int row = ordgrid->currentIndex().row();
    return row < 0 ? 0 : row;
}

void TOrderEditor::SetCurrentRow(int Row0Based) {
    if (Row0Based < 0 || Row0Based >= OrderCount) return;
    ordgrid->setCurrentIndex(ordgrid->model()->index(Row0Based, 0));
}

int TOrderEditor::CursorPattern() const { return App.seq ? TOrderModel::EntryPattern(*App.seq, CurrentRow()) : 0; }

void TOrderEditor::ShowPattern(int Row) {
    if (OnShowPattern && App.seq) OnShowPattern(TOrderModel::EntryPattern(*App.seq, Row));
}

void TOrderEditor::Edit() {
    if (!App.seq) return;
    const int row = CurrentRow();
    if (const int p = CursorPattern()) Form->SetValue(p);
    Form->move(OrdEditBtn->mapToGlobal(QPoint(0, OrdEditBtn->height())));
    if (!RunDialog || !RunDialog(Form)) return;
    const int value = Form->Value();
    if (value < 0 || value > TOrdPatNumForm::MaxNumber) {
        if (ShowMessage) ShowMessage("The pattern number must be 0 to 100.");
        return;
    }
    cSequencer& song = *App.seq;
    Undo.Edit("Edit order", cSongEdit(song).Orders(), [&] { storePattern(song.Orders[row], value); });
    ordgrid->UpdateRow(row);
}

void TOrderEditor::GotoPatternCmd() {
    if (OnGotoPattern) OnGotoPattern(CursorPattern());
}

void TOrderEditor::PlayStop() {
    if (!App.seq) return;
    // Only song playback counts: a looping pattern gives way to the song.
    if (App.seq->PlayMode.load() == PlaySongMode) {
        if (OnStop) OnStop();
    } else if (OnPlaySong) {
        OnPlaySong(CurrentRow());
    }
}

void TOrderEditor::DeleteEntry() { EditAtCursor("Delete order", &cSequencer::DeleteOrder); }

void TOrderEditor::InsertEntry() { EditAtCursor("Insert order", &cSequencer::InsertOrder); }

void TOrderEditor::EditAtCursor(const char* Text, void (cSequencer::*Change)(int Position)) {
    if (!App.seq) return;
    cSequencer& song = *App.seq;
    const int position = CurrentRow() + 1;
    Undo.Edit(Text, cSongEdit(song).Orders(), [&] { (song.*Change)(position); });
    Refresh();
}

void TOrderEditor::Clone() {
    if (!App.seq) return;
    cSequencer& song = *App.seq;
    const int row = CurrentRow();
    const int source = CursorPattern();
    if (!source) return;
    int target = 0;
    for (int p = 1; p <= PatternCount && !target; ++p)
        if (song.IsPatternEmpty(p)) target = p;
    if (!target) {
        if (ShowMessage) ShowMessage("Sorry, no empty pattern found.");
        return;
    }
    if (target != source) {
        const cPattern& from = song.PatternAt(source);
        cPattern& to = song.PatternAt(target);
        const int rows = std::clamp<int>(from.RowCount, 1, RowCapacity);
        const auto scope = cSongEdit(song).Cells(target, 0, ChannelCount - 1, 0, rows - 1).RowCount(target).Orders();
        Undo.Edit("Clone pattern", scope, [&] {
            // The target's tail beyond the copied rows stays as it was.
            for (int c = 0; c < ChannelCount; ++c)
                for (int r = 0; r < rows; ++r) to.SetCell(c, r, from.LoadCell(c, r));
            std::atomic_ref<std::int32_t>(to.RowCount).store(from.RowCount, std::memory_order_relaxed);
            storePattern(song.Orders[row], target);
        });
        ordgrid->UpdateRow(row);
    }
    GotoPatternCmd();
}

void TOrderEditor::Refresh() {
    if (App.seq) PaintedCurOrder = App.seq->CurOrder.load();
    ordgrid->viewport()->update();
}

void TOrderEditor::CurOrderChanged() {
    if (!App.seq) return;
    const int now = App.seq->CurOrder.load();
    if (now == PaintedCurOrder) return;
    ordgrid->UpdateRow(PaintedCurOrder - 1);
    ordgrid->UpdateRow(now - 1);
    PaintedCurOrder = now;
}

void TOrderEditor::FocusGrid() {
    if (!ordgrid->currentIndex().isValid()) SetCurrentRow(0);
    ordgrid->setFocus(Qt::OtherFocusReason);
}
