#include "app/SongPosition.h"

#include "song/Sequencer.h"

#include <cmath>
#include <cstdio>

namespace brindle {

SongPosition WhereIs(const cSequencer& Song, double LoopSeconds) {
    SongPosition where;
    const int mode = Song.PlayMode;
    where.Playing = mode == PlayPatternLoop || mode == PlaySongMode;
    where.SongMode = mode == PlaySongMode;
    where.Pattern = Song.CurPattern;
    where.Row = Song.CurRow + 1;
    if (where.Pattern >= 1 && where.Pattern <= PatternCount) where.Rows = Song.PatternAt(where.Pattern).LoadRowCount();
    const double row = double(Song.RowDuration());
    std::int64_t rowsBefore = 0;
    for (const auto& entry : Song.Orders) {
        const int pattern = entry.LoadPatternIndex();
        if (pattern < 1 || pattern > PatternCount) break;
        if (++where.Orders < Song.CurOrder) rowsBefore += Song.PatternAt(pattern).LoadRowCount();
    }
    where.Order = Song.CurOrder;
    where.Length = Song.SongLengthSeconds();
    where.Seconds = where.SongMode ? double(rowsBefore + Song.CurRow) * row : LoopSeconds;
    return where;
}

std::string ClockText(double Seconds) {
    const double tenths = std::floor(std::max(Seconds, 0.0) * 10.0);
    const auto whole = static_cast<long long>(tenths);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", whole / 600, whole / 10 % 60, whole % 10);
    return text;
}

std::string PositionText(const SongPosition& Where) {
    const std::string dot = " \u00b7 ";
    std::string text;
    if (Where.SongMode) text = "Order " + std::to_string(Where.Order) + "/" + std::to_string(Where.Orders) + dot;
    text += "Pattern " + std::to_string(Where.Pattern) + dot + "Row " + std::to_string(Where.Row) + "/" +
            std::to_string(Where.Rows) + dot + ClockText(Where.Seconds);
    if (Where.SongMode) text += " / " + ClockText(Where.Length);
    return text;
}

} // namespace brindle
