// Switching one master effect on keeps the others' state: the reverb's tail rings on and the
// compressor's envelope holds, so the sound goes on as if nothing but the switched effect changed.
#include "app/MasterEffects.h"
#include "app/SongEngine.h"
#include "song/Sequencer.h"
#include "support/Measure.h"
#include "support/SineNode.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using namespace brindle::test;
constexpr int Rate = 44100;

TEffectSettings Transparent() {
    TEffectSettings S;
    S.EqEnabled = S.ReverbEnabled = S.CompressorEnabled = false;
    for (float& band : S.Eq)
        band = 0.0f; // 0 dB: the filters pass the sound through unchanged
    S.ReverbLevel = 0.5f;
    S.ReverbDelay = 3.0f;      // 3 s decay
    S.CompressorThres = 1.0f; // at full scale: never compresses
    S.CompressorAttack = 0.01f;
    S.CompressorRelease = 0.5f;
    return S;
}

enum class Effect { Eq, Reverb, Compressor };
void Enable(TEffectSettings& S, Effect E, bool On) {
    (E == Effect::Eq ? S.EqEnabled : E == Effect::Reverb ? S.ReverbEnabled : S.CompressorEnabled) = On;
}

struct Case {
    const char* Name;
    Effect Stays;
    Effect Switched;
    float Threshold; // the compressor's
    double BurstSeconds;
};

// Plays a tone burst through the chain; SwitchAt frames in, Switched goes on (when Switch).
std::vector<double> Play(const Case& C, bool Switch, std::int64_t SwitchAt, std::int64_t Total) {
    TPcmNode source(SineTone(440, C.BurstSeconds, Rate, 2, 0.6), Rate, 2);
    TMasterEffects fx;
    TEffectSettings s = Transparent();
    s.CompressorThres = C.Threshold;
    Enable(s, C.Stays, true);
    fx.Apply(s);
    fx.Chain(&source);
    auto pcm = PullFrames(fx.Output(), SwitchAt);
    if (Switch) {
        Enable(s, C.Switched, true);
        fx.Apply(s);
        fx.Chain(&source); // the check box
    }
    const auto rest = PullFrames(fx.Output(), Total - SwitchAt);
    pcm.insert(pcm.end(), rest.begin(), rest.end());
    return ChannelOf(pcm, 2, 0);
}

TEST(EffectStateCarry, EffectsThatStayOnCarryOnWhenAnotherIsSwitchedOn) {
    const Case cases[] = {
        // The tone has ended; the reverb's tail is ringing when the compressor comes on.
        {"reverb tail, compressor on", Effect::Reverb, Effect::Compressor, 1.0f, 0.3},
        {"reverb tail, equalizer on", Effect::Reverb, Effect::Eq, 1.0f, 0.3},
        // A loud tone held down by the compressor when the equalizer comes on: a compressor
        // starting from rest would let the tone through at full level for its attack time.
        {"compressor envelope, equalizer on", Effect::Compressor, Effect::Eq, 0.2f, 2.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::int64_t switchAt = std::int64_t(Rate * 0.8) + 100, total = Rate * 2;
        const auto reference = Play(c, false, switchAt, total);
        const auto switched = Play(c, true, switchAt, total);
        ASSERT_EQ(reference.size(), switched.size());
        // The switched effect is transparent, so everything after the switch is the reference.
        double worst = 0;
        for (std::size_t i = 0; i < switched.size(); ++i)
            worst = std::max(worst, std::abs(switched[i] - reference[i]));
        EXPECT_LE(worst, 1.0) << "the sound after the switch is not the sound that was going on";
        // And it is going on: the 100 ms either side of the switch are alike in level (a restarted
        // reverb would be silent after it, a restarted compressor twice as loud).
        const auto at = std::size_t(switchAt), span = std::size_t(Rate / 10);
        const double before = Rms(switched, at - span, at), after = Rms(switched, at, at + span);
        EXPECT_GT(before, 100.0) << "something was sounding at the switch";
        EXPECT_NEAR(after / before, 1.0, 0.5);
    }
}

TEST(EffectStateCarry, AnEffectSwitchedOffAndOnAgainStartsAfresh) {
    // A tail that rang before the reverb was switched off does not come back with it.
    TPcmNode source(SineTone(440, 0.3, Rate, 2, 0.6), Rate, 2);
    TMasterEffects fx;
    TEffectSettings s = Transparent();
    s.ReverbEnabled = true;
    fx.Apply(s);
    fx.Chain(&source);
    PullFrames(fx.Output(), Rate / 2);
    s.ReverbEnabled = false;
    fx.Apply(s);
    fx.Chain(&source);
    PullFrames(fx.Output(), 441);
    s.ReverbEnabled = true;
    fx.Apply(s);
    fx.Chain(&source);
    const auto after = ChannelOf(PullFrames(fx.Output(), Rate / 10), 2, 0);
    EXPECT_EQ(FirstAbove(after, 0.5), -1) << "silence in, silence out";
}

TEST(EffectStateCarry, ReplacedChainsAreFreedWithoutAnotherSwitch) {
    TSineNode source(440, 0.3);
    TMasterEffects fx;
    TEffectSettings s = Transparent();
    s.ReverbEnabled = true;
    fx.Apply(s);
    fx.Chain(&source);
    PullFrames(fx.Output(), 4410);
    s.CompressorEnabled = true;
    fx.Apply(s);
    fx.Chain(&source);
    EXPECT_EQ(fx.RetiredCount(), 1u) << "the replaced chain waits for the timer";
    PullFrames(fx.Output(), 441);
    fx.Collect(); // the timer's tick
    EXPECT_EQ(fx.RetiredCount(), 0u);
    EXPECT_GE(TMasterEffects::CollectIntervalMs, 100);
    EXPECT_LE(TMasterEffects::CollectIntervalMs, 1000);

    // The song engine's periodic call does it as well.
    auto song = std::make_unique<cSequencer>();
    brindle::SongEngine engine(*song, false);
    s.EqEnabled = true;
    engine.Effects().Apply(s);
    engine.Effects().Chain(&engine.Mixer());
    engine.Effects().Apply(Transparent());
    engine.Effects().Chain(&engine.Mixer());
    ASSERT_GT(engine.Effects().RetiredCount(), 0u);
    engine.LoadPending();
    EXPECT_EQ(engine.Effects().RetiredCount(), 0u);
}

} // namespace
