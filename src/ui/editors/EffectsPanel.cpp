#include "ui/editors/EffectsPanel.h"

#include "app/MasterEffects.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cstdio>

namespace {

const char* const EqNames[3] = {"60Hz", "8kHz", "16kHz"};

std::string format(const char* Format, double Value) {
    char text[64];
    std::snprintf(text, sizeof text, Format, Value);
    return text;
}

QScrollBar* bar(Qt::Orientation Orientation, int Min, int Max, int Start) {
    auto* b = new QScrollBar(Orientation);
    b->setRange(Min, Max);
    b->setSingleStep(10);
    b->setPageStep(Orientation == Qt::Vertical ? 1000 : (Max - Min) / 10);
    b->setValue(Start);
    // Reachable with Tab and moved with the arrow keys, for work without the mouse.
    b->setFocusPolicy(Qt::StrongFocus);
    if (Orientation == Qt::Horizontal) b->setMinimumWidth(220);
    else b->setMinimumHeight(120);
    return b;
}

// Two-line captions are stored with "\r\n"; a label shows a plain line break.
QString shown(const std::string& Caption) { return QString::fromStdString(Caption).replace("\r\n", "\n"); }

} // namespace

std::string TEffectsPanel::EqCaption(const char* Name, int Position) {
    const float gain = float(-Position * 0.001);
    return gain == 0.0f ? Name : format((std::string(Name) + "\r\n(%.1f)").c_str(), gain);
}
std::string TEffectsPanel::LevelCaption(int Position) { return format("Level (%.2f)", float(Position * 0.001)); }
std::string TEffectsPanel::DelayCaption(int Position) { return format("Delay (%.2f s)", Position * 0.001); }
std::string TEffectsPanel::ThresholdCaption(int Position) { return format("Threshold (%.2f)", float(Position * 0.001)); }
std::string TEffectsPanel::AttackCaption(int Position) { return format("Attack Time (%.2f)", Position * 0.001); }
std::string TEffectsPanel::ReleaseCaption(int Position) { return format("Release Time (%.2f)", Position * 0.001); }

TEffectsPanel::TEffectsPanel(QWidget* Parent) : QWidget(Parent) {
    auto* row = new QHBoxLayout(this);

    auto* comp = new QGroupBox("Compressor");
    auto* compGrid = new QGridLayout(comp);
    CompressorCheck = new QCheckBox("Compressor");
    CompressorCheck->setChecked(true);
    CompressorThreshold = bar(Qt::Horizontal, 0, 1000, 500);
    CompressorAttack = bar(Qt::Horizontal, 0, 1000, 1000);
    CompressorRelease = bar(Qt::Horizontal, 0, 5000, 1000);
    CompressorThresholdCap = new QLabel("Threshold");
    AttackTimeCap = new QLabel("Attack Time");
    ReleastTimeCap = new QLabel("Release Time");
    CompDef = new QPushButton("Default");
    compGrid->addWidget(CompressorCheck, 0, 0, 1, 2);
    compGrid->addWidget(CompressorThresholdCap, 1, 0);
    compGrid->addWidget(CompressorThreshold, 1, 1);
    compGrid->addWidget(AttackTimeCap, 2, 0);
    compGrid->addWidget(CompressorAttack, 2, 1);
    compGrid->addWidget(ReleastTimeCap, 3, 0);
    compGrid->addWidget(CompressorRelease, 3, 1);
    compGrid->addWidget(CompDef, 4, 1, Qt::AlignRight);
    row->addWidget(comp);

    auto* rev = new QGroupBox("Reverb");
    auto* revGrid = new QGridLayout(rev);
    ReverbCheck = new QCheckBox("Reverb");
    ReverbLevel = bar(Qt::Horizontal, 0, 1000, 100);
    ReverbDelay = bar(Qt::Horizontal, 1200, 10000, 3200);
    ReverbLevelCap = new QLabel("Level");
    ReverbDelayCap = new QLabel("Delay");
    RevDef = new QPushButton("Default");
    revGrid->addWidget(ReverbCheck, 0, 0, 1, 2);
    revGrid->addWidget(ReverbLevelCap, 1, 0);
    revGrid->addWidget(ReverbLevel, 1, 1);
    revGrid->addWidget(ReverbDelayCap, 2, 0);
    revGrid->addWidget(ReverbDelay, 2, 1);
    revGrid->addWidget(RevDef, 4, 1, Qt::AlignRight);
    revGrid->setRowStretch(3, 1);
    row->addWidget(rev);

    auto* eq = new QGroupBox("Equalizer");
    auto* eqGrid = new QGridLayout(eq);
    EqCheck = new QCheckBox("Equalizer");
    eqGrid->addWidget(EqCheck, 0, 0, 1, 3);
    for (int b = 0; b < 3; ++b) {
        // Vertical: the lowest position is at the top, and the top is the most gain.
        Eq[b] = bar(Qt::Vertical, -12000, 12000, 0);
        EqCap[b] = new QLabel(EqNames[b]);
        EqCap[b]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        EqCap[b]->setMinimumHeight(EqCap[b]->fontMetrics().height() * 2 + 2);
        eqGrid->addWidget(Eq[b], 1, b, Qt::AlignHCenter);
        eqGrid->addWidget(EqCap[b], 2, b);
    }
    EqDef = new QPushButton("Default");
    eqGrid->addWidget(EqDef, 3, 0, 1, 3, Qt::AlignRight);
    row->addWidget(eq);
    row->addStretch(1);

    for (QScrollBar* b : {CompressorThreshold, CompressorAttack, CompressorRelease, ReverbLevel, ReverbDelay, Eq[0],
                          Eq[1], Eq[2]})
        connect(b, &QScrollBar::valueChanged, this, [this] { Changed(false); });
    for (QCheckBox* c : {CompressorCheck, ReverbCheck, EqCheck})
        connect(c, &QCheckBox::toggled, this, [this] { Changed(true); });
    // A focused box or button takes Space as any box does; elsewhere Space stays the play key.
    for (QWidget* w : std::initializer_list<QWidget*>{CompressorCheck, ReverbCheck, EqCheck, CompDef, RevDef, EqDef})
        w->installEventFilter(this);
    // A focused bar moves with the arrow and page keys, the thumb going the way of the arrow.
    for (QScrollBar* b : {CompressorThreshold, CompressorAttack, CompressorRelease, ReverbLevel, ReverbDelay, Eq[0],
                          Eq[1], Eq[2]})
        b->installEventFilter(this);
    // The Default buttons only set positions; the change handlers carry them on.
    connect(CompDef, &QPushButton::clicked, this, [this] {
        CompressorThreshold->setValue(500);
        CompressorAttack->setValue(1000);
        CompressorRelease->setValue(1000);
    });
    connect(RevDef, &QPushButton::clicked, this, [this] {
        ReverbLevel->setValue(100);
        ReverbDelay->setValue(3200);
    });
    connect(EqDef, &QPushButton::clicked, this, [this] {
        for (QScrollBar* b : Eq) b->setValue(0);
    });
    UpdateCaptions();
}

bool TEffectsPanel::eventFilter(QObject* Watched, QEvent* Event) {
    if (auto* bar = qobject_cast<QScrollBar*>(Watched); bar && Event->type() == QEvent::KeyPress) {
        using A = QAbstractSlider::SliderAction;
        A action = A::SliderNoAction;
        switch (static_cast<QKeyEvent*>(Event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up: action = A::SliderSingleStepSub; break;
        case Qt::Key_Right:
        case Qt::Key_Down: action = A::SliderSingleStepAdd; break;
        case Qt::Key_PageUp: action = A::SliderPageStepSub; break;
        case Qt::Key_PageDown: action = A::SliderPageStepAdd; break;
        default: break;
        }
        if (action != A::SliderNoAction) {
            bar->triggerAction(action);
            return true;
        }
    }
    if (Event->type() == QEvent::ShortcutOverride && !qobject_cast<QScrollBar*>(Watched)) {
        const auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            Event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

TEffectSettings TEffectsPanel::Settings() const {
    TEffectSettings s;
    s.CompressorEnabled = CompressorCheck->isChecked();
    s.CompressorThres = float(CompressorThreshold->value() * 0.001);
    s.CompressorAttack = float(CompressorAttack->value() * 0.001);
    s.CompressorRelease = float(CompressorRelease->value() * 0.001);
    s.ReverbEnabled = ReverbCheck->isChecked();
    s.ReverbLevel = float(ReverbLevel->value() * 0.001);
    s.ReverbDelay = float(ReverbDelay->value() * 0.001);
    s.EqEnabled = EqCheck->isChecked();
    for (int b = 0; b < 3; ++b) s.Eq[b] = float(Eq[b]->value() * 0.001);
    return s;
}

void TEffectsPanel::SetSettings(const TEffectSettings& Value) {
    Setting = true;
    CompressorCheck->setChecked(Value.CompressorEnabled);
    CompressorThreshold->setValue(TMasterEffects::Position(Value.CompressorThres));
    CompressorAttack->setValue(TMasterEffects::Position(Value.CompressorAttack));
    CompressorRelease->setValue(TMasterEffects::Position(Value.CompressorRelease));
    ReverbCheck->setChecked(Value.ReverbEnabled);
    ReverbLevel->setValue(TMasterEffects::Position(Value.ReverbLevel));
    ReverbDelay->setValue(TMasterEffects::Position(Value.ReverbDelay));
    EqCheck->setChecked(Value.EqEnabled);
    for (int b = 0; b < 3; ++b) Eq[b]->setValue(TMasterEffects::Position(Value.Eq[b]));
    Setting = false;
    UpdateCaptions();
}

void TEffectsPanel::UpdateCaptions() {
    CompressorThresholdCap->setText(shown(ThresholdCaption(CompressorThreshold->value())));
    AttackTimeCap->setText(shown(AttackCaption(CompressorAttack->value())));
    ReleastTimeCap->setText(shown(ReleaseCaption(CompressorRelease->value())));
    ReverbLevelCap->setText(shown(LevelCaption(ReverbLevel->value())));
    ReverbDelayCap->setText(shown(DelayCaption(ReverbDelay->value())));
    for (int b = 0; b < 3; ++b) EqCap[b]->setText(shown(EqCaption(EqNames[b], Eq[b]->value())));
}

void TEffectsPanel::Changed(bool EnabledChanged) {
    if (Setting) return;
    UpdateCaptions();
    if (OnChange) OnChange(this, Settings(), EnabledChanged);
}
