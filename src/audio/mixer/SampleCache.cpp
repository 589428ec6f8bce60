#include "audio/mixer/SampleCache.h"

#include "audio/mixer/TempoRender.h"
#include "audio/soundlib/SoundFile.h"
#include "audio/soundlib/TempoStream.h"
#include "base/Error.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>

namespace brindle {

SampleCache::SampleCache(int SampleRate, int Channels) : Rate(SampleRate), ChannelCount(Channels) {}

std::shared_ptr<const SampleData> SampleCache::Load(const std::string& Path) {
    ReleaseRetired();
    std::error_code ec;
    const auto size = std::filesystem::file_size(Path, ec);
    const auto mtime = ec ? std::filesystem::file_time_type{} : std::filesystem::last_write_time(Path, ec);
    if (!ec) {
        auto cached = Find(Path);
        if (cached && cached->FileSize == size && cached->ModTime == mtime) return cached;
    }
    auto data = std::make_shared<SampleData>();
    data->Path = Path;
    data->SampleRate = Rate;
    data->Channels = ChannelCount;
    const auto maxFrames = static_cast<std::int64_t>(MaxSampleSeconds * Rate);
    try {
        data->Pcm = soundlib::DecodeFile(Path, Rate, ChannelCount, maxFrames); // throws for bad files
    } catch (const std::bad_alloc&) {
        throw Error("Not enough memory to load the audio file: " + Path);
    }
    data->FileSize = size;
    data->ModTime = mtime;
    std::shared_ptr<const SampleData> old;
    {
        std::lock_guard guard(Lock);
        auto& slot = Entries[Path];
        old = std::move(slot);
        slot = data;
    }
    if (old) {
        DropVariantsOf(old.get());
        Retire(std::move(old));
    }
    return data;
}

std::shared_ptr<const SampleData> SampleCache::Find(const std::string& Path) const noexcept {
    std::lock_guard guard(Lock);
    const auto it = Entries.find(Path);
    return it == Entries.end() ? nullptr : it->second;
}

void SampleCache::Remove(const std::string& Path) {
    std::shared_ptr<const SampleData> old;
    {
        std::lock_guard guard(Lock);
        const auto it = Entries.find(Path);
        if (it == Entries.end()) return;
        old = std::move(it->second);
        Entries.erase(it);
    }
    DropVariantsOf(old.get());
    Retire(std::move(old));
}

void SampleCache::Clear() {
    std::unordered_map<std::string, std::shared_ptr<const SampleData>> old;
    std::unordered_map<VariantKey, std::shared_ptr<const SampleData>, VariantHash> oldVariants;
    {
        std::lock_guard guard(Lock);
        old.swap(Entries);
        oldVariants.swap(Variants);
        VariantTotal = 0;
    }
    for (auto& [path, data] : old)
        Retire(std::move(data));
    for (auto& [key, data] : oldVariants)
        Retire(std::move(data));
}

std::size_t SampleCache::Size() const {
    std::lock_guard guard(Lock);
    return Entries.size();
}

void SampleCache::Retire(std::shared_ptr<const SampleData> Old) {
    std::lock_guard guard(RetiredLock);
    Retired.push_back(std::move(Old));
    std::erase_if(Retired, [](const auto& p) { return p.use_count() == 1; });
}

void SampleCache::ReleaseRetired() {
    std::lock_guard guard(RetiredLock);
    std::erase_if(Retired, [](const auto& p) { return p.use_count() == 1; });
}

std::size_t SampleCache::VariantHash::operator()(const VariantKey& K) const noexcept {
    const auto h = std::hash<const void*>{}(K.Base);
    return h ^ (std::hash<float>{}(K.Speed) * 31) ^ (std::hash<float>{}(K.Pitch) * 131);
}

std::shared_ptr<const SampleData> SampleCache::LoadVariant(const std::string& Path, float Speed,
                                                           float Pitch) {
    return MakeVariant(Path, Speed, Pitch, false);
}

std::shared_ptr<const SampleData> SampleCache::LoadDraftVariant(const std::string& Path, float Speed,
                                                                float Pitch) {
    return MakeVariant(Path, Speed, Pitch, true);
}

std::shared_ptr<const SampleData> SampleCache::MakeVariant(const std::string& Path, float Speed, float Pitch,
                                                           bool Draft) {
    auto base = Load(Path);
    Speed = soundlib::PlayableSpeed(Speed); // as a voice treats it
    Pitch = soundlib::PlayablePitch(Pitch);
    if (Speed == 1.0f && Pitch == 0.0f) return base;
    if (auto found = FindVariant(base.get(), Speed, Pitch); found && (Draft || !found->Draft)) return found;
    // The budget holds the variant's own size before a byte of it is allocated; renders running
    // on other threads hold theirs meanwhile.
    const auto frames = soundlib::ProcessedFrames(base->Frames(), Speed);
    const std::size_t bytes = static_cast<std::size_t>(frames) * static_cast<std::size_t>(base->Channels) * 2;
    {
        std::lock_guard guard(Lock);
        if (bytes > VariantBudget || VariantTotal + VariantReserved > VariantBudget - bytes) return nullptr;
        VariantReserved += bytes;
    }
    struct Reservation {
        SampleCache& Cache;
        std::size_t Bytes;
        ~Reservation() {
            std::lock_guard guard(Cache.Lock);
            Cache.VariantReserved -= Bytes;
        }
    } reservation{*this, bytes};
    const auto quality = GetStretchQuality();
    Draft = Draft && quality != soundlib::StretchQuality::Standard;
    auto data = std::make_shared<SampleData>();
    data->Draft = Draft;
    data->Path = Path;
    data->SampleRate = base->SampleRate;
    data->Channels = base->Channels;
    try {
        data->Pcm = soundlib::RenderTempoVariant(*base, Speed, Pitch,
                                                 Draft ? soundlib::StretchQuality::Standard : quality);
    } catch (const std::bad_alloc&) {
        throw Error("Not enough memory to prepare a stretched note of the audio file: " + Path);
    }
    data->FileSize = base->FileSize;
    data->ModTime = base->ModTime;
    std::shared_ptr<const SampleData> replaced;
    {
        std::lock_guard guard(Lock);
        if (Quality != quality) return data; // made with the stretcher just replaced: not kept
        // The base may have been replaced meanwhile; a variant of a retired base is never found.
        auto& slot = Variants[VariantKey{base.get(), Speed, Pitch}];
        // A finer variant made meanwhile stays.
        if (slot && Draft && !slot->Draft) return slot;
        if (slot) VariantTotal -= slot->Pcm.size() * sizeof(std::int16_t);
        replaced = std::exchange(slot, data);
        VariantTotal += data->Pcm.size() * sizeof(std::int16_t);
    }
    // A voice may still play the one replaced: it is freed here, never on the audio thread.
    if (replaced) Retire(std::move(replaced));
    return data;
}

std::shared_ptr<const SampleData> SampleCache::FindVariant(const SampleData* Base, float Speed,
                                                           float Pitch) const noexcept {
    std::lock_guard guard(Lock);
    const auto it = Variants.find(VariantKey{Base, Speed, Pitch});
    return it == Variants.end() ? nullptr : it->second;
}

void SampleCache::SetStretchQuality(soundlib::StretchQuality NewQuality) {
    std::unordered_map<VariantKey, std::shared_ptr<const SampleData>, VariantHash> dropped;
    {
        std::lock_guard guard(Lock);
        if (Quality == NewQuality) return;
        Quality = NewQuality;
        dropped.swap(Variants);
        VariantTotal = 0;
    }
    for (auto& [key, data] : dropped)
        Retire(std::move(data));
}

soundlib::StretchQuality SampleCache::GetStretchQuality() const {
    std::lock_guard guard(Lock);
    return Quality;
}

std::size_t SampleCache::VariantBytes() const {
    std::lock_guard guard(Lock);
    return VariantTotal;
}

void SampleCache::SetVariantBudget(std::size_t Bytes) {
    std::lock_guard guard(Lock);
    VariantBudget = Bytes;
}

std::size_t SampleCache::GetVariantBudget() const {
    std::lock_guard guard(Lock);
    return VariantBudget;
}

void SampleCache::DropVariantsOf(const SampleData* Base) {
    std::vector<std::shared_ptr<const SampleData>> dropped;
    {
        std::lock_guard guard(Lock);
        for (auto it = Variants.begin(); it != Variants.end();) {
            if (it->first.Base == Base) {
                VariantTotal -= it->second->Pcm.size() * sizeof(std::int16_t);
                dropped.push_back(std::move(it->second));
                it = Variants.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& d : dropped)
        Retire(std::move(d));
}

} // namespace brindle
