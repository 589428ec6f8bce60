#include "audio/waveform/PeakImage.h"

#include <algorithm>
#include <climits>

namespace brindle::waveform {

void MixToMono(const std::int16_t* In, std::int64_t Frames, int Channels, std::int16_t* Out) {
    if (Channels == 1) {
        std::copy(In, In + Frames, Out);
    } else if (Channels == 2) {
        for (std::int64_t f = 0; f < Frames; ++f)
            Out[f] = static_cast<std::int16_t>((In[2 * f] + In[2 * f + 1]) / 2);
    } else {
        for (std::int64_t f = 0; f < Frames; ++f) {
            int sum = 0;
            for (int c = 0; c < Channels; ++c)
                sum += In[f * Channels + c];
            Out[f] = static_cast<std::int16_t>(sum / Channels);
        }
    }
}

TPeakDecimator::TPeakDecimator(int SourceRate, int ImageRate, std::int64_t ImageSamples)
    : SrcRate(std::max(SourceRate, 1)), ImgRate(std::max(ImageRate, 1)), Samples(std::max<std::int64_t>(ImageSamples, 0)) {
    Bounds();
    Hi = INT_MIN;
    Lo = INT_MAX;
}

void TPeakDecimator::Bounds() {
    Start = Next * SrcRate / ImgRate;
    End = std::max((Next + 1) * SrcRate / ImgRate, Start + 1);
}

void TPeakDecimator::Emit(std::vector<std::int16_t>& Out) {
    std::int16_t v = 0;
    if (Seen) v = static_cast<std::int16_t>(Hi >= -Lo ? Hi : Lo);
    Out.push_back(v);
    Hi = INT_MIN;
    Lo = INT_MAX;
    Seen = false;
    ++Next;
    Bounds();
}

void TPeakDecimator::Feed(const std::int16_t* Mono, std::int64_t Count, std::vector<std::int16_t>& Out) {
    const std::int64_t base = Consumed;
    const std::int64_t end = base + std::max<std::int64_t>(Count, 0);
    while (Next < Samples) {
        const std::int64_t from = std::max(Start, base) - base;
        const std::int64_t to = std::min(End, end) - base;
        // Separate running max and min keep the loop free of branches.
        int hi = Hi, lo = Lo;
        for (std::int64_t k = from; k < to; ++k) {
            hi = std::max<int>(hi, Mono[k]);
            lo = std::min<int>(lo, Mono[k]);
        }
        Hi = hi;
        Lo = lo;
        if (to > from) Seen = true;
        if (End > end) break;
        Emit(Out);
    }
    Consumed = end;
}

void TPeakDecimator::Finish(std::vector<std::int16_t>& Out) {
    if (Next < Samples && Seen) Emit(Out);
}

} // namespace brindle::waveform
