#include "ui/editors/PatternEditor.h"

#include "app/App.h"
#include "base/Switches.h"
#include "song/Sequencer.h"
#include "ui/editors/PatternGrid.h"
#include "ui/editors/PatternModel.h"
#include "ui/editors/SongUndo.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

#include "ui/views/NumberField.h"
#include <QVBoxLayout>

TPatternEditor::TPatternEditor(cApp& App, TSongUndo& Undo, QWidget* Parent)
    : QWidget(Parent), App(App), Undo(Undo) {
    setObjectName("pagPat");
    PatNumSpin = new TNumberField("#");
    PatNumSpin->setObjectName("PatNumSpin");
    PatNumSpin->setRange(1, PatternCount);
    PatNumSpin->setValue(1);
    RowNumSpin = new TNumberField("Len");
    RowNumSpin->setObjectName("RowNumSpin");
    RowNumSpin->setRange(1, MaxRowCount);
    // A length takes effect when typed to the end (Enter or leaving the field), not per digit.
    RowNumSpin->setKeyboardTracking(false);
    RecordBtn = new QPushButton("( ) RECORD");
    RecordBtn->setObjectName("RecordBtn");
    RecordBtn->setCheckable(true);
    RecordBtn->setFocusPolicy(Qt::NoFocus);
    // Recording must be unmistakable: the pressed button turns red.
    RecordBtn->setStyleSheet("QPushButton:checked { background-color: #d01818; color: white; font-weight: bold; }");

    auto* strip = new QHBoxLayout;
    strip->addWidget(new QLabel("#"));
    strip->addWidget(PatNumSpin);
    strip->addWidget(new QLabel("Len:"));
    strip->addWidget(RowNumSpin);
    strip->addWidget(RecordBtn);
    strip->addStretch(1);

    Model = new TPatternModel(App, this);
    PatGrid = new TPatternGrid(*Model);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(strip);
    layout->addWidget(PatGrid, 1);
    BuildActions();

    connect(PatNumSpin, &QSpinBox::valueChanged, this, [this](int Value) { this->App.SetActivePattern(Value); });
    connect(RowNumSpin, &QSpinBox::valueChanged, this, &TPatternEditor::SetLength);
    connect(RecordBtn, &QPushButton::clicked, this, [this] {
        if (OnRecord) OnRecord(this);
    });
    PatGrid->OnGridClick = [this](TPatternGrid*) { GridClick(); };
    PatGrid->OnToggleMute = [this](TPatternGrid*, int Channel) {
        Change("Mute channel", cSongEdit(*this->App.seq).Channels(), [&] { this->App.ToggleMute(Channel); });
    };
    PatGrid->OnStopMarker = [this](TPatternGrid*) { StopMarker(); };
    PatGrid->OnClearCell = [this](TPatternGrid*) { ClearCell(); };
    PatGrid->OnInsertCell = [this](TPatternGrid*) { InsertCell(); };
    PatGrid->OnDeleteCell = [this](TPatternGrid*) { DeleteCell(); };
    if (brindle::SwitchPresent("showkey"))
        PatGrid->OnKey = [this](TPatternGrid*, int Key) { window()->setWindowTitle(QString::number(Key)); };
    ActPatNumChange();
}

void TPatternEditor::BuildActions() {
    auto add = [this](const char* Caption, const char* Keys, void (TPatternEditor::*Command)()) {
        auto* action = PatGrid->PatPopup->addAction(Caption, this, Command);
        action->setShortcut(QKeySequence(Keys));
        // Dispatched by the grid's key handling, so only while the grid has the focus.
        action->setShortcutContext(Qt::WidgetShortcut);
        return action;
    };
    SoloAction = add("Solo channel", "Ctrl+S", &TPatternEditor::Solo);
    MuteAction = add("Mute channel", "Ctrl+M", &TPatternEditor::Mute);
    PlayAllAction = add("Play all", "Ctrl+A", &TPatternEditor::PlayAll);
    PatGrid->PatPopup->addSeparator();
    CopyAction = add("Copy", "Ctrl+C", &TPatternEditor::Copy);
    CutAction = add("Cut", "Ctrl+X", &TPatternEditor::Cut);
    PasteAction = add("Paste", "Ctrl+V", &TPatternEditor::Paste);
}

// ---- pattern, length, cursor ----

void TPatternEditor::ActPatNumChange() {
    if (!App.seq) return;
    Model->Reshape();
    const QSignalBlocker rows(RowNumSpin);
    RowNumSpin->setValue(App.ActivePatternData().RowCount);
    // The field names the pattern shown, also after New or a load made pattern 1 active.
    const QSignalBlocker number(PatNumSpin);
    PatNumSpin->setValue(App.GetActivePattern());
    PatGrid->Refresh();
}

void TPatternEditor::SetLength(int Rows) {
    const int pattern = App.GetActivePattern();
    cSongEdit scope(*App.seq);
    scope.RowCount(pattern);
    Change("Pattern length", scope, [&] {
        std::atomic_ref<std::int32_t>(App.ActivePatternData().RowCount).store(Rows, std::memory_order_relaxed);
    });
    App.SetActivePattern(pattern);
}

void TPatternEditor::PlayRowChanged(int CurRow) { PatGrid->PlayRowChanged(CurRow); }

void TPatternEditor::FocusGrid() {
    PatGrid->setFocus();
    if (PatGrid->currentIndex().isValid()) return;
    // First show: the first cell, quietly (nothing to follow yet).
    Quiet = true;
    PatGrid->SetCursor(0, 0);
    Quiet = false;
}

int TPatternEditor::GridRow() const { return PatGrid->CursorRow() + 1; }

void TPatternEditor::SetGridRow(int Row) { PatGrid->SetCursor(Row - 1, PatGrid->CursorChannel()); }

void TPatternEditor::Refresh() {
    Model->Reshape();
    PatGrid->Refresh();
}

void TPatternEditor::GridClick() {
    if (Quiet || !App.seq) return;
    const int ins = Model->FirstInstrumentOfChannel(PatGrid->CursorChannel());
    if (ins > 0 && OnFollowInstrument) OnFollowInstrument(this, ins);
}

// ---- commands ----

bool TPatternEditor::Change(const char* Text, const cSongEdit& Scope, const std::function<void()>& Body) {
    const bool changed = Undo.Edit(Text, Scope, Body);
    PatGrid->Refresh();
    return changed;
}

// Mutes are stored in the song, so they are steps of the history like any other edit.
void TPatternEditor::Solo() {
    const int channel = PatGrid->CursorChannel();
    Change("Solo channel", cSongEdit(*App.seq).Channels(), [&] { App.Solo(channel); });
}

void TPatternEditor::Mute() {
    const int channel = PatGrid->CursorChannel();
    Change("Mute channel", cSongEdit(*App.seq).Channels(), [&] { App.ToggleMute(channel); });
}

void TPatternEditor::PlayAll() {
    Change("Unmute all channels", cSongEdit(*App.seq).Channels(), [&] { App.UnmuteAll(); });
}

void TPatternEditor::Copy() {
    const QRect sel = PatGrid->SelectionRect();
    const cPattern& pattern = App.ActivePatternData();
    App.ClipWidth = sel.width();
    App.ClipHeight = sel.height();
    for (int i = 0; i < sel.width(); ++i)
        for (int j = 0; j < sel.height(); ++j) App.Clip->SetCell(i, j, pattern.Cell(sel.left() + i, sel.top() + j));
    App.ClipFull = true;
}

void TPatternEditor::Cut() {
    Copy();
    const QRect sel = PatGrid->SelectionRect();
    cSongEdit scope(*App.seq);
    scope.Cells(App.GetActivePattern(), sel.left(), sel.right(), sel.top(), sel.bottom());
    Change("Cut", scope, [&] {
        cPattern& pattern = App.ActivePatternData();
        for (int c = sel.left(); c <= sel.right(); ++c)
            for (int r = sel.top(); r <= sel.bottom(); ++r) pattern.SetCell(c, r, cStep{});
    });
}

void TPatternEditor::Paste() {
    if (!App.ClipFull) return;
    const QRect sel = PatGrid->SelectionRect();
    const int left = sel.left(), top = sel.top();
    cSongEdit scope(*App.seq);
    scope.Cells(App.GetActivePattern(), left, left + App.ClipWidth - 1, top, top + App.ClipHeight - 1);
    Change("Paste", scope, [&] {
        // The hidden hundredth channel and the hidden tail rows are written; beyond the storage, nothing.
        cPattern& pattern = App.ActivePatternData();
        for (int i = 0; i < App.ClipWidth && left + i < ChannelCount; ++i)
            for (int j = 0; j < App.ClipHeight && top + j < RowCapacity; ++j)
                pattern.SetCell(left + i, top + j, App.Clip->Cell(i, j));
    });
}

void TPatternEditor::WriteCursorCell(const char* Text, const std::function<void(cStep&)>& Change) {
    const int row = PatGrid->CursorRow(), channel = PatGrid->CursorChannel();
    cSongEdit scope(*App.seq);
    scope.Cells(App.GetActivePattern(), channel, channel, row, row);
    this->Change(Text, scope, [&] {
        cPattern& pattern = App.ActivePatternData();
        cStep value = pattern.Cell(channel, row);
        Change(value);
        pattern.SetCell(channel, row, value);
    });
    PatGrid->SetCursor(row + 1, channel);
}

void TPatternEditor::ClearCell() {
    WriteCursorCell("Clear", [](cStep& Cell) { Cell.ins = 0; });
}

void TPatternEditor::StopMarker() {
    WriteCursorCell("Stop marker", [](cStep& Cell) { Cell.ins = -1; });
}

void TPatternEditor::EnterNote(float Pitch) {
    const int ins = App.GetActiveInstrument();
    WriteCursorCell("Note", [&](cStep& Cell) { Cell = {ins, Pitch}; });
}

void TPatternEditor::InsertCell() {
    const int pattern = App.GetActivePattern(), row = PatGrid->CursorRow(), channel = PatGrid->CursorChannel();
    cSongEdit scope(*App.seq);
    scope.Cells(pattern, channel, channel, row, RowCapacity - 1);
    Change("Insert cell", scope, [&] { App.seq->InsertRow(pattern, channel, row); });
}

void TPatternEditor::DeleteCell() {
    int row = PatGrid->CursorRow();
    const int channel = PatGrid->CursorChannel();
    if (row > 0) PatGrid->SetCursor(--row, channel);
    const int pattern = App.GetActivePattern();
    cSongEdit scope(*App.seq);
    scope.Cells(pattern, channel, channel, row, RowCapacity - 1);
    Change("Delete cell", scope, [&] { App.seq->DeleteRow(pattern, channel, row); });
}
