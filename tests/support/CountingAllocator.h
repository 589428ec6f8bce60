#pragma once
// Replaces the global allocation functions to count heap allocations and frees while counting is
// on: on every thread, or only on threads marked as the audio thread (a UI thread beside it may
// allocate freely). Include this header in exactly one source file of a test program.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace brindle::test {
enum class CountOn { AllThreads, MarkedThreads };

inline std::atomic<int> CountingMode{0}; // 0 off, 1 every thread, 2 marked threads
inline std::atomic<std::uint64_t> AllocationCount{0};
inline std::atomic<std::uint64_t> FreeCount{0};
inline std::atomic<std::size_t> LargestAllocation{0};
inline std::atomic<std::size_t> FailAbove{0}; // 0: no limit
inline thread_local bool MarkedThread = false;

// Marks the calling thread (or unmarks it) for scopes that count on marked threads only.
inline void MarkThisThread(bool Marked = true) {
    MarkedThread = Marked;
}

inline bool CountingHere() {
    const int mode = CountingMode.load(std::memory_order_relaxed);
    return mode == 1 || (mode == 2 && MarkedThread);
}

// Counts allocations and frees made while alive.
class AllocationScope {
  public:
    explicit AllocationScope(CountOn Where = CountOn::AllThreads) {
        AllocationCount = 0;
        FreeCount = 0;
        LargestAllocation = 0;
        CountingMode = Where == CountOn::AllThreads ? 1 : 2;
    }
    ~AllocationScope() { CountingMode = 0; }
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;
    // Allocations and frees together: the audio thread may do neither.
    std::uint64_t Count() const { return Allocations() + Frees(); }
    std::uint64_t Allocations() const { return AllocationCount.load(); }
    std::uint64_t Frees() const { return FreeCount.load(); }
    // Bytes of the largest single allocation: what one claimed length could make the code reserve.
    std::size_t Largest() const { return LargestAllocation.load(); }
};

// While alive, any single allocation larger than Bytes fails with std::bad_alloc, as it would on
// a machine out of memory.
class AllocationLimit {
  public:
    explicit AllocationLimit(std::size_t Bytes) { FailAbove = Bytes; }
    ~AllocationLimit() { FailAbove = 0; }
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;
};

inline void* CountedAlloc(std::size_t Size, std::size_t Align) {
    const std::size_t limit = FailAbove.load(std::memory_order_relaxed);
    if (limit && Size > limit) throw std::bad_alloc();
    if (CountingHere()) {
        AllocationCount.fetch_add(1, std::memory_order_relaxed);
        std::size_t largest = LargestAllocation.load(std::memory_order_relaxed);
        while (Size > largest &&
               !LargestAllocation.compare_exchange_weak(largest, Size, std::memory_order_relaxed)) {
        }
    }
    void* p = Align <= alignof(std::max_align_t)
                  ? std::malloc(Size ? Size : 1)
                  : std::aligned_alloc(Align, (Size + Align - 1) / Align * Align);
    if (!p) throw std::bad_alloc();
    return p;
}

inline void CountedFree(void* P) noexcept {
    if (P && CountingHere()) FreeCount.fetch_add(1, std::memory_order_relaxed);
    std::free(P);
}
} // namespace brindle::test

void* operator new(std::size_t Size) {
    return brindle::test::CountedAlloc(Size, 0);
}
void* operator new[](std::size_t Size) {
    return brindle::test::CountedAlloc(Size, 0);
}
void* operator new(std::size_t Size, std::align_val_t A) {
    return brindle::test::CountedAlloc(Size, std::size_t(A));
}
void* operator new[](std::size_t Size, std::align_val_t A) {
    return brindle::test::CountedAlloc(Size, std::size_t(A));
}
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept {
    try {
        return brindle::test::CountedAlloc(Size, 0);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept {
    try {
        return brindle::test::CountedAlloc(Size, 0);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* P) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete[](void* P) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete(void* P, std::size_t) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete[](void* P, std::size_t) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete(void* P, std::align_val_t) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete[](void* P, std::align_val_t) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete(void* P, std::size_t, std::align_val_t) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete[](void* P, std::size_t, std::align_val_t) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete(void* P, const std::nothrow_t&) noexcept {
    brindle::test::CountedFree(P);
}
void operator delete[](void* P, const std::nothrow_t&) noexcept {
    brindle::test::CountedFree(P);
}
