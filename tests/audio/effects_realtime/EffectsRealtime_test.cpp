// Effects on the audio path allocate nothing once warmed up, even while their values change.
#include "support/CountingAllocator.h"
#include "support/SineNode.h"
#include "audio/effects/Compressor.h"
#include "audio/effects/Equalizer.h"
#include "audio/effects/Reverb.h"
#include "audio/mixer/LiveMixer.h"
#include "audio/nodes/SwitchNode.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>


namespace {

TEST(EffectsRealtime, PullingTheWholeChainAllocatesNothing) {
    brindle::test::TSineNode Source(440, 0.9);
    TEqualizer Eq;
    TReverb Reverb;
    TCompressor Compressor;
    Eq.SetInput(&Source);
    Eq.setEQNum(3);
    Eq.setEQ(0, 60, 6);
    Reverb.SetInput(&Eq);
    Reverb.Params.Level = 0.5f;
    Reverb.ApplyParams();
    Compressor.SetInput(&Reverb);
    Compressor.Params.Threshold = 0.3f;
    Compressor.ApplyParams();

    std::int16_t Block[441 * 2];
    for (int i = 0; i < 10; ++i) Compressor.PopData(Block, sizeof Block); // warm-up
    brindle::test::AllocationScope Scope;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(Compressor.PopData(Block, sizeof Block), static_cast<int>(sizeof Block));
        if (i % 100 == 0) {
            // The panel moving sliders while the chain plays.
            Eq.setEQ(1, 8000, static_cast<float>(i % 12));
            Reverb.Params.Delay = 1200 + i;
            Reverb.ApplyParams();
            Compressor.Params.Attack = static_cast<float>(i);
            Compressor.ApplyParams();
        }
    }
    EXPECT_EQ(Scope.Count(), 0u);
    // The counter itself works.
    auto* Probe = new int(1);
    EXPECT_EQ(Scope.Count(), 1u);
    delete Probe;
}

TEST(EffectsRealtime, TheFloatPathOverTheMixerAllocatesNothing) {
    // The chain as the program builds it: mixer, effects, switch; pulled by a 16-bit consumer
    // (the speakers) and through the float path (a dithered export).
    brindle::test::TempDir Dir;
    const auto Path = (Dir / "loud.wav").string();
    brindle::test::WriteSoundFile(Path, brindle::test::SineTone(110, 2.0, 44100, 2, 0.9), 44100, 2);
    TLiveMixer Mixer(8);
    Mixer.GetSampleCache()->Load(Path);
    TEqualizer Eq;
    TReverb Reverb;
    TCompressor Compressor;
    TSwitchNode Out;
    Eq.SetInput(&Mixer);
    Eq.setEQNum(3);
    Reverb.SetInput(&Eq);
    Reverb.Params.Level = 0.5f;
    Reverb.ApplyParams();
    Compressor.SetInput(&Reverb);
    Out.SetInput(&Compressor);
    ASSERT_TRUE(Out.GivesFloats());
    for (int v = 0; v < 3; ++v)
        ASSERT_TRUE(Mixer.AddToMix(Path, 1, 1, 0, 0, v)); // over full scale

    std::int16_t Block[2646 * 2]; // a 60 ms device buffer
    float Floats[441 * 2];
    Out.PopData(Block, sizeof Block); // warm-up
    Out.PopFloats(Floats, 441);
    brindle::test::AllocationScope Scope;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(Out.PopData(Block, sizeof Block), static_cast<int>(sizeof Block));
        ASSERT_EQ(Out.PopFloats(Floats, 441), 441);
        if (i % 10 == 0) {
            Compressor.Params.Threshold = 0.2f + 0.01f * static_cast<float>(i % 50);
            Compressor.ApplyParams();
        }
    }
    EXPECT_EQ(Scope.Count(), 0u);
}

} // namespace
