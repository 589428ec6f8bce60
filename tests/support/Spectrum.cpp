#include "Spectrum.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace brindle::test {

double WindowedAmplitude(const std::vector<double>& X, double Hz, int Rate, std::size_t Begin,
                         std::size_t End) {
    End = std::min(End, X.size());
    if (End <= Begin + 1) return 0;
    const double n = static_cast<double>(End - Begin - 1);
    const double step = 2.0 * std::numbers::pi * Hz / Rate;
    double re = 0, im = 0, weight = 0;
    for (std::size_t i = Begin; i < End; ++i) {
        const double t = 2.0 * std::numbers::pi * static_cast<double>(i - Begin) / n;
        const double w =
            0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        const double phase = step * static_cast<double>(i);
        re += X[i] * w * std::cos(phase);
        im += X[i] * w * std::sin(phase);
        weight += w;
    }
    return 2.0 * std::hypot(re, im) / weight;
}

double DbOf(double Level, double Reference) {
    if (Level <= 0 || Reference <= 0) return -400;
    return 20.0 * std::log10(Level / Reference);
}

double FoldedHz(double Hz, int OutRate) {
    double f = std::fmod(std::abs(Hz), static_cast<double>(OutRate));
    return f > OutRate / 2.0 ? OutRate - f : f;
}

void WriteDeepWav(const std::filesystem::path& Path, const std::vector<double>& Samples, int Rate,
                  int Channels, int Bits) {
    SF_INFO info{};
    info.samplerate = Rate;
    info.channels = Channels;
    info.format = SF_FORMAT_WAV | (Bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT);
    SNDFILE* f = sf_open(Path.c_str(), SFM_WRITE, &info);
    if (!f) throw std::runtime_error("cannot write " + Path.string() + ": " + sf_strerror(nullptr));
    // Full scale saturates instead of wrapping round.
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_writef_double(f, Samples.data(), static_cast<sf_count_t>(Samples.size() / Channels));
    sf_close(f);
}

} // namespace brindle::test
