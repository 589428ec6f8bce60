#include "ui/InstrumentCommands.h"

#include "app/App.h"
#include "app/AudioSettings.h"
#include "base/RegString.h"
#include "song/Sequencer.h"
#include "ui/ExternalEditor.h"
#include "ui/MainForm.h"
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

TInstrumentCommands::TInstrumentCommands(TMainForm& Form) : Form(Form) {
    RowsFitDialog = new TRowsFitDialog(&Form);
    KeyDialog = new Tdialog_Key(&Form);
    AskInstrumentFile = [this] {
        const TRegString folder("InsOpenDir", "");
        const QString path =
            QFileDialog::getOpenFileName(&this->Form, "Open", QString::fromStdString(folder.Get()),
                                         "WAV, MP3, WMA, FLAC, OGG (*.wav *.mp3 *.wma *.flac *.ogg);;WAV "
                                         "(*.wav);;MP3 (*.mp3);;WMA (*.wma);;FLAC (*.flac);;OGG (*.ogg)");
        if (!path.isEmpty()) folder.Set(fs::path(path.toStdString()).parent_path().string());
        return path.toStdString();
    };
    AskHotKey = [this](QKeySequence& Key) {
        if (KeyDialog->exec() != QDialog::Accepted || !Tdialog_Key::Acceptable(KeyDialog->Key()))
            return false;
        Key = KeyDialog->Key();
        return true;
    };
    AskFitRows = [this](double& Rows) {
        if (RowsFitDialog->exec() != QDialog::Accepted) return false;
        Rows = RowsFitDialog->RowCount();
        return true;
    };
}

void TInstrumentCommands::Connect() {
    TInstrumentList* grid = Form.InsGrid;
    TInstrumentPanel* panel = Form.InstrumentPanel;
    grid->OnDropFiles = [this](TInstrumentList*, int Row, const std::vector<std::string>& Files) {
        AssignFiles(Row, Files);
    };
    grid->OnDropModule = [this](TInstrumentList*, const std::string& File) { Form.OpenFile(File); };
    // The list shows the selected instrument's file in the browser, without a preview.
    grid->OnShowFile = [this](TInstrumentList*, const std::string& File) {
        if (IsFile(File)) Form.InsPick->SetFileName(File);
    };
    QObject::connect(grid->AssignAction, &QAction::triggered, &Form, [this] { AssignByDialog(); });
    QObject::connect(grid->PlayAction, &QAction::triggered, &Form, [this] { Play(); });
    QObject::connect(grid->AssignKeyAction, &QAction::triggered, &Form, [this] { AssignToKey(); });
    QObject::connect(grid->ClearAction, &QAction::triggered, &Form, [this] { Clear(); });
    QObject::connect(panel->PlayBtn, &QPushButton::clicked, &Form, [this] { Play(); });
    QObject::connect(panel->SetSampleBtn, &QPushButton::clicked, &Form, [this] { AssignByDialog(); });
    QObject::connect(panel->BrowseBtn, &QPushButton::clicked, &Form, [this] { AssignByDialog(); });
    QObject::connect(panel->CutSampleBtn, &QPushButton::clicked, &Form, [this] { CutSample(); });
    QObject::connect(panel->EditBtn, &QPushButton::clicked, &Form, [this] { EditExternally(); });
    Form.InsPick->OnOpenFile = [this](TNortonPanel*, const std::string&) { AssignFromBrowser(); };
}

void TInstrumentCommands::CutSample(bool ClearResult) {
    TSampleCutForm* cut = Form.SampleCutForm;
    const QRect frame = Form.geometry();
    cut->resize(frame.width() - 10, cut->height());
    cut->move(frame.left() + 5, frame.top() + frame.height() / 2 - cut->height() / 2);
    if (ClearResult) cut->ResultPath.clear();
    if (cut->exec() != QDialog::Accepted || cut->ResultPath.empty()) return;
    const std::string path = cut->ResultPath;
    AssignFiles(Form.InsGrid->CursorRow(), {path});
    Form.InsPick->SetFileName(path);
}

void TInstrumentCommands::AssignFromBrowser() {
    if (!Form.IsActivated()) return;
    const std::string file = Form.InsPick->GetFileName();
    if (IsFile(file)) AssignFiles(Form.InsGrid->CursorRow(), {file});
    Form.InsGrid->setFocus();
}

void TInstrumentCommands::CutBrowserSample() {
    const std::string file = Form.InsPick->GetFileName();
    if (file.empty()) return;
    Form.Stop();
    if (!Form.SampleCutForm->OpenFile(file)) return;
    Form.SampleCutForm->ResultPath = file;
    CutSample(false);
}

void TInstrumentCommands::ActInsChange() {
    const int active = Form.App().GetActiveInstrument();
    if (Form.InsGrid->CursorRow() != active - 1) Form.InsGrid->SetCursorRow(active - 1, false);
    Form.InstrumentPanel->ActInsChange();
    Form.InsGrid->Refresh();
}

void TInstrumentCommands::AssignByDialog() {
    const std::string path = AskInstrumentFile();
    if (path.empty()) return;
    AssignFiles(Form.InsGrid->CursorRow(), {path});
    // The browser goes along to the file's folder, the cursor on the file.
    Form.InsPick->SetFileName(path);
}

void TInstrumentCommands::AssignFiles(int Row, const std::vector<std::string>& Files) {
    int slot = Row;
    for (const auto& file : Files) {
        if (slot >= InstrumentCount) {
            Form.Log("No instrument slot left for " + fs::path(file).filename().string());
            continue;
        }
        Form.Song().SetInstrumentFile(slot + 1, file);
        ++slot;
    }
    if (slot == Row) return;
    Form.App().SetModified(true);
    Form.ReportLoadProblems();
    Form.InsGrid->SetCursorRow(Row, false);
    Form.App().SetActiveInstrument(Row + 1);
    Form.InsGrid->setFocus();
}

void TInstrumentCommands::Play() {
    Form.Song().PreviewInstrument(Form.App().GetActiveInstrument());
}

void TInstrumentCommands::Clear() {
    const int instrument = Form.InsGrid->CursorRow() + 1;
    cInstrument& ins = Form.Song().InstrumentAt(instrument);
    ins.Name.clear();
    Form.Song().SetInstrumentFile(instrument, "");
    ins.StoreVolume(1.0f);
    ins.StoreStretch(1.0f);
    ins.StorePitch(0.0f);
    ins.StoreStopPrev(false);
    Form.App().SetModified(true);
    Form.InsGrid->Refresh();
    try {
        Form.InstrumentPanel->InsView->SetFileName("");
    } catch (const std::exception& e) {
        Form.Log(e.what());
    }
}

void TInstrumentCommands::Next() {
    TInstrumentList* grid = Form.InsGrid;
    if (grid->CursorRow() >= InstrumentCount - 1) return;
    grid->SetCursorRow(grid->CursorRow() + 1, false);
    // One sound: the list's own preview is not added to the one Play starts.
    grid->SelectQuietly();
    Play();
}

void TInstrumentCommands::Prev() {
    TInstrumentList* grid = Form.InsGrid;
    if (grid->CursorRow() <= 0) return;
    grid->SetCursorRow(grid->CursorRow() - 1, false);
    grid->SelectQuietly();
    Play();
}

void TInstrumentCommands::AdjustLength() {
    double rows = 0;
    if (!AskFitRows(rows)) return;
    const double seconds = Form.InstrumentPanel->InsView->LenSec();
    const int instrument = Form.App().GetActiveInstrument();
    if (seconds <= 0) {
        Form.Log("Instrument - adjust length: instrument " + std::to_string(instrument) +
                 " has no sound to fit");
        return;
    }
    const double rowSeconds = 0.25 * 60.0 / Form.Song().BPM.load();
    Form.Song().InstrumentAt(instrument).StoreStretch(float(seconds / (rows * rowSeconds)));
    Form.App().SetModified(true);
    Form.NotesChanged();
    ActInsChange();
}

void TInstrumentCommands::AssignToKey() {
    QKeySequence key;
    if (AskHotKey(key)) Form.Percussion->Bind(key, Form.App().GetActiveInstrument());
}

void TInstrumentCommands::EditExternally() {
    std::string error;
    if (!brindle::ui::StartExternalEditor(cAudioSettings::Read().ExternEdit,
                                          Form.InstrumentPanel->InsFileName->text().toStdString(), error))
        Form.Log("EDIT: " + error);
}
