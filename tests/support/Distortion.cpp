#include "Distortion.h"

#include "Measure.h"

#include <algorithm>
#include <cmath>

namespace brindle::test {

double ThdDb(const std::vector<double>& X, double Hz, int Rate, std::size_t Begin, std::size_t End) {
    End = std::min(End, X.size());
    const double Period = Rate / Hz;
    const auto Periods = std::floor(static_cast<double>(End - Begin) / Period);
    End = Begin + static_cast<std::size_t>(std::llround(Periods * Period));
    const double Fundamental = GoertzelAmplitude(X, Hz, Rate, Begin, End);
    double Harmonics = 0;
    for (int h = 2; h * Hz < Rate / 2.0; ++h) {
        const double A = GoertzelAmplitude(X, h * Hz, Rate, Begin, End);
        Harmonics += A * A;
    }
    return 10.0 * std::log10(std::max(Harmonics, 1e-30) / std::max(Fundamental * Fundamental, 1e-30));
}

} // namespace brindle::test
