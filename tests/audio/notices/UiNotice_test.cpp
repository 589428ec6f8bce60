// Notices from the audio thread to the user-interface thread: posted without locks or heap
// allocation from any thread, handled once per drain on the draining thread, never after the
// notice is gone.
#include "base/realtime/UiNotice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using brindle::DrainUiNotices;
using brindle::UiNotice;

TEST(UiNotice, HandlersRunOnceEachOnTheDrainingThreadInPostingOrder) {
    std::vector<std::string> ran;
    std::vector<std::thread::id> threads;
    auto record = [&](const char* name) {
        return [&, name] {
            ran.push_back(name);
            threads.push_back(std::this_thread::get_id());
        };
    };
    UiNotice a(record("a")), b(record("b")), c(record("c"));
    EXPECT_EQ(DrainUiNotices(), 0);
    c.Post();
    a.Post();
    a.Post(); // already pending: no second run
    b.Post();
    EXPECT_TRUE(a.GetPending());
    EXPECT_TRUE(ran.empty()) << "posting runs nothing";

    int count = 0;
    std::thread ui([&] { count = DrainUiNotices(); });
    const auto uiId = ui.get_id();
    ui.join();
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ran, (std::vector<std::string>{"c", "a", "b"}));
    for (auto id : threads) EXPECT_EQ(id, uiId);
    EXPECT_FALSE(a.GetPending());
    EXPECT_EQ(DrainUiNotices(), 0) << "handled notices are not run again";

    a.Post();
    EXPECT_EQ(DrainUiNotices(), 1) << "a handled notice can be posted again";
    EXPECT_EQ(ran.back(), "a");
}

TEST(UiNotice, ANoticeDestroyedWhilePostedNeverRuns) {
    std::vector<std::string> ran;
    UiNotice a([&] { ran.push_back("a"); });
    {
        UiNotice gone([&] { ran.push_back("gone"); });
        gone.Post();
        a.Post();
    }
    EXPECT_EQ(DrainUiNotices(), 1);
    EXPECT_EQ(ran, std::vector<std::string>{"a"});

    // Destroyed by an earlier handler of the same drain: already taken off the stack by then.
    std::optional<UiNotice> victim;
    victim.emplace([&] { ran.push_back("victim"); });
    UiNotice killer([&] {
        ran.push_back("killer");
        victim.reset();
    });
    UiNotice after([&] { ran.push_back("after"); });
    killer.Post();
    victim->Post();
    after.Post();
    EXPECT_EQ(DrainUiNotices(), 2);
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "killer", "after"}));

    // A handler may destroy its own notice.
    std::optional<UiNotice> self;
    int selfRuns = 0;
    self.emplace([&] {
        ++selfRuns;
        self.reset();
    });
    self->Post();
    EXPECT_EQ(DrainUiNotices(), 1);
    EXPECT_EQ(selfRuns, 1);
    EXPECT_FALSE(self.has_value());
    EXPECT_EQ(DrainUiNotices(), 0);
}

TEST(UiNotice, APostDuringItsHandlerWaitsForTheNextDrain) {
    int runs = 0;
    std::optional<UiNotice> notice;
    notice.emplace([&] {
        ++runs;
        notice->Post();
    });
    notice->Post();
    EXPECT_EQ(DrainUiNotices(), 1);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(notice->GetPending()) << "the new post is kept";
    EXPECT_EQ(DrainUiNotices(), 1);
    EXPECT_EQ(runs, 2);
    notice.reset(); // still posted: taken off safely
    EXPECT_EQ(DrainUiNotices(), 0);
}

TEST(UiNotice, PostsFromSeveralThreadsRunEachHandlerAtMostOncePerDrainAndNoneIsLost) {
    constexpr int Notices = 3;
    constexpr int Threads = 4;
    constexpr int PostsPerThread = 21000;
    struct Counted {
        std::atomic<int> Generation{0}; // bumped before every post
        int Seen = 0;                   // the generation the handler last saw
        int RunsThisDrain = 0;
        int Runs = 0;
    };
    std::vector<Counted> counted(Notices);
    std::vector<std::optional<UiNotice>> notices(Notices);
    for (int i = 0; i < Notices; ++i)
        notices[i].emplace([&, i] {
            counted[i].Seen = counted[i].Generation.load();
            ++counted[i].RunsThisDrain;
            ++counted[i].Runs;
        });

    std::atomic<int> finished{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < Threads; ++t)
        posters.emplace_back([&, t] {
            for (int k = 0; k < PostsPerThread; ++k) {
                const int i = (k + t) % Notices;
                counted[i].Generation.fetch_add(1);
                notices[i]->Post();
            }
            ++finished;
        });
    int drains = 0;
    auto drainOnce = [&] {
        DrainUiNotices();
        ++drains;
        for (auto& c : counted) {
            ASSERT_LE(c.RunsThisDrain, 1) << "drain " << drains;
            c.RunsThisDrain = 0;
        }
    };
    while (finished.load() < Threads) drainOnce();
    for (auto& p : posters) p.join();
    drainOnce();
    for (int i = 0; i < Notices; ++i) {
        EXPECT_EQ(counted[i].Seen, counted[i].Generation.load()) << "the last post reached a handler, notice " << i;
        EXPECT_GE(counted[i].Runs, 1);
        EXPECT_LE(counted[i].Runs, drains);
        EXPECT_FALSE(notices[i]->GetPending());
    }
    EXPECT_EQ(DrainUiNotices(), 0);
}
