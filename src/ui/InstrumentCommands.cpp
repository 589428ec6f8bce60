#include "ui/InstrumentCommands.h"

#include "app/App.h"
#include "app/AudioSettings.h"
#include "base/RegString.h"
#include "song/Sequencer.h"
#include "ui/ExternalEditor.h"
#include "ui/document/SongDocument.h"
#include "ui/dialogs/InstrumentDialogs.h"
#include "ui/dialogs/SampleCutForm.h"
#include "ui/editors/InstrumentList.h"
#include "ui/editors/InstrumentPanel.h"
#include "ui/editors/PercussionMenu.h"
#include "ui/views/AudioView.h"
#include "ui/views/NortonPanel.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

namespace fs = std::filesystem;

namespace {
bool IsFile(const std::string& Path) {
    std::error_code ec;
    return !Path.empty() && fs::is_regular_file(Path, ec);
}
} // namespace

TInstrumentCommands::TInstrumentCommands(TSongDocument& Document, cApp& Selection, TViews Views)
    : Document(Document), Selection(Selection), Views(Views) {
    // The dialogs are made when first asked for: the window starts without them.
    AskInstrumentFile = [this] {
        const TRegString folder("InsOpenDir", "");
        const QString path =
            QFileDialog::getOpenFileName(this->Views.Window, "Open", QString::fromStdString(folder.Get()),
                                         "WAV, MP3, WMA, FLAC, OGG (*.wav *.mp3 *.wma *.flac *.ogg);;WAV "
                                         "(*.wav);;MP3 (*.mp3);;WMA (*.wma);;FLAC (*.flac);;OGG (*.ogg)");
        if (!path.isEmpty()) folder.Set(fs::path(path.toStdString()).parent_path().string());
        return path.toStdString();
    };
    AskHotKey = [this](QKeySequence& Key) {
        if (!KeyDialog) KeyDialog = new Tdialog_Key(this->Views.Window);
        if (KeyDialog->exec() != QDialog::Accepted || !Tdialog_Key::Acceptable(KeyDialog->Key()))
            return false;
        Key = KeyDialog->Key();
        return true;
    };
    AskFitRows = [this](double& Rows) {
        if (!RowsFitDialog) RowsFitDialog = new TRowsFitDialog(this->Views.Window);
        if (RowsFitDialog->exec() != QDialog::Accepted) return false;
        Rows = RowsFitDialog->RowCount();
        return true;
    };
}

void TInstrumentCommands::Connect() {
    TInstrumentList* grid = Views.List;
    TInstrumentPanel* panel = Views.Panel;
    QWidget* owner = Views.Window;
    grid->OnDropFiles = [this](TInstrumentList*, int Row, const std::vector<std::string>& Files) {
        AssignFiles(Row, Files);
    };
    grid->OnDropModule = [this](TInstrumentList*, const std::string& File) {
        if (OpenModuleRequested) OpenModuleRequested(File);
    };
    // The list shows the selected instrument's file in the browser, without a preview.
    grid->OnShowFile = [this](TInstrumentList*, const std::string& File) {
        if (IsFile(File)) Views.Browser->SetFileName(File);
    };
    QObject::connect(grid->AssignAction, &QAction::triggered, owner, [this] { AssignByDialog(); });
    QObject::connect(grid->PlayAction, &QAction::triggered, owner, [this] { Play(); });
    QObject::connect(grid->AssignKeyAction, &QAction::triggered, owner, [this] { AssignToKey(); });
    QObject::connect(grid->ClearAction, &QAction::triggered, owner, [this] { Clear(); });
    QObject::connect(panel->PlayBtn, &QPushButton::clicked, owner, [this] { Play(); });
    QObject::connect(panel->SetSampleBtn, &QPushButton::clicked, owner, [this] { AssignByDialog(); });
    QObject::connect(panel->BrowseBtn, &QPushButton::clicked, owner, [this] { AssignByDialog(); });
    QObject::connect(panel->CutSampleBtn, &QPushButton::clicked, owner, [this] { CutSample(); });
    QObject::connect(panel->EditBtn, &QPushButton::clicked, owner, [this] { EditExternally(); });
    Views.Browser->OnOpenFile = [this](TNortonPanel*, const std::string&) { AssignFromBrowser(); };
}

void TInstrumentCommands::CutSample(bool ClearResult) {
    TSampleCutForm* cut = Views.CutForm;
    const QRect frame = Views.Window->geometry();
    cut->resize(frame.width() - 10, cut->height());
    cut->move(frame.left() + 5, frame.top() + frame.height() / 2 - cut->height() / 2);
    if (ClearResult) cut->ResultPath.clear();
    if (cut->exec() != QDialog::Accepted || cut->ResultPath.empty()) return;
    const std::string path = cut->ResultPath;
    AssignFiles(Views.List->CursorRow(), {path});
    Views.Browser->SetFileName(path);
}

void TInstrumentCommands::AssignFromBrowser() {
    if (Ready && !Ready()) return;
    const std::string file = Views.Browser->GetFileName();
    if (IsFile(file)) AssignFiles(Views.List->CursorRow(), {file});
    Views.List->setFocus();
}

void TInstrumentCommands::CutBrowserSample() {
    const std::string file = Views.Browser->GetFileName();
    if (file.empty()) return;
    if (StopRequested) StopRequested();
    if (!Views.CutForm->OpenFile(file)) return;
    Views.CutForm->ResultPath = file;
    CutSample(false);
}

void TInstrumentCommands::ActInsChange() {
    const int active = Selection.GetActiveInstrument();
    if (Views.List->CursorRow() != active - 1) Views.List->SetCursorRow(active - 1, false);
    Views.Panel->ActInsChange();
    Views.List->Refresh();
}

void TInstrumentCommands::AssignByDialog() {
    const std::string path = AskInstrumentFile();
    if (path.empty()) return;
    AssignFiles(Views.List->CursorRow(), {path});
    // The browser goes along to the file's folder, the cursor on the file.
    Views.Browser->SetFileName(path);
}

void TInstrumentCommands::AssignFiles(int Row, const std::vector<std::string>& Files) {
    if (Document.AssignFiles(Row, Files) == 0) return;
    Views.List->SetCursorRow(Row, false);
    Selection.SetActiveInstrument(Row + 1);
    Views.List->setFocus();
}

void TInstrumentCommands::Play() {
    Document.Song().PreviewInstrument(Selection.GetActiveInstrument());
}

void TInstrumentCommands::Clear() {
    Document.ClearInstrument(Views.List->CursorRow() + 1);
}

void TInstrumentCommands::Next() {
    TInstrumentList* grid = Views.List;
    if (grid->CursorRow() >= InstrumentCount - 1) return;
    grid->SetCursorRow(grid->CursorRow() + 1, false);
    // One sound: the list's own preview is not added to the one Play starts.
    grid->SelectQuietly();
    Play();
}

void TInstrumentCommands::Prev() {
    TInstrumentList* grid = Views.List;
    if (grid->CursorRow() <= 0) return;
    grid->SetCursorRow(grid->CursorRow() - 1, false);
    grid->SelectQuietly();
    Play();
}

void TInstrumentCommands::AdjustLength() {
    double rows = 0;
    if (!AskFitRows(rows)) return;
    const double seconds = Views.Panel->InsView->LenSec();
    const int instrument = Selection.GetActiveInstrument();
    if (seconds <= 0) {
        Document.Report("Instrument - adjust length: instrument " + std::to_string(instrument) + " has no sound to fit");
        return;
    }
    const double rowSeconds = 0.25 * 60.0 / Document.Song().BPM.load();
    Document.SetInstrumentValue(instrument, TSongDocument::TInstrumentValue::Stretch,
                                float(seconds / (rows * rowSeconds)));
}

void TInstrumentCommands::AssignToKey() {
    QKeySequence key;
    if (AskHotKey(key)) Views.Percussion->Bind(key, Selection.GetActiveInstrument());
}

void TInstrumentCommands::EditExternally() {
    std::string error;
    if (!brindle::ui::StartExternalEditor(cAudioSettings::Read().ExternEdit,
                                          Views.Panel->InsFileName->text().toStdString(), error))
        Document.Report("EDIT: " + error);
}
