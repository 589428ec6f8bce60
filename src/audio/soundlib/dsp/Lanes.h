#pragma once
// Small fixed-width vectors for the effect loops: lanes of independent filters or channels that
// the compiler maps to SIMD registers (SSE2 on every x86-64) instead of per-sample scalar code.
#include <cstdint>
#include <cstring>

namespace brindle::dsp {

#if (defined(__GNUC__) || defined(__clang__)) && !defined(BRINDLE_NO_VECTOR_EXTENSIONS)
using TFloat4 = float __attribute__((vector_size(16)));
using TInt4 = std::int32_t __attribute__((vector_size(16)));
using TDouble2 = double __attribute__((vector_size(16)));
using TLong2 = std::int64_t __attribute__((vector_size(16)));

inline TFloat4 Splat4(float V) {
    return TFloat4{V, V, V, V};
}
inline TDouble2 Splat2(double V) {
    return TDouble2{V, V};
}

// Lanes whose magnitude is below Tiny become exact zeros; so does a NaN, which must not keep
// circulating in a feedback path.
inline TFloat4 FlushLanes(TFloat4 V, float Tiny = 1e-20f) {
    const TInt4 Bits = reinterpret_cast<TInt4>(V);
    return reinterpret_cast<TFloat4>(Bits & (reinterpret_cast<TFloat4>(Bits & 0x7fffffff) >= Splat4(Tiny)));
}
inline TDouble2 FlushLanes(TDouble2 V, double Tiny = 1e-30) {
    const TLong2 Bits = reinterpret_cast<TLong2>(V);
    return reinterpret_cast<TDouble2>(
        Bits & (reinterpret_cast<TDouble2>(Bits & 0x7fffffffffffffff) >= Splat2(Tiny)));
}

// {sum of A's lanes, sum of B's, sum of C's, sum of D's}.
inline TFloat4 LaneSums(TFloat4 A, TFloat4 B, TFloat4 C, TFloat4 D) {
    const TFloat4 AB = __builtin_shufflevector(A, B, 0, 1, 4, 5) + __builtin_shufflevector(A, B, 2, 3, 6, 7);
    const TFloat4 CD = __builtin_shufflevector(C, D, 0, 1, 4, 5) + __builtin_shufflevector(C, D, 2, 3, 6, 7);
    return __builtin_shufflevector(AB, CD, 0, 2, 4, 6) + __builtin_shufflevector(AB, CD, 1, 3, 5, 7);
}
#else
// Plain arrays for compilers without vector extensions: same results, scalar speed.
template <class T, int N> struct TLanes {
    T V[N];
    T& operator[](int I) { return V[I]; }
    T operator[](int I) const { return V[I]; }
#define BRINDLE_LANE_OP(Op)                                                                                  \
    friend TLanes operator Op(TLanes A, const TLanes& B) {                                                   \
        for (int I = 0; I < N; ++I)                                                                          \
            A.V[I] = A.V[I] Op B.V[I];                                                                       \
        return A;                                                                                            \
    }                                                                                                        \
    TLanes& operator Op##=(const TLanes& B) {                                                                \
        return *this = *this Op B;                                                                           \
    }
    BRINDLE_LANE_OP(+)
    BRINDLE_LANE_OP(-)
    BRINDLE_LANE_OP(*)
#undef BRINDLE_LANE_OP
    // A scalar stands for all lanes, as with the vector extensions.
    friend TLanes operator*(T A, TLanes B) {
        for (int I = 0; I < N; ++I)
            B.V[I] = A * B.V[I];
        return B;
    }

};
using TFloat4 = TLanes<float, 4>;
using TDouble2 = TLanes<double, 2>;

inline TFloat4 Splat4(float V) {
    return TFloat4{{V, V, V, V}};
}
inline TDouble2 Splat2(double V) {
    return TDouble2{{V, V}};
}
template <class T, int N>
TLanes<T, N> FlushLanes(TLanes<T, N> V, T Tiny = sizeof(T) == 4 ? T(1e-20) : T(1e-30)) {
    for (int I = 0; I < N; ++I)
        if (!(V.V[I] <= -Tiny || V.V[I] >= Tiny)) V.V[I] = 0;
    return V;
}
inline TFloat4 LaneSums(const TFloat4& A, const TFloat4& B, const TFloat4& C, const TFloat4& D) {
    auto Sum = [](const TFloat4& V) { return (V[0] + V[2]) + (V[1] + V[3]); };
    return TFloat4{{Sum(A), Sum(B), Sum(C), Sum(D)}};
}
#endif

// Unaligned loads and stores.
template <class TVec, class T> inline TVec LoadLanes(const T* From) {
    TVec V;
    std::memcpy(&V, From, sizeof V);
    return V;
}
template <class TVec, class T> inline void StoreLanes(T* To, const TVec& V) {
    std::memcpy(To, &V, sizeof V);
}

} // namespace brindle::dsp
