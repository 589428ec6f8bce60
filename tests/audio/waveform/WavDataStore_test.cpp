#include "audio/waveform/WavDataStore.h"
#include "audio/waveform/WaveCache.h"
#include "base/Error.h"

#include "WaveImageTesting.h"
#include "support/DamagedAudio.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <tuple>

namespace fs = std::filesystem;
namespace bt = brindle::test;

namespace {

class WavDataStoreTest : public ::testing::Test {
  protected:
    // The cache files land in the test's own data folder.
    void SetUp() override { ::setenv("XDG_DATA_HOME", (Dir / "data").c_str(), 1); }

    fs::path Write(const std::string& Name, const std::vector<std::int16_t>& Pcm, int Rate, int Channels) {
        const auto path = Dir / Name;
        bt::WriteSoundFile(path, Pcm, Rate, Channels);
        return path;
    }

    bt::TempDir Dir;
};

// The finished image, read as a view would once the thread is done.
std::vector<std::int16_t> ImageOf(TWavDataStore& Store) {
    Store.WaitReading();
    const auto* start = Store.GetMemStart();
    if (!start) return {};
    return {start, start + Store.GetMemLen() / 2};
}

// Left and right different, so a store reading one channel only shows.
std::vector<std::int16_t> TwoTones(double Seconds, int Rate) {
    const auto frames = static_cast<std::size_t>(Seconds * Rate);
    std::vector<std::int16_t> pcm(frames * 2);
    for (std::size_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / Rate;
        pcm[2 * f] = static_cast<std::int16_t>(std::lround(20000 * std::sin(2 * std::numbers::pi * 440 * t)));
        pcm[2 * f + 1] = static_cast<std::int16_t>(std::lround(9000 * std::sin(2 * std::numbers::pi * 97 * t + 1)));
    }
    return pcm;
}

std::vector<std::int16_t> ToneOn(int Channels, double Seconds, int Rate) {
    const auto stereo = TwoTones(Seconds, Rate);
    return Channels == 2 ? stereo : bt::MonoOf(stereo, 2);
}

// Every image sample is the loudest mono sample of its window, with that sample's sign.
void ExpectPeaks(const std::vector<std::int16_t>& Image, const std::vector<std::int16_t>& Mono, int Rate, int Hz) {
    const auto peaks = bt::WindowPeaks(Mono, Rate, Hz, static_cast<std::int64_t>(Image.size()));
    for (std::size_t i = 0; i < Image.size(); ++i) {
        ASSERT_EQ(std::abs(int(Image[i])), peaks[i]) << "image sample " << i;
        const auto from = Mono.begin() + static_cast<std::ptrdiff_t>(i * static_cast<std::size_t>(Rate) / Hz);
        const auto to = Mono.begin() + static_cast<std::ptrdiff_t>(std::min(
                                           (i + 1) * static_cast<std::size_t>(Rate) / Hz, Mono.size()));
        if (peaks[i] > 0) {
            ASSERT_NE(std::find(from, to, Image[i]), to) << "sign of image sample " << i;
        }
    }
}

TEST_F(WavDataStoreTest, ImageHas882BytesPerSecondOfSource) {
    TWavDataStore store;
    EXPECT_EQ(store.GetMemStart(), nullptr);
    EXPECT_EQ(store.GetResultFrequency(), 441);
    EXPECT_TRUE(store.GetOptCacheImage());

    // 2.5 s is 2205 bytes, 1102.5 samples: the half sample is cut.
    store.SetFileName(Write("a.wav", ToneOn(1, 2.5, 44100), 44100, 1).string());
    EXPECT_EQ(store.GetMemLen(), 2204);
    ASSERT_NE(store.GetMemStart(), nullptr);
    store.WaitReading();
    EXPECT_TRUE(store.Done());
    EXPECT_EQ(store.FilledBytes(), 2204);

    store.SetFileName(Write("ten.wav", ToneOn(1, 10, 44100), 44100, 1).string());
    EXPECT_EQ(store.GetMemLen(), 8820);

    store.SetFileName(Write("b.wav", ToneOn(2, 1.0, 48000), 48000, 2).string());
    EXPECT_EQ(store.GetMemLen(), 882);
    EXPECT_EQ(store.SourceRate(), 48000);
    EXPECT_EQ(store.SourceFrames(), 48000);

    // 3 s and one frame: 3000045 microseconds.
    store.SetFileName(Write("c.wav", bt::ConstantTone(100, 3 * 22050 + 1, 1), 22050, 1).string());
    EXPECT_EQ(store.GetMemLen(), 2646);

    store.SetResultFrequency(100);
    store.SetFileName((Dir / "a.wav").string());
    EXPECT_EQ(store.GetMemLen(), 500);
    store.WaitReading();
}

class ImageContent : public WavDataStoreTest, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(ImageContent, EachSampleIsTheLoudestOfItsWindow) {
    const auto [rate, channels] = GetParam();
    const auto pcm = ToneOn(channels, 3.3, rate);
    TWavDataStore store;
    store.SetOptCacheImage(false);
    store.SetFileName(Write("tone.wav", pcm, rate, channels).string());
    const auto image = ImageOf(store);
    ASSERT_EQ(image.size(), static_cast<std::size_t>(3.3 * 441));
    ExpectPeaks(image, bt::MonoOf(pcm, channels), rate, 441);
    // A loud tone leaves no quiet sample in the image.
    EXPECT_GT(*std::min_element(image.begin(), image.end(), [](int a, int b) { return std::abs(a) < std::abs(b); }),
              -32768);
}

// 48 kHz and 22.05 kHz windows are not a whole number of frames: their bounds must not drift.
INSTANTIATE_TEST_SUITE_P(Rates, ImageContent,
                         ::testing::Combine(::testing::Values(44100, 48000, 22050, 96000), ::testing::Values(1, 2)));

TEST_F(WavDataStoreTest, TheRateCopiedAtTheStartDecidesWindows) {
    const auto pcm = ToneOn(2, 2.0, 48000);
    TWavDataStore store;
    store.SetOptCacheImage(false);
    store.SetResultFrequency(1000);
    store.SetFileName(Write("tone.wav", pcm, 48000, 2).string());
    store.SetResultFrequency(441); // for the next file only
    const auto image = ImageOf(store);
    ASSERT_EQ(image.size(), 2000u);
    ExpectPeaks(image, bt::MonoOf(pcm, 2), 48000, 1000);
}

TEST_F(WavDataStoreTest, AOneMillisecondClickKeepsItsFullHeightAndPlace) {
    const int rate = 44100;
    std::vector<std::int16_t> pcm(2 * rate * 2, 0);
    const std::int64_t clickAt = 54441; // 1.2345 s
    for (std::int64_t f = clickAt; f < clickAt + 44; ++f)
        pcm[2 * f] = pcm[2 * f + 1] = -30000;
    TWavDataStore store;
    store.SetFileName(Write("click.wav", pcm, rate, 2).string());
    const auto image = ImageOf(store);
    ASSERT_EQ(image.size(), 882u);
    const std::int64_t expected = clickAt * 441 / rate; // 544
    const auto loudest = std::min_element(image.begin(), image.end()) - image.begin();
    EXPECT_NEAR(static_cast<double>(loudest), static_cast<double>(expected), 1.0);
    EXPECT_EQ(image[loudest], -30000);
    for (std::size_t i = 0; i < image.size(); ++i)
        if (std::abs(static_cast<std::int64_t>(i) - expected) > 1) {
            EXPECT_EQ(image[i], 0) << i;
        }
}

TEST_F(WavDataStoreTest, DataEndingBeforeItsClaimedLengthLeavesAZeroTailAndNoCache) {
    const auto pcm = ToneOn(1, 1.0, 44100);
    const auto path = Write("short.flac", pcm, 44100, 1);
    bt::PatchFlacStreamInfo(path, -1, 2 * 44100);
    TWavDataStore store;
    store.SetFileName(path.string());
    EXPECT_EQ(store.SourceFrames(), 2 * 44100);
    const auto image = ImageOf(store);
    ASSERT_EQ(image.size(), 882u);
    EXPECT_EQ(store.FilledBytes(), 882);
    ExpectPeaks({image.begin(), image.begin() + 441}, pcm, 44100, 441);
    EXPECT_TRUE(std::all_of(image.begin() + 441, image.end(), [](auto v) { return v == 0; }));
    EXPECT_FALSE(fs::exists(store.CachePath(path.string())));
}

TEST_F(WavDataStoreTest, AHeaderClaimingDaysGetsABoundedImage) {
    const auto pcm = ToneOn(1, 0.5, 44100);
    const auto path = Write("huge.flac", pcm, 44100, 1);
    bt::PatchFlacStreamInfo(path, -1, 1ll << 35); // about nine days
    TWavDataStore store;
    store.SetFileName(path.string());
    EXPECT_EQ(store.GetMemLen(), TWavDataStore::MaxImageBytes);
    store.WaitReading();
    EXPECT_EQ(store.FilledBytes(), 442); // 220.5 windows: the half window shows too
    std::vector<std::int16_t> head(store.GetMemStart(), store.GetMemStart() + 221);
    ExpectPeaks(head, pcm, 44100, 441);
    EXPECT_EQ(store.SampleAt(221), 0);
    EXPECT_FALSE(fs::exists(store.CachePath(path.string())));
}

TEST_F(WavDataStoreTest, ATruncatedWavShowsTheDataItHolds) {
    const auto pcm = ToneOn(2, 2.0, 44100);
    const auto path = Write("cut.wav", pcm, 44100, 2);
    fs::resize_file(path, fs::file_size(path) - 44100 * 4); // one second of data gone, header kept
    TWavDataStore store;
    store.SetFileName(path.string());
    const auto image = ImageOf(store);
    // The decoder measures the data, so the image is the second that is left, whole.
    ASSERT_EQ(image.size(), 441u);
    ExpectPeaks(image, bt::MonoOf({pcm.begin(), pcm.begin() + 44100 * 2}, 2), 44100, 441);
}

TEST_F(WavDataStoreTest, ACacheIsWrittenOnlyForAnImageFilledPast99Percent) {
    TWavDataStore store;
    const auto nearlyAll = Write("nearly.flac", ToneOn(1, 1.99, 44100), 44100, 1); // 878 of 882 samples
    bt::PatchFlacStreamInfo(nearlyAll, -1, 2 * 44100);
    store.SetFileName(nearlyAll.string());
    const auto image = ImageOf(store);
    EXPECT_EQ(store.FilledBytes(), 878 * 2);
    const auto cache = store.CachePath(nearlyAll.string());
    ASSERT_TRUE(fs::exists(cache));
    EXPECT_EQ(bt::ReadBytes16(cache), image) << "the whole image, zero tail included";

    const auto most = Write("most.flac", ToneOn(1, 1.9, 44100), 44100, 1); // 838 of 882
    bt::PatchFlacStreamInfo(most, -1, 2 * 44100);
    store.SetFileName(most.string());
    store.WaitReading();
    EXPECT_EQ(store.FilledBytes(), 838 * 2);
    EXPECT_FALSE(fs::exists(store.CachePath(most.string())));

    const auto whole = Write("whole.wav", ToneOn(1, 1.0, 44100), 44100, 1);
    store.SetOptCacheImage(false);
    store.SetFileName(whole.string());
    store.WaitReading();
    EXPECT_FALSE(fs::exists(store.CachePath(whole.string())));
    store.SetOptCacheImage(true);
    store.SetFileName(whole.string());
    store.WaitReading();
    EXPECT_TRUE(fs::exists(store.CachePath(whole.string())));
    // Nothing of the staged writes is left beside the caches.
    int files = 0;
    for (const auto& e : fs::directory_iterator(fs::path(cache).parent_path())) {
        EXPECT_EQ(e.path().extension(), ".cache") << e.path();
        ++files;
    }
    EXPECT_EQ(files, 2);
}

TEST_F(WavDataStoreTest, AnUnknownLengthGetsTheImageOfWhatDecodes) {
    const auto pcm = ToneOn(1, 1.5, 44100);
    const auto path = Write("unknown.flac", pcm, 44100, 1);
    bt::PatchFlacStreamInfo(path, -1, 0);
    TWavDataStore store;
    store.SetOptCacheImage(false);
    store.SetFileName(path.string());
    EXPECT_EQ(store.SourceFrames(), 0);
    const auto image = ImageOf(store);
    ASSERT_EQ(image.size(), 662u); // 661.5: the last window only half full still shows
    ExpectPeaks(image, pcm, 44100, 441);
}

TEST_F(WavDataStoreTest, SwitchingOrDestroyingWhileDecodingStopsTheThread) {
    const auto longFile = Write("long.wav", ToneOn(2, 120, 44100), 44100, 2).string();
    const auto shortPcm = ToneOn(2, 1.5, 22050);
    const auto shortFile = Write("short.wav", shortPcm, 22050, 2).string();
    const auto mono = bt::MonoOf(shortPcm, 2);
    for (int round = 0; round < 5; ++round) {
        TWavDataStore store;
        store.SetOptCacheImage(false);
        store.SetFileName(longFile);
        store.SetFileName(shortFile);
        const auto image = ImageOf(store);
        ASSERT_EQ(image.size(), 661u);
        ExpectPeaks(image, mono, 22050, 441);
    }
    for (int round = 0; round < 5; ++round) {
        TWavDataStore store;
        store.SetOptCacheImage(false);
        store.SetFileName(longFile);
    }
    TWavDataStore store;
    store.SetFileName(longFile);
    store.SetFileName("");
    EXPECT_TRUE(store.Done());
    EXPECT_EQ(store.GetMemStart(), nullptr);
    EXPECT_FALSE(fs::exists(store.CachePath(longFile))) << "a stopped image is not cached";
}

TEST_F(WavDataStoreTest, AViewReadingWhileItFillsSeesOnlyFinalValuesBelowFilled) {
    const auto pcm = ToneOn(2, 60, 44100);
    TWavDataStore store;
    store.SetOptCacheImage(false);
    store.SetFileName(Write("long.wav", pcm, 44100, 2).string());
    const std::int16_t* start = store.GetMemStart();
    const std::int64_t length = store.GetMemLen();
    ASSERT_EQ(length, 60 * 882);
    std::vector<std::int16_t> seen(static_cast<std::size_t>(length / 2), 0);
    std::int64_t last = 0;
    while (!store.Done()) {
        const std::int64_t filled = store.FilledBytes();
        ASSERT_GE(filled, last);
        std::copy(start + last / 2, start + filled / 2, seen.begin() + last / 2);
        for (std::int64_t i = filled / 2; i < length / 2; i += 97)
            (void)store.SampleAt(i); // a view may read ahead; it sees zero or a final value
        last = filled;
    }
    const std::int64_t filled = store.FilledBytes();
    std::copy(start + last / 2, start + filled / 2, seen.begin() + last / 2);
    EXPECT_EQ(filled, length);
    EXPECT_EQ(seen, ImageOf(store));
    ExpectPeaks(seen, bt::MonoOf(pcm, 2), 44100, 441);
}

TEST_F(WavDataStoreTest, AnEmptyNameFreesTheImageAndStartsNothing) {
    TWavDataStore store;
    store.SetFileName(Write("a.wav", ToneOn(1, 1.0, 44100), 44100, 1).string());
    store.WaitReading();
    ASSERT_NE(store.GetMemStart(), nullptr);
    store.SetFileName("");
    EXPECT_EQ(store.GetFileName(), "");
    EXPECT_EQ(store.GetMemStart(), nullptr);
    EXPECT_EQ(store.GetMemLen(), 0);
    EXPECT_EQ(store.FilledBytes(), 0);
    EXPECT_EQ(store.SourceRate(), 0);
    EXPECT_TRUE(store.Done());
    store.WaitReading(); // returns at once
    EXPECT_TRUE(store.ReadSourceMono(0, 100).empty());
}

TEST_F(WavDataStoreTest, AMissingFileThrowsAndLeavesNoImage) {
    TWavDataStore store;
    store.SetFileName(Write("a.wav", ToneOn(1, 1.0, 44100), 44100, 1).string());
    const std::string missing = (Dir / "gone.wav").string();
    try {
        store.SetFileName(missing);
        FAIL() << "no error";
    } catch (const brindle::Error& e) {
        EXPECT_EQ(std::string(e.what()), "File not found " + missing + ".");
    }
    EXPECT_EQ(store.GetMemStart(), nullptr);
    EXPECT_EQ(store.GetMemLen(), 0);
    EXPECT_TRUE(store.Done());
    EXPECT_THROW(store.SetFileName(Dir.path().string()), brindle::Error) << "a folder is no file";
}

TEST_F(WavDataStoreTest, AFileNoDecoderTakesThrowsNamingIt) {
    const auto junk = Dir / "junk.wav";
    std::ofstream(junk) << "RIFF but nothing a decoder would take, not even close";
    TWavDataStore store;
    store.SetFileName(Write("a.wav", ToneOn(1, 1.0, 44100), 44100, 1).string());
    try {
        store.SetFileName(junk.string());
        FAIL() << "no error";
    } catch (const brindle::Error& e) {
        const std::string text = e.what();
        const std::string head = std::string(TWavDataStore::ReadChannelError) + "\r\n" + junk.string() + ": ";
        EXPECT_EQ(text.rfind(head, 0), 0u) << text;
        EXPECT_GT(text.size(), head.size()) << "a reason follows";
    }
    EXPECT_EQ(store.GetMemStart(), nullptr);
    EXPECT_TRUE(store.Done());
}

std::string Hex16(std::uint64_t Value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(Value));
    return text;
}

// FNV-1a 64 as published: offset basis 0xcbf29ce484222325, prime 0x100000001b3.
std::uint64_t ReferenceFnv(const std::string& Text) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : Text)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

TEST_F(WavDataStoreTest, CacheNamesFollowNameSizeRateAndFolder) {
    EXPECT_EQ(brindle::waveform::Fnv1a64("a"), 0xaf63dc4c8601ec8cull); // published test vector
    fs::create_directories(Dir / "x");
    fs::create_directories(Dir / "y");
    const auto one = Dir / "x" / "Kick 01.WAV";
    const auto two = Dir / "y" / "Kick 01.WAV";
    std::ofstream(one, std::ios::binary) << std::string(12345, 'a');
    std::ofstream(two, std::ios::binary) << std::string(12345, 'b');
    TWavDataStore store;
    const auto folder = Dir / "data" / "Brindle";
    EXPECT_EQ(fs::path(store.CachePath(one.string())),
              folder / ("441-kick 01-dot-wav12345-" + Hex16(ReferenceFnv(one.string())) + ".cache"));
    EXPECT_NE(store.CachePath(one.string()), store.CachePath(two.string()));
    store.SetResultFrequency(1000);
    EXPECT_EQ(fs::path(store.CachePath(one.string())).filename().string().rfind("1000-kick 01-dot-wav12345-", 0), 0u);

    const auto odd = Dir / "x" / "A:B\\C.d.wav";
    std::ofstream(odd, std::ios::binary) << "abc";
    EXPECT_EQ(fs::path(store.CachePath(odd.string())).filename().string(),
              "1000-a-cl-b-sl-c-dot-d-dot-wav3-" + Hex16(ReferenceFnv(odd.string())) + ".cache");
    // A relative name is hashed as its full path, so both spellings share a cache.
    const auto here = fs::current_path();
    fs::current_path(Dir / "x");
    const auto relative = store.CachePath("Kick 01.WAV");
    fs::current_path(here);
    EXPECT_EQ(relative, store.CachePath(one.string()));
}

TEST_F(WavDataStoreTest, ACacheNewerThanItsSourceIsReadInsteadOfDecoding) {
    const auto path = Write("a.wav", ToneOn(2, 2.0, 44100), 44100, 2);
    TWavDataStore store;
    store.SetFileName(path.string());
    const auto decoded = ImageOf(store);
    const auto cache = store.CachePath(path.string());
    ASSERT_EQ(bt::ReadBytes16(cache), decoded);

    // A pattern no decoder could make from the tone.
    std::vector<std::int16_t> pattern(decoded.size());
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<std::int16_t>(i * 37 % 2001 - 1000);
    bt::WriteBytes16(cache, pattern);
    fs::last_write_time(cache, fs::last_write_time(path) + std::chrono::seconds(10));
    store.SetFileName(path.string());
    EXPECT_EQ(ImageOf(store), pattern);
    EXPECT_EQ(store.FilledBytes(), store.GetMemLen());

    // The source changes: the old image goes and the new one is decoded and cached.
    fs::last_write_time(path, fs::last_write_time(cache) + std::chrono::seconds(10));
    store.SetFileName(path.string());
    EXPECT_EQ(ImageOf(store), decoded);
    EXPECT_EQ(bt::ReadBytes16(cache), decoded);
}

TEST_F(WavDataStoreTest, AShortCacheFileLeavesAZeroTail) {
    const auto path = Write("a.wav", ToneOn(1, 2.0, 44100), 44100, 1);
    TWavDataStore store;
    const auto cache = store.CachePath(path.string());
    fs::create_directories(fs::path(cache).parent_path());
    const std::vector<std::int16_t> head(300, -1234);
    bt::WriteBytes16(cache, head);
    fs::last_write_time(cache, fs::last_write_time(path) + std::chrono::seconds(10));
    store.SetFileName(path.string());
    const auto image = ImageOf(store);
    ASSERT_EQ(image.size(), 882u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), image.begin()));
    EXPECT_TRUE(std::all_of(image.begin() + 300, image.end(), [](auto v) { return v == 0; }));
    EXPECT_EQ(fs::file_size(cache), 600u) << "a read cache is left as it is";
}

TEST_F(WavDataStoreTest, ReadSourceMonoGivesTheExactFramesAtAnOffset) {
    const int rate = 32000;
    std::vector<std::int16_t> pcm(3 * rate * 2);
    for (std::size_t f = 0; f < pcm.size() / 2; ++f) {
        pcm[2 * f] = static_cast<std::int16_t>(f % 1000 * 30);
        pcm[2 * f + 1] = static_cast<std::int16_t>(-static_cast<int>(f % 777) * 41);
    }
    const auto mono = bt::MonoOf(pcm, 2);
    TWavDataStore store;
    store.SetOptCacheImage(false);
    store.SetFileName(Write("ramp.wav", pcm, rate, 2).string());
    EXPECT_EQ(store.SourceRate(), rate);
    EXPECT_EQ(store.SourceFrames(), 3 * rate);
    const auto part = store.ReadSourceMono(12345, 5000);
    EXPECT_EQ(part, std::vector<std::int16_t>(mono.begin() + 12345, mono.begin() + 12345 + 5000));
    const auto tail = store.ReadSourceMono(3 * rate - 100, 5000);
    EXPECT_EQ(tail, std::vector<std::int16_t>(mono.end() - 100, mono.end()));
    EXPECT_TRUE(store.ReadSourceMono(3 * rate + 10, 50).empty());
    const auto whole = store.ReadSourceMono(0, 4 * rate);
    EXPECT_EQ(whole, mono) << "longer than one read block";
    store.WaitReading();
}

} // namespace
