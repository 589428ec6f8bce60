// Channel volume, balance and mute in the module file: stored only where they differ from a new
// song's, read back exactly, and brought into range with a warning when a file says otherwise.
#include "song/Sequencer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

namespace fs = std::filesystem;
using brindle::test::TempDir;

namespace {

class ChannelSettings : public ::testing::Test {
  protected:
    TempDir dir;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();

    std::unique_ptr<cSequencer> loadText(const std::string& xml) {
        const auto path = dir / "m.hym";
        std::ofstream(path, std::ios::binary) << xml;
        auto s = std::make_unique<cSequencer>();
        s->LoadFile(path.string());
        return s;
    }
    std::unique_ptr<cSequencer> roundTrip() {
        const auto path = dir / "out.hym";
        song->SaveFile(path.string());
        auto s = std::make_unique<cSequencer>();
        s->LoadFile(path.string());
        return s;
    }
    static void expectDefault(const cSequencer& s, int c) {
        EXPECT_EQ(s.GetChannelVolume(c), 1.0f) << "channel " << c;
        EXPECT_EQ(s.GetChannelPan(c), 0.0f) << "channel " << c;
        EXPECT_FALSE(s.IsMuted(c)) << "channel " << c;
    }
};

TEST_F(ChannelSettings, OnlyChannelsThatDifferAreWrittenAsElementsOfTheRoot) {
    song->SetChannel(2, 0.5f, -1.0f, true);
    song->SetChannel(99, 2.0f, 0.25f, false);
    song->SetChannel(5, 1.0f, 0.0f, false); // the default: not written
    const auto path = dir / "out.hym";
    song->SaveFile(path.string());
    const std::string text = brindle::test::ReadAll(path);
    EXPECT_NE(text.find("<Channel Index=\"2\" Volume=\"0.5\" Pan=\"-1\" Mute=\"true\" />"), std::string::npos) << text;
    EXPECT_NE(text.find("<Channel Index=\"99\" Volume=\"2\" Pan=\"0.25\" Mute=\"false\" />"), std::string::npos) << text;
    EXPECT_EQ(text.find("Index=\"5\""), std::string::npos) << text;
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find("<Channel ", at)) != std::string::npos; ++at) ++count;
    EXPECT_EQ(count, 2u);
}

TEST_F(ChannelSettings, ANewSongWritesNoChannelElements) {
    const auto path = dir / "out.hym";
    song->SaveFile(path.string());
    EXPECT_EQ(brindle::test::ReadAll(path).find("Channel"), std::string::npos);
}

TEST_F(ChannelSettings, LoadAndSaveKeepEveryValueExactly) {
    // Values that have no short decimal form must survive too.
    const struct {
        int Channel;
        float Volume, Pan;
        bool Mute;
    } cases[] = {{0, 0.0f, 0.0f, false},       {1, 0.8f, 0.1f, false},   {2, 1.0f / 3.0f, -2.0f / 3.0f, true},
                 {3, 2.0f, 1.0f, false},       {4, 1.0f, 0.0f, true},    {50, 1.0e-7f, -1.0f, false},
                 {98, 1.9999999f, -0.0001f, true}, {99, 0.70710677f, 0.5f, false}};
    for (const auto& c : cases) song->SetChannel(c.Channel, c.Volume, c.Pan, c.Mute);
    const auto back = roundTrip();
    EXPECT_TRUE(back->TakeLoadWarnings().empty());
    for (int ch = 0; ch < ChannelCount; ++ch) {
        const auto* match = std::find_if(std::begin(cases), std::end(cases), [&](const auto& c) { return c.Channel == ch; });
        if (match == std::end(cases)) {
            expectDefault(*back, ch);
            continue;
        }
        EXPECT_EQ(back->GetChannelVolume(ch), match->Volume) << "channel " << ch;
        EXPECT_EQ(back->GetChannelPan(ch), match->Pan) << "channel " << ch;
        EXPECT_EQ(back->IsMuted(ch), match->Mute) << "channel " << ch;
    }
}

TEST_F(ChannelSettings, OutOfRangeValuesAreClampedAndNamed) {
    const auto s = loadText("<halyard.module BPM=\"120\">"
                            "<Channel Index=\"0\" Volume=\"5\" Pan=\"-3\" Mute=\"TRUE\" Colour=\"red\"/>"
                            "<Channel Index=\"1\" Volume=\"-1\" Pan=\"7\"/>"
                            "<Channel Index=\"2\" Volume=\"nan\" Pan=\"inf\" Mute=\"1\"/>"
                            "<Channel Index=\"3\" Volume=\"0.25\"/>"
                            "<Channel Index=\"100\" Volume=\"0.5\"/>"
                            "<Channel Index=\"-1\" Volume=\"0.5\"/>"
                            "</halyard.module>");
    EXPECT_EQ(s->GetChannelVolume(0), 2.0f);
    EXPECT_EQ(s->GetChannelPan(0), -1.0f);
    EXPECT_TRUE(s->IsMuted(0)) << "booleans read in any case";
    EXPECT_EQ(s->GetChannelVolume(1), 0.0f);
    EXPECT_EQ(s->GetChannelPan(1), 1.0f);
    EXPECT_FALSE(s->IsMuted(1)) << "an absent Mute is false";
    EXPECT_EQ(s->GetChannelVolume(2), 1.0f) << "not a number reads as the default";
    EXPECT_EQ(s->GetChannelPan(2), 0.0f) << "an infinity, like other values that are not finite, reads as the default";
    EXPECT_TRUE(s->IsMuted(2));
    EXPECT_EQ(s->GetChannelVolume(3), 0.25f);
    EXPECT_EQ(s->GetChannelPan(3), 0.0f) << "an absent Pan is centre";
    for (int c = 4; c < ChannelCount; ++c) expectDefault(*s, c);

    const auto warnings = s->TakeLoadWarnings();
    const std::vector<std::string> expected = {
        "Channel 1: Volume 5 is out of range; using 2",
        "Channel 1: Pan -3 is out of range; using -1",
        "Channel 2: Volume -1 is out of range; using 0",
        "Channel 2: Pan 7 is out of range; using 1",
        "Channel: Index 100 is outside 0..99; skipped",
        "Channel: Index -1 is outside 0..99; skipped",
    };
    for (const auto& w : expected)
        EXPECT_NE(std::find(warnings.begin(), warnings.end(), w), warnings.end()) << "missing: " << w;
    // NaN and infinity are named too, one line each for channel 3.
    const auto third = std::count_if(warnings.begin(), warnings.end(),
                                     [](const std::string& w) { return w.rfind("Channel 3: ", 0) == 0; });
    EXPECT_EQ(third, 2);
    EXPECT_EQ(warnings.size(), expected.size() + 2);
}

TEST_F(ChannelSettings, LoadingAndResetStartFromDefaults) {
    for (int c = 0; c < ChannelCount; ++c) song->SetChannel(c, 0.5f, 0.5f, true);
    const auto path = dir / "plain.hym";
    std::ofstream(path, std::ios::binary) << "<halyard.module BPM=\"120\"/>";
    song->LoadFile(path.string());
    for (int c = 0; c < ChannelCount; ++c) expectDefault(*song, c);

    song->SetChannel(7, 0.0f, -1.0f, true);
    song->Reset();
    expectDefault(*song, 7);
    song->SetChannel(8, 2.0f, 1.0f, true);
    song->Init();
    expectDefault(*song, 8);
}

TEST_F(ChannelSettings, BalanceLawKeepsCentreAtUnity) {
    const struct {
        float Volume, Pan, Left, Right;
    } cases[] = {{1, 0, 1, 1},       {0.5f, 0, 0.5f, 0.5f}, {1, -1, 1, 0},         {1, 1, 0, 1},
                 {1, -0.5f, 1, 0.5f}, {2, 0.25f, 1.5f, 2}, {0, -1, 0, 0},         {9, -9, 2, 0}};
    for (const auto& c : cases) {
        song->SetChannel(4, c.Volume, c.Pan, false);
        float left = -1, right = -1;
        song->ChannelGains(4, left, right);
        EXPECT_FLOAT_EQ(left, c.Left) << c.Volume << " " << c.Pan;
        EXPECT_FLOAT_EQ(right, c.Right) << c.Volume << " " << c.Pan;
    }
}

TEST_F(ChannelSettings, SoloAndMuteAreStoredWithTheOtherSettings) {
    song->SetChannel(3, 0.5f, 0.0f, false);
    song->Solo(3);
    const auto back = roundTrip();
    EXPECT_FALSE(back->IsMuted(3));
    EXPECT_EQ(back->GetChannelVolume(3), 0.5f);
    for (int c = 0; c < ChannelCount; ++c) {
        if (c == 3) continue;
        EXPECT_TRUE(back->IsMuted(c)) << c;
    }
}

} // namespace
