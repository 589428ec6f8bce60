#pragma once
// The sample cut editor ("Sample"): open a recording, select a range on its waveform (zone 0 with
// its ">" and "<" markers follows the selection and the selection follows the zone), listen to it,
// edit it, and save the range (or the whole edited sample) as a file of its own; the caller assigns
// the result to an instrument.
//
// Edits act on the selection, or on the whole sample when nothing is selected. They work on a
// float copy of the file held in memory (the view draws and plays that copy) and reach a file only
// when saved; the source is replaced only when the user saves under its own name and confirms.
#include "audio/soundlib/SampleFileWriter.h"
#include "audio/waveform/SampleEdit.h"

#include <QDialog>

#include <functional>
#include <future>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QPushButton;
class QToolButton;
class QScrollBar;
class TAudioView;
struct cZone;

class TSampleCutForm : public QDialog {
    Q_OBJECT

public:
    explicit TSampleCutForm(QWidget* Parent = nullptr);
    ~TSampleCutForm() override;

    TAudioView* AudioView;
    QScrollBar* ScrollBar1;
    QPushButton *PlayBtn, *StopBtn, *LoopBtn, *InBtn, *OutBtn, *FullBtn, *SaveBtn, *CancelBtn;
    // Tool buttons: the row of edits is long, and they need no more room than their captions.
    QToolButton *NormalizeBtn, *GainBtn, *FadeInBtn, *FadeOutBtn, *ReverseBtn, *SilenceBtn, *CropBtn, *DeleteBtn,
        *UndoBtn, *RedoBtn;
    QComboBox* FadeShapeBox; // "Linear", "Equal power"
    QCheckBox* SnapBox;      // "Snap to zero crossings"
    QAction *UndoAct, *RedoAct, *SnapAct;
    // The file the caller is to assign; set by a successful save.
    std::string ResultPath;

    // What would block on a dialog goes through these, so tests can answer. Empty: cancelled.
    std::function<std::string()> AskOpenFileName;
    std::function<std::string()> AskSaveFileName;
    std::function<void(const std::string& Text)> ShowMessage;
    // A level or gain in dB; nullopt: cancelled.
    std::function<std::optional<double>(const std::string& Title, double Value, double Min, double Max)> AskDecibels;
    // Opening another file drops unsaved edits only when this says yes.
    std::function<bool(const std::string& Path)> AskDiscardEdits;
    // Saving under the source's own name replaces it only when this says yes.
    std::function<bool(const std::string& Path)> ConfirmReplaceSource;

    void Open();
    // Opens Path in the view (the caption shows its name); false with the reason shown when it
    // fails, or when the user keeps unsaved edits rather than drop them.
    bool OpenFile(const std::string& Path);
    void SaveToInstrument();
    void PlayStop();
    cZone& Zone() const;

    // The edits, as the menu and buttons run them.
    void Normalize(std::optional<double> Db); // nullopt: ask for the level
    void Gain();
    void Fade(bool In);
    void Reverse();
    void Silence();
    void Crop();
    void DeleteSelection();
    void Undo();
    void Redo();
    void SelectAll();
    // The sound being edited, loaded from the view's file when needed; null when it can't be read.
    const brindle::waveform::TSampleBuffer* Sound();
    const brindle::waveform::TSampleEditor& Editor() const { return Edits; }
    // Frames the selection covers in the edited sound (Count 0: nothing selected).
    brindle::waveform::TFrameRange SelectionFrames();

protected:
    void showEvent(QShowEvent* Event) override;
    void done(int Result) override;

private:
    bool MayDropEdits();
    bool LoadFile(const std::string& Path);
    void ZoneToSelection();
    void SelectionToZone();
    void SelectionEnded();
    void MouseClicked();
    void SnapSelection();
    void SelectFrames(brindle::waveform::TFrameRange Range);
    bool Apply(brindle::waveform::TEdit Edit);
    // After the sound changed: the view, the selection where the edit was, the caption, the buttons.
    void Changed(const brindle::waveform::TEdit& Edit, bool Undone);
    void UpdateActions();
    void UpdateCaption();
    bool EnsureSound();
    void StartLoading(const std::string& Path);
    void WriteTarget(const std::string& Target, brindle::waveform::TFrameRange Range);
    bool Following = false; // the selection is being set from the zone

    brindle::waveform::TSampleEditor Edits;
    std::string LoadedPath;  // the file Edits holds
    std::string LoadingPath; // the file being decoded into memory
    struct TLoaded {
        brindle::waveform::TSampleBuffer Sound;
        std::vector<float> Spare;
    };
    std::future<TLoaded> Loading;
    brindle::soundlib::TSampleFormat SourceFormat;
    double LastNormalizeDb = 0.0;
    double LastGainDb = 3.0;
};
