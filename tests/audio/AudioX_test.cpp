#include "audio/nodes/AudioPushBuffer.h"
#include "audio/nodes/AudioX.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

// Counts its own destruction so ownership can be observed.
struct ProbeNode : TAudioX {
    explicit ProbeNode(bool* destroyed) : Destroyed(destroyed) { SetFormat(22050, 1); }
    ~ProbeNode() override { *Destroyed = true; }
    int PopData(void* Buf, int BufLen) override {
        auto* p = static_cast<std::uint8_t*>(Buf);
        for (int i = 0; i < BufLen; ++i) p[i] = 0x5A;
        return BufLen;
    }
    bool* Destroyed;
};

TEST(AudioX, BareNodePassesBufferThroughUntouched) {
    TAudioX node;
    std::array<std::uint8_t, 8> buf{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(node.PopData(buf.data(), 8), 8);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[7], 8);
}

TEST(AudioX, InputFillsAndQueryHookSeesTheBlock) {
    bool destroyed = false;
    ProbeNode source(&destroyed);
    TAudioX node;
    int seen = -1;
    node.OnQueryData = [&](TAudioX* sender, void* buf, int len) {
        EXPECT_EQ(sender, &node);
        seen = static_cast<std::uint8_t*>(buf)[len - 1];
    };
    node.SetInput(&source);
    EXPECT_EQ(node.GetSampleRate(), 22050);
    EXPECT_EQ(node.GetChannels(), 1);
    std::array<std::uint8_t, 4> buf{};
    EXPECT_EQ(node.GetData(buf.data(), 4), 4);
    EXPECT_EQ(seen, 0x5A);
}

TEST(AudioX, BytesPerSecondAndPlug) {
    TAudioX a;
    a.SetFormat(44100, 2);
    EXPECT_EQ(a.GetBytesPerSec(), 44100 * 2 * 2);
    a.BitsPerSample = 0;
    EXPECT_EQ(a.GetBytesPerSec(), 0);

    TAudioX b;
    EXPECT_EQ(a.Plug(&b), &b);
    EXPECT_EQ(b.GetInput(), &a);
    EXPECT_TRUE(b.GetActive());
    EXPECT_EQ(b.GetSampleRate(), 44100);
}

TEST(AudioX, OwnershipFollowsTheFlag) {
    bool destroyed = false;
    ProbeNode source(&destroyed);
    {
        TAudioX node;
        node.SetInput(&source);
    }
    EXPECT_FALSE(destroyed);

    bool ownedDestroyed = false;
    {
        TAudioX node;
        node.OwnsInput = true;
        node.SetInput(new ProbeNode(&ownedDestroyed));
    }
    EXPECT_TRUE(ownedDestroyed);
}

TEST(AudioPushBuffer, DeliversInOrderAndDrainsShortBlocks) {
    TAudioPushBuffer q;
    const std::array<std::uint8_t, 6> data{1, 2, 3, 4, 5, 6};
    q.Push(data.data(), 6);
    std::array<std::uint8_t, 8> out{};
    EXPECT_EQ(q.PopData(out.data(), 4), 4);
    EXPECT_EQ(out[3], 4);
    out.fill(9);
    EXPECT_EQ(q.PopData(out.data(), 8), 2);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[1], 6);
    EXPECT_EQ(out[2], 9); // untouched past what was stored
    EXPECT_EQ(q.PopData(out.data(), 8), 0);
    q.Push(data.data(), 6);
    q.Clear();
    EXPECT_EQ(q.PopData(out.data(), 8), 0);
}

} // namespace
