// The main window's menu bar: project, edit, view, tools, transport, the hidden tests menu and help.
#include "ui/MainForm.h"

#include "song/Sequencer.h"
#include "ui/InstrumentCommands.h"
#include "ui/dialogs/AboutBox.h"
#include "ui/editors/PercussionMenu.h"
#include "ui/editors/SongUndo.h"
#include "ui/input/LiveNotes.h"
#include "ui/input/MidiInput.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternGrid.h"
#include "ui/views/Theme.h"

#include <QAction>
#include <QActionGroup>
#include <QMenuBar>

void TMainForm::BuildMenu() {
    auto* project = menuBar()->addMenu("&Project");
    project->addAction("New Project", this, [this] { Doc->New(); });
    project->addAction("Open...", QKeySequence::Open, this, [this] { Doc->Open(); });
    RecentFilesMenu = project->addMenu("Recent Files");
    RecentFilesMenu->setObjectName("RecentFilesMenu");
    auto* save = project->addAction("Save", this, [this] { Doc->Save(); });
    save->setShortcut(QKeySequence("Ctrl+S"));
    save->setObjectName("SaveAction");
    project->addAction("Save as...", this, [this] { Doc->SaveAs(); });
    project->addAction("Save with Instruments", this, [this] { Doc->SaveWithInstruments(); });
    project->addSeparator();
    project->addAction("Export to WAV/MP3...", this, [this] { ExportSong(); });
    project->addAction("Audio Settings...", this, [this] { AudioSettings(); });
    project->addSeparator();
    project->addAction("Exit", this, [this] { close(); });

    auto* edit = menuBar()->addMenu("&Edit");
    UndoAction = edit->addAction("Undo", this, [this] { Doc->Undo().Undo(); });
    UndoAction->setObjectName("UndoAction");
    UndoAction->setShortcuts(QKeySequence::Undo);
    RedoAction = edit->addAction("Redo", this, [this] { Doc->Undo().Redo(); });
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
    view->addAction("Channel Mixer", QKeySequence(Qt::Key_F9), this, [this] { ShowPage(MixerPage); })
        ->setObjectName("ChannelMixerAction");
    view->addSeparator();
    auto* themes = view->addMenu("Theme");
    themes->setObjectName("ThemeMenu");
    auto* themeGroup = new QActionGroup(themes);
    for (auto theme : {brindle::ui::Theme::Light, brindle::ui::Theme::Dark, brindle::ui::Theme::System}) {
        auto* item = themes->addAction(brindle::ui::ThemeName(theme), this, [this, theme] {
            brindle::ui::ApplyTheme(theme);
            PatternEditor->Refresh();
        });
        item->setCheckable(true);
        item->setChecked(theme == brindle::ui::CurrentTheme());
        themeGroup->addAction(item);
    }
    auto* zoomIn = view->addAction("Zoom In", this, [this] { SetGridZoom(PatternEditor->PatGrid->Zoom() * 1.25); });
    zoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence("Ctrl+=")});
    zoomIn->setObjectName("ZoomInAction");
    auto* zoomOut = view->addAction("Zoom Out", this, [this] { SetGridZoom(PatternEditor->PatGrid->Zoom() / 1.25); });
    zoomOut->setShortcuts({QKeySequence::ZoomOut, QKeySequence("Ctrl+-")});
    zoomOut->setObjectName("ZoomOutAction");
    view->addAction("Actual Size", QKeySequence("Ctrl+0"), this, [this] { SetGridZoom(1.0); })->setObjectName("ZoomResetAction");

    auto* tools = menuBar()->addMenu("T&ools");
    MidiMenu = tools->addMenu("MIDI Inputs");
    connect(MidiMenu, &QMenu::aboutToShow, this, [this] { FillMidiMenu(); });
    tools->addAction("Instrument - adjust length", this, [this] { Instruments->AdjustLength(); });
    tools->addAction("Cut Sample...", this, [this] { Instruments->CutSample(); });
    Percussion = std::make_unique<TPercussionMenu>(
        *menuBar(), [this](int Instrument) { Song().PreviewInstrument(Instrument); });
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

