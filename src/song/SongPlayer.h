#pragma once
// The playback engine of one run: turns the rows that fall into each mixer block into queued
// notes. Its position and mode live in a play state of its own and its notes go to a handler of
// its own, so a render can run beside live playback of the same song without either disturbing
// the other. The song's own player publishes its position in the song for the editors.
#include "song/VoiceTags.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class cSequencer;

enum PlayModes : std::int32_t { PlayPatternLoop = 0, PlaySongMode = 1, PlayStopped = 2 };

// Read by the UI while the audio thread plays: every field is written whole.
struct cPlayState {
    std::atomic<std::int32_t> CurOrder{0};
    std::atomic<std::int32_t> CurPattern{0};
    std::atomic<std::int32_t> CurRow{0};
    std::atomic<std::int32_t> RowBase{0};
    std::atomic<std::int32_t> PlayMode{PlayStopped};
};

// A note to start (FileName set) or a channel to cut (FileName empty). Key is the voice tag (the
// channel for pattern notes, see VoiceTags.h for the others); Instrument the 1-based slot the note comes from, 0 for previews of
// files and for stop markers. Everything travels as arguments, so notes of the audio thread and
// previews of the UI thread never share a field.
using TQueuePlaybackEvent = std::function<void(cSequencer* Sender, const std::string& FileName, float Offset,
                                               float Volume, float Stretch, float Pitch, int Key, int Instrument)>;

class cSongPlayer {
public:
    cSongPlayer(cSequencer& Song, cPlayState& State, const TQueuePlaybackEvent& Handler)
        : Song(Song), State(State), Handler(Handler) {}
    cSongPlayer(const cSongPlayer&) = delete;
    cSongPlayer& operator=(const cSongPlayer&) = delete;

    void PlayPatternFrom(int Pattern, int GridRow);
    void PlaySong(int OrdNum);
    void Stop() { State.PlayMode = PlayStopped; }
    bool Playing() const;
    const cPlayState& GetState() const { return State; }

    // Queues the rows whose times fall in [Start, Start + Length).
    void Mix(float Start, float Length) { MixSpan(Start, Start + Length, 0); }
    // The same for a block given in frames of the mixer clock. Windows of consecutive blocks
    // meet exactly, so a row on a block boundary is queued once, and times stay exact over
    // hours of song where single-precision seconds would drift by whole frames.
    void MixFrames(std::int64_t StartFrame, std::int64_t FrameCount, int SampleRate);
    void QueueRow(float Offset, int Pattern, int Row);
    // Tag: a live tag (VoiceTags.h), never a channel. VolumeScale multiplies the instrument's
    // volume (a MIDI note's velocity).
    void PreviewInstrument(int Instrument, float PitchOffset = 0.0f, int Tag = PreviewTag, float VolumeScale = 1.0f);
    void PreviewFile(const std::string& Path);

private:
    // SampleRate 0: offsets in plain seconds; otherwise offsets that land on whole frames.
    void MixSpan(double Start, double End, int SampleRate);
    static float RowOffset(double Time, double Start, int SampleRate);
    // A tempo other than the one the row grid was laid out with moves the grid's anchor to the
    // row after the current one, so the rows already played keep their times.
    void FollowTempo(float Bpm, double RowLength, double Start);
    void RestartGrid();

    cSequencer& Song;
    cPlayState& State;
    const TQueuePlaybackEvent& Handler;
    // The row grid: row number AnchorRow of the run (counted over every pattern it played, the
    // first row being 0) starts AnchorTime seconds into the run, and each further row one row
    // length of GridBPM later. LastRow is the row that became due last, -1 before the first.
    // Written by the thread that mixes only; a start counts in Starts and that thread lays the
    // grid out again at its next block (GridStart: the start the grid belongs to).
    std::atomic<double> AnchorTime{0.0};
    std::atomic<std::int64_t> AnchorRow{0};
    std::atomic<std::int64_t> LastRow{-1};
    std::atomic<float> GridBPM{0.0f};
    std::atomic<std::uint32_t> Starts{0};
    std::atomic<std::uint32_t> GridStart{0};
};
