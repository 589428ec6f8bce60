#pragma once
// Replaces the global allocation functions to count heap allocations while counting is on.
// Include this header in exactly one source file of a test program.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace brindle::test {
inline std::atomic<bool> CountingAllocations{false};
inline std::atomic<std::uint64_t> AllocationCount{0};

// Counts allocations made by any thread while alive.
class AllocationScope {
public:
    AllocationScope() {
        AllocationCount = 0;
        CountingAllocations = true;
    }
    ~AllocationScope() { CountingAllocations = false; }
    std::uint64_t Count() const { return AllocationCount.load(); }
};

inline void* CountedAlloc(std::size_t Size, std::size_t Align) {
    if (CountingAllocations.load(std::memory_order_relaxed)) AllocationCount.fetch_add(1, std::memory_order_relaxed);
    void* p = Align <= alignof(std::max_align_t) ? std::malloc(Size ? Size : 1)
                                                 : std::aligned_alloc(Align, (Size + Align - 1) / Align * Align);
    if (!p) throw std::bad_alloc();
    return p;
}
} // namespace brindle::test

void* operator new(std::size_t Size) { return brindle::test::CountedAlloc(Size, 0); }
void* operator new[](std::size_t Size) { return brindle::test::CountedAlloc(Size, 0); }
void* operator new(std::size_t Size, std::align_val_t A) { return brindle::test::CountedAlloc(Size, std::size_t(A)); }
void* operator new[](std::size_t Size, std::align_val_t A) { return brindle::test::CountedAlloc(Size, std::size_t(A)); }
void operator delete(void* P) noexcept { std::free(P); }
void operator delete[](void* P) noexcept { std::free(P); }
void operator delete(void* P, std::size_t) noexcept { std::free(P); }
void operator delete[](void* P, std::size_t) noexcept { std::free(P); }
void operator delete(void* P, std::align_val_t) noexcept { std::free(P); }
void operator delete[](void* P, std::align_val_t) noexcept { std::free(P); }
void operator delete(void* P, std::size_t, std::align_val_t) noexcept { std::free(P); }
void operator delete[](void* P, std::size_t, std::align_val_t) noexcept { std::free(P); }
