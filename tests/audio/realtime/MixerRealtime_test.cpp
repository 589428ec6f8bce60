// Runs the mixer the way the audio thread does and counts what the real-time rules forbid.
#include "audio/mixer/LiveMixer.h"
#include "base/realtime/RealtimeProbe.h"

#include "support/CountingAllocator.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace {

namespace bt = brindle::test;

TEST(MixerRealtime, MixingPathNeitherAllocatesNorOpensFilesNorWaits) {
    bt::TempDir dir;
    TLiveMixer mixer(24);
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        std::string name = "s0.wav";
        name[1] = static_cast<char>('0' + i);
        files.push_back((dir / name).string());
        bt::WriteSineWav(files.back(), 220.0 * (i + 1), 0.05 + 0.05 * i, 44100, i % 2 + 1);
        mixer.GetSampleCache()->Load(files.back());
    }
    const std::string missing = (dir / "never-loaded.wav").string();
    const float pitches[] = {0.0f, 0.0f, 7.0f, -5.0f, 12.0f};
    const float stretches[] = {1.0f, 1.0f, 1.5f, 0.75f, 1.0f};

    // A song-like pattern: each block starts a note on a rotating channel, cuts another at an
    // offset inside the block, now and then asks for a file that is not in the cache.
    int block = 0;
    mixer.BeforeBlockMixing = [&](TLiveMixer* Sender, float, float LenTime) {
        const int k = block % 5;
        const int channel = block % 8;
        Sender->RemoveByTag(channel, LenTime * 0.25f);
        Sender->AddToMix(files[block % files.size()], stretches[k], 0.6f, pitches[k], LenTime * 0.25f,
                         channel);
        if (block % 97 == 0) Sender->AddToMix(missing, 1, 1, 0, 0, 99);
        if (block % 333 == 0) Sender->RemoveByTag((channel + 3) % 8);
        ++block;
    };

    std::vector<std::int16_t> buf(441 * 2);
    for (int i = 0; i < 500; ++i)
        mixer.PopData(buf.data(), 1764); // warm-up
    const auto opens = brindle::RealtimeProbe::GetFileOpens();
    const auto waits = brindle::RealtimeProbe::GetLockWaits();
    std::int64_t sounding = 0;
    std::uint64_t allocations = 0;
    {
        bt::AllocationScope scope;
        for (int i = 0; i < 5000; ++i) {
            mixer.PopData(buf.data(), 1764);
            sounding += buf[100] != 0;
        }
        allocations = scope.Count();
    }
    EXPECT_EQ(allocations, 0u) << "heap allocations on the mixing path";
    EXPECT_EQ(brindle::RealtimeProbe::GetFileOpens() - opens, 0u);
    EXPECT_EQ(brindle::RealtimeProbe::GetLockWaits() - waits, 0u);
    EXPECT_GT(sounding, 4000) << "the run really mixed sound";
    EXPECT_GT(mixer.VoiceCount(), 0);
    // The missing file was reported (outside the counted run is where the UI drains it).
    EXPECT_FALSE(mixer.TakeProblems().empty());
    EXPECT_EQ(mixer.TakePendingLoads().front(), missing);
}

TEST(MixerRealtime, ProbeCountsContendedLocks) {
    brindle::CountingPlainMutex m;
    const auto before = brindle::RealtimeProbe::GetLockWaits();
    m.lock();
    std::thread other([&] {
        m.lock();
        m.unlock();
    });
    while (brindle::RealtimeProbe::GetLockWaits() == before)
        std::this_thread::yield();
    m.unlock();
    other.join();
    EXPECT_EQ(brindle::RealtimeProbe::GetLockWaits() - before, 1u);
}

} // namespace
