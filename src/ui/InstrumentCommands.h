#pragma once
// The window's instrument commands: filling slots (dialog, browser, drops, the sample cut editor),
// clearing them, stepping through them, fitting one to rows, hot keys and the external editor.
// The list's cursor row is the slot they work on.
#include <QKeySequence>

#include <functional>
#include <string>
#include <vector>

class QWidget;
class TInstrumentList;
class TInstrumentPanel;
class TNortonPanel;
class TPercussionMenu;
class TRowsFitDialog;
class TSampleCutForm;
class TSongDocument;
class Tdialog_Key;
class cApp;

class TInstrumentCommands {
  public:
    // The views the commands work with; Window places the dialogs.
    struct TViews {
        TInstrumentList* List;
        TInstrumentPanel* Panel;
        TNortonPanel* Browser;
        TSampleCutForm* CutForm;
        TPercussionMenu* Percussion;
        QWidget* Window;
    };
    TInstrumentCommands(TSongDocument& Document, cApp& Selection, TViews Views);

    // What would block on a modal dialog goes through these, so tests can answer for the user:
    // a sound file, a hot key, a row count for "adjust length" (empty / false: cancelled).
    std::function<std::string()> AskInstrumentFile;
    std::function<bool(QKeySequence& Key)> AskHotKey;
    std::function<bool(double& Rows)> AskFitRows;

    // Connects the list's menu, the panel's buttons and the browser to the commands.
    void Connect();

    void AssignByDialog();
    void AssignFiles(int Row, const std::vector<std::string>& Files);
    void Play();
    void Clear();
    void Next();
    void Prev();
    void AdjustLength();
    void AssignToKey();
    void EditExternally();
    // The sample cut editor, placed across the middle of the window; a saved cut becomes the
    // active instrument's sound.
    void CutSample(bool ClearResult = true);
    // The browser's selected file into the list's cursor row.
    void AssignFromBrowser();
    // The sample cut editor on the browser's selected file.
    void CutBrowserSample();
    // The instrument became the active one: the list, the panel and the waveform follow.
    void ActInsChange();

    TRowsFitDialog* RowsFitDialog = nullptr;
    Tdialog_Key* KeyDialog = nullptr;

    // Requests to the window: stop playing (the cut editor plays on its own), open a module
    // dropped on the list, and whether start-up is over (the browser's first cursor is no choice).
    std::function<void()> StopRequested;
    std::function<void(const std::string& Path)> OpenModuleRequested;
    std::function<bool()> Ready;

  private:
    TSongDocument& Document;
    cApp& Selection;
    TViews Views;
};
