// The UI timer's poll runs the events the audio thread posted: the speakers' time limit is raised
// once, on the polling thread, never inside the output callback.
#include "app/LiveOutput.h"
#include "audio/soundlib/NullDevice.h"

#include <gtest/gtest.h>

#include <thread>

using namespace brindle::soundlib;

TEST(LiveOutputPoll, RaisesTheSpeakersTimeLimitOnceOnThePollingThread) {
    TLiveOutput live;
    NullDevice* out = nullptr;
    auto& speakers = live.GetSpeakers();
    speakers.SetOutputOpener([&](const OutputRequest& request, RenderFunction render) {
        auto device = std::make_unique<NullDevice>(request, 10, std::move(render), NullDevice::Pacing::Manual);
        out = device.get();
        return OpenedOutput{std::move(device), ""};
    });
    speakers.SetTimeLimit(0.05f);
    int over = 0;
    std::thread::id overThread;
    speakers.OnTimeLimitOver = [&](TDevice*) {
        ++over;
        overThread = std::this_thread::get_id();
    };
    live.Initialise(0, 10, nullptr);
    ASSERT_NE(out, nullptr);
    for (int b = 0; b < 5; ++b) ASSERT_EQ(out->PullBlock(), out->BlockBytes());
    live.Poll();
    EXPECT_EQ(over, 0) << "the limit is not reached yet";
    EXPECT_EQ(out->PullBlock(), 0);
    EXPECT_EQ(out->PullBlock(), 0);
    EXPECT_EQ(over, 0) << "not raised inside the output callback";

    std::thread ui([&] { live.Poll(); });
    const auto uiThread = ui.get_id();
    ui.join();
    EXPECT_EQ(over, 1);
    EXPECT_EQ(overThread, uiThread);
    out->PullBlock();
    live.Poll();
    EXPECT_EQ(over, 1) << "once";
    live.Shutdown();
}
