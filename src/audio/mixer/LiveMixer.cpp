#include "audio/mixer/LiveMixer.h"

#include "audio/mixer/MixKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {
// Extra voices that let a stolen voice fade out while its replacement already sounds.
int ReserveFor(int PoolSize) {
    return std::max(4, PoolSize / 8);
}
} // namespace

TLiveMixer::TLiveMixer(int PoolSize, int SampleRate, int Channels, int MaxBlockFrames, bool RealTime)
    : PoolSize(std::max(PoolSize, 1)), MaxBlock(MaxBlockFrames), RealTime(RealTime),
      Cache(std::make_shared<brindle::SampleCache>(SampleRate, Channels)) {
    SetFormat(SampleRate, Channels);
    const int total = this->PoolSize + ReserveFor(this->PoolSize);
    Pool.reserve(static_cast<size_t>(total));
    Active.reserve(static_cast<size_t>(total));
    Free.reserve(static_cast<size_t>(total));
    Engines.reserve(static_cast<size_t>(total));
    FreeEngines.reserve(static_cast<size_t>(total));
    for (int i = 0; i < total; ++i) {
        Pool.push_back(std::make_unique<TMixVoice>(SampleRate, Channels));
        if (!RealTime) continue; // an offline render makes tempo streams when a note needs one
        Engines.push_back(
            std::make_unique<brindle::soundlib::TempoStream>(SampleRate, Channels, MaxBlockFrames));
        Engines.back()->WarmUp();
    }
    for (auto it = Pool.rbegin(); it != Pool.rend(); ++it)
        Free.push_back(it->get());
    for (auto it = Engines.rbegin(); it != Engines.rend(); ++it)
        FreeEngines.push_back(it->get());
    Bus.resize(static_cast<size_t>(MaxBlockFrames) * Channels);
    Scratch.resize(static_cast<size_t>(MaxBlockFrames) * Channels);
}

TLiveMixer::~TLiveMixer() {
    Clear();
}

void TLiveMixer::SetSampleCache(std::shared_ptr<brindle::SampleCache> NewCache) {
    std::shared_ptr<brindle::SampleCache> old;
    {
        std::lock_guard guard(Lock);
        old = std::move(Cache);
        Cache = std::move(NewCache);
    }
}

std::shared_ptr<brindle::SampleCache> TLiveMixer::GetSampleCache() const {
    std::lock_guard guard(Lock);
    return Cache;
}

std::int64_t TLiveMixer::SecondsToFrames(float Seconds) const {
    if (!(Seconds > 0.0f)) return 0;
    // Truncated from the single-precision value, as callers compute offsets in float.
    return static_cast<std::int64_t>(static_cast<double>(Seconds) * GetSampleRate());
}

void TLiveMixer::Report(const char* Why, const std::string& FileName) {
    // Formatting happens on the UI side; here only fixed-size copies.
    char text[1024];
    const std::size_t why = std::strlen(Why);
    const std::size_t n = std::min(FileName.size(), sizeof text - why - 1);
    std::memcpy(text, Why, why);
    std::memcpy(text + why, FileName.data(), n);
    Problems.Push(std::string_view(text, why + n));
}

bool TLiveMixer::AddToMix(const std::string& FileName, float Stretch, float Volume, float Pitch, float Offset,
                          int Tag) {
    std::lock_guard guard(Lock);
    auto data = Cache ? Cache->Find(FileName) : nullptr;
    if (!data) {
        Report("Sample not loaded yet (it will play next time): ", FileName);
        PendingLoads.Push(FileName);
        return false;
    }
    if (data->SampleRate != GetSampleRate() || data->Channels != GetChannels()) {
        Report("Sample is not in the mixer's format: ", FileName);
        return false;
    }
    if (!TMixVoice::IsNeutral(Stretch, Pitch)) {
        // A prepared variant plays like a plain sample: no SoundTouch work on this thread.
        if (auto variant = Cache->FindVariant(data.get(), Stretch > 0.0f ? Stretch : 1.0f, Pitch)) {
            data = std::move(variant);
            Stretch = 1.0f;
            Pitch = 0.0f;
        }
    }
    TMixVoice* voice = TakeVoice();
    auto* engine = TMixVoice::IsNeutral(Stretch, Pitch) ? nullptr : TakeEngine(Pitch);
    voice->Start(std::move(data), Stretch, Volume, Pitch, SecondsToFrames(Offset), Tag, NextSerial++, engine);
    Active.push_back(voice);
    return true;
}

TMixVoice* TLiveMixer::TakeVoice() {
    int sounding = 0;
    for (const TMixVoice* v : Active)
        if (!v->IsCut()) ++sounding;
    if (sounding >= PoolSize) {
        // Steal the oldest voice: it fades out while the new one starts.
        for (TMixVoice* v : Active)
            if (!v->IsCut()) {
                v->CutAt(0);
                break;
            }
    }
    if (Free.empty()) FreeAt(0); // every fade slot busy: the oldest voice goes at once
    TMixVoice* voice = Free.back();
    Free.pop_back();
    return voice;
}

brindle::soundlib::TempoStream* TLiveMixer::TakeEngine(float Pitch) {
    if (!RealTime && FreeEngines.empty()) {
        Engines.push_back(
            std::make_unique<brindle::soundlib::TempoStream>(GetSampleRate(), GetChannels(), MaxBlock));
        return Engines.back().get();
    }
    // There is always one engine per voice, so one is free whenever a voice was.
    std::size_t pick = FreeEngines.size();
    for (std::size_t i = FreeEngines.size(); i-- > 0;)
        if (FreeEngines[i]->GetAppliedPitch() == Pitch) {
            pick = i;
            break;
        }
    if (pick == FreeEngines.size()) {
        // None set to this pitch: re-tune one whose pitch has the most free spares.
        std::size_t best = 0;
        for (std::size_t i = 0; i < FreeEngines.size(); ++i) {
            std::size_t same = 0;
            for (const auto* e : FreeEngines)
                same += e->GetAppliedPitch() == FreeEngines[i]->GetAppliedPitch();
            if (same > best) {
                best = same;
                pick = i;
            }
        }
    }
    auto* engine = FreeEngines[pick];
    FreeEngines.erase(FreeEngines.begin() + static_cast<std::ptrdiff_t>(pick));
    return engine;
}

void TLiveMixer::FreeAt(std::size_t Index) {
    TMixVoice* voice = Active[Index];
    Active.erase(Active.begin() + static_cast<std::ptrdiff_t>(Index));
    if (auto* engine = voice->Release()) FreeEngines.push_back(engine);
    Free.push_back(voice);
}

void TLiveMixer::RemoveByTag(int Tag) {
    RemoveByTag(Tag, 0.0f);
}

void TLiveMixer::RemoveByTag(int Tag, float Offset) {
    std::lock_guard guard(Lock);
    const std::int64_t at = SecondsToFrames(Offset);
    for (TMixVoice* v : Active)
        if (v->GetTag() == Tag) v->CutAt(at);
}

void TLiveMixer::Clear() {
    std::lock_guard guard(Lock);
    while (!Active.empty())
        FreeAt(Active.size() - 1);
}

int TLiveMixer::PopData(void* Buf, int BufLen) {
    const int channels = GetChannels();
    const int frameBytes = channels * 2;
    const int frames = BufLen > 0 ? BufLen / frameBytes : 0;
    const double bytesPerSec = static_cast<double>(GetSampleRate()) * frameBytes;
    if (BeforeBlockMixing) {
        const double start = static_cast<double>(GetFramePos()) / GetSampleRate();
        BeforeBlockMixing(this, static_cast<float>(start), static_cast<float>(BufLen / bytesPerSec));
    }
    std::lock_guard guard(Lock);
    if (BufLen > 0) std::memset(Buf, 0, static_cast<size_t>(BufLen));
    const size_t samples = static_cast<size_t>(frames) * channels;
    // Grows only when a larger block than ever before is asked for.
    if (Bus.size() < samples) {
        Bus.resize(samples);
        Scratch.resize(samples);
    }
    std::fill(Bus.begin(), Bus.begin() + static_cast<std::ptrdiff_t>(samples), 0.0f);
    for (TMixVoice* v : Active)
        v->MixInto(Bus.data(), Scratch.data(), frames);
    brindle::soundlib::BusToShorts(static_cast<std::int16_t*>(Buf), Bus.data(), static_cast<int>(samples));
    for (std::size_t i = Active.size(); i-- > 0;)
        if (Active[i]->GetOver()) FreeAt(i);
    FramePos.fetch_add(frames, std::memory_order_relaxed);
    return BufLen;
}

void TLiveMixer::AddShorts(std::int16_t* Dest, const std::int16_t* Src, int Count) {
    brindle::soundlib::AddShorts(Dest, Src, Count);
}

float TLiveMixer::GetTimePos() const {
    return static_cast<float>(static_cast<double>(GetFramePos()) / GetSampleRate());
}

void TLiveMixer::SetTimePos(float Seconds) {
    SetFramePos(std::llround(static_cast<double>(Seconds) * GetSampleRate()));
}

int TLiveMixer::VoiceCount() const {
    std::lock_guard guard(Lock);
    return static_cast<int>(Active.size());
}

std::vector<std::string> TLiveMixer::TakeProblems() {
    return Problems.TakeAll();
}

std::vector<std::string> TLiveMixer::TakePendingLoads() {
    return PendingLoads.TakeAll();
}
