#include "audio/soundlib/SampleCache.h"

#include "audio/soundlib/SoundFile.h"
#include "base/Error.h"

#include <algorithm>
#include <mutex>

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
    data->Pcm = soundlib::DecodeFile(Path, Rate, ChannelCount); // throws for missing/corrupt files
    data->FileSize = size;
    data->ModTime = mtime;
    std::shared_ptr<const SampleData> old;
    {
        std::lock_guard guard(Lock);
        auto& slot = Entries[Path];
        old = std::move(slot);
        slot = data;
    }
    if (old) Retire(std::move(old));
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
    Retire(std::move(old));
}

void SampleCache::Clear() {
    std::unordered_map<std::string, std::shared_ptr<const SampleData>> old;
    {
        std::lock_guard guard(Lock);
        old.swap(Entries);
    }
    for (auto& [path, data] : old)
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

} // namespace brindle
