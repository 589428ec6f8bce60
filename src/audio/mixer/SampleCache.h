#pragma once
// Instrument audio decoded and converted to the mixer's format once, shared read-only by every voice.
//
// Load runs on the thread that asks (UI: instrument assigned, module loaded, file previewed) and
// decodes; Find and FindVariant run on the audio thread: they read an immutable version of the
// table that writers replace whole, so they never allocate, never touch files and never wait on a
// writer. Entries that are replaced or removed are parked until no voice holds them, so the audio
// thread never frees sample memory.
#include "audio/soundlib/BestStretch.h"
#include "audio/soundlib/SoundFile.h"
#include "base/realtime/RcuCell.h"
#include "base/realtime/RealtimeProbe.h"

#include <atomic>
#include <mutex>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace brindle {

struct SampleData {
    std::string Path;
    int SampleRate = 0;
    int Channels = 0;
    std::vector<std::int16_t> Pcm; // interleaved, at SampleRate and Channels
    std::uintmax_t FileSize = 0;
    std::filesystem::file_time_type ModTime{};
    // A variant made with the quick stretcher in place of a finer one still to come.
    bool Draft = false;
    // Unique to this load of the file, never reused: prepared variants are keyed by it, so a
    // sample loaded where a freed one lived never finds the freed one's variants.
    std::uint64_t Generation = 0;
    // Path, stored for the life of the process: what the voice list shows, read after the
    // sample itself may be gone.
    const std::string* Name = nullptr;

    std::int64_t Frames() const { return Channels ? static_cast<std::int64_t>(Pcm.size()) / Channels : 0; }
    double Seconds() const { return SampleRate ? static_cast<double>(Frames()) / SampleRate : 0.0; }
};

class SampleCache {
  public:
    // A decoded instrument lasts at most this long (about 318 MB at 44.1 kHz stereo).
    static constexpr double DefaultMaxSampleSeconds = soundlib::MaxDecodeSeconds;
    // Prepared variants take at most this much memory together.
    static constexpr std::size_t DefaultVariantBudget = std::size_t{512} << 20;

    explicit SampleCache(int SampleRate = 44100, int Channels = 2);

    int GetSampleRate() const { return Rate; }
    int GetChannels() const { return ChannelCount; }

    // Decodes Path unless the cached copy has the same size and modification time.
    // Throws brindle::Error naming the file for a missing, undecodable or too long file, or when
    // memory runs out (the old entry, if any, stays).
    std::shared_ptr<const SampleData> Load(const std::string& Path);
    void SetMaxSampleSeconds(double Seconds) { MaxSampleSeconds = Seconds; }
    double GetMaxSampleSeconds() const { return MaxSampleSeconds; }
    // Audio-thread look-up; null when Path was never loaded.
    std::shared_ptr<const SampleData> Find(const std::string& Path) const noexcept;
    bool Contains(const std::string& Path) const noexcept { return Find(Path) != nullptr; }
    void Remove(const std::string& Path);
    void Clear();
    std::size_t Size() const;
    // Frees parked entries no voice holds any more. Called by Load, Remove and Clear too.
    void ReleaseRetired();
    // A fresh generation number (see SampleData::Generation).
    static std::uint64_t NextGeneration();

    // The sound of Path played at Speed (tempo factor) and Pitch (semitones), both brought into the
    // playable range, prepared once on the calling thread so voices with those settings mix it like
    // a plain sample. Loads Path first. Null when the variant would take the variants past their
    // budget: its size is known before anything is allocated, so nothing is.
    // A draft found is made again with the cache's stretcher and replaces it.
    // Cancel, when given, stops the render at its next chunk (throws soundlib::StretchCancelled).
    std::shared_ptr<const SampleData> LoadVariant(const std::string& Path, float Speed, float Pitch,
                                                  const std::atomic<bool>* Cancel = nullptr);
    // The same, but quick: when the cache's stretcher is not the standard one, a missing variant is
    // made with the standard one and kept as a draft until LoadVariant refines it; any variant
    // found is returned as it is.
    std::shared_ptr<const SampleData> LoadDraftVariant(const std::string& Path, float Speed, float Pitch);
    // Audio-thread look-up by the base sample, with the playable speed and pitch; null when that
    // variant was not prepared.
    std::shared_ptr<const SampleData> FindVariant(const SampleData* Base, float Speed,
                                                  float Pitch) const noexcept;
    // Prepared variants held (those of replaced or removed files are dropped at once).
    std::size_t VariantCount() const;
    // The stretcher variants are prepared with; changing it drops the variants made with the other.
    void SetStretchQuality(soundlib::StretchQuality Quality);
    soundlib::StretchQuality GetStretchQuality() const;
    std::size_t VariantBytes() const;
    void SetVariantBudget(std::size_t Bytes);
    std::size_t GetVariantBudget() const;

  private:
    std::shared_ptr<const SampleData> MakeVariant(const std::string& Path, float Speed, float Pitch,
                                                  bool Draft, const std::atomic<bool>* Cancel);

    int Rate;
    int ChannelCount;
    using EntryMap = std::unordered_map<std::string, std::shared_ptr<const SampleData>>;
    struct VariantKey {
        std::uint64_t Base; // the base sample's generation
        float Speed;
        float Pitch;
        bool operator==(const VariantKey&) const = default;
    };
    struct VariantHash {
        std::size_t operator()(const VariantKey& K) const noexcept;
    };
    using VariantMap = std::unordered_map<VariantKey, std::shared_ptr<const SampleData>, VariantHash>;
    void DropVariantsOf(std::uint64_t Generation);
    // Writer side, under WriteLock: publishes a copy of the tables changed by Edit.
    template <class F> void EditEntries(F&& Edit);
    template <class F> void EditVariants(F&& Edit);
    void Retire(std::shared_ptr<const SampleData> Old);

    // Serialises writers (loading threads, the refiner); the audio thread never takes it.
    mutable CountingPlainMutex WriteLock;
    RcuCell<EntryMap> Entries;
    RcuCell<VariantMap> Variants;
    std::size_t VariantTotal = 0;    // bytes of PCM in Variants
    std::size_t VariantReserved = 0; // bytes of variants being rendered
    std::size_t VariantBudget = DefaultVariantBudget;
    double MaxSampleSeconds = DefaultMaxSampleSeconds;
    std::atomic<soundlib::StretchQuality> Quality{soundlib::StretchQuality::Standard};
    std::vector<std::shared_ptr<const SampleData>> Retired; // touched by loading threads only
    CountingPlainMutex RetiredLock;
};

} // namespace brindle
