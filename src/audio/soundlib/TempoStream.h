#pragma once
// Tempo and pitch change on SoundTouch, fed from a pull stream.
//
// Tempo is a change in percent (+100 = twice as fast), pitch a shift in semitones; -100 keeps the
// current value of either. With no change at all the source passes through untouched. Output is
// aligned with the input: after a restart the pipeline is primed with silence and the output it
// holds back is dropped, so a point Seconds into the source sounds at Seconds / speed.
//
// Settings are brought into the range SoundTouch handles (see PlayableSpeed/PlayablePitch): beyond
// it its buffers grow to gigabytes, its transposer writes out of bounds, or it emits nothing and a
// read would wait for ever. Every read feeds a bounded amount of input.
#include "audio/soundlib/PullStream.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace brindle::soundlib {

inline constexpr float MinSpeed = 0.01f;
inline constexpr float MaxSpeed = 100.0f;
inline constexpr float MaxSemitones = 48.0f;
// A tempo factor the engine can play: one that is not finite or not positive plays as recorded,
// the rest is clamped to MinSpeed..MaxSpeed.
float PlayableSpeed(float Speed);
// A shift in semitones the engine can play: not finite plays untransposed, the rest is clamped to
// -MaxSemitones..+MaxSemitones.
float PlayablePitch(float Semitones);

// Frames a note of Frames source frames lasts at Speed (brought into the playable range): the
// voice's duration rule, which prepared variants follow too.
std::int64_t ProcessedFrames(std::int64_t Frames, float Speed);
// Frames of the fade that ends every processed note.
int NoteFadeFrames(int SampleRate);
// Fades a block of a note that ends at frame End: Buf holds Frames frames starting at note frame
// First. The last FadeFrames + 1 frames fall linearly to exactly 0; frames from End on are silenced.
void FadeNoteEnd(float* Buf, int Frames, int Channels, std::int64_t First, std::int64_t End, int FadeFrames);

class TempoStream {
  public:
    TempoStream(int SampleRate, int Channels);
    ~TempoStream();
    TempoStream(const TempoStream&) = delete;
    TempoStream& operator=(const TempoStream&) = delete;

    void SetSource(const PullStream& Source) { Src = Source; }
    // -100 for either keeps that setting. A new pitch re-designs SoundTouch's filters (allocates).
    void Set(float TempoPercent, float PitchSemitones);
    float GetTempoPercent() const { return Tempo; }
    float GetPitchSemitones() const { return Pitch; }
    // The pitch SoundTouch is currently configured for (changing it allocates inside SoundTouch).
    float GetAppliedPitch() const { return AppliedPitch; }
    bool IsNeutral() const { return Tempo == 0.0f && Pitch == 0.0f; }
    // When set, the source's end is followed by silence for ever (nothing allocated); otherwise
    // the output lasts ProcessedFrames of what the source gave, ends with a fade, and Read then
    // reports the end.
    void SetPadWithSilence(bool Value) { Pad = Value; }
    // Drops everything buffered so the next Read starts from the source's current position.
    void Restart();
    // Fills up to Frames frames; returns frames delivered, or -1 once the source ended and all
    // buffered output is gone.
    int Read(std::int16_t* Out, int Frames);
    // The same in float samples at 16-bit scale, straight from SoundTouch (no conversion pass).
    int ReadFloats(float* Out, int Frames);

    // Off the audio thread: tunes the stream to Pitch and grows SoundTouch's buffers to what reads
    // at Speed need, so that afterwards Set(any prepared speed, Pitch) and reads allocate nothing.
    // Leaves the stream restarted, set to Speed and Pitch.
    void Prepare(float Speed, float Pitch);
    // True when the stream is tuned to Pitch and sized for Speed (both as PlayableSpeed/Pitch give
    // them): a voice may then use it on the audio thread.
    bool IsPreparedFor(float Speed, float Pitch) const;
    // Off the audio thread: grows SoundTouch's buffers as a slowed, transposed-up note needs them
    // (more than most settings), then tunes back to no change, prepared for nothing. Later
    // preparations then mostly reuse that memory instead of faulting in fresh pages.
    void Reserve();
    float GetPreparedSpeedLow() const { return SizedLow; }
    float GetPreparedSpeedHigh() const { return SizedHigh; }

  private:
    int ReadChunk(float* Out, int Frames);
    int ReadProcessed(float* Out, int Frames);
    void FillOutput(int Frames); // feeds until SoundTouch holds Frames, within a bounded input
    bool Ended() const;
    int Feed();
    void Align();
    float Speed() const { return 1.0f + Tempo / 100.0f; }
    void SizeBuffersFor(float Speed);
    void UpdateLatency(); // and the feed size

    int Rate;
    int ChannelCount;
    float Tempo = 0.0f;
    float Pitch = 0.0f;
    float AppliedPitch = 0.0f;
    // Speeds SoundTouch's buffers are sized for at AppliedPitch; empty (0, 0) until prepared.
    float SizedLow = 0.0f;
    float SizedHigh = 0.0f;
    int Latency = 0;  // input frames SoundTouch holds back at the current settings
    int FeedSize = 0; // input frames per feed at the current speed
    int Window = 0;   // frames of one processing sequence
    bool Pad = false;
    bool SourceEnded = false;
    bool Aligned = false;        // primed since the last restart
    int PrimeLeft = 0;           // frames of priming silence still to feed
    std::int64_t DropLeft = 0;   // output frames still to drop to align the output
    std::int64_t SourceRead = 0; // source frames read since the last restart
    std::int64_t Delivered = 0;  // output frames delivered since the last restart
    std::int64_t EndAt = -1;     // unpadded: where the output ends, once the source ended
    PullStream Src;
    std::unique_ptr<soundtouch::SoundTouch> Touch;
    std::vector<std::int16_t> InShorts;
    std::vector<float> InFloats;
    std::vector<float> OutFloats;
};

} // namespace brindle::soundlib
