// The whole live path — song engine, queue handler, mixer, master effects — run as the device
// pulls it, counting what the real-time rules forbid on the audio thread.
#include "app/SongEngine.h"
#include "base/realtime/RealtimeProbe.h"
#include "song/Sequencer.h"
#include "support/CountingAllocator.h"
#include "support/Measure.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TEST(SongEngineRealtime, PlayingASongNeitherAllocatesNorOpensFilesNorWaits) {
    auto song = std::make_unique<cSequencer>();
    song->LoadFile(BRINDLE_SOURCE_DIR "/examples/demo.hym"); // stretched, transposed, StopPrev, stop markers
    brindle::SongEngine engine(*song);
    ASSERT_TRUE(engine.PreloadInstruments().empty());
    TAudioX* output = engine.ApplySongEffects();
    ASSERT_NE(output, &engine.Mixer()); // the effects are in the chain

    std::vector<std::int16_t> block(441 * 2);
    engine.PlaySongFrom(1);
    while (engine.Playing()) output->PopData(block.data(), int(block.size() * 2)); // warm-up: the whole song

    engine.PlayPatternFrom(3, 1); // the busiest pattern, looping
    const auto opens = brindle::RealtimeProbe::GetFileOpens();
    const auto waits = brindle::RealtimeProbe::GetLockWaits();
    std::vector<std::int16_t> heard;
    heard.reserve(3000);
    std::uint64_t allocations = 0;
    {
        brindle::test::AllocationScope scope;
        for (int i = 0; i < 3000; ++i) { // 30 s
            output->PopData(block.data(), int(block.size() * 2));
            heard.push_back(block[0]);
        }
        allocations = scope.Count();
    }
    EXPECT_EQ(allocations, 0u) << "heap allocations while playing";
    EXPECT_EQ(brindle::RealtimeProbe::GetFileOpens() - opens, 0u);
    EXPECT_EQ(brindle::RealtimeProbe::GetLockWaits() - waits, 0u);
    EXPECT_TRUE(engine.Playing());
    EXPECT_GT(song->CurRow, -1);
    const auto left = brindle::test::ChannelOf(heard, 1, 0);
    EXPECT_GT(brindle::test::Rms(left), 500.0) << "the run really played sound";
    EXPECT_TRUE(engine.Mixer().TakeProblems().empty());
}

} // namespace
