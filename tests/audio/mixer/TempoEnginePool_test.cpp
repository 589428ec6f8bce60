// The live pool of tempo streams starts small and grows, off the audio thread, up to its size.
#include "audio/mixer/TempoEnginePool.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TempoEnginePool, StartsSmallAndGrowsOnDemandUpToItsSize) {
    constexpr int Size = TTempoEnginePool::InitialStreams + 5;
    TTempoEnginePool pool(44100, 2, Size, /*Sized=*/true);
    EXPECT_EQ(pool.StreamCount(), TTempoEnginePool::InitialStreams);
    EXPECT_EQ(pool.FreeCount(), TTempoEnginePool::InitialStreams);
    // A fresh stream fits no note: the audio thread's look-up never makes one.
    EXPECT_EQ(pool.TakeFitting(1.5f, 0.0f), -1);
    EXPECT_EQ(pool.StreamCount(), TTempoEnginePool::InitialStreams);
    std::vector<int> taken;
    for (int i = 0; i < Size + 3; ++i)
        if (const int slot = pool.TakeAny(); slot >= 0) taken.push_back(slot);
    EXPECT_EQ(int(taken.size()), Size);
    EXPECT_EQ(pool.StreamCount(), Size);
    // A stream tuned for a note is found again by the audio thread's look-up.
    pool.Tune(taken.back(), 1.5f, 2.0f);
    pool.Regroup(taken.back());
    pool.Return(taken.back());
    EXPECT_EQ(pool.TakeFitting(1.5f, 2.0f), taken.back());
}
