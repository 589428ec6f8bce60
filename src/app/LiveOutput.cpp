#include "app/LiveOutput.h"

#include "base/realtime/UiNotice.h"

TLiveOutput::TLiveOutput() {
    Speakers.OnDeviceError = [this](TDevice*, const std::string& message) {
        if (OnLog) OnLog(this, "Sound output: " + message + "; playing without a sound card");
    };
    Speakers.OnAudioError = [this](TDevice*, const std::string& message) {
        if (OnLog) OnLog(this, "Audio error: " + message);
    };
}

TLiveOutput::~TLiveOutput() { Shutdown(); }

void TLiveOutput::Initialise(int DeviceIndex, int BufferLenMs, TAudioX* Chain) {
    // The speakers stop before the library is reopened, so no stream outlives its library.
    Speakers.SetActive(false);
    AudioApplication.SetBufferLenMs(BufferLenMs);
    AudioApplication.SetUpdatePeriod(UpdatePeriodMs);
    AudioApplication.Reinit();
    Speakers.SetDeviceIndex(DeviceIndex);
    Speakers.SetInput(Chain);
    Speakers.SetActive(true);
}

void TLiveOutput::Shutdown() {
    Speakers.SetActive(false);
    AudioApplication.OnClose();
}

void TLiveOutput::Poll() {
    brindle::DrainUiNotices();
    Speakers.CheckOutput();
}
