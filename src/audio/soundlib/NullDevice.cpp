#include "audio/soundlib/NullDevice.h"

#include <algorithm>
#include <chrono>

namespace brindle::soundlib {

NullDevice::NullDevice(const OutputRequest& request, int bufferLenMs, RenderFunction render, Pacing pacing)
    : OutputBackend(request, std::move(render)), Mode(pacing) {
    const int frames = std::max(1, static_cast<int>(static_cast<std::int64_t>(request.SampleRate) *
                                                    std::max(1, bufferLenMs) / 1000));
    Block.assign(static_cast<size_t>(frames) * static_cast<size_t>(BytesPerFrame()), 0);
}

NullDevice::~NullDevice() { Stop(); }

void NullDevice::Start() {
    if (Started.exchange(true)) return;
    if (Mode == Pacing::Manual) return;
    {
        std::lock_guard lock(WakeLock);
        StopRequested = false;
    }
    Puller = std::thread([this] { ThreadMain(); });
}

void NullDevice::Stop() {
    if (!Started.exchange(false)) return;
    if (Puller.joinable()) {
        {
            std::lock_guard lock(WakeLock);
            StopRequested = true;
        }
        Wake.notify_all();
        Puller.join();
    }
}

int NullDevice::PullBlock() {
    if (!Started.load() || Mode != Pacing::Manual) return -1;
    const auto t0 = std::chrono::steady_clock::now();
    const int written = RenderBlock(Block.data(), BlockBytes());
    const auto computeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
    Statistics.Record(computeNs, BlockNs(BlockBytes()), computeNs > BlockNs(BlockBytes()));
    return written;
}

void NullDevice::ThreadMain() {
    using clock = std::chrono::steady_clock;
    const auto block = std::chrono::nanoseconds(BlockNs(BlockBytes()));
    // The block asked for at `due` plays once the one before it has played: it must be ready by
    // due + block. A late block is an underrun; the clock then starts again from the late block.
    auto due = clock::now();
    for (;;) {
        const auto t0 = clock::now();
        RenderBlock(Block.data(), BlockBytes());
        const auto t1 = clock::now();
        const bool missed = t1 > due + block;
        Statistics.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count(), block.count(), missed);
        due = missed ? t1 : due + block;
        std::unique_lock lock(WakeLock);
        if (Wake.wait_until(lock, due, [this] { return StopRequested; })) return;
    }
}

} // namespace brindle::soundlib
