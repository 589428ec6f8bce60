// Effects switched while the speakers play: the chain is replaced under a running device
// thousands of times without a fault (run it under AddressSanitizer) and without a gap.
#include "app/MasterEffects.h"
#include "audio/output/Device.h"
#include "audio/output/EncoderNode.h"
#include "audio/soundlib/OutputBackend.h"
#include "support/SineNode.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace brindle::test;

namespace {

// Watches every block the device plays for runs of silent frames (which a gap would leave in a
// steady sine), across block boundaries.
struct GapWatch {
    std::atomic<std::int64_t> LongestSilence{0};
    std::atomic<std::int64_t> LargestBlock{0};
    std::atomic<std::int64_t> Blocks{0};
    std::int64_t Run = 0; // audio thread only

    void Attach(TDevice& Device) {
        Device.OnDataReceived = [this](TDevice*, void* Buf, int BufLen) {
            const auto* s = static_cast<const std::int16_t*>(Buf);
            const int frames = BufLen / 4;
            for (int f = 0; f < frames; ++f) {
                Run = (s[2 * f] == 0 && s[2 * f + 1] == 0) ? Run + 1 : 0;
                if (Run > LongestSilence.load(std::memory_order_relaxed)) LongestSilence = Run;
            }
            if (frames > LargestBlock.load(std::memory_order_relaxed)) LargestBlock = frames;
            Blocks.fetch_add(1);
        };
    }
    void WaitForBlocks(std::int64_t Count) const {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Blocks.load() < Count && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

class EffectSwitching : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("BRINDLE_AUDIO", "null", 1);
        Saved = brindle::soundlib::GetOutputConfig();
        brindle::soundlib::SetOutputConfig({5, 2}); // short blocks: many callbacks per rewiring burst
    }
    void TearDown() override { brindle::soundlib::SetOutputConfig(Saved); }
    brindle::soundlib::OutputConfig Saved;
};

TEST_F(EffectSwitching, ChainsReplacedWhileTheDevicePlaysNeverFaultOrLeaveAGap) {
    TSineNode Source(440, 0.3);
    TMasterEffects Fx;
    TDevice Speakers;
    GapWatch Watch;
    Watch.Attach(Speakers);
    Fx.Splice(Speakers, &Source);
    Speakers.SetActive(true);
    ASSERT_TRUE(Speakers.GetUsingNullDevice());

    TEffectSettings S;
    std::uint32_t bits = 12345;
    for (int i = 0; i < 3000; ++i) {
        bits = bits * 1103515245u + 12345u;
        S.EqEnabled = bits & 0x10000;
        S.ReverbEnabled = bits & 0x20000;
        S.CompressorEnabled = bits & 0x40000;
        S.Eq[0] = float(int(bits >> 20) % 13 - 6);
        S.ReverbLevel = float((bits >> 8) % 100) / 100.0f;
        Fx.Apply(S); // a slider moved
        Fx.Chain(&Source); // a check box clicked
        if (i % 64 == 0) Speakers.SetInput(&Fx.Output()); // audio re-initialised with the same chain
        if (i % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    Watch.WaitForBlocks(Watch.Blocks.load() + 3);
    Speakers.SetActive(false);

    EXPECT_GT(Watch.Blocks.load(), 50);
    EXPECT_LE(Watch.LongestSilence.load(), Watch.LargestBlock.load());
    // Once nothing pulls, every replaced chain is freed.
    Fx.Collect();
    EXPECT_EQ(Fx.RetiredCount(), 0u);
}

TEST_F(EffectSwitching, AChainReplacedUnderARunningPullIsFreedOnlyAfterThePull) {
    // A source that holds the pull inside the chain until told to let go.
    struct HeldSource : TSineNode {
        HeldSource() : TSineNode(440, 0.3) {}
        std::atomic<bool> Inside{false}, Release{false};
        int PopData(void* Buf, int BufLen) override {
            Inside = true;
            while (!Release) std::this_thread::yield();
            return TSineNode::PopData(Buf, BufLen);
        }
    } Source;
    TMasterEffects Fx;
    TEffectSettings S;
    S.ReverbEnabled = true;
    Fx.Apply(S);
    Fx.Chain(&Source);
    std::vector<std::int16_t> block(882);
    std::thread puller([&] { Fx.Output().PopData(block.data(), 1764); });
    while (!Source.Inside) std::this_thread::yield();
    S.ReverbEnabled = false;
    Fx.Apply(S);
    Fx.Chain(&Source);
    Fx.Collect();
    EXPECT_EQ(Fx.RetiredCount(), 1u); // the pull is still inside the old reverb
    Source.Release = true;
    puller.join();
    Fx.Collect();
    EXPECT_EQ(Fx.RetiredCount(), 0u);
}

TEST_F(EffectSwitching, TheEncoderTakesTheDevicesPlaceAndRendersTheExactLength) {
    TempDir dir;
    TSineNode Source(440, 0.3);
    TMasterEffects Fx;
    TDevice Speakers;
    Fx.Splice(Speakers, &Source);
    Speakers.SetActive(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    // As the export does: the device stops (its thread has left the chain when this returns),
    // then the encoder pulls the same chain.
    Speakers.SetActive(false);
    TEncoderNode Encoder;
    Encoder.SetOutputFileName((dir / "out.pcm").string());
    Encoder.OutputFormatDetect();
    Encoder.SetInput(&Fx.Output());
    Encoder.EncodeTimeLimit = 1.5f;
    Encoder.Encode();
    EXPECT_EQ(std::filesystem::file_size(dir / "out.pcm"), 264600u);
    // And the speakers take it back.
    GapWatch Watch;
    Watch.Attach(Speakers);
    Speakers.SetInput(&Fx.Output());
    Speakers.SetActive(true);
    Watch.WaitForBlocks(5);
    Speakers.SetActive(false);
    EXPECT_GE(Watch.Blocks.load(), 5);
    EXPECT_LE(Watch.LongestSilence.load(), 1);
}

} // namespace
