#pragma once
// The main window: builds the pages, the menu and the dialogs and wires them to the song
// document, the transport and the live output. It holds no song state and no editing logic of
// its own: the editors change the song through the document and ask for the rest by signals.
#include "song/EffectSettings.h"
#include "ui/document/SongDocument.h"

#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QTimer;
class TAboutBox;
class TAudioSession;
class TEffectsPanel;
class TExportForm;
class TFormTrace;
class TInstrumentCommands;
class TInstrumentList;
class TInstrumentPanel;
class TLevelFeed;
class TLiveNotes;
class TLiveOutput;
class TLog;
class TMixerView;
class TNortonPanel;
class TOrderEditor;
class TOutputPage;
class TPatternEditor;
class TPercussionMenu;
class TPianoKeys;
class TRecentFiles;
class TSampleCutForm;
class TSettingsForm;
class TSongUndo;
class TStatusLine;
class TTransport;
class TWindowKeys;
class cApp;
class cSequencer;

namespace brindle {
class SongEngine;
}

class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainForm(cApp& App, QWidget* Parent = nullptr);
    ~TMainForm() override;

    enum TPage { OrderPage = 0, PatternPage = 1, InstrumentPage = 2, OutputPage = 3, MixerPage = 4 };

    // Start-up after the window is first shown: audio, the module named on the command line,
    // recovery copies left by windows that are gone and the start-up switches. Runs once.
    void FirstActivation();
    bool IsActivated() const { return Activated; }

    // Project commands of the menu (the document asks about unsaved changes).
    bool New() { return Doc->New(); }
    bool Open() { return Doc->Open(); }
    bool OpenFile(const std::string& Path) { return Doc->OpenFile(Path); }
    bool Save() { return Doc->Save(); }
    bool SaveAs() { return Doc->SaveAs(); }
    void ExportSong();
    void AudioSettings();
    // Closes without asking (the session is ending): unsaved changes stay in the recovery copy.
    void Terminate();

    // Transport as the window's keys and buttons use it: Play starts what the page shows.
    void Play();
    void Stop();
    void Record();
    void TogglePlay();

    void ShowPage(TPage Page);
    // The pattern and order grids' zoom (kept in the settings).
    void SetGridZoom(double Zoom);
    TPage CurrentPage() const;
    void Log(const std::string& Text);

    TSongDocument& Document() { return *Doc; }
    TTransport& Transport() { return *Player; }
    TAudioSession& Audio() { return *AudioOut; }
    cSequencer& Song() { return Doc->Song(); }
    brindle::SongEngine& Engine() { return Doc->Engine(); }
    TLiveOutput& Output();
    cApp& App() { return Tolm; }
    const TEffectSettings& GetPanelEffects() const { return Doc->Effects(); }
    bool GetRecording() const;
    int GetGridRow() const;
    void SetGridRow(int Row);
    int GetOrderRow() const;
    const std::string& GetInsFolder() const { return InsFolder; }

    // Controls, named as the window names them.
    TLog* ApLog = nullptr;
    QTabWidget* pag = nullptr;
    QPushButton* PlayButton = nullptr;
    QPushButton* StopButton = nullptr;
    QPushButton* RecordBtn = nullptr;
    QSpinBox* BPMSpin = nullptr;
    TOutputPage* OutputPanel = nullptr;
    // Channel strips with level meters; the levels' one reader, shared with the pattern grid.
    TMixerView* MixerView = nullptr;
    TLevelFeed* Levels = nullptr;
    // Where the song is, the voices sounding, the output's load and record mode.
    TStatusLine* Status = nullptr;
    TEffectsPanel* EffectsPanel = nullptr;
    QPlainTextEdit* MusicEventsMemo = nullptr;
    TOrderEditor* OrderEditor = nullptr;
    TPatternEditor* PatternEditor = nullptr;
    TInstrumentList* InsGrid = nullptr;
    TInstrumentPanel* InstrumentPanel = nullptr;
    TPianoKeys* PianoKeys = nullptr;
    TNortonPanel* InsPick = nullptr;
    QLineEdit* InsPickPath = nullptr;
    QMenu* InsPickPopup = nullptr;
    // Notes from the computer keyboard, the piano and MIDI keyboards.
    TLiveNotes* Notes = nullptr;
    QMenu* MidiMenu = nullptr;
    // The hidden "Percussion" menu of hot-key bound instruments.
    QMenu* Drums = nullptr;
    std::unique_ptr<TPercussionMenu> Percussion;
    // The instrument commands of the list, the panel, the browser and the Tools menu.
    std::unique_ptr<TInstrumentCommands> Instruments;
    // The document's undo history.
    TSongUndo* Undo = nullptr;
    QAction* UndoAction = nullptr;
    QAction* RedoAction = nullptr;
    QTimer* PositionUpdateTimer = nullptr;
    QTimer* ASTmr = nullptr;
    QTimer* RecoveryTmr = nullptr;
    QSplitter* Splitter = nullptr;
    QMenu* RecentFilesMenu = nullptr;
    QMenu* TestsMenu = nullptr;
    // The window's dialogs and helpers.
    TExportForm* ExportForm = nullptr;
    TSettingsForm* SettingsForm = nullptr;
    TSampleCutForm* SampleCutForm = nullptr;
    TAboutBox* AboutBox = nullptr;
    TFormTrace* FormTrace = nullptr;
    TRecentFiles* RecentFilesMan = nullptr;

  protected:
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void changeEvent(QEvent* Event) override;

  private:
    // Each builds its part of the window; the menu lives in MainMenu.cpp.
    void BuildMenu();
    void FillMidiMenu();
    QWidget* BuildHeader();
    QWidget* BuildPages();
    void BuildBrowser();
    void BuildLiveNotes();
    void BuildDialogs();
    void AskUser();
    // Wiring of the document's and the transport's signals to the views.
    void ConnectDocument();
    void ConnectTransport();
    void SongReplaced();
    void InstrumentChanged(int Instrument);
    void UpdateCaption();
    void PageShown(int Page);
    void FollowInstrument(int Instrument);
    void RunStartSwitches();
    // After the first paint: the sound device, MIDI ports and the browser's folder.
    void StartDevices();
    void RunTestsFileOpen();
    void Shutdown();

    cApp& Tolm;
    std::unique_ptr<TSongDocument> Doc;
    std::unique_ptr<TAudioSession> AudioOut;
    TTransport* Player = nullptr;
    TWindowKeys* Keys = nullptr;
    bool Activated = false;
    bool ShutDown = false;
    bool KeepRecovery = false;
    std::string InsFolder;
};
