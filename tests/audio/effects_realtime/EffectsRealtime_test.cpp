// Effects on the audio path allocate nothing once warmed up, even while their values change.
// This program replaces the global operator new to count allocations.
#include "support/SineNode.h"
#include "audio/Compressor.h"
#include "audio/Equalizer.h"
#include "audio/Reverb.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> Allocations{0};
}

void* operator new(std::size_t Size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* P = std::malloc(Size ? Size : 1)) return P;
    throw std::bad_alloc();
}
void operator delete(void* P) noexcept { std::free(P); }
void operator delete(void* P, std::size_t) noexcept { std::free(P); }

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
    const long Before = Allocations.load();
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
    EXPECT_EQ(Allocations.load() - Before, 0);
    // The counter itself works.
    auto* Probe = new int(1);
    EXPECT_EQ(Allocations.load() - Before, 1);
    delete Probe;
}

} // namespace
