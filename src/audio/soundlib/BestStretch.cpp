#include "audio/soundlib/BestStretch.h"

#include "audio/soundlib/OnsetStretch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>
#include <mutex>
#include <numbers>
#include <tuple>

namespace brindle::soundlib {

bool ParseStretchQuality(std::string_view Text, StretchQuality& Out) {
    if (Text == "Standard" || Text == "standard") {
        Out = StretchQuality::Standard;
        return true;
    }
    if (Text == "Best" || Text == "best") {
        Out = StretchQuality::Best;
        return true;
    }
    return false;
}

const char* StretchQualityName(StretchQuality Quality) {
    return Quality == StretchQuality::Best ? "Best" : "Standard";
}

namespace {

void CheckCancel(const std::atomic<bool>* Cancel) {
    if (Cancel && Cancel->load(std::memory_order_relaxed)) throw StretchCancelled();
}

std::vector<float> RunStretcher(const std::int16_t* Pcm, std::int64_t Frames, int Channels, int Rate,
                                float Speed, float Pitch, std::int64_t OutFrames,
                                const std::atomic<bool>* Cancel) {
    using RB = RubberBand::RubberBandStretcher;
    const auto options = RB::OptionProcessOffline | RB::OptionEngineFiner | RB::OptionPitchHighQuality |
                         RB::OptionChannelsTogether;
    RB stretcher(static_cast<size_t>(Rate), static_cast<size_t>(Channels), options, 1.0 / Speed,
                 std::exp2(Pitch / 12.0));
    stretcher.setExpectedInputDuration(static_cast<size_t>(Frames));
    constexpr int Block = 4096;
    std::vector<std::vector<float>> planes(static_cast<size_t>(Channels), std::vector<float>(Block));
    std::vector<float*> in(static_cast<size_t>(Channels));
    const auto load = [&](std::int64_t At, int N) {
        for (int c = 0; c < Channels; ++c) {
            for (int i = 0; i < N; ++i)
                planes[size_t(c)][size_t(i)] = Pcm[(At + i) * Channels + c] / 32768.0f;
            in[size_t(c)] = planes[size_t(c)].data();
        }
    };
    // Offline, the stretcher drops its own start delay: output frame 0 is source frame 0.
    std::vector<float> out(static_cast<size_t>(std::max<std::int64_t>(OutFrames, 0)) * Channels, 0.0f);
    std::int64_t done = 0;
    std::vector<std::vector<float>> got(static_cast<size_t>(Channels), std::vector<float>(Block));
    std::vector<float*> outPtrs(static_cast<size_t>(Channels));
    const auto drain = [&] {
        for (int avail = stretcher.available(); avail > 0; avail = stretcher.available()) {
            const int n = std::min(avail, Block);
            for (int c = 0; c < Channels; ++c)
                outPtrs[size_t(c)] = got[size_t(c)].data();
            const auto r =
                static_cast<std::int64_t>(stretcher.retrieve(outPtrs.data(), static_cast<size_t>(n)));
            for (std::int64_t i = 0; i < r && done + i < OutFrames; ++i)
                for (int c = 0; c < Channels; ++c)
                    out[size_t((done + i) * Channels + c)] = got[size_t(c)][size_t(i)] * 32768.0f;
            done += r;
        }
    };
    for (std::int64_t at = 0; at < Frames; at += Block) {
        const int n = static_cast<int>(std::min<std::int64_t>(Block, Frames - at));
        CheckCancel(Cancel);
        load(at, n);
        stretcher.study(in.data(), static_cast<size_t>(n), at + Block >= Frames);
    }
    // Process and drain block by block so the stretcher's output buffer stays small.
    for (std::int64_t at = 0; at < Frames; at += Block) {
        const int n = static_cast<int>(std::min<std::int64_t>(Block, Frames - at));
        CheckCancel(Cancel);
        load(at, n);
        stretcher.process(in.data(), static_cast<size_t>(n), at + Block >= Frames);
        drain();
    }
    drain();
    return out;
}

// Output frames by which the stretcher puts attacks early (negative: late) (it leads slowed-down and
// transposed-up attacks by a few ms and scatters them by up to about its hop): measured once per setting on
// kicks at several positions against its hop, from where each reaches 0.4 of its peak. The middle of the
// range they fall in is compensated, which halves the worst error of compensating one kick.
std::int64_t AttackLead(int Rate, float Speed, float Pitch, const std::atomic<bool>* Cancel) {
    static std::mutex lock;
    static std::map<std::tuple<int, float, float>, std::int64_t> known;
    {
        std::lock_guard guard(lock);
        if (const auto it = known.find({Rate, Speed, Pitch}); it != known.end()) return it->second;
    }
    const std::int64_t kick = Rate / 20, spacing = Rate * 237 / 1000, first = Rate / 10;
    constexpr int Kicks = 6;
    const std::int64_t frames = first + Kicks * spacing;
    std::vector<std::int16_t> probe(static_cast<size_t>(frames), 0);
    for (int k = 0; k < Kicks; ++k) {
        double phase = 0.0;
        for (std::int64_t i = 0; i < kick; ++i) {
            phase += 2.0 * std::numbers::pi * (80.0 + 1000.0 * std::exp(-i / (Rate / 441.0))) / Rate;
            probe[size_t(first + k * spacing + i)] = static_cast<std::int16_t>(
                std::lround(26000.0 * std::exp(-i / (Rate / 55.0)) * std::sin(phase)));
        }
    }
    const auto outFrames = std::llround(frames / static_cast<double>(Speed));
    const auto heard = RunStretcher(probe.data(), frames, 1, Rate, Speed, Pitch, outFrames, Cancel);
    double earliest = 0.0, latest = 0.0;
    for (int k = 0; k < Kicks; ++k) {
        // Each kick's own stretch of output: from half a spacing before its place to the next one.
        const std::int64_t at = std::llround((first + k * spacing) / static_cast<double>(Speed));
        const std::int64_t half = std::llround(spacing / 2.0 / Speed);
        const std::int64_t from = std::max<std::int64_t>(at - half, 0);
        const std::int64_t to = std::min<std::int64_t>(at + half, outFrames);
        float peak = 0.0f;
        for (auto i = from; i < to; ++i)
            peak = std::max(peak, std::abs(heard[size_t(i)]));
        auto attack = from;
        while (attack < to && std::abs(heard[size_t(attack)]) < 0.4f * peak)
            ++attack;
        const double lead = static_cast<double>(at - attack);
        earliest = k == 0 ? lead : std::max(earliest, lead);
        latest = k == 0 ? lead : std::min(latest, lead);
    }
    const std::int64_t lead = std::llround((earliest + latest) / 2.0);
    std::lock_guard guard(lock);
    known[{Rate, Speed, Pitch}] = lead;
    return lead;
}

} // namespace

std::vector<float> StretchBest(const std::int16_t* Pcm, std::int64_t Frames, int Channels, int Rate,
                               float Speed, float Pitch, std::int64_t OutFrames, const std::atomic<bool>* Cancel) {
    // Cut at attacks, each piece stretched on its own, so no hit smears ahead of itself.
    if (const auto onsets = DetectOnsets(Pcm, Frames, Channels, Rate); !onsets.empty() && OutFrames > 0)
        return StretchBetweenOnsets(
            Pcm, Frames, Channels, Rate, Speed, OutFrames, onsets,
            [&](const std::int16_t* Piece, std::int64_t Count, std::int64_t PieceFrames) {
                return RunStretcher(Piece, Count, Channels, Rate, float(double(Count) / double(PieceFrames)),
                                    Pitch, PieceFrames, Cancel);
            });
    // Moved later by the lead (or earlier, rendered longer, when attacks come late): attacks land on
    // their frames.
    const std::int64_t lead = AttackLead(Rate, Speed, Pitch, Cancel);
    if (OutFrames <= 0) return RunStretcher(Pcm, Frames, Channels, Rate, Speed, Pitch, OutFrames, Cancel);
    if (lead < 0) {
        auto out = RunStretcher(Pcm, Frames, Channels, Rate, Speed, Pitch, OutFrames - lead, Cancel);
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(-lead * Channels));
        return out;
    }
    auto out = RunStretcher(Pcm, Frames, Channels, Rate, Speed, Pitch, OutFrames, Cancel);
    const auto shift = static_cast<size_t>(std::min(lead, OutFrames) * Channels);
    out.insert(out.begin(), shift, 0.0f);
    out.resize(static_cast<size_t>(OutFrames) * Channels);
    return out;
}

} // namespace brindle::soundlib
