#include "audio/soundlib/dsp/Stream.h"

#include "audio/soundlib/dsp/DenormalGuard.h"
#include "audio/soundlib/dsp/PcmConvert.h"

#include <algorithm>

namespace brindle::dsp {

std::unique_ptr<TStream> TStream::Create(int SampleRate, int Channels, TPullProc Pull) {
    if (SampleRate <= 0 || SampleRate > MaxSampleRate || Channels <= 0 || Channels > MaxChannels || !Pull)
        return nullptr;
    return std::unique_ptr<TStream>(new TStream(SampleRate, Channels, std::move(Pull)));
}

TStream::TStream(int SampleRate, int Channels, TPullProc Pull)
    : SampleRate(SampleRate), Channels(Channels), Pull(std::move(Pull)) {
    Effects.reserve(16);
}

int TStream::Read(void* Buf, int Len) {
    if (Len <= 0) return 0;
    int Got = Pull(Buf, Len);
    if (Got <= 0) return -1;
    Got = std::min(Got, Len);
    // A trailing partial frame passes through unprocessed.
    ProcessEffects(static_cast<short*>(Buf), Got / (2 * Channels));
    return Got;
}

void TStream::ProcessEffects(short* Samples, int Frames) {
    std::lock_guard<std::mutex> Guard(Mutex);
    if (Effects.empty() || Frames <= 0) return;
    TDenormalGuard Denormals;
    while (Frames > 0) {
        const int Now = std::min(Frames, ChunkFrames);
        const int Count = Now * Channels;
        PcmToFloats(Scratch.data(), Samples, Count);
        for (auto& Entry : Effects)
            Entry.Effect->Process(Scratch.data(), Now);
        FloatsToPcm(Samples, Scratch.data(), Count);
        Samples += Count;
        Frames -= Now;
    }
}

TEffect* TStream::Add(std::unique_ptr<TEffect> Effect, int Priority) {
    if (!Effect) return nullptr;
    std::lock_guard<std::mutex> Guard(Mutex);
    auto At =
        std::find_if(Effects.begin(), Effects.end(), [&](const TEntry& E) { return E.Priority < Priority; });
    TEffect* Added = Effect.get();
    Effects.insert(At, TEntry{std::move(Effect), Priority});
    return Added;
}

bool TStream::Remove(const TEffect* Effect) {
    std::unique_ptr<TEffect> Removed; // destroyed after the lock is released
    {
        std::lock_guard<std::mutex> Guard(Mutex);
        auto At = std::find_if(Effects.begin(), Effects.end(),
                               [&](const TEntry& E) { return E.Effect.get() == Effect; });
        if (At == Effects.end()) return false;
        Removed = std::move(At->Effect);
        Effects.erase(At);
    }
    return true;
}

int TStream::EffectCount() const {
    std::lock_guard<std::mutex> Guard(Mutex);
    return static_cast<int>(Effects.size());
}

} // namespace brindle::dsp
