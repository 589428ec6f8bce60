#include "ui/views/StatusLine.h"

#include "app/SongPosition.h"
#include "audio/mixer/LiveMixer.h"
#include "audio/output/Device.h"

#include <QLabel>

#include <cmath>

TStatusLine::TStatusLine(QWidget* Parent) : QStatusBar(Parent) {
    setObjectName("StatusLine");
    Recording = new QLabel;
    Recording->setObjectName("StatusRecording");
    Recording->setStyleSheet("QLabel { background: #d01818; color: white; font-weight: bold; padding: 0 6px; }");
    Recording->setText("\u25cf REC");
    Recording->hide();
    Position = new QLabel("Stopped");
    Position->setObjectName("StatusPosition");
    Voices = new QLabel;
    Voices->setObjectName("StatusVoices");
    Load = new QLabel;
    Load->setObjectName("StatusLoad");
    // Fixed sizes: a label whose size may change lays the whole bar out again on every new
    // text, ten times a second while a song plays.
    fixToWidest(Position, "Order 100/100 \u00b7 Pattern 100 \u00b7 Row 500/500 \u00b7 99:59.9 / 99:59.9");
    fixToWidest(Voices, "9999 voices");
    fixToWidest(Load, "Load 100 %");
    addWidget(Recording);
    addWidget(Position, 1);
    addPermanentWidget(Voices);
    addPermanentWidget(Load);
}

void TStatusLine::fixToWidest(QLabel* Label, const QString& Widest) {
    Label->setFixedSize(Label->fontMetrics().horizontalAdvance(Widest) + 2 * Label->margin() + 8,
                        Label->sizeHint().height());
}

void TStatusLine::Update(const cSequencer& Song, const TLiveMixer& Mixer, const TDevice& Output, bool IsRecording) {
    const auto where = brindle::WhereIs(Song, double(Mixer.GetTimePos()));
    const QString position = where.Playing ? QString::fromStdString(brindle::PositionText(where)) : "Stopped";
    if (Position->text() != position) Position->setText(position);
    const int voices = Mixer.VoiceCount();
    Voices->setText(voices == 1 ? "1 voice" : QString::number(voices) + " voices");
    if (const auto* stats = Output.GetStats())
        Load->setText("Load " + QString::number(int(std::lround(stats->TakePeakLoad() * 100))) + " %");
    Recording->setVisible(IsRecording);
}
