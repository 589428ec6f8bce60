#include "audio/soundlib/dsp/Stream.h"

#include "audio/soundlib/dsp/DenormalGuard.h"
#include "audio/soundlib/dsp/PcmConvert.h"

#include <algorithm>
#include <cstring>

namespace brindle::dsp {

std::unique_ptr<TStream> TStream::Create(int SampleRate, int Channels, TPullProc Pull) {
    if (SampleRate <= 0 || SampleRate > MaxSampleRate || Channels <= 0 || Channels > MaxChannels || !Pull)
        return nullptr;
    return std::unique_ptr<TStream>(new TStream(SampleRate, Channels, std::move(Pull)));
}

TStream::TStream(int SampleRate, int Channels, TPullProc Pull)
    : SampleRate(SampleRate), Channels(Channels), Pull(std::move(Pull)) {
    Effects.reserve(16);
    FloatBlock.resize(static_cast<size_t>(FloatBlockFrames) * Channels);
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
    Running.Read([&](const TRunList& Run) {
        if (Run.empty() || Frames <= 0) return;
        TDenormalGuard Denormals;
        while (Frames > 0) {
            const int Now = std::min(Frames, ChunkFrames);
            const int Count = Now * Channels;
            PcmToFloats(Scratch.data(), Samples, Count);
            for (TEffect* Effect : Run)
                Effect->Process(Scratch.data(), Now);
            FloatsToPcm(Samples, Scratch.data(), Count);
            Samples += Count;
            Frames -= Now;
        }
    });
}

void TStream::ProcessFloats(float* Samples, int Frames) {
    Running.Read([&](const TRunList& Run) {
        if (Run.empty() || Frames <= 0) return;
        TDenormalGuard Denormals;
        for (TEffect* Effect : Run)
            Effect->Process(Samples, Frames);
    });
}

void TStream::PublishLocked() {
    auto Next = std::make_unique<TRunList>();
    Next->reserve(Effects.size());
    for (const auto& Entry : Effects)
        Next->push_back(Entry.Effect.get());
    Running.Publish(std::move(Next));
    // Effects removed before this point are out of every list a new pull can see.
    if (Running.Quiet()) Removed.clear();
}

int TStream::ReadFloats(float* Buf, int Frames) {
    if (Frames <= 0) return 0;
    if (!FloatPull) return -1;
    const int Got = std::min(FloatPull(Buf, Frames), Frames);
    if (Got <= 0) return -1;
    ProcessFloats(Buf, Got);
    // On the 16-bit steps, as Read leaves its output, so sound that never clips is the same on
    // both paths; only the saturation is left out.
    RoundToPcmSteps(Buf, Got * Channels);
    return Got;
}

int TStream::ReadSaturated(void* Buf, int Len) {
    if (Len <= 0) return 0;
    const int FrameBytes = 2 * Channels;
    const int Frames = Len / FrameBytes;
    auto* Out = static_cast<std::int16_t*>(Buf);
    int Done = 0;
    while (Done < Frames) {
        const int Want = std::min(Frames - Done, FloatBlockFrames);
        const int Got = ReadFloats(FloatBlock.data(), Want);
        if (Got <= 0) break;
        FloatsToPcm(Out + static_cast<size_t>(Done) * Channels, FloatBlock.data(), Got * Channels);
        Done += Got;
        if (Got < Want) break;
    }
    if (Done == 0 && Frames > 0) return -1;
    if (Done < Frames) return Done * FrameBytes;
    // A trailing partial frame is silence.
    std::memset(Out + static_cast<size_t>(Frames) * Channels, 0,
                static_cast<size_t>(Len - Frames * FrameBytes));
    return Len;
}

TEffect* TStream::Add(std::shared_ptr<TEffect> Effect, int Priority) {
    if (!Effect) return nullptr;
    std::lock_guard Guard(Mutex);
    auto At =
        std::find_if(Effects.begin(), Effects.end(), [&](const TEntry& E) { return E.Priority < Priority; });
    TEffect* Added = Effect.get();
    Effects.insert(At, TEntry{std::move(Effect), Priority});
    PublishLocked();
    return Added;
}

bool TStream::Remove(const TEffect* Effect) {
    std::lock_guard Guard(Mutex);
    auto At = std::find_if(Effects.begin(), Effects.end(), [&](const TEntry& E) { return E.Effect.get() == Effect; });
    if (At == Effects.end()) return false;
    std::shared_ptr<TEffect> Gone = std::move(At->Effect);
    Effects.erase(At);
    // Kept until a later change (or the stream's end) finds no pull running.
    Removed.push_back(std::move(Gone));
    PublishLocked();
    return true;
}

int TStream::EffectCount() const {
    std::lock_guard Guard(Mutex);
    return static_cast<int>(Effects.size());
}

std::shared_ptr<TEffect> TStream::Share(const TEffect* Effect) const {
    std::lock_guard Guard(Mutex);
    for (const auto& Entry : Effects)
        if (Entry.Effect.get() == Effect) return Entry.Effect;
    return nullptr;
}

} // namespace brindle::dsp
