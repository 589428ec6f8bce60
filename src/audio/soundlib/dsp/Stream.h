#pragma once
// A decode-only pull stream: Read asks the pull procedure for a block of 16-bit interleaved PCM,
// then runs the stream's effects over it. Effects run in descending priority (equal priorities
// in the order they were added).
//
// The effect list is an immutable version that Add and Remove replace whole: the pulling thread
// never waits for them, and a removed effect is freed only once no pull can be inside it.
#include "audio/soundlib/dsp/Effect.h"
#include "base/Error.h"
#include "base/realtime/RcuCell.h"
#include "base/realtime/RealtimeProbe.h"

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <source_location>
#include <string>
#include <vector>

namespace brindle::dsp {

class TStream {
  public:
    // Fills Buf with up to Len bytes and returns how many it wrote (0 or less: no more data).
    using TPullProc = std::function<int(void* Buf, int Len)>;
    static constexpr int MaxChannels = 8;
    static constexpr int MaxSampleRate = 384000;

    // Returns nullptr when the format cannot be processed.
    static std::unique_ptr<TStream> Create(int SampleRate, int Channels, TPullProc Pull);

    // Bytes delivered, or -1 when the pull procedure delivered nothing.
    int Read(void* Buf, int Len);

    // The float path (full scale 1.0, unsaturated) over a float source, set with SetFloatPull:
    // ReadFloats delivers the effects' output as it is, ReadSaturated the same sound as 16-bit
    // PCM saturated once, so a loud source keeps its shape through every effect. Both return what
    // Read does (frames or bytes), and neither allocates.
    using TFloatPullProc = std::function<int(float* Buf, int Frames)>;
    void SetFloatPull(TFloatPullProc Value) { FloatPull = std::move(Value); }
    int ReadFloats(float* Buf, int Frames);
    int ReadSaturated(void* Buf, int Len);

    // An effect may be shared with another stream (its state carries on here); the two must
    // then never be pulled at the same time.
    TEffect* Add(std::shared_ptr<TEffect> Effect, int Priority);
    // Removes the effect (destroyed once no pull is inside it); false when it is not on this stream.
    bool Remove(const TEffect* Effect);
    int EffectCount() const;
    // The effect as added, for sharing it with another stream; null when it is not on this one.
    std::shared_ptr<TEffect> Share(const TEffect* Effect) const;
    int GetSampleRate() const { return SampleRate; }
    int GetChannels() const { return Channels; }

  private:
    TStream(int SampleRate, int Channels, TPullProc Pull);
    void ProcessEffects(short* Samples, int Frames);
    void ProcessFloats(float* Samples, int Frames);

    struct TEntry {
        std::shared_ptr<TEffect> Effect;
        int Priority;
    };
    // What a pull runs, in order.
    using TRunList = std::vector<TEffect*>;
    void PublishLocked();
    // A whole 10 ms block at 44.1 kHz goes through each effect in one call.
    static constexpr int ChunkFrames = 1024;
    // ReadSaturated pulls the float source in blocks this long: the mixer's own block, so the
    // sequencer sees the same blocks on both paths.
    static constexpr int FloatBlockFrames = 4096;

    int SampleRate;
    int Channels;
    TPullProc Pull;
    mutable CountingPlainMutex Mutex; // between changing threads; never taken by a pull
    std::vector<TEntry> Effects;               // under Mutex
    std::vector<std::shared_ptr<TEffect>> Removed; // until no pull can be inside them
    RcuCell<TRunList> Running;
    std::array<float, ChunkFrames * MaxChannels> Scratch{};
    TFloatPullProc FloatPull;
    std::vector<float> FloatBlock; // FloatBlockFrames frames, made with the stream
};

// A stream set-up failure: the source file and line written together, then the text.
inline brindle::Error StreamFailure(const char* Text,
                                    std::source_location Where = std::source_location::current()) {
    return brindle::Error(std::string(Where.file_name()) + std::to_string(Where.line()) + Text);
}

} // namespace brindle::dsp
