#include "ui/input/MidiInput.h"

#include "support/CountingAllocator.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Heard {
    std::string What;
    int Note;
    int Tag;
    float Pitch;
    float Volume;
};

class MidiNotes : public ::testing::Test {
  protected:
    void SetUp() override {
        input.OnNote = [this](TMidiInput* sender, float pitch, float volume) {
            EXPECT_EQ(sender, &input);
            heard.push_back({"note", input.Param_Note, input.Param_Tag, pitch, volume});
        };
        input.OnRelease = [this](TMidiInput* sender) {
            EXPECT_EQ(sender, &input);
            heard.push_back({"release", input.Param_Note, input.Param_Tag, 0, 0});
        };
    }
    bool feed(std::vector<unsigned char> bytes) { return input.FeedBytes(bytes.data(), bytes.size()); }

    TMidiInput input;
    std::vector<Heard> heard;
};

TEST_F(MidiNotes, NoteOnPlaysTheNoteRelativeToMiddleCAtItsVelocity) {
    EXPECT_TRUE(feed({0x90, 60, 127}));
    EXPECT_TRUE(feed({0x93, 72, 64})); // any channel
    EXPECT_TRUE(feed({0x90, 48, 1}));
    // Nothing happens before the user-interface thread drains the queue.
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(input.Drain(), 3);
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0].What, "note");
    EXPECT_EQ(heard[0].Tag, MidiTag(60));
    EXPECT_FLOAT_EQ(heard[0].Pitch, 0.0f);
    EXPECT_FLOAT_EQ(heard[0].Volume, 1.0f);
    EXPECT_EQ(heard[1].Note, 72);
    EXPECT_EQ(heard[1].Tag, MidiTag(72));
    EXPECT_FLOAT_EQ(heard[1].Pitch, 12.0f);
    EXPECT_FLOAT_EQ(heard[1].Volume, 64.0f / 127.0f);
    EXPECT_FLOAT_EQ(heard[2].Pitch, -12.0f);
    EXPECT_FLOAT_EQ(heard[2].Volume, 1.0f / 127.0f);
    EXPECT_TRUE(input.Held[60]);
    EXPECT_TRUE(input.Held[72]);
}

TEST_F(MidiNotes, NoteOffAndNoteOnAtVelocityZeroRelease) {
    feed({0x90, 60, 100});
    feed({0x90, 67, 100});
    feed({0x80, 60, 64});
    feed({0x95, 67, 0});
    input.Drain();
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[2].What, "release");
    EXPECT_EQ(heard[2].Tag, MidiTag(60));
    EXPECT_EQ(heard[3].What, "release");
    EXPECT_EQ(heard[3].Tag, MidiTag(67));
    EXPECT_FALSE(input.Held[60]);
    EXPECT_FALSE(input.Held[67]);
}

TEST_F(MidiNotes, ANoteOffWithoutItsNoteOnReleasesNothing) {
    feed({0x80, 50, 0});
    feed({0x90, 50, 0});
    EXPECT_EQ(input.Drain(), 2);
    EXPECT_TRUE(heard.empty());
}

TEST_F(MidiNotes, OtherMessagesNeverReachTheQueue) {
    EXPECT_FALSE(feed({0xB0, 64, 127}));  // sustain pedal
    EXPECT_FALSE(feed({0xE0, 0, 64}));    // pitch bend
    EXPECT_FALSE(feed({0xF8}));           // clock
    EXPECT_FALSE(feed({0x90, 60}));       // cut short
    EXPECT_FALSE(feed({0x90, 0x80, 10})); // not a data byte
    EXPECT_FALSE(input.FeedBytes(nullptr, 3));
    EXPECT_EQ(input.Drain(), 0);
    EXPECT_TRUE(heard.empty());
}

TEST_F(MidiNotes, ReleaseAllEndsEveryHeldNote) {
    feed({0x90, 61, 90});
    feed({0x90, 70, 90});
    input.Drain();
    input.ReleaseAll();
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[2].Tag, MidiTag(61));
    EXPECT_EQ(heard[3].Tag, MidiTag(70));
    input.ReleaseAll();
    EXPECT_EQ(heard.size(), 4u);
}

TEST_F(MidiNotes, EventsAreRaisedOnlyWhenAssigned) {
    TMidiInput quiet;
    const unsigned char on[] = {0x90, 62, 50};
    quiet.FeedBytes(on, 3);
    EXPECT_EQ(quiet.Drain(), 1);
    EXPECT_EQ(quiet.Param_Tag, 0);
    EXPECT_TRUE(quiet.Held[62]);
}

// The producer side runs on a MIDI callback thread: it may neither allocate nor free, not even
// when the queue is full.
TEST(MidiQueue, TheCallbackSideNeverAllocates) {
    TMidiInput input;
    TMidiQueue queue;
    std::vector<unsigned char> message = {0x90, 64, 100};
    const unsigned char off[] = {0x80, 64, 0};
    std::uint64_t counted = 1;
    {
        brindle::test::AllocationScope scope(brindle::test::CountOn::MarkedThreads);
        std::thread producer([&] {
            brindle::test::MarkThisThread();
            for (int i = 0; i < 300; ++i) {
                TMidiQueue::Callback(message.data(), message.size(), &queue);
                input.FeedBytes(off, sizeof off);
            }
            brindle::test::MarkThisThread(false);
        });
        producer.join();
        counted = scope.Count();
    }
    EXPECT_EQ(counted, 0u);
    // The ring kept what fitted and counted the rest.
    int taken = 0;
    TMidiNoteMessage m;
    while (queue.Pop(m)) {
        EXPECT_TRUE(m.On);
        EXPECT_EQ(m.Note, 64);
        EXPECT_EQ(m.Velocity, 100);
        ++taken;
    }
    EXPECT_EQ(taken, int(TMidiQueue::Slots));
    EXPECT_EQ(queue.TakeDropped(), 300u - TMidiQueue::Slots);
    EXPECT_EQ(input.Drain(), int(TMidiQueue::Slots));
}

TEST(MidiQueue, NotesCrossFromAnotherThreadInOrder) {
    TMidiInput input;
    std::vector<int> notes;
    input.OnNote = [&](TMidiInput*, float pitch, float) { notes.push_back(int(pitch) + 60); };
    std::thread producer([&] {
        for (unsigned char n = 0; n < 100; ++n) {
            const unsigned char on[] = {0x90, n, 1};
            input.FeedBytes(on, 3);
        }
    });
    producer.join();
    input.Drain();
    ASSERT_EQ(notes.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(notes[size_t(i)], i);
}

TEST(MidiPorts, NoSequencerOrPortIsNoError) {
    TMidiInput input;
    EXPECT_NO_THROW(input.Start());
    for (int i = 0; i < input.GetPortCount(); ++i)
        EXPECT_FALSE(input.GetPortName(i).empty());
    EXPECT_FALSE(input.OpenPort(input.GetPortCount()));
    EXPECT_FALSE(input.IsPortOpen(-1));
    EXPECT_EQ(input.GetPortName(-1), "");
    input.ClosePort(-1);
    // Fed notes still play.
    const unsigned char on[] = {0x90, 60, 127};
    input.FeedBytes(on, 3);
    EXPECT_EQ(input.Drain(), 1);
}

TEST(MidiPorts, TheUsersChoiceOfPortsIsStored) {
    TMidiInput::ClosedPorts.Set("");
    EXPECT_TRUE(TMidiInput::IsPortChosen("Keys A"));
    TMidiInput::SetPortChosen("Keys A", false);
    TMidiInput::SetPortChosen("Pads B", false);
    TMidiInput::SetPortChosen("Pads B", false);
    EXPECT_FALSE(TMidiInput::IsPortChosen("Keys A"));
    EXPECT_FALSE(TMidiInput::IsPortChosen("Pads B"));
    EXPECT_TRUE(TMidiInput::IsPortChosen("Keys"));
    EXPECT_EQ(TMidiInput::ClosedPorts.Get(), "Keys A\nPads B");
    TMidiInput::SetPortChosen("Keys A", true);
    EXPECT_TRUE(TMidiInput::IsPortChosen("Keys A"));
    EXPECT_EQ(TMidiInput::ClosedPorts.Get(), "Pads B");
    TMidiInput::ClosedPorts.Set("");
}

} // namespace
