#pragma once
// One effect on a stream: processes interleaved float samples (full scale = 1.0) in place.
// Effects are built on the user-interface thread and run on the pulling thread; Process never
// allocates. New parameters travel through a TParamBox: the UI posts them, Process takes them at
// its next block, and neither side ever waits for the other.
#include "base/realtime/RealtimeProbe.h"
#include "base/realtime/Seqlock.h"

#include <cstdint>
#include <mutex>

namespace brindle::dsp {

template <class P> class TParamBox {
  public:
    // Any non-audio thread.
    void Post(const P& Value) {
        std::lock_guard guard(Writers);
        Box.Write(Value);
    }
    // The pulling thread: true (and Out set) when newer values than the last taken are there.
    bool Take(P& Out) noexcept { return Box.TryRead(Out, Seen); }

  private:
    CountingPlainMutex Writers; // between posting threads only
    Seqlock<P> Box;
    std::uint64_t Seen = 0;
};

class TEffect {
  public:
    TEffect(int SampleRate, int Channels) : SampleRate(SampleRate), Channels(Channels) {}
    virtual ~TEffect() = default;
    TEffect(const TEffect&) = delete;
    TEffect& operator=(const TEffect&) = delete;

    virtual void Process(float* Samples, int Frames) = 0;

    int GetSampleRate() const { return SampleRate; }
    int GetChannels() const { return Channels; }

  protected:
    int SampleRate;
    int Channels;
};

// Tiny values left in feedback paths would turn denormal and slow the processor down.
inline float FlushDenormal(float Value) {
    return (Value > -1e-20f && Value < 1e-20f) ? 0.0f : Value;
}
inline double FlushDenormal(double Value) {
    return (Value > -1e-30 && Value < 1e-30) ? 0.0 : Value;
}
// The same over a block, in a loop the compiler vectorises.
inline void FlushDenormals(float* Samples, int Count) {
    for (int i = 0; i < Count; ++i)
        Samples[i] = (Samples[i] > -1e-20f && Samples[i] < 1e-20f) ? 0.0f : Samples[i];
}

} // namespace brindle::dsp
