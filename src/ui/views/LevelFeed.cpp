#include "ui/views/LevelFeed.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

TLevelFeed::TLevelFeed(brindle::TLevelMeters& Meters, QObject* Parent)
    : QObject(Parent), Meters(Meters), Timer(new QTimer(this)) {
    Timer->setInterval(FrameMs);
    connect(Timer, &QTimer::timeout, this, &TLevelFeed::Tick);
    Clock.start();
}

bool TLevelFeed::Running() const { return Timer->isActive(); }

void TLevelFeed::Wake() {
    if (Timer->isActive() || !Wanted || !Wanted() || !Sounding || !Sounding()) return;
    Meters.Discard(); // what gathered while nobody looked is old
    LastTick = Clock.elapsed();
    Timer->start();
}

float TLevelFeed::Fraction(float Level) {
    if (!(Level > 0)) return 0;
    const float db = 20.0f * std::log10(Level);
    return std::clamp((db - MinDb) / -MinDb, 0.0f, 1.0f);
}

void TLevelFeed::Tick() {
    const qint64 now = Clock.elapsed();
    const float seconds = float(std::clamp<qint64>(now - LastTick, 0, 1000)) / 1000.0f;
    LastTick = now;
    Meters.TakeAll(Taken);
    const float fall = std::pow(10.0f, -FallDbPerSecond * seconds / 20.0f);
    bool any = false;
    for (std::size_t s = 0; s < Levels.size(); ++s) {
        const auto& taken = Taken[s];
        auto& shown = Levels[s];
        const float peak = std::min(taken.Peak, 4.0f);
        shown.Peak = std::max(peak, shown.Peak * fall);
        shown.Rms = std::max(std::sqrt(std::max(taken.MeanSquare, 0.0f)), shown.Rms * fall);
        if (peak >= shown.Hold || now - shown.HoldAt > HoldMs) {
            shown.Hold = std::max(peak, shown.Peak);
            shown.HoldAt = now;
        }
        if (Fraction(shown.Peak) == 0) shown.Peak = shown.Rms = 0;
        if (Fraction(shown.Hold) == 0) shown.Hold = 0;
        any = any || shown.Peak > 0 || shown.Hold > 0;
    }
    if (Taken[brindle::TLevelMeters::Master].Peak >= brindle::TLevelMeters::ClipLevel && !Clip) {
        Clip = true;
        emit clipChanged(true);
    }
    emit levelsChanged();
    // Nobody looks, or it fell silent and the meters have come to rest: no more frames.
    const bool wanted = Wanted && Wanted();
    const bool sounding = Sounding && Sounding();
    if (!wanted || (!sounding && !any)) Timer->stop();
}

void TLevelFeed::ClearClip() {
    if (!Clip) return;
    Clip = false;
    emit clipChanged(false);
}
