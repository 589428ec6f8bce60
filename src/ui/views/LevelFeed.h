#pragma once
// The one reader of the mixer's level meters for every view that shows levels (the mixer page,
// the pattern grid's channel headers). A timer at up to 30 frames per second takes every slot,
// turns it into what a meter shows (peak falling back slowly, a peak hold, RMS) and tells the
// views; it runs only while a view wants levels and something plays, so it costs nothing idle.
#include "audio/mixer/LevelMeters.h"

#include <QElapsedTimer>
#include <QObject>

#include <array>
#include <functional>

class QTimer;

class TLevelFeed : public QObject {
    Q_OBJECT

  public:
    static constexpr int FrameMs = 33; // 30 frames per second
    static constexpr qint64 HoldMs = 1500;
    static constexpr float FallDbPerSecond = 26.0f;

    // What one meter shows, full scale 1.0.
    struct TShown {
        float Peak = 0; // falls back at FallDbPerSecond
        float Rms = 0;
        float Hold = 0; // the highest peak of the last HoldMs
        qint64 HoldAt = 0;
    };

    explicit TLevelFeed(brindle::TLevelMeters& Meters, QObject* Parent = nullptr);

    // Whether a view that shows levels is on screen, and whether the song or a preview plays.
    std::function<bool()> Wanted;
    std::function<bool()> Sounding;

    // Starts the timer when levels are wanted and something plays (the window calls it from its
    // position timer); cheap when it is running already or not needed.
    void Wake();
    bool Running() const;
    // One frame: takes the meters, updates what is shown and emits levelsChanged. The timer's work.
    void Tick();

    const TShown& Shown(int Slot) const { return Levels[static_cast<std::size_t>(Slot)]; }
    // The master clipped since the clip light was last cleared.
    bool Clipped() const { return Clip; }
    void ClearClip();

    // Meter scale: 0 at MinDb and below, 1 at 0 dB.
    static constexpr float MinDb = -60.0f;
    static float Fraction(float Level);

  signals:
    void levelsChanged();
    void clipChanged(bool Clipped);

  private:
    brindle::TLevelMeters& Meters;
    QTimer* Timer;
    QElapsedTimer Clock;
    qint64 LastTick = 0;
    std::array<brindle::TLevel, brindle::TLevelMeters::Slots> Taken{};
    std::array<TShown, brindle::TLevelMeters::Slots> Levels{};
    bool Clip = false;
};
