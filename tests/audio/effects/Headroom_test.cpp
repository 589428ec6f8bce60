// Headroom: over our own mixer the effects work on the unsaturated float mix and the sound is
// saturated once at the end, while a mix that never clips comes out exactly as through the
// 16-bit hops any other consumer sees.
#include "audio/effects/Compressor.h"
#include "audio/effects/Equalizer.h"
#include "audio/effects/Reverb.h"
#include "audio/mixer/LiveMixer.h"
#include "audio/nodes/SwitchNode.h"
#include "support/Distortion.h"
#include "support/Measure.h"
#include "support/SineNode.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using namespace brindle::test;
constexpr int Rate = 44100;

// A mixer playing Voices copies of a sample from the start.
struct MixRig {
    TempDir Dir;
    TLiveMixer Mixer{16};

    void Play(const std::string& Name, const std::vector<std::int16_t>& Pcm, int Voices,
              float Volume = 1.0f) {
        const auto Path = (Dir / Name).string();
        WriteSoundFile(Path, Pcm, Rate, 2);
        Mixer.GetSampleCache()->Load(Path);
        for (int v = 0; v < Voices; ++v)
            ASSERT_TRUE(Mixer.AddToMix(Path, 1, Volume, 0, 0, v));
    }
};

// The 16-bit node contract in between: what any consumer other than our effects sees.
struct TPcmHop : TAudioX {
    explicit TPcmHop(TAudioX& From) { SetInput(&From); }
};

std::vector<std::int16_t> NoisyChord(double Seconds) {
    auto Pcm = SineTone(440, Seconds, Rate, 2, 0.2);
    const auto Low = SineTone(110, Seconds, Rate, 2, 0.15);
    std::mt19937 Random(5);
    std::uniform_int_distribution<int> Noise(-1500, 1500);
    for (size_t i = 0; i < Pcm.size(); ++i)
        Pcm[i] = static_cast<std::int16_t>(Pcm[i] + Low[i] + Noise(Random));
    return Pcm;
}

// Equalizer, reverb and compressor over Source, as the master chain builds them.
struct Chain {
    TEqualizer Eq;
    TReverb Reverb;
    TCompressor Compressor;
    Chain(TAudioX& Source, bool UseEq, bool UseReverb, bool UseCompressor, float Threshold = 0.3f) {
        TAudioX* Head = &Source;
        if (UseEq) {
            Eq.SetInput(Head);
            Eq.setEQNum(3);
            Eq.setEQ(0, 60, 6);
            Eq.setEQ(1, 8000, -4);
            Head = &Eq;
        }
        if (UseReverb) {
            Reverb.SetInput(Head);
            Reverb.Params = {0.4f, 1500};
            Reverb.ApplyParams();
            Head = &Reverb;
        }
        if (UseCompressor) {
            Compressor.SetInput(Head);
            Compressor.Params.Threshold = Threshold;
            Compressor.Params.Attack = 5;
            Compressor.Params.Release = 50;
            Compressor.ApplyParams();
            Head = &Compressor;
        }
        Last = Head;
    }
    TAudioX* Last;
};

TEST(Headroom, MixThatNeverClipsIsBitExactOnBothPathsWithEffectsOffAndOn) {
    const auto Pcm = NoisyChord(3.0);
    struct Setting {
        bool Eq, Reverb, Compressor;
    };
    for (const Setting S :
         {Setting{false, false, false}, Setting{true, false, false}, Setting{false, true, false},
          Setting{false, false, true}, Setting{true, true, true}}) {
        MixRig Direct, Hopped;
        Direct.Play("a.wav", Pcm, 2, 0.7f);
        Hopped.Play("a.wav", Pcm, 2, 0.7f);
        TPcmHop Hop(Hopped.Mixer);
        Chain Float(Direct.Mixer, S.Eq, S.Reverb, S.Compressor);
        Chain Pcm16(Hop, S.Eq, S.Reverb, S.Compressor);
        TSwitchNode Out;
        Out.SetInput(Float.Last);
        const auto A = PullFrames(Out, 3 * Rate);
        const auto B = PullFrames(*Pcm16.Last, 3 * Rate);
        ASSERT_EQ(A.size(), B.size());
        EXPECT_TRUE(A == B) << "eq " << S.Eq << ", reverb " << S.Reverb << ", compressor " << S.Compressor;
        EXPECT_GT(Rms(ChannelOf(A, 2, 0)), 3000.0) << "and there was sound";
        EXPECT_EQ(*std::max_element(A.begin(), A.end()) < 32767, true) << "the mix never clips";
    }
}

TEST(Headroom, CompressorKeepsAnOverloadedMixClean) {
    // Four voices of a half-scale 100 Hz sine: twice full scale on the bus.
    const auto Pcm = SineTone(100, 2.0, Rate, 2, 0.5);
    MixRig Direct, Hopped;
    Direct.Play("s.wav", Pcm, 4);
    Hopped.Play("s.wav", Pcm, 4);
    TPcmHop Hop(Hopped.Mixer);
    Chain Float(Direct.Mixer, false, false, true, 0.5f);
    Chain Pcm16(Hop, false, false, true, 0.5f);
    const auto Clean = ChannelOf(PullFrames(*Float.Last, 2 * Rate), 2, 0);
    const auto Clipped = ChannelOf(PullFrames(*Pcm16.Last, 2 * Rate), 2, 0);
    const double Before = ThdDb(Clipped, 100, Rate, Rate / 2, 2 * Rate - 1000);
    const double After = ThdDb(Clean, 100, Rate, Rate / 2, 2 * Rate - 1000);
    EXPECT_GT(Before, -20.0) << "saturated before the compressor, the mix is a clipped sine";
    EXPECT_LT(After, -40.0) << "carried in float, the compressor lowers it cleanly";
    EXPECT_NEAR(GoertzelAmplitude(Clean, 100, Rate, Rate / 2, Rate / 2 + 441 * 100) / 32768.0, 0.5, 0.03);
}

TEST(Headroom, FullLevelReverbOnAFullScaleSineDoesNotClipTheBusByItself) {
    // Wet and dry together go past full scale; a compressor after the reverb (threshold 0.9)
    // brings them back. In float it has the whole wave to work on; through the 16-bit hop the
    // reverb has clipped it first.
    const auto Pcm = SineTone(330, 3.0, Rate, 2, 1.0);
    MixRig Direct, Hopped;
    Direct.Play("f.wav", Pcm, 1);
    Hopped.Play("f.wav", Pcm, 1);
    TPcmHop Hop(Hopped.Mixer);
    std::vector<double> Left[2];
    int AtRails = 0;
    for (int Path = 0; Path < 2; ++Path) {
        Chain Effects(Path == 0 ? static_cast<TAudioX&>(Direct.Mixer) : Hop, false, true, true, 0.9f);
        Effects.Reverb.Params.Level = 1.0f;
        Effects.Reverb.ApplyParams();
        const auto Out = PullFrames(*Effects.Last, 3 * Rate);
        if (Path == 0) // once the compressor has caught the first peaks (the dry sine alone is full scale)
            AtRails = static_cast<int>(std::count_if(
                Out.begin() + Rate / 2, Out.end(), [](std::int16_t V) { return V >= 32767 || V <= -32767; }));
        Left[Path] = ChannelOf(Out, 2, 0);
    }
    EXPECT_EQ(AtRails, 0);
    double Settled = 0;
    for (size_t i = Rate; i < Left[0].size(); ++i)
        Settled = std::max(Settled, std::fabs(Left[0][i]) / 32768.0);
    EXPECT_NEAR(20 * std::log10(Settled / 0.9), 0.0, 1.0) << "held at the threshold";
    const double Float = ThdDb(Left[0], 330, Rate, Rate, 3 * Rate);
    const double Clipped = ThdDb(Left[1], 330, Rate, Rate, 3 * Rate);
    EXPECT_LT(Float, Clipped - 6.0) << "float " << Float << " dB, through the hop " << Clipped << " dB";
}

} // namespace
