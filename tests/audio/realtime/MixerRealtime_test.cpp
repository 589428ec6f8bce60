// Runs the mixer the way the audio thread does and counts what the real-time rules forbid.
#include "audio/mixer/LiveMixer.h"
#include "base/realtime/RealtimeProbe.h"

#include "support/CountingAllocator.h"
#include "support/Measure.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>

namespace {

namespace bt = brindle::test;

constexpr int Rate = 44100;

TEST(MixerRealtime, MixingPathNeitherAllocatesNorFreesNorOpensFilesNorWaits) {
    bt::TempDir dir;
    TLiveMixer mixer(24);
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        std::string name = "s0.wav";
        name[1] = static_cast<char>('0' + i);
        files.push_back((dir / name).string());
        bt::WriteSineWav(files.back(), 220.0 * (i + 1), 0.05 + 0.05 * i, Rate, i % 2 + 1);
        mixer.GetSampleCache()->Load(files.back());
    }
    const std::string missing = (dir / "never-loaded.wav").string();
    const float pitches[] = {0.0f, 0.0f, 7.0f, -5.0f, 12.0f};
    const float stretches[] = {1.0f, 1.0f, 1.5f, 0.75f, 1.0f};
    // What the song engine does at preload for notes without a prepared variant.
    for (int k = 2; k < 5; ++k)
        mixer.PrepareStreams(stretches[k], pitches[k], 8);

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
    for (int i = 0; i < 50; ++i)
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
    EXPECT_EQ(allocations, 0u) << "heap allocations or frees on the mixing path";
    EXPECT_EQ(brindle::RealtimeProbe::GetFileOpens() - opens, 0u);
    EXPECT_EQ(brindle::RealtimeProbe::GetLockWaits() - waits, 0u);
    EXPECT_GT(sounding, 4000) << "the run really mixed sound";
    EXPECT_GT(mixer.VoiceCount(), 0);
    // The missing file is the only problem: every stretched note found its prepared stream.
    const auto problems = mixer.TakeProblems();
    ASSERT_FALSE(problems.empty());
    for (const auto& p : problems)
        EXPECT_NE(p.find(missing), std::string::npos) << p;
    EXPECT_EQ(mixer.TakePendingLoads().front(), missing);
}

// Previews from the keyboard: the UI thread plays notes at pitches no stream is tuned to while the
// audio thread mixes. The UI thread may allocate; the audio thread must not.
TEST(MixerRealtime, PreviewsWithNewPitchesFromTheUiThreadCostTheAudioThreadNothing) {
    bt::TempDir dir;
    TLiveMixer mixer(16);
    const auto file = bt::WriteSineWav(dir / "p.wav", 330, 0.3, Rate, 2).string();
    mixer.GetSampleCache()->Load(file);
    std::vector<std::int16_t> buf(441 * 2);
    for (int i = 0; i < 20; ++i)
        mixer.PopData(buf.data(), 1764);

    std::atomic<bool> go{false}, uiDone{false};
    std::atomic<int> started{0};
    std::thread ui([&] {
        while (!go.load())
            std::this_thread::yield();
        // 25 pitches, each new to the mixer, three stretches, several voices at once.
        for (int round = 0; round < 3; ++round)
            for (int p = 0; p < 25; ++p) {
                const float pitch = static_cast<float>(p - 12) + 0.25f * static_cast<float>(round);
                const float stretch = round == 1 ? 1.25f : round == 2 ? 0.8f : 1.0f;
                if (mixer.AddToMix(file, stretch, 0.5f, pitch, 0.0f, 1000 + p)) ++started;
                if (p % 4 == 3) mixer.RemoveByTag(1000 + p - 2);
                mixer.PreparePending();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        uiDone = true;
    });
    const auto opens = brindle::RealtimeProbe::GetFileOpens();
    double energy = 0.0;
    std::uint64_t audioAllocations = 0;
    bt::MarkThisThread(); // this thread stands in for the audio thread
    {
        bt::AllocationScope scope(bt::CountOn::MarkedThreads);
        go = true;
        for (int i = 0; !uiDone.load() || i < 100; ++i) {
            mixer.PopData(buf.data(), 1764);
            for (std::int16_t s : buf)
                energy += static_cast<double>(s) * s;
        }
        audioAllocations = scope.Count();
    }
    bt::MarkThisThread(false);
    ui.join();
    EXPECT_EQ(audioAllocations, 0u) << "allocations or frees on the audio thread";
    EXPECT_EQ(brindle::RealtimeProbe::GetFileOpens() - opens, 0u);
    EXPECT_EQ(started.load(), 75);
    EXPECT_GT(energy, 0.0) << "the previews sounded";
    EXPECT_TRUE(mixer.TakeProblems().empty()) << "UI-thread notes are prepared there, never refused";
}

// A song row with a pitch no stream is prepared for, started on the audio thread.
struct WaitingNoteRig {
    static constexpr float Speed = 1.25f;
    bt::TempDir Dir;
    std::string File;
    // 0.2 s of silence, then a 440 Hz burst of 0.1 s, then silence: its onset marks the time.
    WaitingNoteRig() {
        auto pcm = bt::SineTone(440, 0.5, Rate, 2, 0.5);
        std::fill(pcm.begin(), pcm.begin() + Rate / 5 * 2, std::int16_t{0});
        std::fill(pcm.begin() + Rate * 3 / 10 * 2, pcm.end(), std::int16_t{0});
        File = (Dir / "burst.wav").string();
        bt::WriteSoundFile(File, pcm, Rate, 2);
    }

    // Starts the note 100 frames into block 3 from the audio thread, prepares streams from the UI
    // after PrepareAfter blocks (never when negative) and returns the left channel of 40 blocks.
    std::vector<double> Play(TLiveMixer& Mixer, int PrepareAfter, std::uint64_t* AudioAllocations = nullptr) {
        Mixer.GetSampleCache()->Load(File);
        int block = 0;
        Mixer.BeforeBlockMixing = [&](TLiveMixer* Sender, float, float) {
            if (block == 3) Sender->AddToMix(File, Speed, 1.0f, 5.0f, 100.5f / Rate, 7);
        };
        std::vector<std::int16_t> all, buf(441 * 2);
        for (block = 0; block < 40; ++block) {
            if (block == PrepareAfter) Mixer.PreparePending();
            bt::AllocationScope scope;
            Mixer.PopData(buf.data(), 1764);
            if (AudioAllocations && block == 3) *AudioAllocations = scope.Count();
            all.insert(all.end(), buf.begin(), buf.end());
        }
        return bt::ChannelOf(all, 2, 0);
    }
};

TEST(MixerRealtime, AudioThreadNoteWithAnUnpreparedPitchWaitsThenJoinsInTime) {
    WaitingNoteRig rig;
    const std::int64_t noteStart = 3 * 441 + 100;

    TLiveMixer reference(8);
    reference.PrepareStreams(WaitingNoteRig::Speed, 5.0f);
    const auto heard = rig.Play(reference, -1);
    EXPECT_TRUE(reference.TakeProblems().empty());

    TLiveMixer mixer(8);
    std::uint64_t allocations = 1;
    const auto late = rig.Play(mixer, 8, &allocations);
    EXPECT_EQ(allocations, 0u) << "starting the unprepared note allocated or freed";
    const auto problems = mixer.TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("will play once prepared"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find(rig.File), std::string::npos);

    // The burst starts 0.2 s into the source, 0.16 s into the note. SoundTouch places it within a
    // few milliseconds of that; the late stream, which joined 5 blocks into the note, within the
    // same few milliseconds of where the stream that was there from the start put it.
    const auto onset = bt::FirstAbove(heard, 2000);
    const auto lateOnset = bt::FirstAbove(late, 2000);
    EXPECT_NEAR(static_cast<double>(onset),
                static_cast<double>(noteStart) + 0.2 / WaitingNoteRig::Speed * Rate, 800.0);
    EXPECT_NEAR(static_cast<double>(lateOnset), static_cast<double>(onset), 200.0);
    EXPECT_NEAR(static_cast<double>(bt::LastAbove(late, 2000)),
                static_cast<double>(bt::LastAbove(heard, 2000)), 200.0);
    EXPECT_NEAR(bt::ZeroCrossingHz(late, Rate, static_cast<size_t>(lateOnset) + 500,
                                   static_cast<size_t>(lateOnset) + 3000),
                440 * std::pow(2.0, 5 / 12.0), 3.0);
    EXPECT_EQ(bt::FirstAbove(std::vector<double>(late.begin(), late.begin() + onset - 800), 1), -1)
        << "silent before the burst";
}

TEST(MixerRealtime, UnpreparedNoteIsReportedOnceAndStaysSilentUntilPrepared) {
    WaitingNoteRig rig;
    TLiveMixer mixer(8);
    int block = 0;
    mixer.GetSampleCache()->Load(rig.File);
    mixer.BeforeBlockMixing = [&](TLiveMixer* Sender, float, float) {
        if (block < 5) Sender->AddToMix(rig.File, 1.5f, 1.0f, -7.0f, 0.0f, block);
    };
    std::vector<std::int16_t> buf(441 * 2);
    double energy = 0.0;
    for (block = 0; block < 40; ++block) {
        mixer.PopData(buf.data(), 1764);
        for (std::int16_t s : buf)
            energy += std::abs(s);
    }
    EXPECT_EQ(energy, 0.0) << "a note without a stream sounds at no pitch at all";
    EXPECT_EQ(mixer.TakeProblems().size(), 1u) << "five notes, one setting: one report";
    EXPECT_EQ(mixer.PreparedStreams(1.5f, -7.0f), 0);
    mixer.PreparePending();
    EXPECT_EQ(mixer.PreparedStreams(1.5f, -7.0f), TLiveMixer::StreamsPerNote);
}

// A device may ask for blocks larger than the mixing buffers: they are mixed in pieces, with no
// allocation and the notes on the same frames as with small blocks.
TEST(MixerRealtime, BlocksLargerThanTheMixingBuffersAllocateNothingAndKeepNotesOnTheirFrames) {
    bt::TempDir dir;
    const auto file = bt::WriteSineWav(dir / "n.wav", 523, 0.2, Rate, 2).string();
    // Notes at fixed frames of the mixer clock, as song rows are placed, around piece boundaries.
    const std::int64_t noteFrames[] = {0, 3000, 4095, 4096, 9999, 10000, 15000, 26000};
    // Stretched notes play until the end of the block their time runs out in (SoundTouch's tail
    // sounds until then), so only plain notes can be compared sample for sample.
    auto play = [&](int BlockFrames, bool Stretched, std::uint64_t& Allocations) {
        TLiveMixer mixer(16);
        mixer.GetSampleCache()->Load(file);
        mixer.PrepareStreams(1.25f, 3.0f, 4);
        mixer.BeforeBlockMixing = [&](TLiveMixer* Sender, float, float LenTime) {
            const std::int64_t start = Sender->GetFramePos();
            const std::int64_t end = start + std::llround(static_cast<double>(LenTime) * Rate);
            for (std::size_t i = 0; i < std::size(noteFrames); ++i) {
                if (noteFrames[i] < start || noteFrames[i] >= end) continue;
                const bool stretch = Stretched && i % 2;
                Sender->AddToMix(
                    file, stretch ? 1.25f : 1.0f, 0.5f, stretch ? 3.0f : 0.0f,
                    static_cast<float>((static_cast<double>(noteFrames[i] - start) + 0.5) / Rate),
                    static_cast<int>(i));
            }
        };
        std::vector<std::int16_t> all, buf(static_cast<size_t>(BlockFrames) * 2);
        all.reserve(50000 * 2);
        Allocations = 0;
        for (int done = 0; done < 40000; done += BlockFrames) {
            bt::AllocationScope scope;
            EXPECT_EQ(mixer.PopData(buf.data(), BlockFrames * 4), BlockFrames * 4);
            Allocations += scope.Count();
            all.insert(all.end(), buf.begin(), buf.end());
        }
        EXPECT_TRUE(mixer.TakeProblems().empty());
        return all;
    };
    std::uint64_t smallAllocations = 0, largeAllocations = 0, stretchedAllocations = 0;
    const auto small = play(400, false, smallAllocations);
    const auto large = play(10000, false, largeAllocations);
    ASSERT_EQ(small.size(), large.size());
    EXPECT_EQ(small, large) << "the same notes on the same frames";
    EXPECT_EQ(largeAllocations, 0u) << "10 000-frame blocks allocated or freed";
    EXPECT_EQ(smallAllocations, 0u);

    const auto stretched = play(10000, true, stretchedAllocations);
    EXPECT_EQ(stretchedAllocations, 0u) << "stretched voices in 10 000-frame blocks allocated or freed";
    const auto left = bt::ChannelOf(stretched, 2, 0);
    // The last note (26000, stretched) sounds alone, three semitones up.
    EXPECT_NEAR(bt::ZeroCrossingHz(left, Rate, 26500, 32500), 523 * std::pow(2.0, 3 / 12.0), 3.0);
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

// Kept out of the optimiser's reach: a new/delete pair it can see may be elided.
int* volatile Sink = nullptr;

TEST(MixerRealtime, AllocationCounterCountsFreesAndOnlyMarkedThreadsWhenAsked) {
    Sink = new int(1);
    std::uint64_t count = 0;
    {
        bt::AllocationScope scope;
        delete Sink;
        count = scope.Count();
    }
    EXPECT_EQ(count, 1u) << "a free counts";
    {
        bt::AllocationScope scope(bt::CountOn::MarkedThreads);
        std::thread([] {
            Sink = new int(2);
            delete Sink;
        }).join();
        EXPECT_EQ(scope.Count(), 0u) << "an unmarked thread";
        bt::MarkThisThread();
        Sink = new int(3);
        delete Sink;
        bt::MarkThisThread(false);
        EXPECT_EQ(scope.Allocations(), 1u);
        EXPECT_EQ(scope.Frees(), 1u);
    }
}

} // namespace
