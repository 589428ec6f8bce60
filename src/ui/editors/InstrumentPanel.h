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

    // Label texts, exactly as shown.
    static std::string VolumeText(float Volume);
    static std::string SpeedText(float Stretch);
    static std::string PitchText(float Pitch);
    static std::string InfoText(double Seconds, float Stretch);

    // A value of the instrument changed by a slider or the box (the song is modified).
    std::function<void(TInstrumentPanel* Sender)> OnChange;
    std::function<void(TInstrumentPanel* Sender, const std::string& Text)> OnLog;

private:
    cInstrument* Active() const;
    void UpdateLabels();
    void Changed();

    cApp& App;
    bool Showing = false; // ActInsChange is setting the box
};
