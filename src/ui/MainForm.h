#pragma once
// The main window: where the editors meet. It owns the song, its live engine and the speakers,
// the menu, the pages, the transport, the timers and the project commands; the editors themselves
// live in their own classes.
#include "app/LiveOutput.h"
#include "audio/mixer/LiveMixer.h"
#include "song/EffectSettings.h"

#include <QKeySequence>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QTimer;
class TAboutBox;
class TEffectsPanel;
class TInstrumentList;
class TPercussionMenu;
class TLiveNotes;
class TNortonPanel;
class QLineEdit;
class TPianoKeys;
class TInstrumentPanel;
class TInstrumentCommands;
class TOrderEditor;
class TPatternEditor;
class TSongUndo;
class TExportForm;
class TFormTrace;
class TLog;
class TRecentFiles;
class TSampleCutForm;
class TSettingsForm;
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

    enum TPage { OrderPage = 0, PatternPage = 1, InstrumentPage = 2, OutputPage = 3 };
    enum class TSaveAnswer { Save, Discard, Cancel };

    // What would block on a modal dialog goes through these, so tests can answer for the user.
    // An empty file name means the user cancelled.
    std::function<std::string()> AskOpenFileName;
    std::function<std::string()> AskSaveFileName;
    std::function<TSaveAnswer(const std::string& SongName)> AskSaveChanges;
    std::function<bool(const std::string& Info)> AskOpenRecovery;
    std::function<void(const std::string& Text)> ShowMessage;
    // Start-up after the window is first shown: audio, the module named on the command line and
    // the start-up switches. Runs once.
    void FirstActivation();
    void InitAudio();

    // Project commands. Those that replace the song ask first about unsaved changes; each returns
    // false when the user cancelled or it failed (the failure is in the log).
    bool New();
    bool Open();
    bool OpenFile(const std::string& Path);
    // A note was written or an instrument changed: its notes are prepared once the edits pause.
    void NotesChanged();
    bool Save();
    bool SaveAs();
    bool SaveWithInstruments();
    void ExportSong();
    void AudioSettings();
    // Unsaved changes: asks to save them; false when the user cancelled.
    bool MaybeSave();
    // Closes without asking (the session is ending): unsaved changes stay in the recovery file.
    void Terminate();

    // Transport.
    void Play();
    void Stop();
    void Record();
    void TogglePlay();
    void SetBPMFromSpin(int Value);

    void ShowPage(TPage Page);
    TPage CurrentPage() const;
    void UpdateCaption();
    // The 10 ms position timer's work.
    void PositionUpdate();
    // The Output page's list of sounding voices.
    void UpdateMusicEvents();
    // The Instrument page's waveform marker at the instrument's sounding voice.
    void ShowInstrumentVoice();
    // The autosave timer's work: titled songs are saved, untitled ones go to the recovery file.
    void Autosave();
    // The recovery timer's work: unsaved changes go to the recovery file.
    void WriteRecovery();

    // Load problems of the song and its instruments into the log.
    void ReportLoadProblems();
    bool IsActivated() const { return Activated; }
    // Writes a line into the application log.
    void Log(const std::string& Text);

    cSequencer& Song() { return *Seq; }
    brindle::SongEngine& Engine() { return *SongEngine; }
    TLiveOutput& Output() { return Live; }
    cApp& App() { return Tolm; }
    // The master effects panel's values (stored song values x 1000, rounded, x 0.001).
    const TEffectSettings& GetPanelEffects() const { return PanelEffects; }
    void SetPanelEffects(const TEffectSettings& Value);
    bool GetRecording() const { return Recording; }
    int GetRecordStartRow() const { return RecordStartRow; }
    // The pattern grid's cursor row (grid rows: 1 is the song's row 0) and the order list's row.
    int GetGridRow() const;
    void SetGridRow(int Row);
    int GetOrderRow() const;
    void SetOrderRow(int Row);
    const std::string& GetInsFolder() const { return InsFolder; }
    void SetInsFolder(const std::string& Folder) { InsFolder = Folder; }

    // Controls, named as the window names them.
    TLog* ApLog = nullptr;
    QTabWidget* pag = nullptr;
    QPushButton* PlayButton = nullptr;
    QPushButton* StopButton = nullptr;
    QPushButton* RecordBtn = nullptr;
    QSpinBox* BPMSpin = nullptr;
    QPlainTextEdit* MusicEventsMemo = nullptr;
    QLabel* AudioStats = nullptr;
    TEffectsPanel* EffectsPanel = nullptr;
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
    // The editors' undo history.
    TSongUndo* Undo = nullptr;
    QAction* UndoAction = nullptr;
    QAction* RedoAction = nullptr;
    QTimer* PositionUpdateTimer = nullptr;
    QTimer* ASTmr = nullptr;
    QTimer* RecoveryTmr = nullptr;
    QTimer* NotesTimer = nullptr; // prepares new notes once edits pause
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

  signals:
    // A module was opened (the recent-files list listens).
    void FileOpened(const QString& Path);

  protected:
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    // Installed on the application: the window's key preview (notes), and Space kept as the play
    // key in the tempo field and the logs but as "Assign Instrument" in the browser.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

  private:
    void BuildMenu();
    QWidget* BuildHeader();
    QWidget* BuildPages();
    void AfterLoad();
    void CollectEffects();
    void ApplyPanelEffects();
    void BuildUndo();
    void PageShown(int Page);
    void FollowInstrument(int Instrument);
    void BuildLiveNotes();
    void BuildBrowser();
    bool LoadBrowserSample(const std::string& File);
    // The window's key preview: Escape under "ide", then the note keys.
    bool PreviewKey(QKeyEvent* Event);
    void FillMidiMenu();
    bool LoadModule(const std::string& Path);
    bool SaveTo(const std::string& Path);
    void Shutdown();
    void OfferRecovery();
    void RunTestsFileOpen();

    cApp& Tolm;
    std::unique_ptr<cSequencer> Seq;
    std::unique_ptr<brindle::SongEngine> SongEngine;
    TLiveOutput Live;
    TEffectSettings PanelEffects;
    bool Activated = false;
    bool ShutDown = false;
    bool KeepRecovery = false;
    bool Recording = false;
    int RecordStartRow = 1;
    int LastRow = -1;
    std::string LastEvents;
    std::vector<TLiveMixer::TVoiceInfo> VoiceScratch;
    int StatsTick = 0;
    std::string InsFolder;
};
