#pragma once
// Background work (waveform images, finer stretches) yields to the window and to playback.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace brindle {

// Sets the calling thread's nice value (threads it starts inherit it); failure leaves it as it was.
inline void SetThreadNice(int Nice) {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, tid, Nice);
}

inline void LowerThreadPriority() { SetThreadNice(10); }

} // namespace brindle
