#pragma once
// The output used without a sound card: a thread pulls one block of the configured buffer length
// per block duration, on the real-time clock, and throws the sound away. In manual mode there is
// no thread and the owner pulls blocks itself, which makes timing-dependent behaviour testable.
#include "audio/soundlib/OutputBackend.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace brindle::soundlib {

class NullDevice : public OutputBackend {
public:
    enum class Pacing { RealTime, Manual };

    NullDevice(const OutputRequest& request, int bufferLenMs, RenderFunction render,
               Pacing pacing = Pacing::RealTime);
    ~NullDevice() override;

    void Start() override;
    void Stop() override;
    bool IsNull() const override { return true; }

    // Manual mode: renders one block now; returns the bytes the render function wrote,
    // or -1 when the device is not started.
    int PullBlock();
    int BlockBytes() const { return static_cast<int>(Block.size()); }
    const std::vector<std::uint8_t>& LastBlock() const { return Block; }
    bool Running() const { return Started.load(); }

private:
    void ThreadMain();

    Pacing Mode;
    std::vector<std::uint8_t> Block;
    std::atomic<bool> Started{false};
    std::mutex WakeLock;
    std::condition_variable Wake;
    bool StopRequested = false;
    std::thread Puller;
};

} // namespace brindle::soundlib
