#include "audio/soundlib/OnsetStretch.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace brindle::soundlib {

std::vector<std::int64_t> DetectOnsets(const std::int16_t* Pcm, std::int64_t Frames, int Channels, int Rate,
                                       double MinGapMs) {
    std::vector<std::int64_t> onsets;
    if (Pcm == nullptr || Frames <= 0 || Channels <= 0 || Rate <= 0) return onsets;
    // Energy in frames of about 2.5 ms: short enough to place an attack within a millisecond or two.
    const int hop = std::max(16, Rate / 400);
    const std::int64_t count = Frames / hop;
    if (count < 3) return onsets;
    std::vector<double> energy(static_cast<size_t>(count), 0.0);
    double peak = 0.0;
    for (std::int64_t j = 0; j < count; ++j) {
        double sum = 0.0;
        for (std::int64_t i = j * hop * Channels; i < (j + 1) * hop * Channels; ++i)
            sum += double(Pcm[i]) * double(Pcm[i]);
        energy[size_t(j)] = sum / (double(hop) * Channels);
        peak = std::max(peak, energy[size_t(j)]);
    }
    if (peak <= 0.0) return onsets;
    // A rise of 10 dB over the mean of the 30 ms before (leaving out the frame just before, which
    // may hold the attack's first samples), loud within 30 dB of the loudest frame.
    const std::int64_t history = std::max<std::int64_t>(1, std::llround(0.03 * Rate / hop));
    const double floor = peak * 1e-4, loud = peak * 1e-3;
    const auto gap = static_cast<std::int64_t>(MinGapMs / 1000.0 * Rate);
    std::int64_t last = 0;
    for (std::int64_t j = 2; j < count; ++j) {
        const std::int64_t from = std::max<std::int64_t>(0, j - 1 - history), to = j - 1;
        double background = 0.0;
        for (auto k = from; k < to; ++k)
            background += energy[size_t(k)];
        background /= double(to - from);
        const double e = energy[size_t(j)];
        if (e < loud || e < 10.0 * (background + floor)) continue;
        // The attack's first sample: from the frame before on, the first clearly above what preceded
        // in level, or in its second difference (a hit over a held tone shows there at once, while its
        // level is still within the tone's).
        const auto secondDifference = [&](std::int64_t At, int C) {
            return At < 2 ? 0.0
                          : double(Pcm[At * Channels + C]) - 2.0 * Pcm[(At - 1) * Channels + C] +
                                Pcm[(At - 2) * Channels + C];
        };
        double edgy = 0.0;
        for (std::int64_t i = from * hop; i < to * hop; ++i)
            for (int c = 0; c < Channels; ++c)
                edgy += secondDifference(i, c) * secondDifference(i, c);
        edgy /= double((to - from) * hop * Channels);
        const double level = std::max(3.0 * std::sqrt(background), 0.1 * std::sqrt(e));
        const double edge = std::max(8.0 * std::sqrt(edgy), 0.02 * std::sqrt(e));
        std::int64_t at = (j - 1) * hop;
        const std::int64_t end = (j + 1) * hop;
        const auto begins = [&](std::int64_t At) {
            for (int c = 0; c < Channels; ++c)
                if (std::abs(Pcm[At * Channels + c]) > level || std::abs(secondDifference(At, c)) > edge) return true;
            return false;
        };
        while (at < end && !begins(at))
            ++at;
        if (at <= 0 || (!onsets.empty() && at - last < gap) || at >= Frames) continue;
        onsets.push_back(at);
        last = at;
        j = std::max(j, (at + gap) / hop); // the hit's own body is not another onset
    }
    return onsets;
}

std::vector<float> StretchBetweenOnsets(const std::int16_t* Pcm, std::int64_t Frames, int Channels, int Rate,
                                        float Speed, std::int64_t OutFrames,
                                        const std::vector<std::int64_t>& Onsets,
                                        const SegmentStretcher& Stretch) {
    std::vector<float> out(static_cast<size_t>(std::max<std::int64_t>(OutFrames, 0)) * Channels, 0.0f);
    if (OutFrames <= 0 || Frames <= 0) return out;
    // Each piece starts half a millisecond ahead of its onset, cross-faded over a quarter of one with
    // the piece before, which ends a quarter of a millisecond ahead of the onset: whatever the
    // stretcher smears ahead of the hit into its own piece stays that close to it, and the piece
    // before holds none of the hit even when the onset was placed a little late.
    const std::int64_t fade = std::max<std::int64_t>(4, Rate / 4000);
    // Output frames where pieces begin, and the source frames where they begin and where the piece
    // before ends (its onset: none of the hit in it).
    std::vector<std::int64_t> starts{0}, sources{0}, ends;
    for (const auto onset : Onsets) {
        const std::int64_t at = std::llround(double(onset) / Speed) - 2 * fade;
        // Pieces shorter than a few fades are not worth a cut.
        if (onset <= 0 || onset >= Frames || at - starts.back() < Rate / 100 || at + Rate / 100 > OutFrames)
            continue;
        starts.push_back(at);
        const std::int64_t cut = std::max<std::int64_t>(onset - std::llround(fade * double(Speed)), sources.back() + 1);
        sources.push_back(std::clamp<std::int64_t>(onset - std::llround(2 * fade * double(Speed)),
                                                   sources.back() + 1, cut));
        ends.push_back(cut);
    }
    ends.push_back(Frames);
    for (size_t k = 0; k < starts.size(); ++k) {
        const std::int64_t begin = starts[k];
        const std::int64_t end = k + 1 < starts.size() ? starts[k + 1] + fade : OutFrames;
        const std::int64_t sourceBegin = sources[k], sourceEnd = ends[k];
        if (sourceEnd <= sourceBegin) continue;
        const bool fadeIn = k > 0, fadeOut = k + 1 < starts.size();
        // (Padding a piece's end with its own mirror image, to keep the stretcher's end of stream
        // away from the join, dipped held tones there: forward and mirrored tones cancel in its
        // windows.)
        const auto piece = Stretch(Pcm + sourceBegin * Channels, sourceEnd - sourceBegin, end - begin);
        for (std::int64_t i = 0; i < end - begin; ++i) {
            // Raised-cosine weights that sum to one across each join (the pieces come from the same
            // sound, so they add in phase).
            double w = 1.0;
            if (fadeIn && i < fade) w = std::pow(std::sin(0.5 * std::numbers::pi * (i + 0.5) / fade), 2.0);
            if (fadeOut && i >= end - begin - fade)
                w = std::pow(std::cos(0.5 * std::numbers::pi * (i - (end - begin - fade) + 0.5) / fade), 2.0);
            for (int c = 0; c < Channels; ++c) {
                const size_t from = size_t(i * Channels + c);
                if (from < piece.size()) out[size_t((begin + i) * Channels + c)] += float(w * piece[from]);
            }
        }
    }
    return out;
}

} // namespace brindle::soundlib
