#include "audio/mixer/LiveMixer.h"

#include "audio/mixer/MixKernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

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

// The mixer whose block this thread is mixing: its AddToMix calls run on the audio thread (through
// BeforeBlockMixing), work on the voice list directly and must not prepare tempo streams.
thread_local const TLiveMixer* MixingOnThisThread = nullptr;

const std::string& NameOf(const brindle::SampleData& Data) {
    static const std::string none;
    return Data.Name ? *Data.Name : none;
}

class MixingScope {
  public:
    explicit MixingScope(const TLiveMixer* Mixer) : Outer(MixingOnThisThread) { MixingOnThisThread = Mixer; }
    ~MixingScope() { MixingOnThisThread = Outer; }
    MixingScope(const MixingScope&) = delete;
    MixingScope& operator=(const MixingScope&) = delete;

  private:
    const TLiveMixer* Outer;
};
} // namespace

TLiveMixer::TLiveMixer(int PoolSize, int SampleRate, int Channels, int MaxBlockFrames, bool RealTime,
                       bool WarmLater)
    : PoolSize(std::max(PoolSize, 1)), MaxBlock(std::max(MaxBlockFrames, 1)), RealTime(RealTime),
      Cache(std::make_shared<brindle::SampleCache>(SampleRate, Channels)), CacheNow(Cache.get()),
      Engines(SampleRate, Channels, VoicesFor(PoolSize), RealTime,
              WarmLater ? 0 : TTempoEnginePool::InitialStreams) {
    SetFormat(SampleRate, Channels);
    const int total = VoicesFor(PoolSize);
    Pool.reserve(static_cast<size_t>(total));
    Active.reserve(static_cast<size_t>(total));
    Free.reserve(static_cast<size_t>(total));
    DeferredReturns.reserve(static_cast<size_t>(total) + 1);
    for (int i = 0; i < total; ++i)
        Pool.push_back(std::make_unique<TMixVoice>(SampleRate, Channels));
    for (auto it = Pool.rbegin(); it != Pool.rend(); ++it)
        Free.push_back(it->get());
    Bus.resize(static_cast<size_t>(MaxBlock) * Channels);
    Scratch.resize(static_cast<size_t>(MaxBlock) * Channels);
    VoiceBus.resize(static_cast<size_t>(MaxBlock) * Channels);
    RampFrames = std::max(1, static_cast<int>(std::lround(GainRampSeconds * static_cast<float>(SampleRate))));
    for (auto& r : Ramps) r.Pos = RampFrames;
    for (int c = 0; c < GainChannels; ++c) SetChannelGain(c, 1.0f, 1.0f);
    SumSlotOf.fill(-1);
    if (RealTime && !WarmLater) SetMetering(true);
    Voices.Write(Building);
}

void TLiveMixer::SetMetering(bool On) {
    // Made once and kept for the mixer's life: the audio thread reads them once it sees Metering.
    if (On)
        std::call_once(SumsMade, [this] {
            // No more channels can sound in one block than voices exist. Written now, so the pages
            // are there before the audio thread first uses them.
            SumSlots = std::min(GainChannels, VoicesFor(PoolSize));
            ChannelSums.assign(static_cast<size_t>(SumSlots) * static_cast<size_t>(MaxBlock) * GetChannels(), 0.0f);
        });
    Metering.store(On, std::memory_order_release);
}

void TLiveMixer::WarmUp() {
    if (!RealTime) return;
    SetMetering(true);
    for (int made = 0; made < TTempoEnginePool::InitialStreams; ++made) {
        auto stream = Engines.MakeStream();
        std::lock_guard engines(EngineLock);
        if (Engines.StreamCount() >= TTempoEnginePool::InitialStreams || !Engines.Adopt(std::move(stream))) return;
    }
}

int TLiveMixer::TempoStreamCount() const {
    std::lock_guard engines(EngineLock);
    return Engines.StreamCount();
}

TLiveMixer::~TLiveMixer() {
    // Nobody mixes any more: queued commands are dropped with their samples.
    ClearNow();
    OldCaches.FreeAll();
}

bool TLiveMixer::OnMixingThread() const {
    return MixingOnThisThread == this;
}

void TLiveMixer::SetSampleCache(std::shared_ptr<brindle::SampleCache> NewCache) {
    std::lock_guard guard(UiLock);
    CacheNow.store(NewCache.get(), std::memory_order_release);
    // A block being mixed may still look things up in the old one.
    OldCaches.Retire(std::make_unique<std::shared_ptr<brindle::SampleCache>>(std::move(Cache)));
    Cache = std::move(NewCache);
}

std::shared_ptr<brindle::SampleCache> TLiveMixer::GetSampleCache() const {
    std::lock_guard guard(UiLock);
    return Cache;
}

bool TLiveMixer::HasSample(const std::string& FileName) const noexcept {
    const auto* cache = LiveCache();
    return cache && cache->Contains(FileName);
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
    (OnMixingThread() ? Problems : UiProblems).Push(std::string_view(text, why + n));
}

bool TLiveMixer::AddToMix(const std::string& FileName, float Stretch, float Volume, float Pitch, float Offset,
                          int Tag) {
    float speed = PlayableSpeed(Stretch);
    float pitch = PlayablePitch(Pitch);
    const bool mixing = OnMixingThread();
    std::unique_lock guard(UiLock, std::defer_lock);
    if (!mixing) guard.lock();
    brindle::SampleCache* cache = mixing ? LiveCache() : Cache.get();
    auto data = cache ? cache->Find(FileName) : nullptr;
    if (!data) {
        Report("Sample not loaded yet (it will play next time): ", FileName);
        (mixing ? PendingLoads : UiPendingLoads).Push(FileName);
        return false;
    }
    if (data->SampleRate != GetSampleRate() || data->Channels != GetChannels()) {
        Report("Sample is not in the mixer's format: ", FileName);
        return false;
    }
    if (!TMixVoice::IsNeutral(speed, pitch)) {
        // A prepared variant plays like a plain sample: no SoundTouch work on this thread.
        if (auto variant = cache->FindVariant(data.get(), speed, pitch)) {
            data = std::move(variant);
            speed = 1.0f;
            pitch = 0.0f;
        }
    }
    const float requestedSpeed = PlayableSpeed(Stretch), requestedPitch = PlayablePitch(Pitch);
    const std::int64_t delay = SecondsToFrames(Offset);
    if (mixing && RealTime) {
        // The audio thread takes only a stream already tuned; the pool's lock is never waited for.
        int slot = -1;
        bool busy = false;
        if (!TMixVoice::IsNeutral(speed, pitch)) {
            if (EngineLock.try_lock()) {
                slot = Engines.TakeFitting(speed, pitch);
                EngineLock.unlock();
            } else {
                busy = true; // the voice waits a block and tries again
            }
        }
        StartVoice(std::move(data), speed, Volume, pitch, delay, Tag, slot, requestedSpeed, requestedPitch);
        if (slot < 0 && !busy && !TMixVoice::IsNeutral(speed, pitch)) AskForStreams(speed, pitch, FileName);
        return true;
    }
    // Off the audio thread (or offline), a stream is tuned here when none fits.
    int slot = -1;
    if (!TMixVoice::IsNeutral(speed, pitch)) {
        std::unique_lock engines(EngineLock);
        slot = Engines.TakeFitting(speed, pitch);
        if (slot < 0) {
            slot = Engines.TakeAny();
            if (slot >= 0) {
                engines.unlock();
                Engines.Tune(slot, speed, pitch); // allocates: never under the lock
                engines.lock();
                Engines.Regroup(slot);
            }
        }
    }
    if (mixing) {
        StartVoice(std::move(data), speed, Volume, pitch, delay, Tag, slot, requestedSpeed, requestedPitch);
        if (slot < 0 && !TMixVoice::IsNeutral(speed, pitch)) AskForStreams(speed, pitch, FileName);
        return true;
    }
    // The sample travels in a slot of its own; the command names it.
    if (DataSent - DataTaken.load(std::memory_order_acquire) >= CommandSlots ||
        Commands.Count() >= CommandSlots - ReservedSlots) {
        if (slot >= 0) {
            std::lock_guard engines(EngineLock);
            Engines.Return(slot);
        }
        Report("Too many notes at once (not played): ", FileName);
        return false;
    }
    const auto dataSlot = static_cast<int>(DataSent % CommandSlots);
    CommandData[static_cast<size_t>(dataSlot)] = std::move(data);
    ++DataSent;
    Command c;
    c.What = Command::Add;
    c.Tag = Tag;
    c.DataSlot = dataSlot;
    c.EngineSlot = slot;
    c.Speed = speed;
    c.Pitch = pitch;
    c.Volume = Volume;
    c.RequestedSpeed = requestedSpeed;
    c.RequestedPitch = requestedPitch;
    c.Frames = delay;
    AddsSent.fetch_add(1);
    AddsSinceClear.fetch_add(1);
    Commands.Push(c);
    return true;
}

bool TLiveMixer::StartVoice(std::shared_ptr<const brindle::SampleData> Data, float Speed, float Volume,
                            float Pitch, std::int64_t DelayFrames, int Tag, int EngineSlot, float RequestedSpeed,
                            float RequestedPitch) {
    TMixVoice* voice = TakeVoice();
    voice->Start(std::move(Data), Speed, Volume, Pitch, DelayFrames, Tag, NextSerial++,
                 EngineSlot >= 0 ? &Engines.Stream(EngineSlot) : nullptr, EngineSlot);
    voice->SetRequested(RequestedSpeed, RequestedPitch);
    Active.push_back(voice);
    return true;
}

bool TLiveMixer::Send(const Command& C) {
    std::lock_guard guard(UiLock);
    const bool reserved = C.What == Command::Prepared;
    if ((!reserved && Commands.Count() >= CommandSlots - ReservedSlots) || !Commands.Push(C)) {
        UiProblems.Push("The mixer is behind: a note command was dropped");
        return false;
    }
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
    for (std::size_t i = 0; i < AskedCount; ++i)
        if (Asked[i].Speed == Speed && Asked[i].Pitch == Pitch) return; // asked already
    if (AskedCount == Asked.size()) return; // the UI is behind; the voice keeps waiting
    if (!AskedRing.Push(PendingNote{Speed, Pitch})) return;
    Asked[AskedCount++] = PendingNote{Speed, Pitch};
    char why[160];
    std::snprintf(why, sizeof why,
                  "Note at speed %g and %+g semitones not prepared yet (it will play once prepared): ",
                  static_cast<double>(Speed), static_cast<double>(Pitch));
    Report(why, FileName);
}

void TLiveMixer::PrepareStreams(float Stretch, float Pitch, int Count) {
    const float speed = PlayableSpeed(Stretch);
    const float pitch = PlayablePitch(Pitch);
    if (!RealTime || TMixVoice::IsNeutral(speed, pitch)) return;
    // Waiting voices take theirs from the free ones at the next block. Bounded by the pool.
    for (std::size_t round = 0; round <= Pool.size(); ++round) {
        std::unique_lock engines(EngineLock);
        if (Engines.CountFitting(speed, pitch) >= Count) return;
        const int slot = Engines.TakeAny();
        if (slot < 0) return; // every stream is playing
        engines.unlock();
        Engines.Tune(slot, speed, pitch);
        engines.lock();
        Engines.Regroup(slot);
        Engines.Return(slot);
    }
}

void TLiveMixer::PreparePending() {
    PendingNote note{};
    while (AskedRing.Pop(note)) {
        PrepareStreams(note.Speed, note.Pitch, StreamsPerNote);
        // The audio thread may ask for this setting again (and report it) from now on.
        Command c;
        c.What = Command::Prepared;
        c.Speed = note.Speed;
        c.Pitch = note.Pitch;
        Send(c);
    }
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
    std::lock_guard guard(EngineLock);
    return Engines.CountFitting(PlayableSpeed(Stretch), PlayablePitch(Pitch));
}

void TLiveMixer::ReturnEngine(int Slot) {
    if (Slot < 0) return;
    DeferredReturns.push_back(Slot); // within its reserve: one per voice
    if (!EngineLock.try_lock()) return; // given back at a later block
    for (int s : DeferredReturns)
        Engines.Return(s);
    DeferredReturns.clear();
    EngineLock.unlock();
}

void TLiveMixer::FreeAt(std::size_t Index) {
    TMixVoice* voice = Active[Index];
    Active.erase(Active.begin() + static_cast<std::ptrdiff_t>(Index));
    ReturnEngine(voice->Release());
    Free.push_back(voice);
}

void TLiveMixer::RemoveByTag(int Tag) {
    RemoveByTag(Tag, 0.0f);
}

void TLiveMixer::RemoveByTag(int Tag, float Offset) {
    const std::int64_t at = SecondsToFrames(Offset);
    if (OnMixingThread()) {
        CutTag(Tag, at);
        return;
    }
    Command c;
    c.What = Command::Remove;
    c.Tag = Tag;
    c.Frames = at;
    Send(c);
}

void TLiveMixer::CutTag(int Tag, std::int64_t At) {
    for (TMixVoice* v : Active)
        if (v->GetTag() == Tag) v->CutAt(At);
}

void TLiveMixer::Clear() {
    if (OnMixingThread()) {
        ClearNow();
        return;
    }
    std::lock_guard guard(UiLock);
    Command c;
    c.What = Command::Clear;
    // Counted before it can be applied, so a snapshot never looks newer than what was sent.
    ClearsSent.fetch_add(1);
    if (!Commands.Push(c)) {
        ClearsSent.fetch_sub(1);
        UiProblems.Push("The mixer is behind: stopping the voices was dropped");
        return;
    }
    AddsSinceClear.store(0);
}

namespace {
std::uint64_t packGains(float Left, float Right) {
    return std::uint64_t(std::bit_cast<std::uint32_t>(Left)) | std::uint64_t(std::bit_cast<std::uint32_t>(Right)) << 32;
}
} // namespace

void TLiveMixer::SetChannelGain(int Channel, float Left, float Right) noexcept {
    if (Channel < 0 || Channel >= GainChannels) return;
    // A gain that is not a finite non-negative number would poison the bus.
    const auto sane = [](float g) { return std::isfinite(g) && g > 0 ? g : 0.0f; };
    GainTargets[static_cast<size_t>(Channel)].store(packGains(sane(Left), sane(Right)), std::memory_order_relaxed);
}

void TLiveMixer::TakeChannelGains() {
    for (int c = 0; c < GainChannels; ++c) {
        auto& r = Ramps[static_cast<size_t>(c)];
        const std::uint64_t bits = GainTargets[static_cast<size_t>(c)].load(std::memory_order_relaxed);
        const float left = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        const float right = std::bit_cast<float>(static_cast<std::uint32_t>(bits >> 32));
        if (SnapGains) {
            r = GainRamp{left, right, left, right, RampFrames};
            continue;
        }
        if (left == r.ToL && right == r.ToR) continue;
        // A new ramp starts where the running one has got to.
        const float t = static_cast<float>(r.Pos) / static_cast<float>(RampFrames);
        r.FromL = r.FromL + (r.ToL - r.FromL) * t;
        r.FromR = r.FromR + (r.ToR - r.FromR) * t;
        r.ToL = left;
        r.ToR = right;
        r.Pos = 0;
    }
    SnapGains = false;
}

void TLiveMixer::AddWithGain(float* Dest, const GainRamp& Ramp, int Frames, float* Sum, bool First) const {
    const int channels = GetChannels();
    const float* src = VoiceBus.data();
    const int ramping = std::clamp(RampFrames - Ramp.Pos, 0, Frames);
    const float step = 1.0f / static_cast<float>(RampFrames);
    // Mode 0: the mix only; 1: the channel's sum starts with this voice; 2: it adds to it.
    auto add = [&](int From, int To, auto Gains) {
        auto run = [&](auto Mode) {
            auto put = [&](int At, float Value) {
                Dest[At] += Value;
                if constexpr (decltype(Mode)::value == 1) Sum[At] = Value;
                if constexpr (decltype(Mode)::value == 2) Sum[At] += Value;
            };
            if (channels == 2) {
                for (int i = From; i < To; ++i) {
                    const auto [left, right] = Gains(i);
                    put(2 * i, src[2 * i] * left);
                    put(2 * i + 1, src[2 * i + 1] * right);
                }
            } else {
                for (int i = From; i < To; ++i) {
                    const auto [left, right] = Gains(i);
                    const float g = 0.5f * (left + right); // one channel: the volume, balance has no side
                    for (int k = 0; k < channels; ++k) put(i * channels + k, src[i * channels + k] * g);
                }
            }
        };
        if (!Sum)
            run(std::integral_constant<int, 0>());
        else if (First)
            run(std::integral_constant<int, 1>());
        else
            run(std::integral_constant<int, 2>());
    };
    add(0, ramping, [&](int i) {
        const float t = static_cast<float>(Ramp.Pos + i + 1) * step;
        return std::pair{Ramp.FromL + (Ramp.ToL - Ramp.FromL) * t, Ramp.FromR + (Ramp.ToR - Ramp.FromR) * t};
    });
    // The rest of the block at the settled gains: a loop the compiler vectorises.
    add(ramping, Frames, [&](int) { return std::pair{Ramp.ToL, Ramp.ToR}; });
}

void TLiveMixer::FeedChannelMeters(int Frames) {
    const int channels = GetChannels();
    constexpr float scale = 1.0f / 32768.0f; // the bus is on the 16-bit scale
    for (int i = 0; i < SumsUsed; ++i) {
        const int channel = SumChannel[static_cast<size_t>(i)];
        Levels.FeedBlock(channel, ChannelSums.data() + static_cast<size_t>(i) * static_cast<size_t>(MaxBlock) * channels,
                         Frames, channels, scale);
        SumSlotOf[static_cast<size_t>(channel)] = -1;
    }
    SumsUsed = 0;
}

void TLiveMixer::ClearNow() {
    SnapGains = true;
    while (!Active.empty())
        FreeAt(Active.size() - 1);
}

void TLiveMixer::ApplyCommands() {
    Command c;
    while (Commands.Pop(c)) {
        switch (c.What) {
        case Command::Add: {
            auto& data = CommandData[static_cast<size_t>(c.DataSlot)];
            StartVoice(std::move(data), c.Speed, c.Volume, c.Pitch, c.Frames, c.Tag, c.EngineSlot,
                       c.RequestedSpeed, c.RequestedPitch);
            DataTaken.fetch_add(1, std::memory_order_release);
            ++AddsApplied;
            break;
        }
        case Command::Remove:
            CutTag(c.Tag, c.Frames);
            break;
        case Command::Clear:
            ClearNow();
            ++ClearsApplied;
            break;
        case Command::Prepared:
            for (std::size_t i = 0; i < AskedCount; ++i)
                if (Asked[i].Speed == c.Speed && Asked[i].Pitch == c.Pitch) {
                    Asked[i] = Asked[--AskedCount];
                    break;
                }
            break;
        }
    }
}

void TLiveMixer::AttachWaiting() {
    bool any = false;
    for (const TMixVoice* v : Active)
        any = any || (v->IsWaiting() && !v->IsCut());
    if (!any && DeferredReturns.empty()) return;
    if (!EngineLock.try_lock()) return; // next block
    for (int s : DeferredReturns)
        Engines.Return(s);
    DeferredReturns.clear();
    for (TMixVoice* v : Active) {
        if (!v->IsWaiting() || v->IsCut()) continue;
        const int slot = Engines.TakeFitting(v->GetSpeed(), v->GetPitch());
        if (slot >= 0) v->Attach(&Engines.Stream(slot), slot);
    }
    EngineLock.unlock();
    // Still waiting: asked for once per setting.
    if (!RealTime) return;
    for (TMixVoice* v : Active)
        if (v->IsWaiting() && !v->IsCut()) AskForStreams(v->GetSpeed(), v->GetPitch(), NameOf(*v->GetData()));
}

void TLiveMixer::Publish() {
    Building.Active = static_cast<int>(Active.size());
    int n = 0;
    for (const TMixVoice* v : Active) {
        if (n == MaxListedVoices) break;
        if (v->IsCut() || !v->GetData()) continue;
        const auto& data = *v->GetData();
        Building.Voices[static_cast<size_t>(n++)] = {data.Name, v->GetRequestedSpeed(), v->GetRequestedPitch(),
                                                     v->GetPlayedFrames(), v->GetDurationFrames(), data.Frames(),
                                                     v->GetTag()};
    }
    Building.Listed = n;
    Building.Clears = ClearsApplied;
    Building.Adds = AddsApplied;
    Voices.Write(Building);
}

int TLiveMixer::PopData(void* Buf, int BufLen) {
    const MixingScope mixing(this);
    const brindle::ReaderEpoch::Guard pass(Mixing);
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
    const MixingScope mixing(this);
    const brindle::ReaderEpoch::Guard pass(Mixing);
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
    ApplyCommands();
    AttachWaiting();
    if (BeforeBlockMixing) {
        const double start = static_cast<double>(GetFramePos()) / GetSampleRate();
        BeforeBlockMixing(this, static_cast<float>(start),
                          static_cast<float>(static_cast<double>(Frames) / GetSampleRate()));
    }
    TakeChannelGains();
    const auto samples = static_cast<std::ptrdiff_t>(Frames) * GetChannels();
    std::fill(Bus.begin(), Bus.begin() + samples, 0.0f);
    const bool metering = Metering.load(std::memory_order_acquire) && SumSlots > 0;
    for (TMixVoice* v : Active) {
        const int tag = v->GetTag();
        float* stem = StemBus ? StemBus(tag) : nullptr;
        float* dest = stem ? stem : Bus.data();
        const GainRamp* ramp = tag >= 0 && tag < GainChannels ? &Ramps[static_cast<size_t>(tag)] : nullptr;
        float* sum = nullptr;
        bool first = false;
        if (metering && ramp && !stem) {
            auto& slot = SumSlotOf[static_cast<size_t>(tag)];
            first = slot < 0;
            if (first && SumsUsed < SumSlots) {
                slot = static_cast<std::int16_t>(SumsUsed);
                SumChannel[static_cast<size_t>(SumsUsed++)] = static_cast<std::int16_t>(tag);
            }
            if (slot >= 0) sum = ChannelSums.data() + static_cast<size_t>(slot) * static_cast<size_t>(MaxBlock) * GetChannels();
        }
        if (sum || (ramp && (ramp->Pos < RampFrames || ramp->ToL != 1.0f || ramp->ToR != 1.0f))) {
            // Through VoiceBus: at unity the gain multiplies by exactly 1, so the mix stays bit-exact.
            std::fill(VoiceBus.begin(), VoiceBus.begin() + samples, 0.0f);
            v->MixInto(VoiceBus.data(), Scratch.data(), Frames);
            AddWithGain(dest, *ramp, Frames, sum, first);
        } else {
            v->MixInto(dest, Scratch.data(), Frames); // unity: the samples stay bit-exact
        }
    }
    for (auto& r : Ramps) r.Pos = std::min(r.Pos + Frames, RampFrames);
    if (metering) FeedChannelMeters(Frames);
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
    Publish();
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
    const VoiceSnapshot snap = Voices.Read();
    // Voices a queued Clear will remove are not shown.
    Out.resize(snap.Clears == ClearsSent.load() ? static_cast<size_t>(snap.Listed) : 0);
    const double rate = GetSampleRate();
    for (std::size_t i = 0; i < Out.size(); ++i) {
        const VoiceRecord& r = snap.Voices[i];
        auto& info = Out[i];
        info.FileName = r.Name ? *r.Name : std::string();
        info.Pitch = r.Pitch;
        info.Speed = r.Speed;
        info.MixedTime = double(r.Played) / rate;
        info.TimeToMix = double(r.Duration) / rate;
        info.FilePos = std::min(info.MixedTime * r.Speed, double(r.SourceFrames) / rate);
        info.Tag = r.Tag;
    }
}

int TLiveMixer::VoiceCount() const {
    if (OnMixingThread()) return static_cast<int>(Active.size());
    const VoiceSnapshot snap = Voices.Read();
    // A clear still queued leaves only the notes sent after it.
    if (snap.Clears != ClearsSent.load()) return AddsSinceClear.load();
    return snap.Active + static_cast<int>(AddsSent.load() - snap.Adds);
}

std::vector<std::string> TLiveMixer::TakeProblems() {
    auto all = Problems.TakeAll();
    for (auto& text : UiProblems.TakeAll())
        all.push_back(std::move(text));
    return all;
}

std::vector<std::string> TLiveMixer::TakePendingLoads() {
    auto all = PendingLoads.TakeAll();
    for (auto& text : UiPendingLoads.TakeAll())
        all.push_back(std::move(text));
    return all;
}
