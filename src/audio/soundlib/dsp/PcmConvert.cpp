#include "audio/soundlib/dsp/PcmConvert.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle::dsp {

namespace {
constexpr float ToFloat = 1.0f / 32768.0f;
constexpr float ToPcm = 32768.0f;
} // namespace

void PcmToFloats(float* __restrict Dest, const std::int16_t* __restrict Src, int Count) {
    for (int i = 0; i < Count; ++i)
        Dest[i] = static_cast<float>(Src[i]) * ToFloat;
}

void FloatsToPcm(std::int16_t* __restrict Dest, const float* __restrict Src, int Count) {
    int i = 0;
#if defined(__SSE2__)
    // cvtps2dq rounds in the current mode, as lrint does; packs saturates to 16 bits. The clamp
    // first keeps values beyond the 32-bit range from wrapping to the negative end.
    const __m128 Scale = _mm_set1_ps(ToPcm), Lo = _mm_set1_ps(-32768.0f), Hi = _mm_set1_ps(32767.0f);
    for (; i + 8 <= Count; i += 8) {
        __m128 A = _mm_mul_ps(_mm_loadu_ps(Src + i), Scale);
        __m128 B = _mm_mul_ps(_mm_loadu_ps(Src + i + 4), Scale);
        A = _mm_min_ps(_mm_max_ps(_mm_and_ps(A, _mm_cmpord_ps(A, A)), Lo), Hi);
        B = _mm_min_ps(_mm_max_ps(_mm_and_ps(B, _mm_cmpord_ps(B, B)), Lo), Hi);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + i),
                         _mm_packs_epi32(_mm_cvtps_epi32(A), _mm_cvtps_epi32(B)));
    }
#endif
    for (; i < Count; ++i) {
        float Scaled = Src[i] * ToPcm;
        if (Scaled != Scaled) Scaled = 0.0f;
        Dest[i] = static_cast<std::int16_t>(std::lrint(std::clamp(Scaled, -32768.0f, 32767.0f)));
    }
}

void RoundToPcmSteps(float* Samples, int Count) {
    // Far beyond any mix, yet inside the 32-bit range the conversion needs.
    constexpr float Far = 1073741824.0f;
    int i = 0;
#if defined(__SSE2__)
    const __m128 Scale = _mm_set1_ps(ToPcm), Back = _mm_set1_ps(ToFloat), Lo = _mm_set1_ps(-Far),
                 Hi = _mm_set1_ps(Far);
    for (; i + 4 <= Count; i += 4) {
        __m128 A = _mm_mul_ps(_mm_loadu_ps(Samples + i), Scale);
        A = _mm_min_ps(_mm_max_ps(_mm_and_ps(A, _mm_cmpord_ps(A, A)), Lo), Hi);
        _mm_storeu_ps(Samples + i, _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvtps_epi32(A)), Back));
    }
#endif
    for (; i < Count; ++i) {
        float Scaled = Samples[i] * ToPcm;
        if (Scaled != Scaled) Scaled = 0.0f;
        Samples[i] = static_cast<float>(std::lrint(std::clamp(Scaled, -Far, Far))) * ToFloat;
    }
}

} // namespace brindle::dsp
