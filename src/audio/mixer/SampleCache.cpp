#include "audio/mixer/SampleCache.h"

#include "audio/mixer/TempoRender.h"
#include "audio/soundlib/SoundFile.h"
#include "audio/soundlib/TempoStream.h"
#include "base/Error.h"
#include "base/realtime/StableNames.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>

namespace brindle {

SampleCache::SampleCache(int SampleRate, int Channels) : Rate(SampleRate), ChannelCount(Channels) {}

std::uint64_t SampleCache::NextGeneration() {
    static std::atomic<std::uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

template <class F> void SampleCache::EditEntries(F&& Edit) {
    auto next = std::make_unique<EntryMap>(Entries.Latest());
    Edit(*next);
    Entries.Publish(std::move(next));
}

template <class F> void SampleCache::EditVariants(F&& Edit) {
    auto next = std::make_unique<VariantMap>(Variants.Latest());
    Edit(*next);
    Variants.Publish(std::move(next));
}

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
    data->Generation = NextGeneration();
    data->Name = StableName(Path);
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
        std::lock_guard guard(WriteLock);
        // Another thread decoded the same file meanwhile (the window's preload beside an
        // export): its copy stays, with the variants already made of it.
        if (auto same = Find(Path); !ec && same && same->FileSize == size && same->ModTime == mtime) return same;
        EditEntries([&](EntryMap& Map) {
            auto& slot = Map[Path];
            old = std::move(slot);
            slot = data;
        });
        if (old) DropVariantsOf(old->Generation);
    }
    if (old) Retire(std::move(old));
    return data;
}

std::shared_ptr<const SampleData> SampleCache::Find(const std::string& Path) const noexcept {
    return Entries.Read([&](const EntryMap& Map) -> std::shared_ptr<const SampleData> {
        const auto it = Map.find(Path);
        return it == Map.end() ? nullptr : it->second;
    });
}

void SampleCache::Remove(const std::string& Path) {
    std::shared_ptr<const SampleData> old;
    {
        std::lock_guard guard(WriteLock);
        if (!Entries.Latest().contains(Path)) return;
        EditEntries([&](EntryMap& Map) {
            const auto it = Map.find(Path);
            old = std::move(it->second);
            Map.erase(it);
        });
        DropVariantsOf(old->Generation);
    }
    Retire(std::move(old));
}

void SampleCache::Clear() {
    EntryMap old;
    VariantMap oldVariants;
    {
        std::lock_guard guard(WriteLock);
        old = Entries.Latest();
        oldVariants = Variants.Latest();
        Entries.Publish(std::make_unique<EntryMap>());
        Variants.Publish(std::make_unique<VariantMap>());
        VariantTotal = 0;
    }
    for (auto& [path, data] : old)
        Retire(std::move(data));
    for (auto& [key, data] : oldVariants)
        Retire(std::move(data));
}

std::size_t SampleCache::Size() const {
    return Entries.Read([](const EntryMap& Map) { return Map.size(); });
}

std::size_t SampleCache::VariantCount() const {
    return Variants.Read([](const VariantMap& Map) { return Map.size(); });
}

void SampleCache::Retire(std::shared_ptr<const SampleData> Old) {
    std::lock_guard guard(RetiredLock);
    Retired.push_back(std::move(Old));
    std::erase_if(Retired, [](const auto& p) { return p.use_count() == 1; });
}

void SampleCache::ReleaseRetired() {
    {
        std::lock_guard guard(WriteLock);
        Entries.Collect();
        Variants.Collect();
    }
    std::lock_guard guard(RetiredLock);
    std::erase_if(Retired, [](const auto& p) { return p.use_count() == 1; });
}

std::size_t SampleCache::VariantHash::operator()(const VariantKey& K) const noexcept {
    const auto h = std::hash<std::uint64_t>{}(K.Base);
    return h ^ (std::hash<float>{}(K.Speed) * 31) ^ (std::hash<float>{}(K.Pitch) * 131);
}

std::shared_ptr<const SampleData> SampleCache::LoadVariant(const std::string& Path, float Speed, float Pitch,
                                                           const std::atomic<bool>* Cancel) {
    return MakeVariant(Path, Speed, Pitch, false, Cancel);
}

std::shared_ptr<const SampleData> SampleCache::LoadDraftVariant(const std::string& Path, float Speed,
                                                                float Pitch) {
    return MakeVariant(Path, Speed, Pitch, true, nullptr);
}

std::shared_ptr<const SampleData> SampleCache::MakeVariant(const std::string& Path, float Speed, float Pitch,
                                                           bool Draft, const std::atomic<bool>* Cancel) {
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
        std::lock_guard guard(WriteLock);
        if (bytes > VariantBudget || VariantTotal + VariantReserved > VariantBudget - bytes) return nullptr;
        VariantReserved += bytes;
    }
    struct Reservation {
        SampleCache& Cache;
        std::size_t Bytes;
        ~Reservation() {
            std::lock_guard guard(Cache.WriteLock);
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
    data->Generation = NextGeneration();
    data->Name = base->Name;
    try {
        data->Pcm = soundlib::RenderTempoVariant(*base, Speed, Pitch,
                                                 Draft ? soundlib::StretchQuality::Standard : quality, Cancel);
    } catch (const std::bad_alloc&) {
        throw Error("Not enough memory to prepare a stretched note of the audio file: " + Path);
    }
    data->FileSize = base->FileSize;
    data->ModTime = base->ModTime;
    std::shared_ptr<const SampleData> replaced;
    {
        std::lock_guard guard(WriteLock);
        if (Quality.load() != quality) return data; // made with the stretcher just replaced: not kept
        // The file was reloaded or removed while this rendered: the variant belongs to a sample no
        // note can play any more, so it is handed back but never kept (nor counted).
        const auto current = Entries.Latest().find(Path);
        if (current == Entries.Latest().end() || current->second->Generation != base->Generation) return data;
        const VariantKey key{base->Generation, Speed, Pitch};
        const auto& now = Variants.Latest();
        if (const auto it = now.find(key); it != now.end()) {
            // A finer variant made meanwhile stays.
            if (Draft && !it->second->Draft) return it->second;
            replaced = it->second;
        }
        EditVariants([&](VariantMap& Map) { Map[key] = data; });
        if (replaced) VariantTotal -= replaced->Pcm.size() * sizeof(std::int16_t);
        VariantTotal += data->Pcm.size() * sizeof(std::int16_t);
    }
    // A voice may still play the one replaced: it is freed here, never on the audio thread.
    if (replaced) Retire(std::move(replaced));
    return data;
}

std::shared_ptr<const SampleData> SampleCache::FindVariant(const SampleData* Base, float Speed,
                                                           float Pitch) const noexcept {
    if (!Base) return nullptr;
    const VariantKey key{Base->Generation, Speed, Pitch};
    return Variants.Read([&](const VariantMap& Map) -> std::shared_ptr<const SampleData> {
        const auto it = Map.find(key);
        return it == Map.end() ? nullptr : it->second;
    });
}

void SampleCache::SetStretchQuality(soundlib::StretchQuality NewQuality) {
    VariantMap dropped;
    {
        std::lock_guard guard(WriteLock);
        if (Quality.load() == NewQuality) return;
        Quality.store(NewQuality);
        dropped = Variants.Latest();
        Variants.Publish(std::make_unique<VariantMap>());
        VariantTotal = 0;
    }
    for (auto& [key, data] : dropped)
        Retire(std::move(data));
}

soundlib::StretchQuality SampleCache::GetStretchQuality() const {
    return Quality.load();
}

std::size_t SampleCache::VariantBytes() const {
    std::lock_guard guard(WriteLock);
    return VariantTotal;
}

void SampleCache::SetVariantBudget(std::size_t Bytes) {
    std::lock_guard guard(WriteLock);
    VariantBudget = Bytes;
}

std::size_t SampleCache::GetVariantBudget() const {
    std::lock_guard guard(WriteLock);
    return VariantBudget;
}

void SampleCache::DropVariantsOf(std::uint64_t Generation) {
    // Under WriteLock. The dropped variants go to the retired list so no voice loses its data.
    const auto& now = Variants.Latest();
    bool any = false;
    for (const auto& [key, data] : now)
        any = any || key.Base == Generation;
    if (!any) return;
    std::vector<std::shared_ptr<const SampleData>> dropped;
    EditVariants([&](VariantMap& Map) {
        for (auto it = Map.begin(); it != Map.end();) {
            if (it->first.Base == Generation) {
                VariantTotal -= it->second->Pcm.size() * sizeof(std::int16_t);
                dropped.push_back(std::move(it->second));
                it = Map.erase(it);
            } else {
                ++it;
            }
        }
    });
    for (auto& d : dropped)
        Retire(std::move(d));
}

} // namespace brindle
