#pragma once
// Background work (waveform images, finer stretches) yields to the window and to playback.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace brindle {

// Lowers the calling thread's scheduling priority; failure leaves it as it was.
inline void LowerThreadPriority() {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, tid, 10);
}

} // namespace brindle
