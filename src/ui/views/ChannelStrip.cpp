#include "ui/views/ChannelStrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Where the meter turns yellow (-18 dBFS) and red (-6 dBFS) on its 60 dB scale.
constexpr float YellowFrom = 1.0f - 18.0f / 60.0f;
constexpr float RedFrom = 1.0f - 6.0f / 60.0f;

QColor zoneColour(float Fraction, bool Bright) {
    if (Fraction >= RedFrom) return Bright ? QColor(235, 60, 45) : QColor(130, 45, 40);
    if (Fraction >= YellowFrom) return Bright ? QColor(235, 200, 50) : QColor(125, 110, 45);
    return Bright ? QColor(70, 200, 85) : QColor(45, 105, 55);
}

} // namespace

TLevelBar::TLevelBar(Qt::Orientation Orientation, QWidget* Parent) : QWidget(Parent), Orientation(Orientation) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize TLevelBar::sizeHint() const { return Orientation == Qt::Vertical ? QSize(14, 160) : QSize(80, 6); }
QSize TLevelBar::minimumSizeHint() const { return Orientation == Qt::Vertical ? QSize(8, 60) : QSize(20, 3); }

void TLevelBar::SetLevel(const TLevelFeed::TShown& Level) {
    const auto same = [](float A, float B) { return std::fabs(TLevelFeed::Fraction(A) - TLevelFeed::Fraction(B)) < 0.002f; };
    if (same(Level.Peak, Shown.Peak) && same(Level.Rms, Shown.Rms) && same(Level.Hold, Shown.Hold)) return;
    Shown = Level;
    update();
}

void TLevelBar::Paint(QPainter& Painter, const QRect& Rect, const TLevelFeed::TShown& Level,
                      Qt::Orientation Orientation, const QColor& Background) {
    Painter.fillRect(Rect, Background);
    const bool vertical = Orientation == Qt::Vertical;
    const int length = vertical ? Rect.height() : Rect.width();
    // The part of Rect from 0 to Fraction of the scale.
    const auto span = [&](float Fraction) {
        const int n = int(std::lround(Fraction * float(length)));
        return vertical ? QRect(Rect.left(), Rect.bottom() + 1 - n, Rect.width(), n)
                        : QRect(Rect.left(), Rect.top(), n, Rect.height());
    };
    // Each zone in its own colour: the peak dim, the RMS inside it bright.
    const auto bar = [&](float Fraction, bool Bright) {
        const float edges[] = {0.0f, YellowFrom, RedFrom, 1.0f};
        for (int z = 0; z < 3 && Fraction > edges[z]; ++z) {
            const QRect upTo = span(std::min(Fraction, edges[z + 1]));
            const QRect below = span(edges[z]);
            const QRect part = vertical ? QRect(upTo.left(), upTo.top(), upTo.width(), upTo.height() - below.height())
                                        : QRect(below.right() + 1, upTo.top(), upTo.width() - below.width(), upTo.height());
            Painter.fillRect(part, zoneColour(edges[z], Bright));
        }
    };
    bar(TLevelFeed::Fraction(Level.Peak), false);
    bar(TLevelFeed::Fraction(Level.Rms), true);
    const float hold = TLevelFeed::Fraction(Level.Hold);
    if (hold > 0) {
        const QRect at = span(hold);
        const QColor c = zoneColour(hold, true);
        if (vertical)
            Painter.fillRect(QRect(Rect.left(), at.top(), Rect.width(), 2), c);
        else
            Painter.fillRect(QRect(at.right() - 1, Rect.top(), 2, Rect.height()), c);
    }
}

void TLevelBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor back = palette().color(QPalette::Base).lightness() < 128 ? QColor(20, 21, 24) : QColor(40, 40, 40);
    Paint(painter, rect(), Shown, Orientation, back);
    // Scale marks every 12 dB.
    painter.setPen(QColor(128, 128, 128, 110));
    for (int db = -12; db > int(TLevelFeed::MinDb); db -= 12) {
        const float f = (float(db) - TLevelFeed::MinDb) / -TLevelFeed::MinDb;
        if (Orientation == Qt::Vertical) {
            const int y = height() - int(std::lround(f * float(height())));
            painter.drawLine(0, y, width() / 3, y);
        } else {
            const int x = int(std::lround(f * float(width())));
            painter.drawLine(x, 0, x, height() / 3);
        }
    }
}

TChannelStrip::TChannelStrip(int Channel, const QString& Name, QWidget* Parent) : QFrame(Parent), Index(Channel) {
    setObjectName(QString("Strip%1").arg(Channel + 1));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    Title = new QLabel(QString::number(Channel + 1) + "\n" + (Name.isEmpty() ? QString("-") : Name));
    Title->setAlignment(Qt::AlignHCenter);
    Title->setToolTip(Name);
    Title->setFixedWidth(72);
    const QFontMetrics fm(Title->font());
    Title->setText(QString::number(Channel + 1) + "\n" + fm.elidedText(Name.isEmpty() ? QString("-") : Name, Qt::ElideRight, 70));
    layout->addWidget(Title);

    auto* middle = new QHBoxLayout;
    Meter = new TLevelBar(Qt::Vertical);
    Fader = new QSlider(Qt::Vertical);
    Fader->setObjectName("Fader");
    Fader->setRange(0, 200);
    Fader->setPageStep(10);
    Fader->setTickPosition(QSlider::TicksLeft);
    Fader->setTickInterval(50);
    Fader->setValue(100);
    middle->addStretch();
    middle->addWidget(Meter);
    middle->addWidget(Fader);
    middle->addStretch();
    layout->addLayout(middle, 1);

    Gain = new QLabel(GainText(1.0f));
    Gain->setAlignment(Qt::AlignHCenter);
    layout->addWidget(Gain);
    Balance = new QSlider(Qt::Horizontal);
    Balance->setObjectName("Balance");
    Balance->setRange(-100, 100);
    Balance->setPageStep(10);
    Balance->setToolTip("Balance");
    layout->addWidget(Balance);

    auto* buttons = new QHBoxLayout;
    MuteButton = new QPushButton("M");
    MuteButton->setObjectName("Mute");
    MuteButton->setToolTip("Mute");
    SoloButton = new QPushButton("S");
    SoloButton->setObjectName("Solo");
    SoloButton->setToolTip("Solo");
    for (auto* b : {MuteButton, SoloButton}) {
        b->setCheckable(true);
        b->setFixedWidth(30);
        buttons->addWidget(b);
    }
    MuteButton->setStyleSheet("QPushButton:checked { background: #d04030; color: white; }");
    SoloButton->setStyleSheet("QPushButton:checked { background: #e0b020; color: black; }");
    layout->addLayout(buttons);

    connect(Fader, &QSlider::valueChanged, this, [this] {
        Gain->setText(GainText(float(Fader->value()) / 100.0f));
        Changed();
    });
    connect(Balance, &QSlider::valueChanged, this, [this] { Changed(); });
    connect(MuteButton, &QPushButton::clicked, this, [this] { Changed(); });
    connect(SoloButton, &QPushButton::clicked, this, [this] {
        if (Quiet) return;
        if (OnSolo) OnSolo(this);
    });
}

QString TChannelStrip::GainText(float Volume) {
    if (Volume <= 0) return "-inf dB";
    const double db = 20.0 * std::log10(double(Volume));
    return QString("%1%2 dB").arg(db > 0.05 ? "+" : "").arg(db, 0, 'f', 1);
}

void TChannelStrip::Show(float Volume, float Pan, bool Muted, bool Soloed) {
    Quiet = true;
    Fader->setValue(int(std::lround(Volume * 100.0f)));
    Balance->setValue(int(std::lround(Pan * 100.0f)));
    MuteButton->setChecked(Muted);
    SoloButton->setChecked(Soloed);
    Gain->setText(GainText(Volume));
    Quiet = false;
}

void TChannelStrip::Changed() {
    if (Quiet || !OnChange) return;
    OnChange(this, float(Fader->value()) / 100.0f, float(Balance->value()) / 100.0f, MuteButton->isChecked());
}

TMasterStrip::TMasterStrip(QWidget* Parent) : QFrame(Parent) {
    setObjectName("MasterStrip");
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* title = new QLabel("Master");
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    ClipLight = new QPushButton("CLIP");
    ClipLight->setObjectName("ClipLight");
    ClipLight->setToolTip("Lit when the output reached full scale; click to clear");
    ClipLight->setCheckable(true);
    ClipLight->setStyleSheet("QPushButton:checked { background: #e02010; color: white; font-weight: bold; }");
    layout->addWidget(ClipLight);
    auto* middle = new QHBoxLayout;
    Meter = new TLevelBar(Qt::Vertical);
    Meter->setMinimumWidth(22);
    middle->addStretch();
    middle->addWidget(Meter);
    middle->addStretch();
    layout->addLayout(middle, 1);
    PeakText = new QLabel("-inf dB");
    PeakText->setAlignment(Qt::AlignHCenter);
    PeakText->setMinimumWidth(64);
    layout->addWidget(PeakText);
}

void TMasterStrip::SetClipped(bool On) { ClipLight->setChecked(On); }

void TMasterStrip::SetLevel(const TLevelFeed::TShown& Level) {
    Meter->SetLevel(Level);
    const QString text = Level.Hold > 0 ? QString("%1 dB").arg(20.0 * std::log10(double(Level.Hold)), 0, 'f', 1) : "-inf dB";
    if (PeakText->text() != text) PeakText->setText(text);
}
