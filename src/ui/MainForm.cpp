#include "ui/MainForm.h"

#include "app/App.h"
#include "app/AudioSettings.h"
#include "app/ProjectFiles.h"
#include "app/SongEngine.h"
#include "base/AppInfo.h"
#include "base/RegString.h"
#include "base/Switches.h"
#include "song/Sequencer.h"
#include "ui/Application.h"
#include "ui/InstrumentCommands.h"
#include "ui/dialogs/AboutBox.h"
#include "ui/dialogs/DocumentPrompts.h"
#include "ui/dialogs/ExportForm.h"
#include "ui/dialogs/FormTrace.h"
#include "ui/dialogs/SampleCutForm.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/document/AudioSession.h"
#include "ui/document/Transport.h"
#include "ui/editors/EffectsPanel.h"
#include "ui/editors/InstrumentList.h"
#include "ui/editors/InstrumentPanel.h"
#include "ui/editors/OrderEditor.h"
#include "ui/editors/OutputPage.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternGrid.h"
#include "ui/editors/PercussionMenu.h"
#include "ui/editors/SongUndo.h"
#include "ui/input/LiveNotes.h"
#include "ui/input/MidiInput.h"
#include "ui/input/WindowKeys.h"
#include "ui/views/AudioView.h"
#include "ui/views/HeaderBar.h"
#include "ui/views/LevelFeed.h"
#include "ui/views/MixerView.h"
#include "ui/views/NumberField.h"
#include "ui/views/StatusLine.h"
#include "ui/views/Theme.h"
#include "ui/views/UserFolders.h"
#include "ui/editors/OrderGrid.h"
#include "ui/views/Log.h"
#include "ui/views/NortonPanel.h"
#include "ui/views/PianoKeys.h"
#include "ui/views/RecentFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr const char* InsFolderKey = "Halyard\\InsFolder";
constexpr const char* OldInsFolderKey = "Brindle\\InsFolder";

std::string exeFolder() {
    return fs::path(brindle::CommandLine().empty() ? "" : brindle::CommandLine()[0]).parent_path().string();
}

} // namespace

TMainForm::TMainForm(cApp& App, QWidget* Parent) : QMainWindow(Parent), Tolm(App) {
    setObjectName("MainForm");
    resize(1000, 640);
    if (brindle::ui::StoredTheme() != brindle::ui::CurrentTheme()) brindle::ui::ApplyTheme(brindle::ui::StoredTheme());
    Doc = std::make_unique<TSongDocument>(Tolm, this);
    Undo = &Doc->Undo();
    AudioOut = std::make_unique<TAudioSession>(*Engine().Output(), this);
    Player = new TTransport(*Doc, Tolm, *AudioOut, this);
    PositionUpdateTimer = Player->PositionTimer();

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
    Status = new TStatusLine;
    setStatusBar(Status);
    BuildMenu();
    if (const double zoom = brindle::ui::StoredGridZoom(); zoom != 1.0) SetGridZoom(zoom);
    BuildDialogs();
    BuildBrowser();
    BuildLiveNotes();
    Instruments = std::make_unique<TInstrumentCommands>(
        *Doc, Tolm, TInstrumentCommands::TViews{InsGrid, InstrumentPanel, InsPick, SampleCutForm, Percussion.get(), this});
    Instruments->StopRequested = [this] { Stop(); };
    Instruments->OpenModuleRequested = [this](const std::string& Path) { Doc->OpenFile(Path); };
    Instruments->Ready = [this] { return Activated; };
    Instruments->Connect();
    ConnectDocument();
    ConnectTransport();
    // A number typed out of range and brought into it is said in the log too.
    for (auto* field : findChildren<TNumberField*>())
        connect(field, &TNumberField::clamped, this, [this](const QString& Text) { Log(Text.toStdString()); });
    brindle::ui::InstallDocumentPrompts(*Doc, *this);
    setAcceptDrops(true);
    if (auto* app = TApplication::Instance()) app->OnException = [this](const std::string& Text) { Log(Text); };

    ASTmr = new QTimer(this);
    ASTmr->setInterval(60000);
    connect(ASTmr, &QTimer::timeout, Doc.get(), &TSongDocument::Autosave);
    RecoveryTmr = new QTimer(this);
    RecoveryTmr->setInterval(60000);
    connect(RecoveryTmr, &QTimer::timeout, Doc.get(), &TSongDocument::WriteRecovery);
    RecoveryTmr->start();
    if (cAudioSettings::Read().Autosave) ASTmr->start();
    InsFolder = brindle::ReadRegString(InsFolderKey, brindle::ReadRegString(OldInsFolderKey, ""));
    SongReplaced();
}

TMainForm::~TMainForm() {
    Shutdown();
    // The application object outlives the window: its hooks must not call into a dead one.
    Tolm.OnPatternChange = nullptr;
    Tolm.OnInstrumentChange = nullptr;
    brindle::WriteRegString(InsFolderKey, InsFolder);
    if (auto* app = TApplication::Instance()) app->OnException = nullptr;
}

QWidget* TMainForm::BuildHeader() {
    auto* header = new THeaderBar;
    PlayButton = header->PlayButton;
    StopButton = header->StopButton;
    BPMSpin = header->BPMSpin;
    ApLog = header->ApLog;
    connect(PlayButton, &QPushButton::clicked, this, &TMainForm::Play);
    connect(StopButton, &QPushButton::clicked, this, &TMainForm::Stop);
    connect(BPMSpin, &QSpinBox::valueChanged, this, [this](int Value) { Doc->SetTempo(float(Value)); });
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
    OrderEditor->OnPlaySong = [this](int Row) { Player->PlaySong(Row); };
    OrderEditor->OnStop = [this] { Stop(); };
    OrderEditor->ShowMessage = [this](const std::string& Text) { Doc->ShowMessage(Text); };
    pag->addTab(OrderEditor, "Order");

    PatternEditor = new TPatternEditor(Tolm, *Undo);
    RecordBtn = PatternEditor->RecordBtn;
    PatternEditor->OnRecord = [this](TPatternEditor*) {
        // The button only reflects the mode; the transport decides.
        RecordBtn->setChecked(GetRecording());
        Record();
    };
    PatternEditor->OnFollowInstrument = [this](TPatternEditor*, int Instrument) { FollowInstrument(Instrument); };
    pag->addTab(PatternEditor, "Pattern");

    InstrumentPanel = new TInstrumentPanel(Tolm);
    InstrumentPanel->OnValue = [this](TInstrumentPanel*, TInstrumentPanel::TValue Which, float Value) {
        using V = TSongDocument::TInstrumentValue;
        static constexpr V values[] = {V::Volume, V::Stretch, V::Pitch, V::StopPrev};
        Doc->SetInstrumentValue(Tolm.GetActiveInstrument(), values[int(Which)], Value);
    };
    InstrumentPanel->OnLog = [this](TInstrumentPanel*, const std::string& Text) { Log(Text); };
    pag->addTab(InstrumentPanel, "Instrument");

    OutputPanel = new TOutputPage;
    EffectsPanel = OutputPanel->EffectsPanel;
    MusicEventsMemo = OutputPanel->MusicEventsMemo;
    EffectsPanel->OnChange = [this](TEffectsPanel*, const TEffectSettings& Value, bool) { Doc->SetEffects(Value); };
    pag->addTab(OutputPanel, "Output");

    Levels = new TLevelFeed(Engine().Mixer().Meters(), this);
    Levels->Wanted = [this] { return CurrentPage() == MixerPage || CurrentPage() == PatternPage; };
    Levels->Sounding = [this] { return Player->Playing() || Engine().Mixer().VoiceCount() > 0; };
    MixerView = new TMixerView(*Doc, *Levels);
    PatternEditor->PatGrid->SetLevelFeed(Levels);
    pag->addTab(MixerView, "Mixer");
    connect(pag, &QTabWidget::currentChanged, this, &TMainForm::PageShown);
    return pag;
}

void TMainForm::BuildDialogs() {
    // The window's dialogs, in the order the program creates them.
    ExportForm = new TExportForm(this);
    FormTrace = new TFormTrace(this);
    SettingsForm = new TSettingsForm(this);
    SampleCutForm = new TSampleCutForm(this);
    AboutBox = new TAboutBox(this);
    RecentFilesMan = new TRecentFiles(this);
    RecentFilesMan->SetMenuItem(RecentFilesMenu);
    RecentFilesMan->OnOpenFile = [this](TRecentFiles*, const std::string& Path) { Doc->OpenFile(Path); };
    ExportForm->SetSong(&Song());
    ExportForm->SetSampleCache(Engine().Mixer().GetSampleCache());
    ExportForm->BeforeExport = [this](TExportForm*) { Stop(); };
    ExportForm->OnLog = [this](TExportForm*, const std::string& Text) { Log(Text); };
    // The song must hold still while an export renders it.
    Doc->Frozen = [this] { return ExportForm->GetExporting(); };
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
    // The browser's files are no instrument's: each is decoded when first heard.
    Notes->BrowserFile = [this] {
        const std::string file = InsPick->hasFocus() ? InsPick->GetFileName() : std::string();
        if (!file.empty()) Doc->Report(Engine().LoadSample(file));
        return file;
    };
    Keys = new TWindowKeys(*this, *Notes, *InsPick);
    Keys->SpaceFields = {BPMSpin, ApLog, MusicEventsMemo};
    Keys->AssignFromBrowser = [this] { Instruments->AssignFromBrowser(); };
    Keys->CloseRequested = [this] { close(); };
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
        const std::string problem = Engine().LoadSample(File);
        if (problem.empty()) Song().PreviewFile(File);
        else Log(problem);
    };
    InsPick->OnLog = [this](TNortonPanel*, const std::string& Text) { Log(Text); };
    InsPickPopup = new QMenu(InsPick);
    auto* assign = InsPickPopup->addAction("Assign Instrument", this, [this] { Instruments->AssignFromBrowser(); });
    assign->setShortcut(QKeySequence(Qt::Key_Space));
    assign->setShortcutContext(Qt::WidgetShortcut);
    InsPickPopup->addAction("Cut Sample", this, [this] { Instruments->CutBrowserSample(); });
    InsPick->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(InsPick, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { InsPickPopup->exec(InsPick->viewport()->mapToGlobal(At)); });
}

void TMainForm::ConnectDocument() {
    TSongDocument* doc = Doc.get();
    connect(doc, &TSongDocument::problem, this, [this](const QString& Text) {
        if (!Text.isEmpty()) Log(Text.toStdString());
    });
    connect(doc, &TSongDocument::songReplaced, this, &TMainForm::SongReplaced);
    connect(doc, &TSongDocument::modifiedChanged, this, &QWidget::setWindowModified);
    connect(doc, &TSongDocument::fileNameChanged, this, &TMainForm::UpdateCaption);
    // The export goes beside the song under its name unless the user typed another path for it.
    connect(doc, &TSongDocument::fileNameChanged, this, [this] { ExportForm->SetSongPath(Doc->FileName()); });
    connect(doc, &TSongDocument::fileOpened, this,
            [this](const QString& Path) { RecentFilesMan->NotifyOpen(Path.toStdString()); });
    connect(doc, &TSongDocument::tempoChanged, this, [this] {
        const QSignalBlocker block(BPMSpin);
        BPMSpin->setValue(int(Song().BPM.load()));
    });
    connect(doc, &TSongDocument::effectsChanged, this, [this] { EffectsPanel->SetSettings(Doc->Effects()); });
    // An undone or redone step shows the pattern it changed, as it is now.
    connect(doc, &TSongDocument::patternChanged, this, [this](int Pattern) {
        if (Pattern != Tolm.GetActivePattern()) PatternEditor->PatNumSpin->setValue(Pattern);
        PatternEditor->Refresh();
    });
    connect(doc, &TSongDocument::ordersChanged, this, [this] { OrderEditor->Refresh(); });
    connect(doc, &TSongDocument::channelsChanged, this, [this] { PatternEditor->Refresh(); });
    connect(doc, &TSongDocument::instrumentChanged, this, &TMainForm::InstrumentChanged);
    auto* stack = Doc->UndoStack();
    UndoAction->setEnabled(false);
    RedoAction->setEnabled(false);
    connect(stack, &QUndoStack::canUndoChanged, UndoAction, &QAction::setEnabled);
    connect(stack, &QUndoStack::canRedoChanged, RedoAction, &QAction::setEnabled);
    Tolm.OnPatternChange = [this](cApp*) { PatternEditor->ActPatNumChange(); };
    Tolm.OnInstrumentChange = [this](cApp*) { Instruments->ActInsChange(); };
}

void TMainForm::ConnectTransport() {
    connect(Player, &TTransport::positionChanged, this, [this](int, int, int Row) {
        if (CurrentPage() != PatternPage) return;
        PatternEditor->PlayRowChanged(Row);
        if (GetRecording()) SetGridRow(Row + 1);
    });
    connect(Player, &TTransport::recordingChanged, this, [this](bool On, int StartRow) {
        RecordBtn->setChecked(On);
        if (On)
            PatternEditor->PatGrid->setFocus();
        else
            SetGridRow(StartRow);
    });
    // What the other pages show of the playing song follows every tick.
    connect(PositionUpdateTimer, &QTimer::timeout, this, [this, tick = 0]() mutable {
        ++tick;
        Levels->Wake();
        if (tick % 5 == 0) Status->Update(Song(), Engine().Mixer(), AudioOut->Output().GetSpeakers(), GetRecording());
        // The output's timing is a developer's concern: it goes to the trace window.
        if (tick % 500 == 0 && brindle::ui::TraceActive()) brindle::ui::Trace("Output: " + AudioOut->StatsSummary());
        if (CurrentPage() == OrderPage) OrderEditor->CurOrderChanged();
        if (CurrentPage() == InstrumentPage) InstrumentPanel->ShowVoice(Engine().Mixer());
        if (CurrentPage() == OutputPage) OutputPanel->UpdateMusicEvents(Engine().Mixer());
    });
}

void TMainForm::SongReplaced() {
    Tolm.SetActiveInstrument(1);
    InsGrid->SetCursorRow(0, false);
    InsGrid->SelectQuietly();
    InsGrid->Refresh();
    Tolm.SetActivePattern(1);
    // The panel shows each stored value x 1000, rounded; the song takes what it shows.
    EffectsPanel->SetSettings(Doc->Effects());
    Doc->AdoptEffects(EffectsPanel->Settings());
    OrderEditor->Refresh();
    PatternEditor->Refresh();
    UpdateCaption();
}

void TMainForm::InstrumentChanged(int Instrument) {
    // The panel's own slider needs no new look; another change shows the slot as it is now.
    if (Instrument == Tolm.GetActiveInstrument() && !InstrumentPanel->IsEditing())
        Instruments->ActInsChange();
    else
        InsGrid->Refresh();
}

void TMainForm::SetGridZoom(double Zoom) {
    PatternEditor->PatGrid->SetZoom(Zoom);
    OrderEditor->ordgrid->SetZoom(PatternEditor->PatGrid->Zoom());
    brindle::ui::StoreGridZoom(PatternEditor->PatGrid->Zoom());
}

void TMainForm::ShowPage(TPage Page) {
    if (pag->currentIndex() == int(Page))
        PageShown(int(Page));
    else
        pag->setCurrentIndex(int(Page));
}

TMainForm::TPage TMainForm::CurrentPage() const { return TPage(pag->currentIndex()); }

void TMainForm::UpdateCaption() {
    const std::string title = brindle::ApplicationTitle();
    // "[*]" is where the modified marker shows.
    setWindowTitle(QString::fromStdString(Doc->FileName().empty() ? "[*]" + title : Doc->DisplayName() + "[*] - " + title));
    setWindowModified(Doc->IsModified());
}

void TMainForm::Log(const std::string& Text) { ApLog->Add(Text); }

TLiveOutput& TMainForm::Output() { return AudioOut->Output(); }

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

int TMainForm::GetOrderRow() const { return OrderEditor->CurrentRow(); }
int TMainForm::GetGridRow() const { return PatternEditor->GridRow(); }
void TMainForm::SetGridRow(int Row) { PatternEditor->SetGridRow(Row); }
bool TMainForm::GetRecording() const { return Player->Recording(); }

// ---- commands ----

void TMainForm::ExportSong() { ExportForm->exec(); }

void TMainForm::AudioSettings() {
    const auto quality = cAudioSettings::Read().StretchQuality;
    if (!SettingsForm->RunAndStore()) return;
    AudioOut->Start();
    if (cAudioSettings::Read().StretchQuality != quality) Doc->PrepareInstruments();
    if (cAudioSettings::Read().Autosave)
        ASTmr->start();
    else
        ASTmr->stop();
}

void TMainForm::Play() {
    if (CurrentPage() == OrderPage) Player->PlaySong(GetOrderRow());
    if (CurrentPage() == PatternPage) Player->PlayPattern(GetGridRow());
    if (CurrentPage() == MixerPage) Player->PlaySong(GetOrderRow());
}

void TMainForm::Stop() { Player->Stop(); }

void TMainForm::Record() { Player->ToggleRecord(GetGridRow()); }

void TMainForm::TogglePlay() {
    if (Player->Playing()) {
        Stop();
        return;
    }
    if (CurrentPage() == PatternPage || CurrentPage() == InstrumentPage || CurrentPage() == MixerPage) Play();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* Event) {
    const QMimeData* mime = Event->mimeData();
    if (mime->hasUrls() && mime->urls().size() == 1 && brindle::IsModuleFile(mime->urls()[0].toLocalFile().toStdString()))
        Event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* Event) {
    const QString path = Event->mimeData()->urls().value(0).toLocalFile();
    if (path.isEmpty()) return;
    Event->acceptProposedAction();
    Doc->OpenFile(path.toStdString());
}

// ---- start-up and closing ----

void TMainForm::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (!Activated) QTimer::singleShot(0, this, &TMainForm::FirstActivation);
}

void TMainForm::FirstActivation() {
    if (Activated) return;
    Activated = true;
    ShowPage(OrderPage);
    const auto& args = brindle::CommandLine();
    std::error_code ec;
    if (args.size() > 1 && !args[1].empty() && args[1][0] != '-' && fs::is_regular_file(args[1], ec))
        Doc->OpenFile(args[1]);
    // Work a crashed window left is offered whatever this one opened.
    Doc->OfferRecovery();
    RunStartSwitches();
    // The window and its song are up first; the device, the MIDI ports and the browser's folder
    // follow once it has painted. Play pressed before starts as soon as the device pulls.
    QTimer::singleShot(0, this, &TMainForm::StartDevices);
}

void TMainForm::StartDevices() {
    if (ShutDown) return;
    AudioOut->Start();
    // MIDI keyboards play from the start; none, or no MIDI system at all, is fine.
    Notes->Midi->StartInBackground();
    std::error_code ec;
    if (const std::string insFolder = (fs::path(exeFolder()) / "Instruments").string(); fs::is_directory(insFolder, ec))
        InsFolder = insFolder;
    // A fresh profile starts in the user's music, not at the file system's root.
    if (InsFolder.empty()) InsFolder = brindle::ui::MusicFolder();
    // Listing the folder it already shows would move the cursor off the selected instrument's file.
    if (!InsFolder.empty() && InsFolder != InsPick->GetDir() && fs::is_directory(InsFolder, ec)) InsPick->SetDir(InsFolder);
}

void TMainForm::RunStartSwitches() {
    if (brindle::SwitchPresent("save")) {
        const std::string target = brindle::SwitchValue("save");
        if (target.empty())
            Log("save: no file named after the switch");
        else
            Doc->SaveTo(target);
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
}

void TMainForm::RunTestsFileOpen() {
    // A fixed test song, opened without a dialog.
    if (Doc->OpenFile((fs::path(exeFolder()) / "test.hym").string())) ShowPage(PatternPage);
}

void TMainForm::Shutdown() {
    if (ShutDown) return;
    ShutDown = true;
    PositionUpdateTimer->stop();
    Stop();
    AudioOut->Shutdown();
    Engine().Stop();
}

void TMainForm::closeEvent(QCloseEvent* Event) {
    if (!KeepRecovery && !Doc->MaybeSave()) {
        Event->ignore();
        return;
    }
    Shutdown();
    // A clean exit leaves no recovery copy behind: nothing was lost.
    Doc->EndSession(KeepRecovery);
    Event->accept();
}

void TMainForm::Terminate() {
    KeepRecovery = true;
    close();
}

void TMainForm::changeEvent(QEvent* Event) {
    QMainWindow::changeEvent(Event);
    // Key releases in another window never arrive: held notes end when the window loses the focus.
    if (Event->type() == QEvent::ActivationChange && !isActiveWindow() && Notes) Notes->ReleaseKeys();
}
