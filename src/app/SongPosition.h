#pragma once
// Where a playing song is, as the window's status bar shows it:
// "Order 2/6 · Pattern 3 · Row 12/64 · 0:07.4 / 0:23.1".
#include <string>

class cSequencer;

namespace brindle {

struct SongPosition {
    bool Playing = false;
    bool SongMode = false; // a song from the order list, not one pattern in a loop
    int Order = 0;         // 1-based entry playing, in song mode
    int Orders = 0;        // entries before the first empty one
    int Pattern = 0;
    int Row = 0;           // 1-based
    int Rows = 0;
    double Seconds = 0;    // into the song (song mode) or since play started (pattern loop)
    double Length = 0;     // the song's length, in song mode
};

// Loop: seconds since the pattern loop started (from the mixer clock).
SongPosition WhereIs(const cSequencer& Song, double LoopSeconds);
// "0:07.4"
std::string ClockText(double Seconds);
std::string PositionText(const SongPosition& Where);

} // namespace brindle
