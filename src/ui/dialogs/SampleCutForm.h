#pragma once
// The sample cut editor ("Sample"): open a recording, select a range on its waveform (zone 0 with
// its ">" and "<" markers follows the selection and the selection follows the zone), listen to it,
// and save the range as a file of its own; the caller assigns the result to an instrument.
#include <QDialog>

#include <functional>
#include <string>

class QPushButton;
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
    // The file the caller is to assign; set by a successful save.
    std::string ResultPath;

    // What would block on a dialog goes through these, so tests can answer. Empty: cancelled.
    std::function<std::string()> AskOpenFileName;
    std::function<std::string()> AskSaveFileName;
    std::function<void(const std::string& Text)> ShowMessage;

    void Open();
    // Opens Path in the view (the caption shows its name); false with the reason shown when it fails.
    bool OpenFile(const std::string& Path);
    void SaveToInstrument();
    void PlayStop();
    cZone& Zone() const;

protected:
    void showEvent(QShowEvent* Event) override;
    void done(int Result) override;

private:
    void ZoneToSelection();
    void SelectionToZone();
    void SelectionEnded();
    void MouseClicked();
    bool Following = false; // the selection is being set from the zone
};
