#include "ui/editors/InstrumentPanel.h"

#include "audio/mixer/LiveMixer.h"

#include "app/App.h"
#include "song/Sequencer.h"
#include "ui/views/AudioView.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>

namespace {

std::string format(const char* Format, double Value) {
    char text[64];
    std::snprintf(text, sizeof text, Format, Value);
    return text;
}

QScrollBar* slider(int Min, int Max) {
    auto* bar = new QScrollBar(Qt::Horizontal);
    bar->setRange(Min, Max);
    bar->setSingleStep(10);
    bar->setFocusPolicy(Qt::StrongFocus);
    bar->setMinimumWidth(240);
    return bar;
}

// The nearest position to a value, held at the bar's ends.
int positionOf(double Value, const QScrollBar* Bar) {
    const double p = std::isfinite(Value) ? std::round(Value) : 0.0;
    return int(std::clamp(p, double(Bar->minimum()), double(Bar->maximum())));
}

} // namespace

void TClickLabel::mousePressEvent(QMouseEvent* Event) {
    QLabel::mousePressEvent(Event);
    if (OnClick) OnClick();
}

TInstrumentPanel::TInstrumentPanel(cApp& App, QWidget* Parent) : QWidget(Parent), App(App) {
    setObjectName("InsPag");
    InsFileName = new QLineEdit;
    InsFileName->setObjectName("InsFileName");
    InsFileName->setReadOnly(true);
    VolumeScroll = slider(0, 2000);
    StretchScroll = slider(50, 5000);
    PitchScroll = slider(-12000, 12000);
    PitchScroll->setPageStep(100);
    VolumeCap = new TClickLabel("Volume:");
    StretchCap = new TClickLabel("Length:");
    PitchCap = new TClickLabel("Transpose:");
    VolumeLbl = new QLabel;
    SpeedLbl = new QLabel;
    TranspLbl = new QLabel;
    Label10 = new QLabel;
    StopPrevCb = new QCheckBox("stop previous note ");
    PlayBtn = new QPushButton(">  PLAY");
    SetSampleBtn = new QPushButton("SET SAMPLE");
    BrowseBtn = new QPushButton("...");
    CutSampleBtn = new QPushButton("CUT SAMPLE");
    EditBtn = new QPushButton("EDIT");
    for (QPushButton* b : {PlayBtn, SetSampleBtn, BrowseBtn, CutSampleBtn, EditBtn}) b->setFocusPolicy(Qt::NoFocus);
    InsView = new TAudioView;
    InsView->setObjectName("InsView");
    InsView->setMinimumHeight(90);

    auto* file = new QHBoxLayout;
    file->addWidget(InsFileName, 1);
    file->addWidget(BrowseBtn);
    auto* sliders = new QGridLayout;
    int row = 0;
    for (auto [cap, bar, label] : {std::tuple{VolumeCap, VolumeScroll, VolumeLbl}, std::tuple{StretchCap, StretchScroll, SpeedLbl},
                                   std::tuple{PitchCap, PitchScroll, TranspLbl}}) {
        cap->setCursor(Qt::PointingHandCursor);
        sliders->addWidget(cap, row, 0);
        sliders->addWidget(bar, row, 1);
        sliders->addWidget(label, row, 2);
        ++row;
    }
    sliders->addWidget(Label10, row, 1);
    sliders->addWidget(StopPrevCb, row + 1, 1);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {PlayBtn, SetSampleBtn, CutSampleBtn, EditBtn}) buttons->addWidget(b);
    buttons->addStretch(1);
    auto* upper = new QHBoxLayout;
    upper->addLayout(sliders, 1);
    upper->addLayout(buttons);
    LowerArea = new QVBoxLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(file);
    layout->addLayout(upper);
    layout->addWidget(InsView, 1);
    layout->addLayout(LowerArea);

    // A moved slider asks for its value in the active instrument (one step of the history).
    auto moved = [this](QScrollBar* Bar, TValue Which, auto Value) {
        connect(Bar, &QScrollBar::valueChanged, this, [this, Which, Value](int Position) {
            Changed(Which, float(Value(Position)));
            UpdateLabels();
        });
    };
    moved(VolumeScroll, TValue::Volume, [](int P) { return P * 0.001; });
    moved(StretchScroll, TValue::Stretch, [](int P) { return 1.0 / (P * 0.001); });
    moved(PitchScroll, TValue::Pitch, [](int P) { return P * 0.001; });
    VolumeCap->OnClick = [this] { VolumeScroll->setValue(1000); };
    StretchCap->OnClick = [this] { StretchScroll->setValue(1000); };
    PitchCap->OnClick = [this] { PitchScroll->setValue(0); };
    connect(StopPrevCb, &QCheckBox::toggled, this, [this](bool On) {
        if (Showing || !Active()) return;
        Changed(TValue::StopPrev, On ? 1.0f : 0.0f);
    });
    connect(PlayBtn, &QPushButton::clicked, this, [this] {
        if (this->App.seq) this->App.seq->PreviewInstrument(this->App.GetActiveInstrument());
    });
}

cInstrument* TInstrumentPanel::Active() const { return App.seq ? &App.seq->InstrumentAt(App.GetActiveInstrument()) : nullptr; }

// ---- labels ----

std::string TInstrumentPanel::VolumeText(float Volume) { return format("x%.2f", Volume); }

std::string TInstrumentPanel::SpeedText(float Stretch) { return format("x%.2f", 1.0 / Stretch); }

std::string TInstrumentPanel::PitchText(float Pitch) { return format(Pitch > 0 ? "+%.2f" : "%.2f", Pitch); }

std::string TInstrumentPanel::InfoText(double Seconds, float Stretch) {
    char text[80];
    std::snprintf(text, sizeof text, "%.2f s ~ %.2f s", Seconds, Seconds / Stretch);
    return text;
}

void TInstrumentPanel::UpdateLabels() {
    const cInstrument* ins = Active();
    if (!ins) return;
    VolumeLbl->setText(QString::fromStdString(VolumeText(ins->LoadVolume())));
    SpeedLbl->setText(QString::fromStdString(SpeedText(ins->LoadStretch())));
    TranspLbl->setText(QString::fromStdString(PitchText(ins->LoadPitch())));
    const double seconds = std::max(InsView->LenSec(), 0.0);
    Label10->setText(QString::fromStdString(InfoText(seconds, ins->LoadStretch())));
}

// ---- sliders ----

void TInstrumentPanel::Changed(TValue Which, float Value) {
    if (!Active() || !OnValue) return;
    Editing = true;
    OnValue(this, Which, Value);
    Editing = false;
}

void TInstrumentPanel::ActInsChange() {
    cInstrument* ins = Active();
    if (!ins) return;
    Showing = true;
    const std::string file = ins->GetFileName();
    InsFileName->setText(QString::fromStdString(file));
    try {
        InsView->SetFileName(file);
    } catch (const std::exception& e) {
        if (OnLog) OnLog(this, e.what());
    }
    // A slider shows the value's position (its end for a value beyond it); selecting an
    // instrument never writes its values back, so a song renders the same in the window and
    // on the command line. Only moving a slider changes a value.
    auto show = [](QScrollBar* Bar, double Value) {
        const QSignalBlocker quiet(Bar);
        Bar->setValue(positionOf(Value, Bar));
    };
    show(VolumeScroll, double(ins->LoadVolume()) * 1000);
    show(StretchScroll, 1000.0 / double(ins->LoadStretch()));
    show(PitchScroll, double(ins->LoadPitch()) * 1000);
    StopPrevCb->setChecked(ins->StopPrev);
    UpdateLabels();
    InsView->Redraw();
    Showing = false;
}

void TInstrumentPanel::ShowVoice(const TLiveMixer& Mixer) {
    static thread_local std::vector<TLiveMixer::TVoiceInfo> voices;
    InsView->ExternalPlayPosition = true;
    double pos = -1.0;
    const cInstrument* ins = Active();
    const std::string file = ins ? ins->GetFileName() : std::string();
    if (!file.empty() && InsView->LenSec() > 0) {
        Mixer.GetVoices(voices);
        for (const auto& voice : voices)
            if (voice.FileName == file) pos = voice.FilePos / InsView->LenSec();
    }
    InsView->PlayMarker()->MarkerPos = pos;
}
