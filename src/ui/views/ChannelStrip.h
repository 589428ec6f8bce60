#pragma once
// One strip of the mixer page: a channel's name, its level meter, fader, balance, mute and solo;
// or the master strip (a meter and a clip light). TLevelBar paints a level for the strips and for
// the pattern grid's channel headers alike.
#include "ui/views/LevelFeed.h"

#include <QFrame>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QSlider;
class QPainter;

class TLevelBar : public QWidget {
    Q_OBJECT

  public:
    explicit TLevelBar(Qt::Orientation Orientation = Qt::Vertical, QWidget* Parent = nullptr);
    void SetLevel(const TLevelFeed::TShown& Level);
    const TLevelFeed::TShown& Level() const { return Shown; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Paints Level into Rect: RMS solid inside the lighter peak, the hold as a line; green below
    // -18 dBFS, yellow to -6, red above.
    static void Paint(QPainter& Painter, const QRect& Rect, const TLevelFeed::TShown& Level,
                      Qt::Orientation Orientation, const QColor& Background);

  protected:
    void paintEvent(QPaintEvent* Event) override;

  private:
    Qt::Orientation Orientation;
    TLevelFeed::TShown Shown;
};

class TChannelStrip : public QFrame {
    Q_OBJECT

  public:
    // Channel is 0-based; Name is its first instrument's.
    TChannelStrip(int Channel, const QString& Name, QWidget* Parent = nullptr);

    int Channel() const { return Index; }
    // Shows the song's values without raising the handlers.
    void Show(float Volume, float Pan, bool Muted, bool Soloed);

    TLevelBar* Meter;
    QLabel* Title;
    QSlider* Fader; // volume x 100, 0..200
    QLabel* Gain;   // the fader in dB
    QSlider* Balance; // balance x 100, -100..100
    QPushButton* MuteButton;
    QPushButton* SoloButton;

    // The user moved a control: the strip's values as they are now.
    std::function<void(TChannelStrip* Sender, float Volume, float Pan, bool Mute)> OnChange;
    std::function<void(TChannelStrip* Sender)> OnSolo;

    static QString GainText(float Volume);

  private:
    void Changed();
    int Index;
    bool Quiet = false;
};

class TMasterStrip : public QFrame {
    Q_OBJECT

  public:
    explicit TMasterStrip(QWidget* Parent = nullptr);
    TLevelBar* Meter;
    // Lit when the output clipped; a click puts it out.
    QPushButton* ClipLight;
    QLabel* PeakText;
    void SetClipped(bool On);
    void SetLevel(const TLevelFeed::TShown& Level);
};
