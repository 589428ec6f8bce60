#include "Measure.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brindle::test {

std::vector<double> ChannelOf(const std::vector<std::int16_t>& Pcm, int Channels, int Channel) {
    std::vector<double> out(Pcm.size() / Channels);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = Pcm[i * Channels + Channel];
    return out;
}

double Rms(const std::vector<double>& X, size_t Begin, size_t End) {
    End = std::min(End, X.size());
    if (End <= Begin) return 0;
    double sum = 0;
    for (size_t i = Begin; i < End; ++i)
        sum += X[i] * X[i];
    return std::sqrt(sum / static_cast<double>(End - Begin));
}

double GoertzelAmplitude(const std::vector<double>& X, double Hz, int Rate, size_t Begin, size_t End) {
    End = std::min(End, X.size());
    if (End <= Begin) return 0;
    const double w = 2.0 * std::numbers::pi * Hz / Rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = Begin; i < End; ++i) {
        const double s0 = X[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(End - Begin);
}

double ZeroCrossingHz(const std::vector<double>& X, int Rate, size_t Begin, size_t End) {
    End = std::min(End, X.size());
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = Begin + 1; i < End; ++i) {
        if (X[i - 1] < 0 && X[i] >= 0) {
            const double t = static_cast<double>(i - 1) + (-X[i - 1]) / (X[i] - X[i - 1]);
            if (first < 0)
                first = t;
            else
                ++count;
            last = t;
        }
    }
    if (count == 0) return 0;
    return count * static_cast<double>(Rate) / (last - first);
}

std::int64_t FirstAbove(const std::vector<double>& X, double Threshold) {
    for (size_t i = 0; i < X.size(); ++i)
        if (std::abs(X[i]) > Threshold) return static_cast<std::int64_t>(i);
    return -1;
}

std::int64_t LastAbove(const std::vector<double>& X, double Threshold) {
    for (size_t i = X.size(); i-- > 0;)
        if (std::abs(X[i]) > Threshold) return static_cast<std::int64_t>(i);
    return -1;
}

} // namespace brindle::test
