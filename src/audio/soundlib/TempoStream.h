#pragma once
// Tempo and pitch change on SoundTouch, fed from a pull stream.
//
// Tempo is a change in percent (+100 = twice as fast), pitch a shift in semitones; -100 keeps the
// current value of either. With no change at all the source passes through untouched. Output is
// aligned with the input: the pipeline is primed before the first block, so a note's onset stays
// where it was in the source.
#include "audio/soundlib/PullStream.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace brindle::soundlib {

class TempoStream {
  public:
    // MaxFrames sizes the internal buffers; larger reads are split.
    TempoStream(int SampleRate, int Channels, int MaxFrames = 4096);
    ~TempoStream();
    TempoStream(const TempoStream&) = delete;
    TempoStream& operator=(const TempoStream&) = delete;

    void SetSource(const PullStream& Source) { Src = Source; }
    // -100 for either keeps that setting.
    void Set(float TempoPercent, float PitchSemitones);
    float GetTempoPercent() const { return Tempo; }
    float GetPitchSemitones() const { return Pitch; }
    // The pitch SoundTouch is currently configured for (changing it allocates inside SoundTouch).
    float GetAppliedPitch() const { return AppliedPitch; }
    bool IsNeutral() const { return Tempo == 0.0f && Pitch == 0.0f; }
    // When set, the source's end is followed by silence for ever (no flush, nothing allocated);
    // otherwise the tail is flushed and Read reports the end.
    void SetPadWithSilence(bool Value) { Pad = Value; }
    // Drops everything buffered so the next Read starts from the source's current position.
    void Restart();
    // Fills up to Frames frames; returns frames delivered, or -1 once the source ended and all
    // buffered output is gone.
    int Read(std::int16_t* Out, int Frames);
    // The same in float samples at 16-bit scale, straight from SoundTouch (no conversion pass).
    int ReadFloats(float* Out, int Frames);
    // Runs the pipeline once so its buffers reach their working size before real-time use.
    void WarmUp();

  private:
    int ReadChunk(float* Out, int Frames);
    bool Feed();

    int Rate;
    int ChannelCount;
    int Max;
    float Tempo = 0.0f;
    float Pitch = 0.0f;
    float AppliedPitch = 0.0f;
    bool Pad = false;
    bool SourceEnded = false;
    bool Flushed = false;
    PullStream Src;
    std::unique_ptr<soundtouch::SoundTouch> Touch;
    std::vector<std::int16_t> InShorts;
    std::vector<float> InFloats;
    std::vector<float> OutFloats;
};

} // namespace brindle::soundlib
