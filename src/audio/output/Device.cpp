#include "audio/output/Device.h"

#include "audio/soundlib/NullDevice.h"
#include "base/Error.h"

#include <cstring>
#include <exception>

TDevice::TDevice() {
    SampleRate = 44100;
    Channels = 2;
}

TDevice::~TDevice() { SetActive(false); }

float TDevice::GetPlayedTime() const {
    const std::int64_t bytesPerSec = static_cast<std::int64_t>(SampleRate) * Channels * 2;
    return bytesPerSec > 0 ? static_cast<float>(static_cast<double>(PlayedBytes.load()) / bytesPerSec) : 0.0f;
}

void TDevice::SetActive(bool Value) {
    if (!Value) {
        if (Output) {
            Output->Stop();
            LastStats = Output->Stats().Summary();
        }
        Output.reset();
        Active = false;
        return;
    }
    if (SampleRate == 0) SampleRate = 44100;
    if (Channels == 0) Channels = 2;
    PlayedBytes = 0;
    LastAudioError.clear();
    SetActive(false);
    if (!(Channels < 10)) throw brindle::Error("Assertion failed: Channels<10");
    // Cleared before the stream starts, so its first callback already plays.
    StopedFlag = false;
    OpenOutput();
    Active = true;
}

brindle::soundlib::OutputRequest TDevice::Request() const {
    brindle::soundlib::OutputRequest request;
    request.SampleRate = SampleRate;
    request.Channels = Channels;
    request.Device = DeviceIndex;
    return request;
}

void TDevice::FallBackToNullDevice(const std::string& Reason) {
    if (Output) Output->Stop();
    Output = std::make_unique<brindle::soundlib::NullDevice>(
        Request(), brindle::soundlib::GetOutputConfig().BufferLenMs,
        [this](void* buf, int bytes) { return DeviceCallback(buf, bytes); });
    Output->Start();
    DeviceError = Reason;
}

void TDevice::OpenOutput() {
    auto render = [this](void* buf, int bytes) { return DeviceCallback(buf, bytes); };
    brindle::soundlib::OpenedOutput opened =
        OutputFactory ? OutputFactory(Request(), render) : brindle::soundlib::OpenOutput(Request(), render);
    DeviceError = opened.Error;
    Output = std::move(opened.Backend);
    try {
        Output->Start();
    } catch (const std::exception& e) {
        // A card that opens but will not start: play on without it.
        FallBackToNullDevice(e.what());
    }
    if (!DeviceError.empty()) ReportDeviceError(DeviceError);
}

void TDevice::ReportDeviceError(const std::string& Message) {
    if (Message == LastReported) return;
    LastReported = Message;
    if (OnDeviceError) OnDeviceError(this, Message);
}

void TDevice::CheckOutput() {
    if (!Output || !Output->Lost()) return;
    // The played time and the stop flag run on from where the card stopped.
    FallBackToNullDevice("the sound output device was lost while playing");
    ReportDeviceError(DeviceError);
}

bool TDevice::GetUsingNullDevice() const { return Output && Output->IsNull(); }

std::string TDevice::GetStatsSummary() const { return Output ? Output->Stats().Summary() : LastStats; }

const brindle::soundlib::OutputStats* TDevice::GetStats() const { return Output ? &Output->Stats() : nullptr; }

void TDevice::OnTimeLimitOver_InvokeTimer_OnTimer() {
    if (!InvokeTimerArmed.exchange(false)) return;
    if (OnTimeLimitOver) OnTimeLimitOver(this);
}

void TDevice::SetInput(TAudioX* Node) {
    // An open stream keeps its format; only a stopped device takes the input's.
    if (Active) Input = Node;
    else TAudioX::SetInput(Node);
    LiveInput.store(Node);
}

void TDevice::RenderFailed(const char* Message) noexcept {
    std::string_view text(Message);
    AudioErrors.Push(text.substr(0, 511));
    AudioErrorNotice.Post();
}

void TDevice::TakeAudioErrors() {
    for (const auto& message : AudioErrors.TakeAll()) {
        // A chain that fails every block reports once, not a hundred times a second.
        if (message == LastAudioError) continue;
        LastAudioError = message;
        if (OnAudioError) OnAudioError(this, message);
    }
}

int TDevice::DeviceCallback(void* Buf, int BufLen) {
    brindle::ReaderEpoch::Guard pass(Callbacks);
    const float limit = TimeLimit.load();
    if (limit != 0 && GetPlayedTime() >= limit && !StopedFlag.load()) {
        if (OnTimeLimitOver) {
            InvokeTimerArmed = true;
            TimeLimitNotice.Post();
        }
        StopedFlag = true;
    }
    if (StopedFlag.load()) return 0;
    PlayedBytes.fetch_add(BufLen);
    if (OnSendData) OnSendData(this);
    // The source must fill the whole block (the live mixer does); its count is not used. Nothing
    // may escape into the sound library's thread: a failed block plays as silence and is reported.
    if (TAudioX* input = LiveInput.load()) {
        try {
            input->PopData(Buf, BufLen);
        } catch (const std::exception& e) {
            std::memset(Buf, 0, static_cast<size_t>(BufLen));
            RenderFailed(e.what());
        } catch (...) {
            std::memset(Buf, 0, static_cast<size_t>(BufLen));
            RenderFailed("unknown failure while rendering a block");
        }
    }
    if (OnQueryData) OnQueryData(this, Buf, BufLen);
    if (OnDataReceived) OnDataReceived(this, Buf, BufLen);
    return BufLen;
}
