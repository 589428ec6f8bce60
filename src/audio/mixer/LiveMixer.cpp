#include "audio/mixer/LiveMixer.h"

#include "audio/mixer/MixKernels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

using brindle::soundlib::PlayablePitch;
using brindle::soundlib::PlayableSpeed;

namespace {
// Extra voices that let a stolen voice fade out while its replacement already sounds.
int ReserveFor(int PoolSize) {
    return std::max(4, PoolSize / 8);
}

int VoicesFor(int PoolSize) {
    const int playing = std::max(PoolSize, 1);
    return playing + ReserveFor(playing);
}

// Set while a thread mixes a block: AddToMix called then runs on the audio thread (through
// BeforeBlockMixing) and must not prepare tempo streams.
thread_local bool MixingOnThisThread = false;

class MixingScope {
  public:
    MixingScope() : Outer(MixingOnThisThread) { MixingOnThisThread = true; }
    ~MixingScope() { MixingOnThisThread = Outer; }
    MixingScope(const MixingScope&) = delete;
    MixingScope& operator=(const MixingScope&) = delete;

  private:
    bool Outer;
};
} // namespace

TLiveMixer::TLiveMixer(int PoolSize, int SampleRate, int Channels, int MaxBlockFrames, bool RealTime)
    : PoolSize(std::max(PoolSize, 1)), MaxBlock(std::max(MaxBlockFrames, 1)), RealTime(RealTime),
      Cache(std::make_shared<brindle::SampleCache>(SampleRate, Channels)),
      Engines(SampleRate, Channels, VoicesFor(PoolSize), RealTime) {
    SetFormat(SampleRate, Channels);
    const int total = VoicesFor(PoolSize);
    Pool.reserve(static_cast<size_t>(total));
    Active.reserve(static_cast<size_t>(total));
    Free.reserve(static_cast<size_t>(total));
    for (int i = 0; i < total; ++i)
        Pool.push_back(std::make_unique<TMixVoice>(SampleRate, Channels));
    for (auto it = Pool.rbegin(); it != Pool.rend(); ++it)
        Free.push_back(it->get());
    Bus.resize(static_cast<size_t>(MaxBlock) * Channels);
    Scratch.resize(static_cast<size_t>(MaxBlock) * Channels);
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
    const std::size_t why = std::min(std::strlen(Why), sizeof text - 1);
    const std::size_t n = std::min(FileName.size(), sizeof text - why - 1);
    std::memcpy(text, Why, why);
    std::memcpy(text + why, FileName.data(), n);
    Problems.Push(std::string_view(text, why + n));
}

bool TLiveMixer::AddToMix(const std::string& FileName, float Stretch, float Volume, float Pitch, float Offset,
                          int Tag) {
    float speed = PlayableSpeed(Stretch);
    float pitch = PlayablePitch(Pitch);
    const bool onAudioThread = MixingOnThisThread && RealTime;
    std::unique_lock guard(Lock);
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
    if (!TMixVoice::IsNeutral(speed, pitch)) {
        // A prepared variant plays like a plain sample: no SoundTouch work on this thread.
        if (auto variant = Cache->FindVariant(data.get(), speed, pitch)) {
            data = std::move(variant);
            speed = 1.0f;
            pitch = 0.0f;
        }
    }
    // The voice and its stream belong to this call until the voice is published below.
    TMixVoice* voice = TakeVoice();
    int slot = -1;
    if (!TMixVoice::IsNeutral(speed, pitch)) {
        slot = Engines.TakeFitting(speed, pitch);
        if (slot < 0 && !onAudioThread) {
            slot = Engines.TakeAny();
            if (slot >= 0) {
                guard.unlock();
                Engines.Tune(slot, speed, pitch); // allocates: never under the lock
                guard.lock();
                Engines.Regroup(slot);
            }
        }
        if (slot < 0) AskForStreams(speed, pitch, FileName);
    }
    voice->Start(std::move(data), speed, Volume, pitch, SecondsToFrames(Offset), Tag, NextSerial++,
                 slot >= 0 ? &Engines.Stream(slot) : nullptr, slot);
    voice->SetRequested(PlayableSpeed(Stretch), PlayablePitch(Pitch));
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

void TLiveMixer::AskForStreams(float Speed, float Pitch, const std::string& FileName) {
    for (std::size_t i = 0; i < PendingCount; ++i)
        if (Pending[i].Speed == Speed && Pending[i].Pitch == Pitch) return; // asked already
    if (PendingCount == Pending.size()) return; // the UI is behind; the voice keeps waiting
    Pending[PendingCount++] = PendingNote{Speed, Pitch};
    char why[160];
    std::snprintf(why, sizeof why,
                  "Note at speed %g and %+g semitones not prepared yet (it will play once prepared): ",
                  static_cast<double>(Speed), static_cast<double>(Pitch));
    Report(why, FileName);
}

TMixVoice* TLiveMixer::OldestWaiting(float Speed, float Pitch) const {
    for (TMixVoice* v : Active)
        if (v->IsWaiting() && !v->IsCut() && v->GetSpeed() == Speed && v->GetPitch() == Pitch) return v;
    return nullptr;
}

void TLiveMixer::PrepareStreams(float Stretch, float Pitch, int Count) {
    const float speed = PlayableSpeed(Stretch);
    const float pitch = PlayablePitch(Pitch);
    if (!RealTime || TMixVoice::IsNeutral(speed, pitch)) return;
    // Bounded by the pool: every round but the last attaches a stream or adds a free one.
    const std::size_t rounds = Pool.size() + static_cast<std::size_t>(std::max(Count, 0)) + 1;
    for (std::size_t round = 0; round < rounds; ++round) {
        std::unique_lock guard(Lock);
        TMixVoice* waiting = OldestWaiting(speed, pitch);
        int slot = -1;
        if (waiting) {
            slot = Engines.TakeFitting(speed, pitch);
        } else if (Engines.CountFitting(speed, pitch) >= Count) {
            return;
        }
        if (slot < 0) {
            slot = Engines.TakeAny();
            if (slot < 0) return; // every stream is playing
            guard.unlock();
            Engines.Tune(slot, speed, pitch);
            guard.lock();
            Engines.Regroup(slot);
            waiting = OldestWaiting(speed, pitch); // it may have ended meanwhile
        }
        if (waiting)
            waiting->Attach(&Engines.Stream(slot), slot);
        else
            Engines.Return(slot);
    }
}

void TLiveMixer::PreparePending() {
    std::array<PendingNote, 64> asked;
    std::size_t count = 0;
    {
        std::lock_guard guard(Lock);
        count = PendingCount;
        std::copy_n(Pending.begin(), count, asked.begin());
        PendingCount = 0;
    }
    for (std::size_t i = 0; i < count; ++i)
        PrepareStreams(asked[i].Speed, asked[i].Pitch, StreamsPerNote);
}

void TLiveMixer::PrepareNote(const std::string& FileName, float Stretch, float Pitch) {
    auto cache = GetSampleCache();
    auto data = cache->Load(FileName);
    const float speed = PlayableSpeed(Stretch);
    const float pitch = PlayablePitch(Pitch);
    if (TMixVoice::IsNeutral(speed, pitch) || cache->FindVariant(data.get(), speed, pitch)) return;
    PrepareStreams(speed, pitch, StreamsPerNote);
}

int TLiveMixer::PreparedStreams(float Stretch, float Pitch) const {
    std::lock_guard guard(Lock);
    return Engines.CountFitting(PlayableSpeed(Stretch), PlayablePitch(Pitch));
}

void TLiveMixer::FreeAt(std::size_t Index) {
    TMixVoice* voice = Active[Index];
    Active.erase(Active.begin() + static_cast<std::ptrdiff_t>(Index));
    const int slot = voice->Release();
    if (slot >= 0) Engines.Return(slot);
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
    const MixingScope mixing;
    const int channels = GetChannels();
    const int frames = BufLen > 0 ? BufLen / (channels * 2) : 0;
    if (BufLen > 0) std::memset(Buf, 0, static_cast<size_t>(BufLen));
    // The mixing buffers hold MaxBlock frames; a larger block is mixed in pieces so nothing grows
    // here. The row clock counts frames, so each piece raises BeforeBlockMixing for exactly its own.
    auto* out = static_cast<std::int16_t*>(Buf);
    int done = 0;
    do {
        const int piece = std::min(frames - done, MaxBlock);
        MixBlock(out + static_cast<size_t>(done) * channels, nullptr, piece);
        done += piece;
    } while (done < frames);
    return BufLen;
}

int TLiveMixer::PopFloats(float* Buf, int Frames) {
    const MixingScope mixing;
    const int channels = GetChannels();
    // In the same pieces as PopData, so the row clock sees the same blocks on both paths.
    Frames = std::max(Frames, 0);
    int done = 0;
    do {
        const int piece = std::min(Frames - done, MaxBlock);
        MixBlock(nullptr, Buf + static_cast<size_t>(done) * channels, piece);
        done += piece;
    } while (done < Frames);
    return Frames;
}

void TLiveMixer::MixBlock(std::int16_t* Out, float* FloatOut, int Frames) {
    if (BeforeBlockMixing) {
        const double start = static_cast<double>(GetFramePos()) / GetSampleRate();
        BeforeBlockMixing(this, static_cast<float>(start),
                          static_cast<float>(static_cast<double>(Frames) / GetSampleRate()));
    }
    std::lock_guard guard(Lock);
    const auto samples = static_cast<std::ptrdiff_t>(Frames) * GetChannels();
    std::fill(Bus.begin(), Bus.begin() + samples, 0.0f);
    for (TMixVoice* v : Active) {
        float* stem = StemBus ? StemBus(v->GetTag()) : nullptr;
        v->MixInto(stem ? stem : Bus.data(), Scratch.data(), Frames);
    }
    if (Out)
        brindle::soundlib::BusToShorts(Out, Bus.data(), static_cast<int>(samples));
    else if (ExactFloats)
        std::transform(Bus.begin(), Bus.begin() + samples, FloatOut,
                       [](float x) { return x * (1.0f / 32768.0f); });
    else
        brindle::soundlib::BusToFloats(FloatOut, Bus.data(), static_cast<int>(samples));
    for (std::size_t i = Active.size(); i-- > 0;)
        if (Active[i]->GetOver()) FreeAt(i);
    FramePos.fetch_add(Frames, std::memory_order_relaxed);
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

void TLiveMixer::GetVoices(std::vector<TVoiceInfo>& Out) const {
    struct Raw {
        std::shared_ptr<const brindle::SampleData> Data;
        float Speed, Pitch;
        std::int64_t Played, Duration;
        int Tag;
    };
    // Copied under the lock into fixed room (a reference keeps each sample alive), formatted after.
    std::array<Raw, 64> raw;
    std::size_t count = 0;
    {
        std::lock_guard guard(Lock);
        for (const TMixVoice* v : Active) {
            if (count == raw.size() || v->IsCut() || !v->GetData()) continue;
            raw[count++] = {v->GetData(), v->GetRequestedSpeed(), v->GetRequestedPitch(), v->GetPlayedFrames(),
                            v->GetDurationFrames(), v->GetTag()};
        }
    }
    Out.resize(count);
    const double rate = GetSampleRate();
    for (std::size_t i = 0; i < count; ++i) {
        const Raw& r = raw[i];
        auto& info = Out[i];
        info.FileName = r.Data->Path;
        info.Pitch = r.Pitch;
        info.Speed = r.Speed;
        info.MixedTime = double(r.Played) / rate;
        info.TimeToMix = double(r.Duration) / rate;
        info.FilePos = std::min(info.MixedTime * r.Speed, double(r.Data->Frames()) / rate);
        info.Tag = r.Tag;
    }
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
