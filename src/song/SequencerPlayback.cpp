// The playback engine: turns the rows that fall into each mixer block into queued notes.
#include "song/Sequencer.h"

#include "base/Assert.h"

#include <cmath>
#include <cstdint>

void cSequencer::PlayPatternFrom(int Pattern, int GridRow) {
    PlayMode = PlayPatternLoop;
    CurPattern = Pattern;
    CurRow = GridRow;
    RowBase = 1 - GridRow;
}

void cSequencer::PlaySong(int OrdNum) {
    BRINDLE_ASSERT(OrdNum > 0);
    BRINDLE_ASSERT(OrdNum <= OrderCount);
    RowBase = 0;
    CurOrder = OrdNum;
    CurPattern = Orders[OrdNum - 1].PatternIndex;
    CurRow = 1;
    PlayMode = PlaySongMode;
}

void cSequencer::Stop() { StopPlayback(); }

void cSequencer::Mix(float Start, float Length) { MixSpan(Start, Start + Length, 0); }

void cSequencer::MixFrames(std::int64_t StartFrame, std::int64_t FrameCount, int SampleRate) {
    if (SampleRate <= 0) return;
    MixSpan(double(StartFrame) / SampleRate, double(StartFrame + FrameCount) / SampleRate, SampleRate);
}

float cSequencer::RowOffset(double Time, double Start, int SampleRate) {
    if (SampleRate <= 0) return float(Time - Start);
    // The row starts on the frame its time falls in (a hair of tolerance keeps times that are
    // whole frames on their frame). The mixer truncates offsets, so aim at that frame's middle.
    const double frames = std::floor((Time - Start) * SampleRate + 1e-6);
    return float((frames + 0.5) / SampleRate);
}

void cSequencer::MixSpan(double Start, double End, int SampleRate) {
    const int mode = PlayMode;
    if (mode != PlayPatternLoop && mode != PlaySongMode) return;
    int pattern = CurPattern;
    // A tempo, pattern number or row count that a broken module or a racing edit could bring
    // stops playback instead of looping forever or reading past the song.
    const float bpm = BPM;
    if (pattern <= 0 || pattern > PatternCount || !(bpm > 0) || !std::isfinite(bpm)) {
        StopPlayback();
        return;
    }
    const double end = End;
    const double d = 60.0f / bpm * 0.25f;
    std::int64_t rowBase = RowBase;
    std::int64_t r = std::int64_t(std::trunc(Start / d)) - rowBase;

    for (;;) {
        const std::int64_t n = Patterns[pattern - 1].RowCount;
        if (n < 1) {
            StopPlayback();
            return;
        }
        // The next pattern begins only when its first row is due, so the last row of a song
        // plays its whole length before playback stops.
        if (r >= n && double(rowBase + r) * d >= end) return;
        if (r >= n) {
            rowBase += n;
            r -= n;
            RowBase = std::int32_t(rowBase);
            if (mode == PlaySongMode) {
                const int order = CurOrder + 1;
                CurOrder = order;
                if (order > OrderCount || Orders[order - 1].IsEmpty()) {
                    StopPlayback();
                    return;
                }
                pattern = Orders[order - 1].PatternIndex;
                CurPattern = pattern;
                if (pattern <= 0 || pattern > PatternCount) {
                    StopPlayback();
                    return;
                }
            }
        }
        const double t = double(rowBase + r) * d;
        if (Start <= t && t < end) {
            CurRow = std::int32_t(r);
            QueueRow(RowOffset(t, Start, SampleRate), pattern, int(r));
            ++r;
        } else if (t >= end) {
            return;
        } else {
            ++r;
        }
    }
}

void cSequencer::QueueRow(float Offset, int Pattern, int Row) {
    if (Row < 0 || Row >= RowCapacity || !OnQueuePlayback) return;
    BRINDLE_ASSERT(Pattern >= 1 && Pattern <= PatternCount);
    const auto& pattern = Patterns[Pattern - 1];
    for (int channel = 0; channel < ChannelCount; ++channel) {
        if (ChannelMuted[channel]) continue;
        const cStep cell = pattern.Cells[channel][Row];
        if (cell.ins == 0) continue;
        OnQueuePlayback_Key = channel;
        if (cell.ins == -1) {
            static const std::string stop;
            OnQueuePlayback(this, stop, Offset, 0, 0, 0);
            continue;
        }
        if (cell.ins < 1 || cell.ins > InstrumentCount) continue;
        const auto& ins = Instruments[cell.ins - 1];
        const auto file = ins.FileNameRef();
        if (file->empty()) continue;
        QueuedInstrument = cell.ins - 1;
        OnQueuePlayback(this, *file, Offset, ins.Volume, ins.Stretch, ins.Pitch + cell.pitch);
    }
}

void cSequencer::PreviewInstrument(int Instrument, float PitchOffset, int Tag) {
    if (Instrument < 1 || Instrument > InstrumentCount || !OnQueuePlayback) return;
    const auto& ins = Instruments[Instrument - 1];
    const auto file = ins.FileNameRef();
    if (file->empty()) return;
    OnQueuePlayback_Key = Tag;
    QueuedInstrument = -1;
    OnQueuePlayback(this, *file, 0, ins.Volume, ins.Stretch, ins.Pitch + PitchOffset);
}

void cSequencer::PreviewFile(const std::string& Path) {
    if (!OnQueuePlayback) return;
    QueuedInstrument = -1;
    OnQueuePlayback(this, Path, 0, 1.0f, 1.0f, 0);
}
