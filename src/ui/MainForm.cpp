#include "ui/MainForm.h"

#include "app/App.h"
#include "app/AudioSettings.h"
#include "app/MasterEffects.h"
#include "app/ProjectFiles.h"
#include "app/SongEngine.h"
#include "audio/mixer/LiveMixer.h"
#include "base/AppInfo.h"
#include "base/Error.h"
#include "base/RegString.h"
#include "base/Switches.h"
#include "song/Sequencer.h"
#include "ui/Application.h"
#include "ui/InstrumentCommands.h"
#include "ui/dialogs/AboutBox.h"
#include "ui/dialogs/ExportForm.h"
#include "ui/dialogs/FormTrace.h"
#include "ui/dialogs/SampleCutForm.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/editors/EffectsPanel.h"
#include "ui/editors/InstrumentList.h"
#include "ui/editors/InstrumentPanel.h"
#include "ui/editors/OrderEditor.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternGrid.h"
#include "ui/editors/PercussionMenu.h"
#include "ui/editors/SongUndo.h"
#include "ui/input/LiveNotes.h"
#include "ui/input/MidiInput.h"
#include "ui/views/AudioView.h"
#include "ui/views/Log.h"
#include "ui/views/NortonPanel.h"
#include "ui/views/PianoKeys.h"
#include "ui/views/RecentFiles.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

const char* const ModuleFilter = "HYM - Halyard Module (*.hym);;Any file (*)";

// The settings the main window owns.
TRegString SongFolderSetting() {
    return TRegString("SongFolder", "");
}
constexpr const char* InsFolderKey = "Halyard\\InsFolder";
constexpr const char* OldInsFolderKey = "Brindle\\InsFolder";

std::string fileNamePart(const std::string& Path) {
    return fs::path(Path).filename().string();
}

std::string exeFolder() {
    return fs::path(brindle::CommandLine().empty() ? "" : brindle::CommandLine()[0]).parent_path().string();
}

} // namespace

TMainForm::TMainForm(cApp& App, QWidget* Parent) : QMainWindow(Parent), Tolm(App) {
    setObjectName("MainForm");
    resize(1000, 640);
    Undo = new TSongUndo(this);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(BuildHeader());
    Splitter = new QSplitter(Qt::Horizontal);
    Splitter->addWidget(BuildPages());
    // The instrument list sits at the right edge, beside every page.
    InsGrid = new TInstrumentList(Tolm);
    Splitter->addWidget(InsGrid);
    Splitter->setStretchFactor(0, 1);
    Splitter->setSizes({800, 200});
    pag->setFocus();
    layout->addWidget(Splitter, 1);
    setCentralWidget(central);
    BuildMenu();

    // The window's dialogs, in the order the program creates them.
    ExportForm = new TExportForm(this);
    FormTrace = new TFormTrace(this);
    SettingsForm = new TSettingsForm(this);
    SampleCutForm = new TSampleCutForm(this);
    AboutBox = new TAboutBox(this);
    RecentFilesMan = new TRecentFiles(this);
    RecentFilesMan->SetMenuItem(RecentFilesMenu);
    RecentFilesMan->OnOpenFile = [this](TRecentFiles*, const std::string& Path) { OpenFile(Path); };
    connect(this, &TMainForm::FileOpened, this,
            [this](const QString& Path) { RecentFilesMan->NotifyOpen(Path.toStdString()); });

    // The song, its live engine, and the hooks between them and the window.
    Seq = std::make_unique<cSequencer>();
    Seq->Init();
    SongEngine = std::make_unique<brindle::SongEngine>(*Seq, true);
    Tolm.seq = Seq.get();
    Tolm.Engine = SongEngine.get();
    Tolm.Mixer = &SongEngine->Mixer();
    Seq->OnBPMChange = [this](cSequencer* Sender) {
        const QSignalBlocker block(BPMSpin);
        BPMSpin->setValue(int(Sender->BPM.load()));
    };
    Seq->OnLoad = [this](cSequencer*) { AfterLoad(); };
    Tolm.OnModifiedChange = [this](cApp*) {
        // A change made outside the undo history cannot be undone: the saved state is out of reach.
        if (Tolm.GetModified() && Undo->Stack()->isClean()) Undo->ForgetSaved();
        setWindowModified(Tolm.GetModified());
    };
    Tolm.OnPatternChange = [this](cApp*) { PatternEditor->ActPatNumChange(); };
    Tolm.OnInstrumentChange = [this](cApp*) { Instruments->ActInsChange(); };
    BuildUndo();
    Instruments = std::make_unique<TInstrumentCommands>(*this);
    InstrumentPanel->OnChange = [this](TInstrumentPanel*) {
        Tolm.SetModified(true);
        NotesChanged();
    };
    InstrumentPanel->OnLog = [this](TInstrumentPanel*, const std::string& Text) { Log(Text); };
    setAcceptDrops(true);
    BuildBrowser();
    BuildLiveNotes();
    Instruments->Connect();
    // Notes written and instruments changed are prepared once the edits pause, so they start on
    // their rows (also while the song plays) instead of waiting for a stream.
    NotesTimer = new QTimer(this);
    NotesTimer->setSingleShot(true);
    NotesTimer->setInterval(150);
    connect(NotesTimer, &QTimer::timeout, this, [this] {
        if (!(ExportForm && ExportForm->GetExporting())) SongEngine->PrepareNewNotes();
    });
    // The timer is the connection's receiver: the stack also signals while the window is torn down.
    connect(Undo->Stack(), &QUndoStack::indexChanged, NotesTimer, qOverload<>(&QTimer::start));
    Live.OnLog = [this](TLiveOutput*, const std::string& Text) { Log(Text); };
    if (auto* app = TApplication::Instance())
        app->OnException = [this](const std::string& Text) { Log(Text); };

    AskOpenFileName = [this] {
        std::string folder = exeFolder();
        if (fs::is_directory(fs::path(folder) / "Songs")) folder = (fs::path(folder) / "Songs").string();
        return QFileDialog::getOpenFileName(this, "Open", QString::fromStdString(folder), ModuleFilter)
            .toStdString();
    };
    AskSaveFileName = [this] {
        QFileDialog dialog(this, "Save as", QString(), "HYM (Halyard Module) (*.hym)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("hym");
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0).toStdString()
                                                  : std::string();
    };
    AskSaveChanges = [this](const std::string& Name) {
        const auto answer = QMessageBox::question(
            this, windowTitle(), QString::fromStdString("Save changes to " + Name + "?"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        return answer == QMessageBox::Save      ? TSaveAnswer::Save
               : answer == QMessageBox::Discard ? TSaveAnswer::Discard
                                                : TSaveAnswer::Cancel;
    };
    AskOpenRecovery = [this](const std::string& Info) {
        return QMessageBox::question(this, windowTitle(), QString::fromStdString(Info)) == QMessageBox::Yes;
    };
    ShowMessage = [this](const std::string& Text) {
        QMessageBox::information(this, windowTitle(), QString::fromStdString(Text));
    };

    PositionUpdateTimer = new QTimer(this);
    PositionUpdateTimer->setInterval(10);
    connect(PositionUpdateTimer, &QTimer::timeout, this, &TMainForm::PositionUpdate);
    PositionUpdateTimer->start();
    ASTmr = new QTimer(this);
    ASTmr->setInterval(60000);
    connect(ASTmr, &QTimer::timeout, this, &TMainForm::Autosave);
    RecoveryTmr = new QTimer(this);
    RecoveryTmr->setInterval(60000);
    connect(RecoveryTmr, &QTimer::timeout, this, &TMainForm::WriteRecovery);
    RecoveryTmr->start();

    // A new window holds a new song: nothing of it is unsaved yet.
    Tolm.SetModified(false);
    New();
    InsFolder = brindle::ReadRegString(InsFolderKey, brindle::ReadRegString(OldInsFolderKey, ""));
    if (cAudioSettings::Read().Autosave) ASTmr->start();
    ExportForm->SetSong(Seq.get());
    ExportForm->SetSampleCache(SongEngine->Mixer().GetSampleCache());
    ExportForm->BeforeExport = [this](TExportForm*) {
        Stop();
        // The export renders the song as the panel sets its effects.
        Seq->Effects = PanelEffects;
    };
    ExportForm->OnLog = [this](TExportForm*, const std::string& Text) { Log(Text); };
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    Shutdown();
    brindle::WriteRegString(InsFolderKey, InsFolder);
    if (auto* app = TApplication::Instance()) app->OnException = nullptr;
    // The engine goes before the song it plays.
    Tolm.Engine = nullptr;
    Tolm.Mixer = nullptr;
    Tolm.seq = nullptr;
    SongEngine.reset();
    Seq.reset();
}

QWidget* TMainForm::BuildHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel("Quillon Brindle");
    QFont font = title->font();
    font.setPointSize(font.pointSize() + 6);
    font.setBold(true);
    title->setFont(font);
    row->addWidget(title);
    PlayButton = new QPushButton("|>  Play");
    PlayButton->setObjectName("PlayButton");
    StopButton = new QPushButton("[  ]  Stop");
    StopButton->setObjectName("StopButton");
    // Space toggles play window-wide; the buttons must not eat it.
    PlayButton->setFocusPolicy(Qt::NoFocus);
    StopButton->setFocusPolicy(Qt::NoFocus);
    connect(PlayButton, &QPushButton::clicked, this, &TMainForm::Play);
    connect(StopButton, &QPushButton::clicked, this, &TMainForm::Stop);
    row->addWidget(PlayButton);
    row->addWidget(StopButton);
    row->addWidget(new QLabel("BPM:"));
    BPMSpin = new QSpinBox;
    BPMSpin->setObjectName("BPMSpin");
    BPMSpin->setRange(1, 500);
    BPMSpin->setValue(120);
    // A tempo takes effect when typed to the end, not at every digit.
    BPMSpin->setKeyboardTracking(false);
    connect(BPMSpin, &QSpinBox::valueChanged, this, &TMainForm::SetBPMFromSpin);
    row->addWidget(BPMSpin);
    ApLog = new TLog;
    ApLog->setObjectName("ApLog");
    ApLog->setMaximumHeight(64);
    row->addWidget(ApLog, 1);
    return header;
}

QWidget* TMainForm::BuildPages() {
    pag = new QTabWidget;
    pag->setObjectName("pag");
    OrderEditor = new TOrderEditor(Tolm, *Undo);
    OrderEditor->setObjectName("ordpag");
    OrderEditor->OnShowPattern = [this](int Pattern) { PatternEditor->PatNumSpin->setValue(Pattern); };
    OrderEditor->OnGotoPattern = [this](int Pattern) {
        PatternEditor->PatNumSpin->setValue(Pattern);
        ShowPage(PatternPage);
    };
    OrderEditor->OnPlaySong = [this](int Row) {
        if (Recording) Record(); // the song takes over from the recording loop
        Tolm.PlaySongFromOrderRow(Row);
    };
    OrderEditor->OnStop = [this] { Stop(); };
    OrderEditor->ShowMessage = [this](const std::string& Text) { ShowMessage(Text); };
    pag->addTab(OrderEditor, "Order");

    PatternEditor = new TPatternEditor(Tolm, *Undo);
    RecordBtn = PatternEditor->RecordBtn;
    PatternEditor->OnRecord = [this](TPatternEditor*) {
        // The button only reflects the mode; Record decides.
        RecordBtn->setChecked(Recording);
        Record();
    };
    PatternEditor->OnFollowInstrument = [this](TPatternEditor*, int Instrument) {
        FollowInstrument(Instrument);
    };
    pag->addTab(PatternEditor, "Pattern");

    InstrumentPanel = new TInstrumentPanel(Tolm);
    pag->addTab(InstrumentPanel, "Instrument");

    auto* mixPag = new QWidget;
    mixPag->setObjectName("MixPag");
    auto* mixLayout = new QVBoxLayout(mixPag);
    EffectsPanel = new TEffectsPanel;
    EffectsPanel->setObjectName("EffectsPanel");
    EffectsPanel->OnChange = [this](TEffectsPanel*, const TEffectSettings& Value, bool EnabledChanged) {
        // Heard from the next block on; a check box rebuilds the chain while the song plays on.
        Undo->EffectsChanged(PanelEffects, Value);
        PanelEffects = Value;
        if (EnabledChanged)
            ApplyPanelEffects();
        else
            SongEngine->Effects().Apply(PanelEffects);
    };
    mixLayout->addWidget(EffectsPanel);
    MusicEventsMemo = new QPlainTextEdit;
    MusicEventsMemo->setObjectName("MusicEventsMemo");
    MusicEventsMemo->setReadOnly(true);
    mixLayout->addWidget(MusicEventsMemo, 1);
    AudioStats = new QLabel;
    AudioStats->setObjectName("AudioStats");
    mixLayout->addWidget(AudioStats);
    pag->addTab(mixPag, "Output");
    connect(pag, &QTabWidget::currentChanged, this, &TMainForm::PageShown);
    return pag;
}

void TMainForm::BuildMenu() {
    auto* project = menuBar()->addMenu("&Project");
    project->addAction("New Project", this, [this] { New(); });
    project->addAction("Open...", QKeySequence::Open, this, [this] { Open(); });
    RecentFilesMenu = project->addMenu("Recent Files");
    RecentFilesMenu->setObjectName("RecentFilesMenu");
    auto* save = project->addAction("Save", this, [this] { Save(); });
    save->setShortcut(QKeySequence("Ctrl+S"));
    save->setObjectName("SaveAction");
    project->addAction("Save as...", this, [this] { SaveAs(); });
    project->addAction("Save with Instruments", this, [this] { SaveWithInstruments(); });
    project->addSeparator();
    project->addAction("Export to WAV/MP3...", this, [this] { ExportSong(); });
    project->addAction("Audio Settings...", this, [this] { AudioSettings(); });
    project->addSeparator();
    project->addAction("Exit", this, [this] { close(); });

    auto* edit = menuBar()->addMenu("&Edit");
    UndoAction = edit->addAction("Undo", this, [this] { Undo->Undo(); });
    UndoAction->setObjectName("UndoAction");
    UndoAction->setShortcuts(QKeySequence::Undo);
    RedoAction = edit->addAction("Redo", this, [this] { Undo->Redo(); });
    RedoAction->setObjectName("RedoAction");
    // Ctrl+Y and Ctrl+Shift+Z on every platform, besides the platform's own.
    auto redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const char* key : {"Ctrl+Y", "Ctrl+Shift+Z"})
        if (!redoKeys.contains(QKeySequence(key))) redoKeys.append(QKeySequence(key));
    RedoAction->setShortcuts(redoKeys);

    auto* view = menuBar()->addMenu("&View");
    view->addAction("Order", QKeySequence(Qt::Key_F2), this, [this] { ShowPage(OrderPage); });
    view->addAction("Pattern", QKeySequence(Qt::Key_F3), this, [this] { ShowPage(PatternPage); });
    view->addAction("Instrument", QKeySequence(Qt::Key_F4), this, [this] { ShowPage(InstrumentPage); });
    view->addAction("Mixer", QKeySequence(Qt::Key_F5), this, [this] { ShowPage(OutputPage); });

    auto* tools = menuBar()->addMenu("T&ools");
    MidiMenu = tools->addMenu("MIDI Inputs");
    connect(MidiMenu, &QMenu::aboutToShow, this, [this] { FillMidiMenu(); });
    tools->addAction("Instrument - adjust length", this, [this] { Instruments->AdjustLength(); });
    tools->addAction("Cut Sample...", this, [this] { Instruments->CutSample(); });
    Percussion = std::make_unique<TPercussionMenu>(
        *menuBar(), [this](int Instrument) { Seq->PreviewInstrument(Instrument); });
    Drums = Percussion->Drums;
    auto* next = new QAction("Next Ins", this);
    next->setShortcut(QKeySequence("Ctrl+Down"));
    connect(next, &QAction::triggered, this, [this] { Instruments->Next(); });
    addAction(next);
    auto* prev = new QAction("Prev Ins", this);
    prev->setShortcut(QKeySequence("Ctrl+Up"));
    connect(prev, &QAction::triggered, this, [this] { Instruments->Prev(); });
    addAction(prev);

    auto* transport = menuBar()->addMenu("&Transport");
    auto* toggle = transport->addAction("Toggle play", this, [this] { TogglePlay(); });
    toggle->setShortcut(QKeySequence(Qt::Key_Space));
    toggle->setShortcutContext(Qt::WindowShortcut);
    toggle->setObjectName("TogglePlayAction");
    auto* record = transport->addAction("Record", QKeySequence("Ctrl+R"), this, [this] {
        ShowPage(PatternPage);
        Record();
    });
    record->setObjectName("RecordAction");

    TestsMenu = menuBar()->addMenu("Tests");
    TestsMenu->menuAction()->setVisible(false);
    auto* testsToggle = new QAction("Toggle", this);
    testsToggle->setShortcut(QKeySequence("Ctrl+Alt+X"));
    connect(testsToggle, &QAction::triggered, this,
            [this] { TestsMenu->menuAction()->setVisible(!TestsMenu->menuAction()->isVisible()); });
    addAction(testsToggle); // works while the menu is hidden
    TestsMenu->addAction(testsToggle);
    auto* insControls =
        TestsMenu->addAction("InstrumentControls", this, [this] { ShowPage(InstrumentPage); });
    insControls->setShortcut(QKeySequence("Ctrl+Alt+I"));
    addAction(insControls);
    auto* fileOpen = TestsMenu->addAction("File Open", this, [this] { RunTestsFileOpen(); });
    fileOpen->setShortcut(QKeySequence("Ctrl+Alt+O"));
    addAction(fileOpen);

    auto* help = menuBar()->addMenu("&Help");
    help->addAction("Home Page", this, [] { TAboutBox::OpenHomePage(); });
    help->addAction("About", this, [this] { AboutBox->exec(); });
}

void TMainForm::NotesChanged() {
    if (NotesTimer) NotesTimer->start();
}

void TMainForm::BuildUndo() {
    auto* stack = Undo->Stack();
    UndoAction->setEnabled(false);
    RedoAction->setEnabled(false);
    connect(stack, &QUndoStack::canUndoChanged, UndoAction, &QAction::setEnabled);
    connect(stack, &QUndoStack::canRedoChanged, RedoAction, &QAction::setEnabled);
    connect(Undo, &TSongUndo::CleanChanged, this, [this](bool Clean) { Tolm.SetModified(!Clean); });
    // The song must hold still while an export renders it.
    Undo->Blocked = [this] { return ExportForm && ExportForm->GetExporting(); };
    Undo->OnSongApplied = [this](const cSongEdit& Edit) {
        // Show the pattern the step changed, as it is now.
        if (const int pattern = Edit.Pattern(); pattern != 0 && pattern != Tolm.GetActivePattern())
            PatternEditor->PatNumSpin->setValue(pattern);
        PatternEditor->Refresh();
        OrderEditor->Refresh();
    };
    Undo->OnEffectsApplied = [this](const TEffectSettings& Value) { SetPanelEffects(Value); };
    Undo->OnTempoApplied = [this](float Value) { Seq->SetBPM(Value); };
}

void TMainForm::PageShown(int Page) {
    // The page's grid takes the keys at once.
    if (Page == PatternPage) PatternEditor->FocusGrid();
    if (Page == OrderPage) OrderEditor->FocusGrid();
    if (Page == OutputPage && !EffectsPanel->isAncestorOf(QApplication::focusWidget()))
        EffectsPanel->CompressorCheck->setFocus();
}

void TMainForm::FollowInstrument(int Instrument) {
    // The list moves to the channel's instrument and runs its own selection handling.
    if (Instrument - 1 == InsGrid->CursorRow()) return;
    InsGrid->SetCursorRow(Instrument - 1, true);
}

int TMainForm::GetOrderRow() const {
    return OrderEditor->CurrentRow();
}

void TMainForm::SetOrderRow(int Row) {
    OrderEditor->SetCurrentRow(Row);
}

int TMainForm::GetGridRow() const {
    return PatternEditor->GridRow();
}

void TMainForm::SetGridRow(int Row) {
    PatternEditor->SetGridRow(Row);
}

void TMainForm::RunTestsFileOpen() {
    // A fixed test song, opened without a dialog.
    const std::string path = (fs::path(exeFolder()) / "test.hym").string();
    if (MaybeSave() && LoadModule(path)) ShowPage(PatternPage);
}

// ---- start-up, activation and closing ----

void TMainForm::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (!Activated) QTimer::singleShot(0, this, &TMainForm::FirstActivation);
}

void TMainForm::FirstActivation() {
    if (Activated) return;
    Activated = true;
    ShowPage(OrderPage);
    InitAudio();
    ApplyPanelEffects();
    // MIDI keyboards play from the start; none, or no MIDI system at all, is fine.
    Notes->Midi->Start();
    const auto& args = brindle::CommandLine();
    std::error_code ec;
    if (args.size() > 1 && !args[1].empty() && args[1][0] != '-' && fs::is_regular_file(args[1], ec))
        OpenFile(args[1]);
    else
        OfferRecovery();
    if (brindle::SwitchPresent("save")) {
        const std::string target = brindle::SwitchValue("save");
        if (target.empty())
            Log("save: no file named after the switch");
        else
            SaveTo(target);
    }
    if (brindle::SwitchPresent("savetowav")) {
        // Unattended: the dialog exports at once and closes.
        ExportForm->Edit1->setText(QString::fromStdString(brindle::SwitchValue("savetowav")));
        ExportForm->SetFormat(TExportForm::FormatWAV);
        ExportForm->Timer1->start();
        ExportForm->exec();
    }
    if (brindle::SwitchPresent("samplecut")) {
        ShowPage(InstrumentPage);
        Instruments->CutSample();
    }
    if (const std::string insFolder = (fs::path(exeFolder()) / "Instruments").string();
        fs::is_directory(insFolder, ec))
        InsFolder = insFolder;
    // Listing the folder it already shows would move the cursor off the selected instrument's file.
    if (!InsFolder.empty() && InsFolder != InsPick->GetDir() && fs::is_directory(InsFolder, ec))
        InsPick->SetDir(InsFolder);
}

void TMainForm::InitAudio() {
    // A stored buffer outside the settings dialog's range is used at its nearest end.
    const auto settings = cAudioSettings::Read();
    Live.Initialise(settings.SoundDevice, settings.Buffer, SongEngine->Output());
}

void TMainForm::Shutdown() {
    if (ShutDown) return;
    ShutDown = true;
    PositionUpdateTimer->stop();
    Stop();
    Live.Shutdown();
    SongEngine->Stop();
}

void TMainForm::closeEvent(QCloseEvent* Event) {
    if (!KeepRecovery && !MaybeSave()) {
        Event->ignore();
        return;
    }
    Shutdown();
    // A clean exit leaves no recovery file behind: nothing was lost.
    if (!KeepRecovery || !Tolm.GetModified()) brindle::RemoveRecoveryFile();
    Event->accept();
}

void TMainForm::Terminate() {
    WriteRecovery();
    KeepRecovery = true;
    close();
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::KeyPress || Event->type() == QEvent::KeyRelease) {
        // Each key once, where it is delivered first: the focused widget of this window.
        auto* widget = qobject_cast<QWidget*>(Watched);
        QWidget* focus = QApplication::focusWidget();
        if (widget && widget->window() == this && (widget == focus || (!focus && widget == this)))
            return PreviewKey(static_cast<QKeyEvent*>(Event));
        return false;
    }
    if (Event->type() == QEvent::ShortcutOverride && Watched == InsPick) {
        // Space assigns the browser's file here; the window's play key waits.
        const auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            Event->accept();
            return true;
        }
    }
    const bool textField = Watched == BPMSpin || Watched == ApLog || Watched == MusicEventsMemo;
    if (Event->type() == QEvent::ShortcutOverride && textField) {
        const auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            Event->ignore(); // not claimed by the field: the window's shortcut runs
            return true;
        }
    }
    return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::changeEvent(QEvent* Event) {
    QMainWindow::changeEvent(Event);
    // Key releases in another window never arrive: held notes end when the window loses the focus.
    if (Event->type() == QEvent::ActivationChange && !isActiveWindow() && Notes) Notes->ReleaseKeys();
}

bool TMainForm::PreviewKey(QKeyEvent* Event) {
    if (Event->type() == QEvent::KeyPress && Event->key() == Qt::Key_Escape &&
        brindle::SwitchPresent("ide")) {
        close();
        return true;
    }
    QWidget* focus = QApplication::focusWidget();
    if (focus == InsPick && Event->key() == Qt::Key_Space && Event->modifiers() == Qt::NoModifier) {
        if (Event->type() == QEvent::KeyPress && !Event->isAutoRepeat()) Instruments->AssignFromBrowser();
        return true;
    }
    // Text typed into a field is text, and a key with Ctrl, Alt or Meta is a command. A release
    // always gets through: a note held before a modifier went down, or before the focus moved
    // into a field, must still end with its key.
    const bool press = Event->type() == QEvent::KeyPress;
    const auto* edit = qobject_cast<QLineEdit*>(focus);
    const bool typing = (edit && !edit->isReadOnly()) || qobject_cast<QAbstractSpinBox*>(focus);
    const bool command = Event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (press && (typing || command)) return false;
    const bool note = Notes->KeyEvent(*Event);
    if (!press && (typing || command)) return false; // the field or the shortcut sees its release too
    // A list would take a note key as a search for an item.
    return note && qobject_cast<QAbstractItemView*>(focus);
}

void TMainForm::BuildLiveNotes() {
    PianoKeys = new TPianoKeys;
    PianoKeys->setObjectName("PianoKeys");
    PianoKeys->SetKeyHeight(65);
    PianoKeys->SetCount(32);
    PianoKeys->SetCaptions(TPianoKeys::KeyCaptions);
    PianoKeys->setFixedSize(350, 69);
    InstrumentPanel->LowerArea->addWidget(PianoKeys);
    Notes = new TLiveNotes(Tolm, *PianoKeys, this);
    Notes->GridHasFocus = [this] { return PatternEditor->PatGrid->hasFocus(); };
    Notes->EnterNote = [this](float Pitch) { PatternEditor->EnterNote(Pitch); };
    Notes->BrowserFile = [this] {
        const std::string file = InsPick->hasFocus() ? InsPick->GetFileName() : std::string();
        if (!file.empty()) LoadBrowserSample(file);
        return file;
    };
    qApp->installEventFilter(this);
}

// The browser's files are no instrument's: each is decoded when first heard (the audio thread
// plays only what the cache holds).
bool TMainForm::LoadBrowserSample(const std::string& File) {
    const std::string problem = SongEngine->LoadSample(File);
    if (!problem.empty()) Log(problem);
    return problem.empty();
}

void TMainForm::BuildBrowser() {
    InsPickPath = new QLineEdit;
    InsPickPath->setObjectName("InsPickPath");
    InsPickPath->setReadOnly(true);
    InsPick = new TNortonPanel;
    InsPick->setObjectName("InsPick");
    InsPick->SetFileExt("wav;mp3;wma;flac;ogg");
    InsPick->setMinimumHeight(160);
    InstrumentPanel->LowerArea->addWidget(InsPickPath);
    InstrumentPanel->LowerArea->addWidget(InsPick, 1);
    InsPick->OnDir = [this](TNortonPanel* Sender) {
        InsPickPath->setText(QString::fromStdString(Sender->GetDir()));
        InsFolder = Sender->GetDir();
    };
    // The panel listed its first folder before it had a listener.
    InsPickPath->setText(QString::fromStdString(InsPick->GetDir()));
    InsPick->OnPreview = [this](TNortonPanel*, const std::string& File) {
        if (LoadBrowserSample(File)) Seq->PreviewFile(File);
    };
    InsPick->OnLog = [this](TNortonPanel*, const std::string& Text) { Log(Text); };
    InsPickPopup = new QMenu(InsPick);
    auto* assign =
        InsPickPopup->addAction("Assign Instrument", this, [this] { Instruments->AssignFromBrowser(); });
    assign->setShortcut(QKeySequence(Qt::Key_Space));
    assign->setShortcutContext(Qt::WidgetShortcut);
    InsPickPopup->addAction("Cut Sample", this, [this] { Instruments->CutBrowserSample(); });
    InsPick->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(InsPick, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { InsPickPopup->exec(InsPick->viewport()->mapToGlobal(At)); });
}

void TMainForm::FillMidiMenu() {
    MidiMenu->clear();
    TMidiInput& midi = *Notes->Midi;
    // Keyboards plugged in since the last look are found (and opened unless closed before).
    midi.Start();
    if (midi.GetPortCount() == 0) {
        MidiMenu->addAction("(no MIDI input found)")->setEnabled(false);
        return;
    }
    for (int i = 0; i < midi.GetPortCount(); ++i) {
        auto* item = MidiMenu->addAction(QString::fromStdString(midi.GetPortName(i)));
        item->setCheckable(true);
        item->setChecked(midi.IsPortOpen(i));
        connect(item, &QAction::toggled, this, [this, i](bool On) {
            if (!On)
                Notes->Midi->ClosePort(i);
            else if (!Notes->Midi->OpenPort(i))
                Log("MIDI: could not open " + Notes->Midi->GetPortName(i));
        });
    }
}

// ---- pages, caption, log ----

void TMainForm::ShowPage(TPage Page) {
    if (pag->currentIndex() == int(Page))
        PageShown(int(Page));
    else
        pag->setCurrentIndex(int(Page));
}

TMainForm::TPage TMainForm::CurrentPage() const {
    return TPage(pag->currentIndex());
}

void TMainForm::UpdateCaption() {
    const std::string title = brindle::ApplicationTitle();
    const std::string& file = Seq->FileName;
    // "[*]" is where the modified marker shows.
    setWindowTitle(
        QString::fromStdString(file.empty() ? "[*]" + title : fileNamePart(file) + "[*] - " + title));
    setWindowModified(Tolm.GetModified());
}

void TMainForm::Log(const std::string& Text) {
    ApLog->Add(Text);
}

// ---- project commands ----

bool TMainForm::MaybeSave() {
    if (!Tolm.GetModified()) return true;
    const std::string name = Seq->FileName.empty() ? "Untitled" : fileNamePart(Seq->FileName);
    switch (AskSaveChanges(name)) {
    case TSaveAnswer::Save:
        return Save();
    case TSaveAnswer::Discard:
        return true;
    case TSaveAnswer::Cancel:
        return false;
    }
    return false;
}

bool TMainForm::New() {
    if (!MaybeSave()) return false;
    Stop();
    Seq->Reset();
    if (Seq->OnLoad) Seq->OnLoad(Seq.get());
    Seq->FileName.clear();
    SetPanelEffects(TEffectSettings{});
    Undo->Clear();
    Tolm.SetModified(false);
    UpdateCaption();
    return true;
}

bool TMainForm::Open() {
    if (!MaybeSave()) return false;
    const std::string path = AskOpenFileName();
    if (path.empty()) return false;
    SongFolderSetting().Set(fs::path(path).parent_path().string());
    return LoadModule(path);
}

bool TMainForm::OpenFile(const std::string& Path) {
    if (!MaybeSave()) return false;
    Log("Opening..." + fileNamePart(Path));
    return LoadModule(Path);
}

bool TMainForm::LoadModule(const std::string& Path) {
    const auto wait = QCursor(Qt::WaitCursor);
    QApplication::setOverrideCursor(wait);
    try {
        Stop();
        Seq->LoadFile(Path);
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        Log(e.what());
        // The message names the path after its fixed text; the box shows the fixed text.
        constexpr std::string_view missing = "XML Load: file doesn't exist";
        if (std::string_view(e.what()).starts_with(missing)) ShowMessage(std::string(missing));
        return false;
    }
    for (const auto& warning : Seq->TakeLoadWarnings())
        Log(warning);
    ReportLoadProblems();
    QApplication::restoreOverrideCursor();
    Undo->Clear();
    Tolm.SetModified(false);
    UpdateCaption();
    emit FileOpened(QString::fromStdString(Path));
    return true;
}

void TMainForm::ReportLoadProblems() {
    // Instruments are decoded before they can play; those that cannot be are named once.
    // A slow stretcher works behind the window: its notes play with the quick one until it is done.
    SongEngine->Mixer().GetSampleCache()->SetStretchQuality(cAudioSettings::Read().StretchQuality);
    for (const auto& problem : SongEngine->PreloadInstruments(/*Drafts=*/true))
        Log(problem);
    SongEngine->RefineDrafts();
}

void TMainForm::AfterLoad() {
    Tolm.SetActiveInstrument(1);
    InsGrid->SetCursorRow(0, false);
    InsGrid->SelectQuietly();
    InsGrid->Refresh();
    Tolm.SetActivePattern(1);
    // The panel shows each stored value x 1000, rounded.
    SetPanelEffects(Seq->Effects);
    {
        const QSignalBlocker block(BPMSpin);
        BPMSpin->setValue(int(Seq->BPM.load()));
    }
    OrderEditor->Refresh();
    PatternEditor->Refresh();
    UpdateCaption();
    Stop();
}

void TMainForm::SetPanelEffects(const TEffectSettings& Value) {
    EffectsPanel->SetSettings(Value);
    PanelEffects = EffectsPanel->Settings();
    ApplyPanelEffects();
}

void TMainForm::ApplyPanelEffects() {
    // The panel drives the live nodes; the song takes its values when it is saved.
    auto& fx = SongEngine->Effects();
    fx.Apply(PanelEffects);
    fx.Chain(&SongEngine->Mixer());
}

void TMainForm::CollectEffects() {
    Log("Saving...");
    Seq->Effects = PanelEffects;
}

bool TMainForm::SaveTo(const std::string& Path) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    try {
        CollectEffects();
        Seq->SaveFile(Path);
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        Log(e.what());
        return false;
    }
    QApplication::restoreOverrideCursor();
    Undo->SetSaved();
    Tolm.SetModified(false);
    return true;
}

bool TMainForm::Save() {
    if (Seq->FileName.empty()) return SaveAs();
    return SaveTo(Seq->FileName);
}

bool TMainForm::SaveAs() {
    const std::string path = AskSaveFileName();
    if (path.empty()) return false;
    if (!SaveTo(path)) return false;
    UpdateCaption();
    emit FileOpened(QString::fromStdString(path));
    return true;
}

bool TMainForm::SaveWithInstruments() {
    std::string path = Seq->FileName;
    if (path.empty()) path = AskSaveFileName();
    if (path.empty()) return false;
    try {
        CollectEffects();
        for (const auto& problem : brindle::SaveWithInstruments(*Seq, path))
            Log(problem);
    } catch (const std::exception& e) {
        Log(e.what());
        return false;
    }
    Log("Saved with its instruments in " + (fs::path(path).parent_path() / fs::path(path).stem()).string());
    ReportLoadProblems(); // the copies are the song's files now
    Undo->SetSaved();
    Tolm.SetModified(false);
    UpdateCaption();
    return true;
}

void TMainForm::ExportSong() {
    ExportForm->exec();
}

void TMainForm::AudioSettings() {
    const auto quality = cAudioSettings::Read().StretchQuality;
    if (!SettingsForm->RunAndStore()) return;
    InitAudio();
    if (cAudioSettings::Read().StretchQuality != quality) ReportLoadProblems();
    if (cAudioSettings::Read().Autosave)
        ASTmr->start();
    else
        ASTmr->stop();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* Event) {
    const QMimeData* mime = Event->mimeData();
    if (mime->hasUrls() && mime->urls().size() == 1 &&
        brindle::IsModuleFile(mime->urls()[0].toLocalFile().toStdString()))
        Event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* Event) {
    const QString path = Event->mimeData()->urls().value(0).toLocalFile();
    if (path.isEmpty()) return;
    Event->acceptProposedAction();
    OpenFile(path.toStdString());
}

void TMainForm::Autosave() {
    Log("Autosave...");
    if (Seq->FileName.empty())
        WriteRecovery();
    else if (Tolm.GetModified())
        Save();
}

void TMainForm::WriteRecovery() {
    if (!Tolm.GetModified()) return;
    try {
        CollectEffects();
        brindle::WriteRecoveryFile(*Seq);
    } catch (const std::exception& e) {
        Log(std::string("Recovery copy not written: ") + e.what());
    }
}

void TMainForm::OfferRecovery() {
    if (!brindle::RecoveryFileExists()) return;
    const std::string info = "Brindle did not close normally last time. Open the unsaved work it kept?";
    if (!AskOpenRecovery(info)) {
        brindle::RemoveRecoveryFile();
        return;
    }
    if (!LoadModule(brindle::RecoveryPath())) return;
    // The recovered song is untitled and unsaved until the user saves it somewhere.
    Seq->FileName.clear();
    Tolm.SetModified(true);
    UpdateCaption();
    Log("Recovered the unsaved work of the last session");
}

// ---- transport ----

void TMainForm::Play() {
    switch (CurrentPage()) {
    case OrderPage:
        Tolm.PlaySongFromOrderRow(GetOrderRow());
        break;
    case PatternPage:
        Tolm.PlayPatternFromRow(GetGridRow());
        break;
    default:
        break;
    }
}

void TMainForm::Stop() {
    if (Recording) {
        Record();
        return;
    }
    Tolm.Stop();
}

void TMainForm::Record() {
    if (!Recording) {
        Tolm.PlayPatternFromRow(GetGridRow());
        Recording = true;
        RecordStartRow = GetGridRow();
        RecordBtn->setChecked(true);
        PatternEditor->PatGrid->setFocus();
        return;
    }
    Tolm.Stop();
    Recording = false;
    RecordBtn->setChecked(false);
    SetGridRow(RecordStartRow);
}

void TMainForm::TogglePlay() {
    if (Tolm.Playing()) {
        Stop();
        return;
    }
    const TPage page = CurrentPage();
    if (page == PatternPage || page == InstrumentPage) Play();
}

void TMainForm::SetBPMFromSpin(int Value) {
    const float before = Seq->BPM.load();
    if (float(Value) == before) return;
    Seq->SetBPM(float(Value));
    Undo->TempoChanged(before, float(Value));
}

// ---- timers ----

void TMainForm::PositionUpdate() {
    Live.Poll();
    // The queue handler's trace lines come from the audio thread through a ring.
    SongEngine->SetTraceEnabled(brindle::ui::TraceActive());
    for (const auto& line : SongEngine->TakeTraceLines())
        brindle::ui::Trace(line);
    for (const auto& problem : SongEngine->LoadPending())
        Log(problem);
    for (const auto& problem : SongEngine->Mixer().TakeProblems())
        Log(problem);
    const int row = Seq->CurRow;
    if (CurrentPage() == PatternPage && row != LastRow) {
        LastRow = row;
        PatternEditor->PlayRowChanged(row);
        if (Recording) SetGridRow(row + 1);
    }
    if (CurrentPage() == OrderPage) OrderEditor->CurOrderChanged();
    if (CurrentPage() == InstrumentPage) ShowInstrumentVoice();
    if (CurrentPage() == OutputPage) UpdateMusicEvents();
    if (CurrentPage() == OutputPage && ++StatsTick >= 50) {
        StatsTick = 0;
        AudioStats->setText(QString::fromStdString("Output: " + Live.GetSpeakers().GetStatsSummary()));
    }
}

void TMainForm::ShowInstrumentVoice() {
    // The waveform's marker follows the newest voice of the instrument's file in the mixer.
    TAudioView& view = *InstrumentPanel->InsView;
    view.ExternalPlayPosition = true;
    double pos = -1.0;
    const std::string file = Seq->InstrumentAt(Tolm.GetActiveInstrument()).GetFileName();
    if (!file.empty() && view.LenSec() > 0) {
        SongEngine->Mixer().GetVoices(VoiceScratch);
        for (const auto& voice : VoiceScratch)
            if (voice.FileName == file) pos = voice.FilePos / view.LenSec();
    }
    view.PlayMarker()->MarkerPos = pos;
}

void TMainForm::UpdateMusicEvents() {
    std::vector<TLiveMixer::TVoiceInfo> voices;
    SongEngine->Mixer().GetVoices(voices);
    Tolm.Events.clear();
    std::string text;
    char numbers[200];
    for (const auto& v : voices) {
        std::snprintf(
            numbers, sizeof numbers, " Transpose:%.2f Speed:%.2f FilePos:%.2f MixedTime:%.2f TimeToMix:%.2f",
            double(v.Pitch), v.Speed != 0 ? 1.0 / double(v.Speed) : 0.0, v.FilePos, v.MixedTime, v.TimeToMix);
        Tolm.Events.push_back(v.FileName + numbers);
        text += Tolm.Events.back() + "\n";
    }
    // Repainted only when a line changed.
    if (text == LastEvents) return;
    LastEvents = text;
    MusicEventsMemo->setPlainText(QString::fromStdString(text));
}
