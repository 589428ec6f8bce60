#pragma once
// One immutable version of a structure, replaced whole by writers and read by any number of
// threads without locks: a read is two atomic increments around a pointer load, so the audio
// thread can look things up while a worker publishes. A replaced version is freed by a later
// writer (or Collect) once no read has been running since it was replaced; nobody ever waits.
//
// Writers must be serialised by their owner (one writing thread at a time); readers need nothing.
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace brindle {

template <class T> class RcuCell {
  public:
    explicit RcuCell(std::unique_ptr<const T> First = std::make_unique<const T>()) : Current(First.release()) {}
    ~RcuCell() {
        delete Current.load();
        for (auto& r : Retired)
            delete r;
    }
    RcuCell(const RcuCell&) = delete;
    RcuCell& operator=(const RcuCell&) = delete;

    // Any thread: runs Fn on the current version; Fn must not keep the reference.
    template <class F> decltype(auto) Read(F&& Fn) const noexcept {
        const ReadScope scope(Readers);
        return Fn(*Current.load());
    }

    // Writer: the version readers see now (valid until the writer replaces it).
    const T& Latest() const noexcept { return *Current.load(); }

    // Writer: makes Next the version every read from now on sees.
    void Publish(std::unique_ptr<const T> Next) {
        const T* old = Current.exchange(Next.release());
        Collect();
        // Readers that began before the exchange may still hold old: freed once they are gone.
        if (Readers.load() == 0)
            delete old;
        else
            Retired.push_back(old);
    }

    // Writer: frees replaced versions when no read is running.
    void Collect() {
        if (Retired.empty() || Readers.load() != 0) return;
        for (auto& r : Retired)
            delete r;
        Retired.clear();
    }
    std::size_t RetiredCount() const { return Retired.size(); }
    // No read is running now: anything unlinked before this call can no longer be in use.
    bool Quiet() const noexcept { return Readers.load() == 0; }

  private:
    class ReadScope {
      public:
        explicit ReadScope(std::atomic<std::uint32_t>& Count) noexcept : Count(Count) { Count.fetch_add(1); }
        ~ReadScope() { Count.fetch_sub(1); }
        ReadScope(const ReadScope&) = delete;
        ReadScope& operator=(const ReadScope&) = delete;

      private:
        std::atomic<std::uint32_t>& Count;
    };

    std::atomic<const T*> Current;
    mutable std::atomic<std::uint32_t> Readers{0};
    std::vector<const T*> Retired;
};

} // namespace brindle
