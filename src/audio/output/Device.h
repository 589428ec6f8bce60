#pragma once
// The consumer at the end of the live chain: a playing output stream whose callback pulls each
// block from the input node. Without a sound card it plays on the null device.
#include "audio/nodes/AudioX.h"
#include "base/realtime/RetireList.h"
#include "base/realtime/TextRing.h"
#include "base/realtime/UiNotice.h"
#include "audio/soundlib/OutputBackend.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TDevice : public TAudioX {
public:
    using TNotifyEvent = std::function<void(TDevice* Sender)>;
    using TDataReceivedEvent = std::function<void(TDevice* Sender, void* Buf, int BufLen)>;
    using TDeviceErrorEvent = std::function<void(TDevice* Sender, const std::string& Message)>;

    TDevice();
    ~TDevice() override;

    // Raised on the audio thread before each pull.
    TNotifyEvent OnSendData;
    // Raised once on the user-interface thread when the played time reaches TimeLimit: the audio
    // thread arms a one-shot timer and posts a notice; brindle::DrainUiNotices runs
    // OnTimeLimitOver_InvokeTimer_OnTimer.
    TNotifyEvent OnTimeLimitOver;
    // Sees each finished block, on the audio thread.
    TDataReceivedEvent OnDataReceived;
    // The sound card could not be used (or was lost) and the null device plays instead. Raised on the
    // user-interface thread, once for each new reason.
    TDeviceErrorEvent OnDeviceError;
    // A block's render failed on the audio thread (the block plays as silence). Raised on the
    // user-interface thread from the notice queue, once for each message in a row.
    TDeviceErrorEvent OnAudioError;

    // Takes effect from the next block on, also while playing. The previous input may still be
    // pulled until the block being rendered ends: free it only once CallbackEpoch() has passed.
    void SetInput(TAudioX* Node) override;
    const brindle::ReaderEpoch& CallbackEpoch() const { return Callbacks; }

    int GetDeviceIndex() const { return DeviceIndex; }
    void SetDeviceIndex(int Value) { DeviceIndex = Value; }
    float GetTimeLimit() const { return TimeLimit.load(); }
    void SetTimeLimit(float Value) { TimeLimit.store(Value); }
    bool GetStopedFlag() const { return StopedFlag.load(); }
    // Seconds of output delivered since activation.
    float GetPlayedTime() const;

    void SetActive(bool Value) override;
    void Play() { SetActive(true); }

    // The pull of one block, as the output stream's callback runs it (audio thread).
    int DeviceCallback(void* Buf, int BufLen);

    // User-interface thread: when the one-shot timer is armed, disarms it and raises OnTimeLimitOver.
    // Posted by the audio thread; a periodic UI timer may call it too (it fires only once).
    void OnTimeLimitOver_InvokeTimer_OnTimer();
    // User-interface thread: when the sound card went away while playing, reports it and goes on
    // playing on the null device.
    void CheckOutput();
    bool GetUsingNullDevice() const;
    // Why the sound card is not used; empty when it is (or the null device was asked for).
    const std::string& GetDeviceError() const { return DeviceError; }
    // Timing of the callbacks since activation; null while inactive.
    const brindle::soundlib::OutputStats* GetStats() const;
    // The statistics line of the running output, or of the last one once deactivated.
    std::string GetStatsSummary() const;
    // Replaces how the output stream is opened, so tests can drive the callback by hand.
    void SetOutputOpener(brindle::soundlib::OutputOpener Opener) { OutputFactory = std::move(Opener); }

private:
    brindle::soundlib::OutputRequest Request() const;
    void OpenOutput();
    void FallBackToNullDevice(const std::string& Reason);
    void ReportDeviceError(const std::string& Message);
    void RenderFailed(const char* Message) noexcept;
    void TakeAudioErrors();

    int DeviceIndex = 0;
    std::atomic<float> TimeLimit{0.0f};
    std::atomic<bool> StopedFlag{false};
    // Counted in bytes so that long sessions do not drift.
    std::atomic<std::int64_t> PlayedBytes{0};
    std::unique_ptr<brindle::soundlib::OutputBackend> Output;
    brindle::soundlib::OutputOpener OutputFactory;
    std::string DeviceError;
    std::string LastReported;
    std::string LastStats;
    std::atomic<bool> InvokeTimerArmed{false};
    std::atomic<TAudioX*> LiveInput{nullptr};
    brindle::ReaderEpoch Callbacks;
    // Audio-thread failures on their way to OnAudioError.
    brindle::TextRing<8, 512> AudioErrors;
    std::string LastAudioError;
    brindle::UiNotice AudioErrorNotice{[this] { TakeAudioErrors(); }};
    // Destroyed after the destructor stopped the stream, so nothing posts it any more.
    brindle::UiNotice TimeLimitNotice{[this] { OnTimeLimitOver_InvokeTimer_OnTimer(); }};
};
