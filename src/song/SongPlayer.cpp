#include "song/SongPlayer.h"

#include "song/Sequencer.h"

#include "base/Assert.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

void cSongPlayer::RestartGrid() {
    // The mixing thread lays the new grid out itself: a block it is mixing for the old run
    // cannot leave a stale anchor behind.
    Starts.fetch_add(1);
}

// The mode goes last: the thread that mixes starts on a whole state.
void cSongPlayer::PlayPatternFrom(int Pattern, int GridRow) {
    RestartGrid();
    State.CurPattern = Pattern;
    State.CurRow = GridRow;
    State.RowBase = 1 - GridRow;
    State.PlayMode = PlayPatternLoop;
}

void cSongPlayer::PlaySong(int OrdNum) {
    BRINDLE_ASSERT(OrdNum > 0);
    BRINDLE_ASSERT(OrdNum <= OrderCount);
    RestartGrid();
    State.RowBase = 0;
    State.CurOrder = OrdNum;
    State.CurPattern = Song.Orders[OrdNum - 1].LoadPatternIndex();
    State.CurRow = 1;
    State.PlayMode = PlaySongMode;
}

bool cSongPlayer::Playing() const {
    const int mode = State.PlayMode;
    return mode == PlayPatternLoop || mode == PlaySongMode;
}

void cSongPlayer::MixFrames(std::int64_t StartFrame, std::int64_t FrameCount, int SampleRate) {
    if (SampleRate <= 0) return;
    MixSpan(double(StartFrame) / SampleRate, double(StartFrame + FrameCount) / SampleRate, SampleRate);
}

float cSongPlayer::RowOffset(double Time, double Start, int SampleRate) {
    if (SampleRate <= 0) return float(Time - Start);
    // The row starts on the frame its time falls in (a hair of tolerance keeps times that are
    // whole frames on their frame). The mixer truncates offsets, so aim at that frame's middle.
    const double frames = std::floor((Time - Start) * SampleRate + 1e-6);
    return float((frames + 0.5) / SampleRate);
}

void cSongPlayer::FollowTempo(float Bpm, double RowLength, double Start) {
    const float was = GridBPM.load(std::memory_order_relaxed);
    if (was == Bpm) return;
    GridBPM.store(Bpm, std::memory_order_relaxed);
    const std::int64_t last = LastRow.load(std::memory_order_relaxed);
    // Before the first row the grid still starts at the run's start.
    if (!(was > 0) || last < 0) return;
    const double oldLength = 60.0f / was * 0.25f;
    const double current = AnchorTime.load(std::memory_order_relaxed) +
                           double(last - AnchorRow.load(std::memory_order_relaxed)) * oldLength;
    // The next row follows the current one by one new row length, or at once when that is past.
    AnchorRow.store(last + 1, std::memory_order_relaxed);
    AnchorTime.store(std::max(current + RowLength, Start), std::memory_order_relaxed);
}

void cSongPlayer::MixSpan(double Start, double End, int SampleRate) {
    const int mode = State.PlayMode;
    if (mode != PlayPatternLoop && mode != PlaySongMode) return;
    int pattern = State.CurPattern;
    // A tempo, pattern number or row count that a broken module or a racing edit could bring
    // stops playback instead of looping forever or reading past the song.
    const float bpm = Song.BPM;
    if (pattern <= 0 || pattern > PatternCount || !(bpm > 0) || !std::isfinite(bpm)) {
        Stop();
        return;
    }
    const double end = End;
    const double d = 60.0f / bpm * 0.25f;
    if (const std::uint32_t starts = Starts.load(); GridStart.load(std::memory_order_relaxed) != starts) {
        GridStart.store(starts, std::memory_order_relaxed);
        AnchorTime.store(0.0, std::memory_order_relaxed);
        AnchorRow.store(0, std::memory_order_relaxed);
        LastRow.store(-1, std::memory_order_relaxed);
        GridBPM.store(bpm, std::memory_order_relaxed);
    }
    FollowTempo(bpm, d, Start);
    const double anchorTime = AnchorTime.load(std::memory_order_relaxed);
    const std::int64_t anchorRow = AnchorRow.load(std::memory_order_relaxed);
    const auto timeOf = [&](std::int64_t Row) { return anchorTime + double(Row - anchorRow) * d; };

    // The first row due in this block: rows that started before it were queued by earlier blocks.
    std::int64_t row = anchorRow + std::int64_t(std::trunc((Start - anchorTime) / d));
    while (timeOf(row) < Start) ++row;
    std::int64_t rowBase = State.RowBase;
    std::int64_t r = row - rowBase;

    for (;;) {
        const std::int64_t n = Song.Patterns[pattern - 1].LoadRowCount();
        if (n < 1) {
            Stop();
            return;
        }
        const double t = timeOf(rowBase + r);
        if (t >= end) return;
        // The pattern ends here, or was shortened behind the position: the row due plays the
        // next pattern's first row (the loop's own first row), so no row past the end sounds. The
        // next pattern begins only when that row is due, so the last row of a song plays its
        // whole length before playback stops.
        if (r >= n) {
            rowBase += r;
            r = 0;
            State.RowBase = std::int32_t(rowBase);
            if (mode == PlaySongMode) {
                // One step from wherever an order edit has moved the entry playing.
                const int order = State.CurOrder.fetch_add(1) + 1;
                // Only the pattern number is read here: it is written whole while an entry's text
                // may be rewritten by the UI (an entry without a pattern stops the song either way).
                pattern = order < 1 || order > OrderCount ? 0 : Song.Orders[order - 1].LoadPatternIndex();
                State.CurPattern = pattern;
                if (pattern <= 0 || pattern > PatternCount) {
                    Stop();
                    return;
                }
            }
            continue;
        }
        State.CurRow = std::int32_t(r);
        LastRow.store(rowBase + r, std::memory_order_relaxed);
        QueueRow(RowOffset(t, Start, SampleRate), pattern, int(r));
        ++r;
    }
}

void cSongPlayer::QueueRow(float Offset, int Pattern, int Row) {
    if (Row < 0 || Row >= RowCapacity || !Handler) return;
    BRINDLE_ASSERT(Pattern >= 1 && Pattern <= PatternCount);
    static const std::string stop;
    const auto& pattern = Song.Patterns[Pattern - 1];
    for (int channel = 0; channel < ChannelCount; ++channel) {
        if (Song.IsMuted(channel)) continue;
        const cStep cell = pattern.LoadCell(channel, Row);
        if (cell.ins == 0) continue;
        if (cell.ins == -1) {
            Handler(&Song, stop, Offset, 0, 0, 0, channel, 0);
            continue;
        }
        if (cell.ins < 1 || cell.ins > InstrumentCount) continue;
        const auto& ins = Song.Instruments[cell.ins - 1];
        const std::string& file = ins.FileNameRef();
        if (file.empty()) continue;
        Handler(&Song, file, Offset, ins.LoadVolume(), ins.LoadStretch(), ins.LoadPitch() + cell.pitch, channel,
                cell.ins);
    }
}

void cSongPlayer::PreviewInstrument(int Instrument, float PitchOffset, int Tag, float VolumeScale) {
    if (Instrument < 1 || Instrument > InstrumentCount || !Handler) return;
    const auto& ins = Song.Instruments[Instrument - 1];
    const std::string& file = ins.FileNameRef();
    if (file.empty()) return;
    // A preview is not a pattern note: it names no slot, so it never cuts under its tag.
    Handler(&Song, file, 0, ins.LoadVolume() * VolumeScale, ins.LoadStretch(), ins.LoadPitch() + PitchOffset, Tag,
            0);
}

void cSongPlayer::PreviewFile(const std::string& Path) {
    if (!Handler) return;
    Handler(&Song, Path, 0, 1.0f, 1.0f, 0, FilePreviewTag, 0);
}
