#include "song/SongPlayer.h"

#include "song/Sequencer.h"

#include "base/Assert.h"

#include <cmath>
#include <cstdint>

void cSongPlayer::PlayPatternFrom(int Pattern, int GridRow) {
    State.PlayMode = PlayPatternLoop;
    State.CurPattern = Pattern;
    State.CurRow = GridRow;
    State.RowBase = 1 - GridRow;
}

void cSongPlayer::PlaySong(int OrdNum) {
    BRINDLE_ASSERT(OrdNum > 0);
    BRINDLE_ASSERT(OrdNum <= OrderCount);
    State.RowBase = 0;
    State.CurOrder = OrdNum;
    State.CurPattern = Song.Orders[OrdNum - 1].PatternIndex;
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
    std::int64_t rowBase = State.RowBase;
    std::int64_t r = std::int64_t(std::trunc(Start / d)) - rowBase;

    for (;;) {
        const std::int64_t n = Song.Patterns[pattern - 1].LoadRowCount();
        if (n < 1) {
            Stop();
            return;
        }
        // The next pattern begins only when its first row is due, so the last row of a song
        // plays its whole length before playback stops.
        if (r >= n && double(rowBase + r) * d >= end) return;
        if (r >= n) {
            rowBase += n;
            r -= n;
            State.RowBase = std::int32_t(rowBase);
            if (mode == PlaySongMode) {
                const int order = State.CurOrder + 1;
                State.CurOrder = order;
                // Only the pattern number is read here: it is written whole while an entry's text
                // may be rewritten by the UI (an entry without a pattern stops the song either way).
                pattern = order > OrderCount ? 0 : Song.Orders[order - 1].LoadPatternIndex();
                State.CurPattern = pattern;
                if (pattern <= 0 || pattern > PatternCount) {
                    Stop();
                    return;
                }
            }
        }
        const double t = double(rowBase + r) * d;
        if (Start <= t && t < end) {
            State.CurRow = std::int32_t(r);
            QueueRow(RowOffset(t, Start, SampleRate), pattern, int(r));
            ++r;
        } else if (t >= end) {
            return;
        } else {
            ++r;
        }
    }
}

void cSongPlayer::QueueRow(float Offset, int Pattern, int Row) {
    if (Row < 0 || Row >= RowCapacity || !Handler) return;
    BRINDLE_ASSERT(Pattern >= 1 && Pattern <= PatternCount);
    static const std::string stop;
    const auto& pattern = Song.Patterns[Pattern - 1];
    for (int channel = 0; channel < ChannelCount; ++channel) {
        if (Song.ChannelMuted[channel]) continue;
        const cStep cell = LoadStep(pattern.Cells[channel][Row]);
        if (cell.ins == 0) continue;
        LastKey.store(channel, std::memory_order_relaxed);
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
    LastKey.store(Tag, std::memory_order_relaxed);
    // A preview is not a pattern note: it never cuts the channel of the tag it borrows.
    Handler(&Song, file, 0, ins.Volume * VolumeScale, ins.Stretch, ins.Pitch + PitchOffset, Tag, 0);
}

void cSongPlayer::PreviewFile(const std::string& Path) {
    if (!Handler) return;
    // A file preview has no tag of its own: it borrows the one queued last.
    Handler(&Song, Path, 0, 1.0f, 1.0f, 0, LastKey.load(std::memory_order_relaxed), 0);
}
