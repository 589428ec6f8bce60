#pragma once
// The "Instrument" page: the selected instrument's file, its volume, length and transposition
// sliders with their labels (a caption click resets its slider), the "stop previous note " box,
// the play/set/cut/edit buttons and the waveform of its file. Values a module holds outside a
// slider's range are shown as they are; values change only when their slider is moved.
#include <QLabel>
#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QVBoxLayout;
class TAudioView;
class TLiveMixer;
class cApp;
struct cInstrument;

// A caption that reports clicks.
class TClickLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;
    std::function<void()> OnClick;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
};

class TInstrumentPanel : public QWidget {
    Q_OBJECT

public:
    explicit TInstrumentPanel(cApp& App, QWidget* Parent = nullptr);

    QLineEdit* InsFileName;
    QScrollBar* VolumeScroll;
    QScrollBar* StretchScroll;
    QScrollBar* PitchScroll;
    TClickLabel* VolumeCap;
    TClickLabel* StretchCap;
    TClickLabel* PitchCap;
    QLabel* VolumeLbl;
    QLabel* SpeedLbl;
    QLabel* TranspLbl;
    QLabel* Label10;
    QCheckBox* StopPrevCb;
    QPushButton* PlayBtn;
    QPushButton* SetSampleBtn;
    QPushButton* BrowseBtn;
    QPushButton* CutSampleBtn;
    QPushButton* EditBtn;
    TAudioView* InsView;
    // Where the page's piano and file browser go.
    QVBoxLayout* LowerArea;

    // Shows the active instrument: its file, slider positions, labels, box and waveform.
    void ActInsChange();
    // The waveform's marker follows the newest voice of the active instrument's file in Mixer.
    void ShowVoice(const TLiveMixer& Mixer);

    // Label texts, exactly as shown.
    static std::string VolumeText(float Volume);
    static std::string SpeedText(float Stretch);
    static std::string PitchText(float Pitch);
    static std::string InfoText(double Seconds, float Stretch);

    enum class TValue { Volume, Stretch, Pitch, StopPrev };
    // A slider or the box asks for a new value of the active instrument.
    std::function<void(TInstrumentPanel* Sender, TValue Which, float Value)> OnValue;
    // True while OnValue runs: the change the song reports back is the panel's own.
    bool IsEditing() const { return Editing; }
    std::function<void(TInstrumentPanel* Sender, const std::string& Text)> OnLog;

private:
    cInstrument* Active() const;
    void UpdateLabels();
    void Changed(TValue Which, float Value);

    cApp& App;
    bool Showing = false; // ActInsChange is setting the box
    bool Editing = false;
};
