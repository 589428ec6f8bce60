#pragma once
// Switches the processor to flush denormals to zero for the lifetime of the guard, where the
// processor offers it. Effects take one in Process; where Flushes is false they flush their
// feedback paths themselves.
#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace brindle::dsp {

class TDenormalGuard {
  public:
#if defined(__SSE__) || defined(__x86_64__)
    static constexpr bool Flushes = true;
    TDenormalGuard() : Saved(_mm_getcsr()) {
        _mm_setcsr(Saved | 0x8040);
    } // FTZ | DAZ
    ~TDenormalGuard() {
        _mm_setcsr(Saved);
    }
#else
    static constexpr bool Flushes = false;
    TDenormalGuard() = default;
#endif
    TDenormalGuard(const TDenormalGuard&) = delete;
    TDenormalGuard& operator=(const TDenormalGuard&) = delete;

  private:
#if defined(__SSE__) || defined(__x86_64__)
    unsigned Saved;
#endif
};

} // namespace brindle::dsp
