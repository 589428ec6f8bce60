// The best stretcher keeps attacks: onsets found where hits begin (and nowhere in held tones), pieces
// laid at their scaled times with joins that add to one, and, measured on the real engine, drums with
// no pre-echo and hits on time while a sine keeps its purity and pitch.
#include "audio/soundlib/BestStretch.h"
#include "audio/soundlib/OnsetStretch.h"
#include "audio/soundlib/SoundFile.h"

#include "support/Measure.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

using brindle::soundlib::DetectOnsets;
using brindle::soundlib::StretchBest;
using brindle::soundlib::StretchBetweenOnsets;
namespace bt = brindle::test;

namespace {

constexpr int Rate = 44100;
constexpr double Pi = std::numbers::pi;

// Hits alternating between a kick (a falling sweep) and a snare-like decaying noise burst, every
// 173 ms from 60 ms on, on Channels channels.
std::vector<std::int16_t> Drums(double Seconds, int Channels, std::vector<std::int64_t>& Hits) {
    const auto frames = static_cast<std::int64_t>(Seconds * Rate);
    std::vector<std::int16_t> pcm(static_cast<size_t>(frames) * Channels, 0);
    std::mt19937 noise(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const std::int64_t length = Rate / 15;
    for (std::int64_t at = Rate * 6 / 100; at + length < frames; at += Rate * 173 / 1000) {
        const bool kick = Hits.size() % 2 == 0;
        Hits.push_back(at);
        double phase = 0.0;
        for (std::int64_t i = 0; i < length; ++i) {
            phase += 2.0 * Pi * (60.0 + 1000.0 * std::exp(-i / 100.0)) / Rate;
            const double v = kick ? 26000.0 * std::exp(-i / 900.0) * std::sin(phase)
                                  : 20000.0 * std::exp(-i / 400.0) * uniform(noise);
            for (int c = 0; c < Channels; ++c)
                pcm[size_t((at + i) * Channels + c)] = static_cast<std::int16_t>(std::lround(v));
        }
    }
    return pcm;
}

std::vector<std::int16_t> Sine(double Hz, double Seconds, double Amplitude = 16000.0) {
    std::vector<std::int16_t> pcm(static_cast<size_t>(Seconds * Rate));
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(std::lround(Amplitude * std::sin(2.0 * Pi * Hz * double(i) / Rate)));
    return pcm;
}

struct HitMeasure {
    double PreEchoDb = -200.0; // loudest sound 30 ms to 2 ms ahead of an attack, against its peak
    double WorstMs = 0.0;      // farthest attack (a third of its peak) from its scaled time
};

HitMeasure MeasureHits(const std::vector<double>& Out, const std::vector<std::int64_t>& Hits, double Speed) {
    HitMeasure m;
    const auto size = std::int64_t(Out.size());
    for (const auto hit : Hits) {
        const auto at = std::llround(double(hit) / Speed);
        const std::int64_t from = std::max<std::int64_t>(at - Rate / 100, 0), end = std::min<std::int64_t>(at + Rate / 50, size);
        double peak = 0.0, before = 0.0;
        for (auto i = from; i < end; ++i)
            peak = std::max(peak, std::abs(Out[size_t(i)]));
        auto attack = from;
        while (attack < end - 1 && std::abs(Out[size_t(attack)]) < peak / 3.0)
            ++attack;
        for (auto i = std::max<std::int64_t>(attack - Rate * 3 / 100, 0); i < attack - Rate / 500; ++i)
            before = std::max(before, std::abs(Out[size_t(i)]));
        m.PreEchoDb = std::max(m.PreEchoDb, 20.0 * std::log10(std::max(before, 1.0) / std::max(peak, 1.0)));
        m.WorstMs = std::max(m.WorstMs, std::abs(double(attack - at)) * 1000.0 / Rate);
    }
    return m;
}

// What is left of X[Begin, End) once the best-fitting sine at Hz is taken out, in dB against it.
double SineResidualDb(const std::vector<double>& X, double Hz, size_t Begin, size_t End) {
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (size_t i = Begin; i < End; ++i) {
        const double s = std::sin(2.0 * Pi * Hz * double(i) / Rate), c = std::cos(2.0 * Pi * Hz * double(i) / Rate);
        ss += s * s, sc += s * c, cc += c * c, xs += X[i] * s, xc += X[i] * c;
    }
    const double det = ss * cc - sc * sc, a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    double err = 0, fit = 0;
    for (size_t i = Begin; i < End; ++i) {
        const double f = a * std::sin(2.0 * Pi * Hz * double(i) / Rate) + b * std::cos(2.0 * Pi * Hz * double(i) / Rate);
        err += (X[i] - f) * (X[i] - f);
        fit += f * f;
    }
    return 10.0 * std::log10(std::max(err, 1e-30) / fit);
}

std::vector<double> Mono(const std::vector<float>& Out, int Channels) {
    std::vector<double> m(Out.size() / size_t(Channels));
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = Out[i * size_t(Channels)];
    return m;
}

// A stand-in for the engine: linear interpolation over the piece, so placement can be checked exactly.
std::vector<float> Interpolate(const std::int16_t* Pcm, std::int64_t Count, std::int64_t OutFrames, int Channels) {
    std::vector<float> out(size_t(OutFrames) * Channels);
    for (std::int64_t i = 0; i < OutFrames; ++i) {
        const double at = double(i) * double(Count) / double(OutFrames);
        const auto i0 = std::min<std::int64_t>(std::int64_t(at), Count - 1), i1 = std::min(i0 + 1, Count - 1);
        for (int c = 0; c < Channels; ++c)
            out[size_t(i * Channels + c)] =
                float(Pcm[i0 * Channels + c] + (at - double(i0)) * (Pcm[i1 * Channels + c] - Pcm[i0 * Channels + c]));
    }
    return out;
}

} // namespace

TEST(DetectOnsets, FindsEveryHitWithinAMillisecondInMonoAndStereo) {
    for (const int channels : {1, 2}) {
        std::vector<std::int64_t> hits;
        const auto pcm = Drums(1.0, channels, hits);
        const auto found = DetectOnsets(pcm.data(), std::int64_t(pcm.size()) / channels, channels, Rate);
        ASSERT_EQ(found.size(), hits.size()) << channels << " channels";
        for (size_t i = 0; i < hits.size(); ++i)
            EXPECT_NEAR(double(found[i]), double(hits[i]), Rate / 1000.0) << "hit " << i;
    }
}

TEST(DetectOnsets, HeldTonesSilenceAndFaintBlipsHaveNone) {
    const auto sine = Sine(440.0, 1.0);
    EXPECT_TRUE(DetectOnsets(sine.data(), std::int64_t(sine.size()), 1, Rate).empty());
    // A tone swelling in over 200 ms is not an attack either.
    auto swell = Sine(220.0, 1.0);
    for (size_t i = 0; i < size_t(Rate / 5); ++i)
        swell[i] = std::int16_t(swell[i] * double(i) / (Rate / 5));
    EXPECT_TRUE(DetectOnsets(swell.data(), std::int64_t(swell.size()), 1, Rate).empty());
    const std::vector<std::int16_t> silence(Rate, 0);
    EXPECT_TRUE(DetectOnsets(silence.data(), Rate, 1, Rate).empty());
    EXPECT_TRUE(DetectOnsets(nullptr, 0, 1, Rate).empty());
    const std::vector<std::int16_t> tiny(10, 30000);
    EXPECT_TRUE(DetectOnsets(tiny.data(), 10, 1, Rate).empty());
    // A loud hit and, 300 ms later, a click 50 dB below it: only the hit counts.
    std::vector<std::int16_t> pcm(Rate, 0);
    for (int i = 0; i < 2000; ++i)
        pcm[size_t(Rate / 10 + i)] = std::int16_t(std::lround(30000 * std::exp(-i / 300.0) * std::sin(i * 0.3)));
    for (int i = 0; i < 100; ++i)
        pcm[size_t(Rate * 4 / 10 + i)] = std::int16_t(std::lround(95 * std::sin(i * 0.3)));
    const auto found = DetectOnsets(pcm.data(), Rate, 1, Rate);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(double(found[0]), Rate / 10.0, 2.0);
}

TEST(StretchBetweenOnsets, PiecesLandOnScaledTimesAndJoinsAddToOne) {
    // A constant level with a step up at each onset: each piece is a flat run, so any dip or bump at
    // a join is the cross-fade's own error, and each step's place is the onset's scaled time.
    const std::int64_t frames = Rate;
    const std::vector<std::int64_t> onsets{Rate / 8, Rate / 3, Rate / 2 + 17, Rate * 4 / 5};
    for (const int channels : {1, 2}) {
        for (const float speed : {0.5f, 0.8f, 1.25f, 2.0f}) {
            std::vector<std::int16_t> pcm(size_t(frames) * channels);
            for (std::int64_t i = 0; i < frames; ++i) {
                const auto level = std::int16_t(1000 * (1 + std::count_if(onsets.begin(), onsets.end(),
                                                                          [&](auto o) { return o <= i; })));
                for (int c = 0; c < channels; ++c)
                    pcm[size_t(i * channels + c)] = std::int16_t(level * (c + 1));
            }
            const auto outFrames = std::llround(frames / double(speed));
            int pieces = 0;
            const auto out = StretchBetweenOnsets(
                pcm.data(), frames, channels, Rate, speed, outFrames, onsets,
                [&](const std::int16_t* Piece, std::int64_t Count, std::int64_t PieceFrames) {
                    ++pieces;
                    EXPECT_NEAR(double(Count) / double(PieceFrames), speed, 0.02);
                    return Interpolate(Piece, Count, PieceFrames, channels);
                });
            ASSERT_EQ(std::int64_t(out.size()), outFrames * channels);
            EXPECT_EQ(pieces, int(onsets.size()) + 1);
            for (int c = 0; c < channels; ++c) {
                // Every frame is one of the levels (no dip at a join), stepping up at each onset's
                // scaled time (the frame on either side of it may be between the two levels).
                int step = 0;
                for (std::int64_t i = 0; i < outFrames; ++i) {
                    while (step < int(onsets.size()) && i >= std::llround(onsets[size_t(step)] / double(speed)))
                        ++step;
                    const double want = 1000.0 * (step + 1) * (c + 1), v = out[size_t(i * channels + c)];
                    const auto near = [&](int k) {
                        return k >= 0 && k < int(onsets.size()) &&
                               std::abs(i - std::llround(onsets[size_t(k)] / double(speed))) <= 1;
                    };
                    if (near(step - 1) || near(step)) {
                        ASSERT_GE(v, 1000.0 * (c + 1) * (near(step) ? step + 1 : step) - 1e-3) << i;
                        ASSERT_LE(v, 1000.0 * (c + 1) * (near(step) ? step + 2 : step + 1) + 1e-3) << i;
                    } else {
                        ASSERT_NEAR(v, want, 1e-3) << "speed " << speed << " channel " << c << " frame " << i;
                    }
                }
            }
        }
    }
}

TEST(StretchBetweenOnsets, OnsetsTooCloseOrAtTheEndsAreNotCut) {
    std::vector<std::int16_t> pcm(Rate, 500);
    int pieces = 0;
    const auto out = StretchBetweenOnsets(pcm.data(), Rate, 1, Rate, 1.0f, Rate,
                                          {0, 3, Rate / 2, Rate / 2 + 10, Rate - 5, Rate + 100},
                                          [&](const std::int16_t* Piece, std::int64_t Count, std::int64_t Frames) {
                                              ++pieces;
                                              return Interpolate(Piece, Count, Frames, 1);
                                          });
    EXPECT_EQ(pieces, 2); // only the cut at half way
    ASSERT_EQ(out.size(), size_t(Rate));
    for (const float v : out)
        ASSERT_NEAR(v, 500.0f, 1e-3);
    EXPECT_TRUE(StretchBetweenOnsets(pcm.data(), Rate, 1, Rate, 1.0f, 0, {Rate / 2}, nullptr).empty());
}

struct Setting {
    float Speed, Pitch;
};

TEST(BestStretch, DrumsKeepTheirAttacksWithoutPreEcho) {
    std::vector<std::int64_t> hits;
    const auto pcm = Drums(0.8, 2, hits);
    const std::int64_t frames = std::int64_t(pcm.size()) / 2;
    for (const auto& s : {Setting{0.5f, 0.0f}, Setting{2.0f, 0.0f}, Setting{1.0f, -5.0f}, Setting{0.8f, 4.0f}}) {
        const auto outFrames = std::llround(frames / double(s.Speed));
        const auto out = StretchBest(pcm.data(), frames, 2, Rate, s.Speed, s.Pitch, outFrames);
        ASSERT_EQ(std::int64_t(out.size()), outFrames * 2);
        const auto m = MeasureHits(Mono(out, 2), hits, s.Speed);
        EXPECT_LE(m.PreEchoDb, -40.0) << "speed " << s.Speed << " pitch " << s.Pitch;
        EXPECT_LE(m.WorstMs, 1.0) << "speed " << s.Speed << " pitch " << s.Pitch;
    }
}

TEST(BestStretch, SineStaysPureAndInTune) {
    const auto pcm = Sine(440.0, 0.6);
    const auto frames = std::int64_t(pcm.size());
    for (const auto& s : {Setting{0.8f, 0.0f}, Setting{1.25f, 0.0f}, Setting{1.0f, 7.0f}}) {
        const auto outFrames = std::llround(frames / double(s.Speed));
        const auto out = Mono(StretchBest(pcm.data(), frames, 1, Rate, s.Speed, s.Pitch, outFrames), 1);
        const size_t from = out.size() / 4, to = 3 * out.size() / 4;
        const double want = 440.0 * std::exp2(s.Pitch / 12.0);
        const double hz = bt::ZeroCrossingHz(out, Rate, from, to);
        EXPECT_NEAR(1200.0 * std::log2(hz / want), 0.0, 0.05) << "speed " << s.Speed << " pitch " << s.Pitch;
        EXPECT_LT(SineResidualDb(out, hz, from, to), -55.0) << "speed " << s.Speed << " pitch " << s.Pitch;
    }
}

TEST(BestStretch, AttacksCleanerThanTheEngineAloneAsTheReferenceToolRunsIt) {
    // The same engine run whole by its command-line tool smears every hit ahead of itself; cut at the
    // onsets it does not, and the hits stay where the tool puts them or closer.
    bt::TempDir dir;
    std::vector<std::int64_t> hits;
    const auto pcm = Drums(0.8, 1, hits);
    const auto in = (dir / "in.wav").string(), outFile = (dir / "out.wav").string();
    bt::WriteSoundFile(in, pcm, Rate, 1);
    const std::int64_t frames = std::int64_t(pcm.size());
    for (const float speed : {0.5f, 1.25f}) {
        const auto tool = bt::RunProcess({"rubberband", "--fine", "-q", "-t", std::to_string(1.0 / speed), in, outFile});
        ASSERT_EQ(tool.exitCode, 0) << tool.err;
        const auto reference = bt::ChannelOf(brindle::soundlib::DecodeFile(outFile, Rate, 1), 1, 0);
        const auto outFrames = std::llround(frames / double(speed));
        ASSERT_NEAR(double(reference.size()), double(outFrames), Rate / 100.0);
        const auto ours = MeasureHits(Mono(StretchBest(pcm.data(), frames, 1, Rate, speed, 0.0f, outFrames), 1),
                                      hits, speed);
        const auto theirs = MeasureHits(reference, hits, speed);
        EXPECT_GT(theirs.PreEchoDb, -40.0) << "the whole-signal engine smears at speed " << speed;
        EXPECT_LT(ours.PreEchoDb, theirs.PreEchoDb - 20.0) << "speed " << speed;
        EXPECT_LE(ours.WorstMs, std::max(theirs.WorstMs, 1.0)) << "speed " << speed;
    }
}

TEST(BestStretch, AbsurdSettingsGiveTheRightLengthAndFiniteSound) {
    std::vector<std::int64_t> hits;
    const auto pcm = Drums(0.5, 1, hits);
    const std::int64_t frames = std::int64_t(pcm.size());
    for (const auto& s : {Setting{0.1f, 0.0f}, Setting{8.0f, 0.0f}, Setting{1.0f, 24.0f}, Setting{0.3f, -24.0f}}) {
        const auto outFrames = std::llround(frames / double(s.Speed));
        const auto out = StretchBest(pcm.data(), frames, 1, Rate, s.Speed, s.Pitch, outFrames);
        ASSERT_EQ(std::int64_t(out.size()), outFrames) << "speed " << s.Speed << " pitch " << s.Pitch;
        double peak = 0.0;
        for (const float v : out) {
            ASSERT_TRUE(std::isfinite(v));
            peak = std::max(peak, double(std::abs(v)));
        }
        EXPECT_GT(peak, 3000.0) << "speed " << s.Speed << " pitch " << s.Pitch;
        EXPECT_LT(peak, 32768.0 * 2.0) << "speed " << s.Speed << " pitch " << s.Pitch;
        // Where the hits are cut apart, nothing sounds in the 30 ms before each one's scaled time. (Two
        // octaves down a kick takes several ms to build up, so its attack is not where it crosses a
        // third of its peak, as the other measurements take it.)
        if (s.Speed > 1.0f) continue;
        for (const auto hit : hits) {
            const auto at = std::llround(double(hit) / s.Speed);
            double before = 0.0, after = 0.0;
            for (auto i = at - Rate * 3 / 100; i < at - Rate / 1000; ++i)
                before = std::max(before, double(std::abs(out[size_t(i)])));
            for (auto i = at; i < at + Rate / 50; ++i)
                after = std::max(after, double(std::abs(out[size_t(i)])));
            EXPECT_LE(20.0 * std::log10(std::max(before, 1.0) / after), -40.0)
                << "speed " << s.Speed << " pitch " << s.Pitch << " hit at " << hit;
        }
    }
}

TEST(BestStretch, AToneHeldThroughTheHitsRunsOnWithoutClicksAtTheCuts) {
    // A 440 Hz tone at -18 dB under the hits: where the pieces meet, just ahead of each hit, the tone
    // carries on without a click up to 2 ms ahead of the hit. (The engine fades each piece's end out
    // over its last ms or so, and over a few ms when slowed to half speed: a short dip in the tone
    // right ahead of the hit, which the bench reports.)
    std::vector<std::int64_t> hits;
    auto pcm = Drums(0.8, 1, hits);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = std::int16_t(std::clamp<long>(pcm[i] + std::lround(4000.0 * std::sin(2.0 * Pi * 440.0 * double(i) / Rate)),
                                               -32768, 32767));
    const std::int64_t frames = std::int64_t(pcm.size());
    // The pieces meet at the onsets found (a noise burst only 10 dB over the tone may not be one).
    const auto cuts = DetectOnsets(pcm.data(), frames, 1, Rate);
    ASSERT_GE(cuts.size(), hits.size() / 2);
    for (const float speed : {0.8f, 2.0f}) {
        const auto outFrames = std::llround(frames / double(speed));
        const auto out = Mono(StretchBest(pcm.data(), frames, 1, Rate, speed, 0.0f, outFrames), 1);
        for (const auto hit : cuts) {
            const auto at = std::llround(double(hit) / speed);
            // From 6 ms to 2 ms ahead: the tone's level kept, and its second difference (a high-pass
            // that leaves the tone 48 dB down) showing no click.
            double hf = 0.0, level = 0.0;
            for (auto i = at - Rate * 6 / 1000; i < at - Rate / 500; ++i) {
                const double d2 = out[size_t(i)] - 2.0 * out[size_t(i - 1)] + out[size_t(i - 2)];
                hf = std::max(hf, std::abs(d2));
                level = std::max(level, std::abs(out[size_t(i)]));
            }
            EXPECT_LT(20.0 * std::log10(std::max(hf, 1e-9) / 4000.0), -20.0) << "speed " << speed << " hit " << hit;
            // The dip of the piece's end reaches back here at double speed (worst seen -3.5 dB).
            EXPECT_GT(level, 0.6 * 4000.0) << "speed " << speed << " hit " << hit;
            EXPECT_LT(level, 1.2 * 4000.0) << "speed " << speed << " hit " << hit;
        }
    }
}
