// The output device's callback (time limit, stop flag, events), its activation rules and its
// fall-back to the null device, driven block by block through a hand-pulled null device.
#include "audio/output/Device.h"
#include "base/realtime/UiNotice.h"
#include "audio/soundlib/NullDevice.h"
#include "support/Measure.h"
#include "support/SineNode.h"
#include "base/Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace brindle::soundlib;

namespace {

// Opens hand-pulled null devices and remembers the last one and what was asked for.
struct ManualOpener {
    NullDevice* Last = nullptr;
    OutputRequest Asked;
    std::string Error;
    int BufferMs = 10;
    OutputOpener Opener() {
        return [this](const OutputRequest& request, RenderFunction render) {
            Asked = request;
            auto device = std::make_unique<NullDevice>(request, BufferMs, std::move(render), NullDevice::Pacing::Manual);
            Last = device.get();
            return OpenedOutput{std::move(device), Error};
        };
    }
};

std::vector<std::int16_t> BlockSamples(const NullDevice& device) {
    const auto& bytes = device.LastBlock();
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), bytes.size());
    return samples;
}

} // namespace

TEST(Device, TimeLimitStopsDeliveryAndRaisesTheEventOnceOnTheUiThread) {
    ManualOpener opener;
    brindle::test::TSineNode sine(1000.0, 0.5);
    TDevice device;
    device.SetOutputOpener(opener.Opener());
    device.SetInput(&sine);
    device.SetTimeLimit(2.0f);
    int over = 0;
    std::thread::id overThread;
    device.OnTimeLimitOver = [&](TDevice* sender) {
        EXPECT_EQ(sender, &device);
        overThread = std::this_thread::get_id();
        ++over;
    };
    device.SetActive(true);
    ASSERT_NE(opener.Last, nullptr);
    NullDevice& out = *opener.Last;
    ASSERT_EQ(out.BlockBytes(), 441 * 4); // 10 ms blocks: 200 of them make 2.0 s

    for (int block = 0; block < 200; ++block) {
        ASSERT_EQ(out.PullBlock(), out.BlockBytes()) << "block " << block;
        ASSERT_FALSE(device.GetStopedFlag()) << "block " << block;
    }
    EXPECT_FLOAT_EQ(device.GetPlayedTime(), 2.0f);
    const auto left = brindle::test::ChannelOf(BlockSamples(out), 2, 0);
    EXPECT_NEAR(brindle::test::Rms(left), 0.5 * 32767 / std::sqrt(2.0), 200.0) << "the input's sound is delivered";
    // The next request finds the limit reached: nothing is delivered from now on.
    EXPECT_EQ(out.PullBlock(), 0);
    EXPECT_TRUE(device.GetStopedFlag());
    for (auto s : BlockSamples(out)) ASSERT_EQ(s, 0);
    const auto framesBefore = sine.GetFramesDone();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out.PullBlock(), 0);
    EXPECT_EQ(sine.GetFramesDone(), framesBefore) << "a stopped device pulls nothing from its input";
    EXPECT_FLOAT_EQ(device.GetPlayedTime(), 2.0f);

    // Not raised on the audio thread but handed to the user-interface thread, exactly once.
    EXPECT_EQ(over, 0);
    int ran = 0;
    std::thread ui([&] { ran = brindle::DrainUiNotices(); });
    const auto uiThread = ui.get_id();
    ui.join();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(over, 1);
    EXPECT_EQ(overThread, uiThread) << "raised on the thread that drains the notices";
    out.PullBlock();
    EXPECT_EQ(brindle::DrainUiNotices(), 0) << "a stopped device posts nothing more";
    device.OnTimeLimitOver_InvokeTimer_OnTimer(); // a periodic timer finds nothing more
    EXPECT_EQ(over, 1);

    // Activating again starts a new run from zero.
    device.SetActive(true);
    EXPECT_FALSE(device.GetStopedFlag());
    EXPECT_FLOAT_EQ(device.GetPlayedTime(), 0.0f);
    EXPECT_EQ(opener.Last->PullBlock(), opener.Last->BlockBytes());
}

TEST(Device, NoTimeLimitWithoutHandlerStillStopsButPostsNothing) {
    ManualOpener opener;
    TDevice device;
    device.SetOutputOpener(opener.Opener());
    device.SetTimeLimit(0.05f);
    device.SetActive(true);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(opener.Last->PullBlock(), opener.Last->BlockBytes());
    EXPECT_EQ(opener.Last->PullBlock(), 0);
    EXPECT_TRUE(device.GetStopedFlag());
    int over = 0;
    device.OnTimeLimitOver = [&](TDevice*) { ++over; };
    device.OnTimeLimitOver_InvokeTimer_OnTimer();
    EXPECT_EQ(brindle::DrainUiNotices(), 0);
    EXPECT_EQ(over, 0) << "the timer is armed only when a handler was assigned at the limit";

    // TimeLimit 0 means no limit.
    device.SetTimeLimit(0.0f);
    device.SetActive(true);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(opener.Last->PullBlock(), opener.Last->BlockBytes());
    EXPECT_FALSE(device.GetStopedFlag());
}

TEST(Device, EventsSeeEachBlockInOrder) {
    ManualOpener opener;
    brindle::test::TSineNode sine(441.0, 0.25);
    TDevice device;
    device.SetOutputOpener(opener.Opener());
    device.SetInput(&sine);
    std::vector<std::string> order;
    std::int64_t framesAtSend = -1;
    device.OnSendData = [&](TDevice*) {
        order.push_back("send");
        framesAtSend = sine.GetFramesDone();
    };
    device.OnQueryData = [&](TAudioX* sender, void* buf, int len) {
        EXPECT_EQ(sender, &device);
        EXPECT_EQ(len, 441 * 4);
        // The hook may overwrite the block: it leaves one marker sample.
        static_cast<std::int16_t*>(buf)[0] = 1234;
        order.push_back("query");
    };
    int received = 0;
    device.OnDataReceived = [&](TDevice*, void* buf, int len) {
        EXPECT_EQ(static_cast<std::int16_t*>(buf)[0], 1234);
        const std::vector<std::int16_t> pcm(static_cast<std::int16_t*>(buf), static_cast<std::int16_t*>(buf) + len / 2);
        EXPECT_NEAR(brindle::test::ZeroCrossingHz(brindle::test::ChannelOf(pcm, 2, 1), 44100), 441.0, 1.0);
        order.push_back("received");
        ++received;
    };
    device.SetActive(true);
    opener.Last->PullBlock();
    EXPECT_EQ(framesAtSend, 0) << "OnSendData comes before the input is pulled";
    EXPECT_EQ(sine.GetFramesDone(), 441);
    EXPECT_EQ(order, (std::vector<std::string>{"send", "query", "received"}));
    EXPECT_EQ(BlockSamples(*opener.Last)[0], 1234) << "what the events leave is what is played";
    opener.Last->PullBlock();
    EXPECT_EQ(received, 2);
}

TEST(Device, ActivationFormatDeviceNumberAndChannelCheck) {
    ManualOpener opener;
    TDevice device;
    device.SetOutputOpener(opener.Opener());
    EXPECT_EQ(device.GetSampleRate(), 44100);
    EXPECT_EQ(device.GetChannels(), 2);

    // DeviceIndex 0 is the default device; a rate or channel count of 0 takes the usual format.
    device.SetSampleRate(0);
    device.SetChannels(0);
    device.Play();
    EXPECT_TRUE(device.GetActive());
    EXPECT_EQ(opener.Asked.Device, 0);
    EXPECT_EQ(opener.Asked.SampleRate, 44100);
    EXPECT_EQ(opener.Asked.Channels, 2);

    device.SetDeviceIndex(2);
    device.SetFormat(48000, 1);
    device.SetActive(true);
    EXPECT_EQ(opener.Asked.Device, 2);
    EXPECT_EQ(opener.Asked.SampleRate, 48000);
    EXPECT_EQ(opener.Asked.Channels, 1);

    for (int channels = 1; channels <= 9; ++channels) {
        device.SetChannels(channels);
        EXPECT_NO_THROW(device.SetActive(true)) << channels;
        EXPECT_EQ(opener.Last->BlockBytes(), 480 * channels * 2);
    }
    device.SetChannels(10);
    opener.Last = nullptr;
    try {
        device.SetActive(true);
        FAIL() << "10 channels must be refused";
    } catch (const brindle::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Channels<10"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(device.GetActive());
    EXPECT_EQ(opener.Last, nullptr) << "no stream is opened for a refused format";

    device.SetActive(false);
    EXPECT_FALSE(device.GetActive());
    EXPECT_EQ(device.GetStats(), nullptr);
}

TEST(Device, AnUnusableCardIsReportedOnceAndTheNullDevicePlays) {
    ManualOpener opener;
    opener.Error = "no sound output device was found";
    TDevice device;
    device.SetOutputOpener(opener.Opener());
    std::vector<std::string> reports;
    device.OnDeviceError = [&](TDevice*, const std::string& message) { reports.push_back(message); };
    device.SetActive(true);
    device.SetActive(true);
    device.SetActive(true);
    EXPECT_EQ(reports, std::vector<std::string>{"no sound output device was found"});
    EXPECT_TRUE(device.GetUsingNullDevice());
    EXPECT_EQ(device.GetDeviceError(), "no sound output device was found");
    EXPECT_EQ(opener.Last->PullBlock(), opener.Last->BlockBytes()) << "playback goes on without a card";

    opener.Error = "sound output device 3 does not exist";
    device.SetActive(true);
    EXPECT_EQ(reports.size(), 2u) << "a new reason is reported";
}

TEST(Device, NullAudioRequestOpensTheNullDeviceWithoutComplaint) {
    ::setenv("BRINDLE_AUDIO", "null", 1);
    TDevice device;
    int reports = 0;
    device.OnDeviceError = [&](TDevice*, const std::string&) { ++reports; };
    device.SetActive(true);
    EXPECT_TRUE(device.GetUsingNullDevice());
    EXPECT_EQ(device.GetDeviceError(), "");
    EXPECT_EQ(reports, 0);
    device.SetActive(false);
}

TEST(Device, ANoticePostedByADestroyedDeviceNeverRuns) {
    ManualOpener opener;
    auto playToTheLimit = [&](TDevice& device, int& over) {
        device.SetOutputOpener(opener.Opener());
        device.SetTimeLimit(0.01f);
        device.OnTimeLimitOver = [&over](TDevice*) { ++over; };
        device.SetActive(true);
        opener.Last->PullBlock();
        opener.Last->PullBlock();
        ASSERT_TRUE(device.GetStopedFlag());
    };
    int keptOver = 0;
    int goneOver = 0;
    TDevice kept;
    playToTheLimit(kept, keptOver);
    {
        TDevice gone;
        playToTheLimit(gone, goneOver);
    }
    EXPECT_EQ(brindle::DrainUiNotices(), 1) << "only the living device's notice runs";
    EXPECT_EQ(keptOver, 1);
    EXPECT_EQ(goneOver, 0);
}

TEST(Device, AFailedBlockPlaysSilenceAndIsReportedOnceOnTheUiThread) {
    // Fails with the message it holds; an empty message lets the block through.
    struct FailingNode : TAudioX {
        std::string Message = "ReverbStream - out of memory";
        bool StdFailure = false;
        int PopData(void* Buf, int BufLen) override {
            if (StdFailure) throw std::bad_alloc();
            if (!Message.empty()) throw brindle::Error(Message);
            std::memset(Buf, 0x11, static_cast<size_t>(BufLen));
            return BufLen;
        }
    } failing;
    ManualOpener opener;
    TDevice device;
    device.SetOutputOpener(opener.Opener());
    device.SetInput(&failing);
    std::vector<std::string> reported;
    std::thread::id reportThread;
    device.OnAudioError = [&](TDevice*, const std::string& message) {
        reported.push_back(message);
        reportThread = std::this_thread::get_id();
    };
    device.SetActive(true);
    std::vector<std::int16_t> block(882, 7);
    std::thread audio([&] {
        for (int i = 0; i < 50; ++i) EXPECT_EQ(device.DeviceCallback(block.data(), 1764), 1764);
    });
    audio.join();
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::int16_t s) { return s == 0; }));
    EXPECT_TRUE(reported.empty()); // nothing reaches the UI before it drains its notices
    brindle::DrainUiNotices();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "ReverbStream - out of memory");
    EXPECT_EQ(reportThread, std::this_thread::get_id());

    // A standard failure is caught as well, and a new message is reported again.
    failing.StdFailure = true;
    device.DeviceCallback(block.data(), 1764);
    brindle::DrainUiNotices();
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[1], std::bad_alloc().what());

    // The chain recovers: the next block plays.
    failing.StdFailure = false;
    failing.Message.clear();
    device.DeviceCallback(block.data(), 1764);
    EXPECT_EQ(block[0], 0x1111);
    device.SetActive(false);
}
