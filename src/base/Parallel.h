#pragma once
// Runs Work(0..Count-1) on the machine's cores; for preparation work off the audio thread.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace brindle {

// Work must be safe to run concurrently for different indexes. The first exception thrown by
// any call is rethrown once all threads have finished.
template <class Fn> void ParallelFor(std::size_t Count, Fn&& Work) {
    const std::size_t threads = std::min<std::size_t>(Count, std::max(1u, std::thread::hardware_concurrency()));
    if (threads <= 1) {
        for (std::size_t i = 0; i < Count; ++i) Work(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::atomic_flag failed = ATOMIC_FLAG_INIT;
    auto run = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < Count;) {
            try {
                Work(i);
            } catch (...) {
                if (!failed.test_and_set()) failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(run);
    run();
    for (auto& t : pool) t.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace brindle
