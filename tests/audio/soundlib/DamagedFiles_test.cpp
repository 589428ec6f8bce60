// Audio files whose headers claim absurd lengths or rates: a clear error naming the file, or a
// decode bounded by the data really there, never std::bad_alloc or gigabytes.
#include "audio/mixer/SampleCache.h"
#include "audio/soundlib/SoundFile.h"
#include "base/Error.h"

#include "support/CountingAllocator.h"
#include "support/DamagedAudio.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <string>

namespace bt = brindle::test;
using brindle::soundlib::DecodeFile;
using brindle::soundlib::SoundFile;

namespace {

constexpr int Rate = 44100;
constexpr std::int64_t Frames = 11025; // 0.25 s
constexpr std::size_t Megabyte = std::size_t{1} << 20;

// A valid 0.25 s stereo file, with the header patched by Damage.
template <class Fn> std::string damaged(const bt::TempDir& Dir, const std::string& Name, Fn&& Damage) {
    const auto path = Dir / Name;
    bt::WriteSoundFile(path, bt::SineTone(440, 0.25, Rate, 2), Rate, 2);
    Damage(path);
    return path.string();
}

// Runs Load and expects a brindle::Error naming Path and saying Why.
template <class Fn> void expectRefused(Fn&& Load, const std::string& Path, const std::string& Why) {
    try {
        Load();
        ADD_FAILURE() << "accepted " << Path;
    } catch (const brindle::Error& e) {
        EXPECT_NE(std::string(e.what()).find(Path), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(Why), std::string::npos) << e.what();
    }
}

TEST(DamagedFiles, FlacClaimingTwoToThe35FramesDecodesWhatItHolds) {
    bt::TempDir dir;
    const auto path =
        damaged(dir, "huge.flac", [](const auto& p) { bt::PatchFlacStreamInfo(p, -1, 1ll << 35); });
    SoundFile f;
    f.Open(path);
    EXPECT_EQ(f.LengthFrames(), 1ll << 35) << "the claim itself is reported";
    bt::AllocationScope scope;
    std::vector<std::int16_t> pcm;
    EXPECT_NO_THROW(pcm = DecodeFile(path, Rate, 2));
    EXPECT_EQ(static_cast<std::int64_t>(pcm.size()), Frames * 2);
    EXPECT_LT(scope.Largest(), Megabyte) << "memory follows the data, not the claim";
    // Through the resampler too.
    EXPECT_NEAR(static_cast<double>(DecodeFile(path, 48000, 1).size()), Frames * 48000.0 / Rate, 64.0);
    EXPECT_LT(scope.Largest(), Megabyte);
}

TEST(DamagedFiles, AbsurdSampleRatesAreRefusedNamingTheFile) {
    bt::TempDir dir;
    const auto flac = damaged(dir, "slow.flac", [](const auto& p) { bt::PatchFlacStreamInfo(p, 1, -1); });
    const auto ogg = damaged(dir, "slow.ogg", [](const auto& p) { bt::PatchVorbisRate(p, 1); });
    const auto fast =
        damaged(dir, "fast.flac", [](const auto& p) { bt::PatchFlacStreamInfo(p, 1000000, -1); });
    bt::AllocationScope scope;
    for (const auto& path : {flac, ogg}) {
        expectRefused([&] { SoundFile().Open(path); }, path, "1 Hz");
        expectRefused([&] { DecodeFile(path, Rate, 2); }, path, "1 Hz");
        brindle::SampleCache cache(Rate, 2);
        expectRefused([&] { cache.Load(path); }, path, "1 Hz");
        EXPECT_EQ(cache.Find(path), nullptr);
    }
    expectRefused([&] { SoundFile().Open(fast); }, fast, "1000000 Hz");
    EXPECT_LT(scope.Largest(), Megabyte) << "a 5 KB file must not cost gigabytes";
    // The same files at their real rates load: the check is the rate, not the format.
    const auto good = damaged(dir, "good.ogg", [](const auto&) {});
    EXPECT_NEAR(static_cast<double>(DecodeFile(good, Rate, 2).size() / 2), static_cast<double>(Frames),
                1100.0);
}

TEST(DamagedFiles, UnknownLengthDoesNotOverflowAndDecodesToTheEnd) {
    bt::TempDir dir;
    // A FLAC header counting no samples: libsndfile reports its largest count.
    const auto path = damaged(dir, "unknown.flac", [](const auto& p) { bt::PatchFlacStreamInfo(p, -1, 0); });
    SoundFile f;
    f.Open(path);
    EXPECT_EQ(f.LengthFrames(), 0);
    EXPECT_EQ(f.LengthBytes(), 0) << "the count times the frame size overflowed";
    EXPECT_DOUBLE_EQ(f.BytesToSeconds(f.LengthBytes()), 0.0);
    const auto pcm = DecodeFile(path, Rate, 2);
    EXPECT_EQ(static_cast<std::int64_t>(pcm.size()), Frames * 2);
    EXPECT_NEAR(bt::ZeroCrossingHz(bt::ChannelOf(pcm, 2, 0), Rate), 440.0, 1.0);
}

TEST(DamagedFiles, ASoundLongerThanTheLimitIsRefusedNamingTheFile) {
    bt::TempDir dir;
    const auto same = bt::WriteSineWav(dir / "long.wav", 440, 0.25, Rate, 2).string();
    const auto other = bt::WriteSineWav(dir / "long22.wav", 440, 0.25, 22050, 1).string();
    bt::AllocationScope scope;
    expectRefused([&] { DecodeFile(same, Rate, 2, 4000); }, same, "longer than");
    expectRefused([&] { DecodeFile(other, Rate, 2, 4000); }, other, "longer than");
    EXPECT_LT(scope.Largest(), std::size_t{200000}) << "decoding stopped at the limit";
    EXPECT_EQ(static_cast<std::int64_t>(DecodeFile(same, Rate, 2, Frames).size()), Frames * 2)
        << "exactly at the limit is fine";

    brindle::SampleCache cache(Rate, 2);
    cache.SetMaxSampleSeconds(0.1);
    expectRefused([&] { cache.Load(same); }, same, "0.1 seconds");
    EXPECT_EQ(cache.Find(same), nullptr);
    cache.SetMaxSampleSeconds(brindle::SampleCache::DefaultMaxSampleSeconds);
    EXPECT_EQ(cache.Load(same)->Frames(), Frames);
}

TEST(DamagedFiles, RunningOutOfMemoryWhileLoadingIsAnErrorNamingTheFile) {
    bt::TempDir dir;
    const auto path = bt::WriteSineWav(dir / "big.wav", 440, 1.0, Rate, 2).string(); // 176 400 bytes decoded
    brindle::SampleCache cache(Rate, 2);
    {
        bt::AllocationLimit limit(100000);
        expectRefused([&] { cache.Load(path); }, path, "memory");
    }
    EXPECT_EQ(cache.Find(path), nullptr);
    ASSERT_NE(cache.Load(path), nullptr);
    {
        bt::AllocationLimit limit(300000); // the base fits, a variant twice as long does not
        expectRefused([&] { cache.LoadVariant(path, 0.5f, 0.0f); }, path, "memory");
    }
    EXPECT_EQ(cache.VariantBytes(), 0u);
    EXPECT_NE(cache.LoadVariant(path, 0.5f, 0.0f), nullptr) << "the budget was given back";
}

} // namespace
