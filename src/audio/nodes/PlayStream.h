#pragma once
// Plays one audio file directly (not through the live chain), optionally looping a range of it:
// the previews of the waveform views and the sample cut editor. The file is decoded once when it is
// set, so the output callback only copies memory.
#include "base/realtime/UiNotice.h"
#include "audio/soundlib/OutputBackend.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TPlayStream {
public:
    using TNotifyEvent = std::function<void(TPlayStream* Sender)>;

    TPlayStream();
    ~TPlayStream();
    TPlayStream(const TPlayStream&) = delete;
    TPlayStream& operator=(const TPlayStream&) = delete;

    // Raised on the user-interface thread when a range played without looping reaches its end:
    // the audio thread arms a one-shot timer and posts a notice; brindle::DrainUiNotices runs
    // OnOverTimerProcedure.
    TNotifyEvent OnOver;

    const std::string& GetFileName() const { return FileName; }
    // Stops and opens the file; throws brindle::Error when no decoder opens it (FileName stays empty).
    void SetFileName(const std::string& Name);
    bool GetIsPlaying() const { return IsPlaying.load(); }
    bool GetLooping() const { return Looping.load(); }
    float GetVolume() const { return Volume; }
    void SetVolume(float Value);

    void PlayFile(const std::string& Name);
    // Plays Samples (interleaved 16-bit at Rate and Channels) in place of the file's sound, such as
    // an edited copy held in memory; the file name stays. Stops playback first. Returns the
    // samples it held, so the caller can reuse their memory.
    std::vector<std::int16_t> SetPcm(std::vector<std::int16_t> Samples, int Rate, int Channels);
    // Start and Length are fractions of the file. Without Restart, playback resumes where it
    // stopped unless that is within half a second of the range end. Length 0 plays to the file end.
    void Play(float Start, float Length, bool Loop, bool Restart);
    void Stop();
    void SetPlayPosition(float Fraction);
    float GetPos() const;
    float LenSec() const;
    std::int64_t LenBytes() const;

    // User-interface thread: when the range end was reached, stops the stream and raises OnOver.
    // Posted by the audio thread; a periodic UI timer may call it too (it fires only once).
    void OnOverTimerProcedure();

    // Replaces how the output is opened, so tests can pull blocks by hand.
    void SetOutputOpener(brindle::soundlib::OutputOpener Opener) { Opener_ = std::move(Opener); }
    // Why the sound card is not used; empty when it is (or the null device was asked for).
    const std::string& GetDeviceError() const { return DeviceError; }

private:
    int Render(void* Buf, int BufLen); // audio thread
    int FrameBytes() const { return FileChannels * 2; }
    std::int64_t TotalFrames() const;

    std::string FileName;
    std::vector<std::int16_t> Pcm;
    int FileRate = 0;
    int FileChannels = 0;
    std::unique_ptr<brindle::soundlib::OutputBackend> Output;
    brindle::soundlib::OutputOpener Opener_;
    std::string DeviceError;

    std::atomic<bool> IsPlaying{false};
    float Volume = 1.0f;
    std::atomic<int> VolumePercent{100};
    // Playback state shared with the output callback.
    std::atomic<std::int64_t> PosFrame{0};
    std::atomic<std::int64_t> SyncFrame{-1}; // the range end, -1 when none
    std::atomic<std::int64_t> LoopStartFrame{0};
    std::atomic<bool> Looping{false};
    std::atomic<bool> Running{false};
    std::atomic<bool> OverTimerArmed{false};
    // Destroyed after the destructor stopped the output, so nothing posts it any more.
    brindle::UiNotice OverNotice{[this] { OnOverTimerProcedure(); }};
};
