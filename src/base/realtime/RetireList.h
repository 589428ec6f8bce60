#pragma once
// Hand-over of a structure that another thread reads, without locks: the writer publishes the new
// version with one atomic store and retires the old one; a retired version is freed (on the
// writer's thread) only once every read that could have seen it has ended.
//
// The reader brackets each pass with a ReaderEpoch::Guard. The epoch count is odd while a pass is
// running, so a version retired while it was even had no reader, and one retired while it was odd
// is free as soon as the count has moved on. One reading thread per epoch (a device callback or
// whichever thread pulls a chain).
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace brindle {

class ReaderEpoch {
public:
    class Guard {
    public:
        explicit Guard(ReaderEpoch& Epoch) noexcept : Owner(Epoch) { Owner.Count.fetch_add(1); }
        ~Guard() { Owner.Count.fetch_add(1); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        ReaderEpoch& Owner;
    };

    // Taken after the new version was published.
    std::uint64_t Snapshot() const noexcept { return Count.load(); }
    // No read that was running at Snapshot time is still running.
    bool PassedSince(std::uint64_t Snapshot) const noexcept { return (Snapshot & 1) == 0 || Count.load() != Snapshot; }
    bool Reading() const noexcept { return (Count.load() & 1) != 0; }

private:
    std::atomic<std::uint64_t> Count{0};
};

// Versions taken off the reader's path, waiting to be freed. Writer's thread only.
template <class T> class RetireList {
public:
    explicit RetireList(const ReaderEpoch& Epoch) : Epoch(Epoch) {}
    RetireList(const RetireList&) = delete;
    RetireList& operator=(const RetireList&) = delete;

    // Item must already be unreachable for readers that start from now on.
    void Retire(std::unique_ptr<T> Item) {
        if (!Item) return;
        Collect();
        Waiting.push_back({std::move(Item), Epoch.Snapshot()});
    }
    // Frees every retired version no reader can still hold.
    void Collect() {
        std::erase_if(Waiting, [this](const Entry& e) { return Epoch.PassedSince(e.Snapshot); });
    }
    // The reader must have stopped for good (its stream stopped).
    void FreeAll() { Waiting.clear(); }
    std::size_t Count() const { return Waiting.size(); }

private:
    struct Entry {
        std::unique_ptr<T> Item;
        std::uint64_t Snapshot;
    };
    const ReaderEpoch& Epoch;
    std::vector<Entry> Waiting;
};

} // namespace brindle
