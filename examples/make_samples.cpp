// Synthesises the demo module's instrument samples, so the repository ships no audio.
// Usage: make_samples OUTPUT_FOLDER
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Sample {
    std::string file;
    int format;
    int rate;
    int channels;
    std::vector<float> mono; // one value per frame; stereo files duplicate it with a small spread
};

double envelope(double t, double attack, double decay) {
    if (t < attack) return t / attack;
    return std::exp(-(t - attack) / decay);
}

std::vector<float> kick(int rate) {
    std::vector<float> out(static_cast<size_t>(rate * 0.45));
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double freq = 45 + 110 * std::exp(-t / 0.04);
        phase += 2 * Pi * freq / rate;
        out[i] = float(0.9 * std::sin(phase) * envelope(t, 0.002, 0.15));
    }
    return out;
}

std::vector<float> snare(int rate, std::mt19937& rng) {
    std::uniform_real_distribution<double> noise(-1, 1);
    std::vector<float> out(static_cast<size_t>(rate * 0.3));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double body = std::sin(2 * Pi * 190 * t) * envelope(t, 0.001, 0.05);
        out[i] = float(0.5 * body + 0.45 * noise(rng) * envelope(t, 0.001, 0.08));
    }
    return out;
}

std::vector<float> hat(int rate, std::mt19937& rng) {
    std::uniform_real_distribution<double> noise(-1, 1);
    std::vector<float> out(static_cast<size_t>(rate * 0.12));
    double prev = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double n = noise(rng);
        const double high = n - prev; // crude high-pass keeps it bright
        prev = n;
        out[i] = float(0.35 * high * envelope(t, 0.0005, 0.03));
    }
    return out;
}

// A sawtooth-ish tone built from a few harmonics of each frequency, peaking at about `level`.
std::vector<float> tone(int rate, double seconds, std::vector<double> freqs, int harmonics, double decay,
                        double level) {
    std::vector<float> out(static_cast<size_t>(rate * seconds));
    double harmonicSum = 0;
    for (int h = 1; h <= harmonics; ++h) harmonicSum += 1.0 / h;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        double v = 0;
        for (double f : freqs)
            for (int h = 1; h <= harmonics; ++h) v += std::sin(2 * Pi * f * h * t) / h;
        const double release = std::min(1.0, (seconds - t) / 0.02);
        out[i] = float(level * v / (harmonicSum * double(freqs.size())) * envelope(t, 0.005, decay) * release);
    }
    return out;
}

bool write(const std::filesystem::path& folder, const Sample& s) {
    SF_INFO info{};
    info.samplerate = s.rate;
    info.channels = s.channels;
    info.format = s.format;
    const auto path = (folder / s.file).string();
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "make_samples: cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> frames;
    frames.reserve(s.mono.size() * size_t(s.channels));
    for (float v : s.mono)
        for (int c = 0; c < s.channels; ++c) frames.push_back(v * (c == 0 ? 1.0f : 0.92f));
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto written = sf_writef_float(f, frames.data(), sf_count_t(s.mono.size()));
    sf_close(f);
    if (written != sf_count_t(s.mono.size())) {
        std::fprintf(stderr, "make_samples: short write to %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    std::mt19937 rng(7);
    const std::vector<Sample> samples = {
        {"kick.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, kick(44100)},
        {"snare.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 2, snare(48000, rng)},
        {"hat.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 1, hat(44100, rng)},
        {"bass.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 1, tone(22050, 0.5, {55.0}, 6, 0.25, 0.7)},
        {"chord.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2,
         tone(44100, 1.9, {220.0, 261.63, 329.63}, 4, 0.9, 0.5)},
        {"lead.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, tone(44100, 0.4, {440.0}, 3, 0.2, 0.4)},
    };
    for (const auto& s : samples)
        if (!write(folder, s)) return 1;
    return 0;
}
