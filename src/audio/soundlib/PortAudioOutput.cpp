#include "audio/soundlib/PortAudioOutput.h"

#include "base/Error.h"

#include "audio/soundlib/PortAudioCalls.h"

#include <chrono>

namespace brindle::soundlib {

namespace {

int callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
             PaStreamCallbackFlags, void* user) {
    static_cast<PortAudioOutput*>(user)->Pull(output, frames);
    return paContinue;
}

void finished(void* user) {
    static_cast<PortAudioOutput*>(user)->EndedOnItsOwn();
}
} // namespace

PortAudioOutput::PortAudioOutput(const OutputRequest& request, const OutputConfig& config,
                                 RenderFunction render)
    : OutputBackend(request, std::move(render)) {
    if (!Library.Ok()) throw brindle::Error(Library.Error());
    const int device = Library.ResolveOutputDevice(request.Device);
    if (device < 0) {
        if (request.Device == 0) throw brindle::Error("no sound output device was found");
        throw brindle::Error("sound output device " + std::to_string(request.Device) + " does not exist");
    }
    const PortAudioCalls& pa = Library.Calls();
    const PaDeviceInfo* info = pa.DeviceInfo(device);
    PaStreamParameters out{};
    out.device = device;
    out.channelCount = request.Channels;
    out.sampleFormat = paInt16;
    out.suggestedLatency =
        config.BufferLenMs > 0 ? config.BufferLenMs / 1000.0 : info->defaultLowOutputLatency;
    const unsigned long framesPerBuffer =
        config.UpdatePeriodMs > 0
            ? static_cast<unsigned long>(request.SampleRate) * config.UpdatePeriodMs / 1000
            : paFramesPerBufferUnspecified;
    PaError err = paNoError;
    PaStream* stream = nullptr;
    PortAudioLibrary::Quietly([&] {
        err = pa.OpenStream(&stream, nullptr, &out, request.SampleRate, framesPerBuffer, paNoFlag, &callback,
                            this);
    });
    if (err != paNoError)
        throw brindle::Error("sound output device \"" + std::string(info->name) + "\" refused " +
                             std::to_string(request.SampleRate) + " Hz, " + std::to_string(request.Channels) +
                             " channels, " + std::to_string(config.BufferLenMs) + " ms buffer (" +
                             pa.ErrorText(err) + ")");
    Stream = stream;
    pa.SetStreamFinishedCallback(stream, &finished);
}

PortAudioOutput::~PortAudioOutput() {
    Stop();
    if (Stream) Library.Calls().CloseStream(static_cast<PaStream*>(Stream));
}

void PortAudioOutput::Start() {
    if (Playing) return;
    EndedByItself = false;
    const PaError err = Library.Calls().StartStream(static_cast<PaStream*>(Stream));
    if (err != paNoError)
        throw brindle::Error("sound output could not start (" + std::string(Library.Calls().ErrorText(err)) +
                             ")");
    Playing = true;
}

void PortAudioOutput::Stop() {
    if (!Playing.exchange(false)) return;
    Library.Calls().StopStream(static_cast<PaStream*>(Stream));
}

bool PortAudioOutput::Lost() const {
    if (!Playing) return false;
    return EndedByItself || Library.Calls().IsStreamActive(static_cast<PaStream*>(Stream)) < 0;
}

void PortAudioOutput::Pull(void* output, unsigned long frames) {
    const int bytes = static_cast<int>(frames) * BytesPerFrame();
    const auto t0 = std::chrono::steady_clock::now();
    RenderBlock(output, bytes);
    const auto computeNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
    const auto blockNs = BlockNs(bytes);
    Statistics.Record(computeNs, blockNs, computeNs > blockNs);
}

void PortAudioOutput::EndedOnItsOwn() {
    // A stream that ends while we still want it playing has lost its device.
    if (Playing) EndedByItself = true;
}

} // namespace brindle::soundlib
