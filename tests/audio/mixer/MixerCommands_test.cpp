// Other threads' notes reach the voice list through the mixer's command queue, applied at the
// start of the next block; what they read back (voice list, count) is the state as of that block.
#include "audio/mixer/LiveMixer.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <vector>

namespace bt = brindle::test;

namespace {

constexpr int Rate = 44100;

struct Rig {
    bt::TempDir Dir;
    TLiveMixer Mixer{16};
    std::string File;
    Rig() {
        File = (Dir / "c.wav").string();
        bt::WriteSoundFile(File, bt::ConstantTone(1000, Rate * 2, 2), Rate, 2);
        Mixer.GetSampleCache()->Load(File);
    }
    std::vector<std::int16_t> Block() {
        std::vector<std::int16_t> b(441 * 2);
        Mixer.PopData(b.data(), int(b.size() * 2));
        return b;
    }
    std::size_t Listed() {
        std::vector<TLiveMixer::TVoiceInfo> v;
        Mixer.GetVoices(v);
        return v.size();
    }
};

TEST(MixerCommands, NotesFromAnotherThreadStartAtTheNextBlockAndShowAfterIt) {
    Rig rig;
    ASSERT_TRUE(rig.Mixer.AddToMix(rig.File, 1, 1, 3.0f, 0, 7));
    EXPECT_EQ(rig.Mixer.VoiceCount(), 1) << "counted as of the next block";
    EXPECT_EQ(rig.Listed(), 0u) << "not sounding yet";
    const auto first = rig.Block();
    EXPECT_NE(first[0], 0) << "sounds from the first frame of the next block";
    std::vector<TLiveMixer::TVoiceInfo> v;
    rig.Mixer.GetVoices(v);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].FileName, rig.File);
    EXPECT_EQ(v[0].Pitch, 3.0f);
    EXPECT_EQ(v[0].Tag, 7);
    EXPECT_NEAR(v[0].MixedTime, 0.01, 1e-6);
}

TEST(MixerCommands, AClearIsSeenAtOnceAndKeepsTheNotesSentAfterIt) {
    Rig rig;
    for (int t = 0; t < 3; ++t)
        rig.Mixer.AddToMix(rig.File, 1, 1, 0, 0, t);
    rig.Block();
    ASSERT_EQ(rig.Mixer.VoiceCount(), 3);
    rig.Mixer.Clear();
    EXPECT_EQ(rig.Mixer.VoiceCount(), 0);
    EXPECT_EQ(rig.Listed(), 0u) << "cleared voices are not listed while the clear waits";
    rig.Mixer.AddToMix(rig.File, 1, 0.5f, 0, 0, 9);
    EXPECT_EQ(rig.Mixer.VoiceCount(), 1);
    const auto out = bt::ChannelOf(rig.Block(), 2, 0);
    EXPECT_EQ(out[200], 500) << "only the note sent after the clear sounds";
    EXPECT_EQ(rig.Mixer.VoiceCount(), 1);
    EXPECT_EQ(rig.Listed(), 1u);
}

TEST(MixerCommands, AFullQueueRefusesNotesAndSaysSo) {
    Rig rig;
    int accepted = 0;
    for (int i = 0; i < 3000; ++i) // nobody mixes: the queue fills
        accepted += rig.Mixer.AddToMix(rig.File, 1, 0.01f, 0, 0, i);
    EXPECT_GT(accepted, 500);
    EXPECT_LT(accepted, 3000);
    bool said = false;
    for (const auto& p : rig.Mixer.TakeProblems())
        said = said || p.find("Too many notes") != std::string::npos;
    EXPECT_TRUE(said);
    rig.Mixer.Clear();
    rig.Block(); // drains: the queue takes notes again
    EXPECT_TRUE(rig.Mixer.AddToMix(rig.File, 1, 1, 0, 0, 1));
    rig.Block();
    EXPECT_EQ(rig.Mixer.VoiceCount(), 1);
}

} // namespace
