// The file preview stream: ranges, loops, the resume-or-restart rule, OnOver and volume. The test
// file's samples count its frames, so every played block shows exactly which frames it holds.
#include "audio/nodes/PlayStream.h"
#include "base/realtime/UiNotice.h"
#include "audio/soundlib/NullDevice.h"
#include "base/Error.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

using namespace brindle::soundlib;

namespace {

constexpr int Rate = 10000; // 10 ms blocks are 100 frames
constexpr int Frames = 20000;

struct Fixture {
    brindle::test::TempDir dir;
    std::string path = (dir / "count.wav").string();
    NullDevice* Out = nullptr;
    TPlayStream stream;

    Fixture() {
        std::vector<std::int16_t> pcm(Frames);
        for (int i = 0; i < Frames; ++i) pcm[i] = static_cast<std::int16_t>(i % 30000);
        brindle::test::WriteSoundFile(path, pcm, Rate, 1);
        stream.SetOutputOpener([this](const OutputRequest& request, RenderFunction render) {
            auto device = std::make_unique<NullDevice>(request, 10, std::move(render), NullDevice::Pacing::Manual);
            Out = device.get();
            return OpenedOutput{std::move(device), ""};
        });
        stream.SetFileName(path);
    }

    // The test plays the user-interface thread: posted events run here.
    int RunUi() { return brindle::DrainUiNotices(); }

    // Pulls blocks and returns the samples played.
    std::vector<std::int16_t> Pull(int blocks) {
        std::vector<std::int16_t> played;
        for (int b = 0; b < blocks; ++b) {
            Out->PullBlock();
            const auto& bytes = Out->LastBlock();
            const size_t n = bytes.size() / 2;
            played.resize(played.size() + n);
            std::memcpy(played.data() + played.size() - n, bytes.data(), bytes.size());
        }
        return played;
    }
};

std::vector<std::int16_t> Count(int from, int to) {
    std::vector<std::int16_t> v;
    for (int i = from; i < to; ++i) v.push_back(static_cast<std::int16_t>(i));
    return v;
}

std::vector<std::int16_t> Concat(std::vector<std::int16_t> a, const std::vector<std::int16_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(PlayStream, OpensTheFileOrRaisesTheReadChannelError) {
    Fixture f;
    EXPECT_EQ(f.stream.GetFileName(), f.path);
    EXPECT_EQ(f.stream.LenBytes(), Frames * 2);
    EXPECT_FLOAT_EQ(f.stream.LenSec(), 2.0f);
    EXPECT_FALSE(f.stream.GetIsPlaying());

    const std::string missing = (f.dir / "missing.wav").string();
    try {
        f.stream.SetFileName(missing);
        FAIL() << "a missing file must raise";
    } catch (const brindle::Error& e) {
        EXPECT_EQ(std::string(e.what()), "TransformChannel::Can't create read channel. Is BASS Initialized?\r\n" + missing);
    }
    EXPECT_EQ(f.stream.GetFileName(), "");
    EXPECT_EQ(f.stream.LenBytes(), 0);
    EXPECT_FLOAT_EQ(f.stream.GetPos(), 0.0f);
    f.stream.Play(0, 1, false, true); // nothing to play: no crash, no sound
    EXPECT_FALSE(f.stream.GetIsPlaying());
}

TEST(PlayStream, RangeStopsOnItsLastFrameAndRaisesOnOverOnTheUiTimer) {
    Fixture f;
    int over = 0;
    std::thread::id overThread;
    f.stream.OnOver = [&](TPlayStream* sender) {
        EXPECT_EQ(sender, &f.stream);
        overThread = std::this_thread::get_id();
        ++over;
    };
    // Frames 2000 up to 8050: 60.5 blocks.
    f.stream.Play(0.1f, 0.3025f, false, true);
    EXPECT_TRUE(f.stream.GetIsPlaying());
    EXPECT_FALSE(f.stream.GetLooping());
    const auto played = f.Pull(62);
    const auto expected = Concat(Count(2000, 8050), std::vector<std::int16_t>(150, 0));
    ASSERT_EQ(played.size(), expected.size());
    for (size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], expected[i]) << "sample " << i;
    EXPECT_FALSE(f.stream.GetIsPlaying());
    EXPECT_FLOAT_EQ(f.stream.GetPos(), 8050.0f / Frames);

    EXPECT_EQ(over, 0) << "not raised on the audio thread";
    int ran = 0;
    std::thread ui([&] { ran = f.RunUi(); });
    const auto uiThread = ui.get_id();
    ui.join();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(over, 1);
    EXPECT_EQ(overThread, uiThread);
    EXPECT_FALSE(f.Out->Running()) << "the end stops the output";
    f.stream.OnOverTimerProcedure();
    EXPECT_EQ(over, 1) << "once";
}

TEST(PlayStream, LoopRepeatsTheRangeSampleExactlyWithoutOnOver) {
    Fixture f;
    int over = 0;
    f.stream.OnOver = [&](TPlayStream*) { ++over; };
    f.stream.Play(0.1f, 0.05f, true, true); // frames 2000 up to 3000
    EXPECT_TRUE(f.stream.GetLooping());
    const auto played = f.Pull(25);
    EXPECT_EQ(played, Concat(Concat(Count(2000, 3000), Count(2000, 3000)), Count(2000, 2500)));
    EXPECT_EQ(f.RunUi(), 0);
    EXPECT_EQ(over, 0);
    EXPECT_TRUE(f.stream.GetIsPlaying());

    f.stream.Stop();
    EXPECT_FALSE(f.stream.GetIsPlaying());
    EXPECT_FALSE(f.stream.GetLooping());
}

TEST(PlayStream, ResumesWhereItStoppedUnlessWithinHalfASecondOfTheRangeEnd) {
    Fixture f;
    f.stream.Play(0, 1, false, true);
    f.Pull(50);
    f.stream.Stop();
    EXPECT_FLOAT_EQ(f.stream.GetPos(), 0.25f);
    f.stream.Play(0, 1, false, false);
    EXPECT_EQ(f.Pull(1), Count(5000, 5100)) << "resumed";

    // Range end at frame 10000; half a second is 5000 frames.
    f.stream.SetPlayPosition(4900.0f / Frames);
    f.stream.Play(0, 0.5f, false, false);
    EXPECT_EQ(f.Pull(1), Count(4900, 5000)) << "5100 frames before the end: resumed";
    f.stream.Stop();
    f.stream.SetPlayPosition(0.25f);
    f.stream.Play(0, 0.5f, false, false);
    EXPECT_EQ(f.Pull(1), Count(0, 100)) << "exactly half a second before the end: restarted";

    // Restart always goes back to the range start.
    f.Pull(10);
    f.stream.Play(0.05f, 0.5f, false, true);
    EXPECT_EQ(f.Pull(1), Count(1000, 1100));
}

TEST(PlayStream, LengthZeroPlaysToTheFileEndWithoutOnOver) {
    Fixture f;
    int over = 0;
    f.stream.OnOver = [&](TPlayStream*) { ++over; };
    f.stream.SetPlayPosition(0.99f); // frame 19800
    f.stream.Play(0.5f, 0, false, false);
    // With no range, the end equals the start: playback starts at the range start.
    EXPECT_EQ(f.Pull(1), Count(10000, 10100));
    f.stream.SetPlayPosition(0.995f); // frame 19900
    EXPECT_EQ(f.Pull(2), Concat(Count(19900, 20000), std::vector<std::int16_t>(100, 0)));
    EXPECT_FALSE(f.stream.GetIsPlaying());
    EXPECT_EQ(f.RunUi(), 0);
    EXPECT_EQ(over, 0);

    // PlayFile plays the whole file and reports its end.
    f.stream.PlayFile(f.path);
    EXPECT_EQ(f.Pull(200), Count(0, 20000));
    f.Pull(1);
    f.RunUi();
    EXPECT_EQ(over, 1);
}

TEST(PlayStream, VolumeIsAppliedInWholePercents) {
    Fixture f;
    f.stream.SetVolume(0.5f);
    f.stream.Play(0.5f, 0.1f, false, true);
    EXPECT_EQ(f.Pull(1)[10], 10010 / 2);
    f.stream.SetVolume(0.339f); // 33 %
    EXPECT_EQ(f.Pull(1)[0], 10100 * 33 / 100);
    EXPECT_FLOAT_EQ(f.stream.GetVolume(), 0.339f);

    // The volume stays with the stream when another file is set.
    f.stream.SetFileName(f.path);
    f.stream.Play(0.5f, 0.1f, false, true);
    EXPECT_EQ(f.Pull(1)[0], 10000 * 33 / 100);
}

TEST(PlayStream, TheEndWaitsForTheUiSideAndIsRaisedOnce) {
    Fixture f;
    int over = 0;
    f.stream.OnOver = [&](TPlayStream*) { ++over; };
    f.stream.Play(0, 0.01f, false, true);
    f.Pull(3);
    EXPECT_EQ(over, 0) << "never raised inside the output callback";
    // A periodic UI timer may get there before the drain; the posted notice then finds nothing.
    f.stream.OnOverTimerProcedure();
    EXPECT_EQ(over, 1);
    EXPECT_FALSE(f.Out->Running());
    EXPECT_EQ(f.RunUi(), 1);
    EXPECT_EQ(over, 1);

    // Stopped before the UI side got to it: the end is no longer reported.
    f.stream.Play(0, 0.01f, false, true);
    f.Pull(3);
    f.stream.Stop();
    f.RunUi();
    EXPECT_EQ(over, 1);
}

TEST(PlayStream, AnEndPostedByADestroyedStreamNeverRuns) {
    int over = 0;
    {
        Fixture f;
        f.stream.OnOver = [&](TPlayStream*) { ++over; };
        f.stream.Play(0, 0.01f, false, true);
        f.Pull(3);
        ASSERT_FALSE(f.stream.GetIsPlaying());
    }
    EXPECT_EQ(brindle::DrainUiNotices(), 0);
    EXPECT_EQ(over, 0);
}
