#pragma once
// The consumer that writes a chain's sound to a file as fast as it can be pulled: WAV (libsndfile),
// MP3 (the lame program) or raw 16-bit little-endian PCM. Encode pulls the input block by block
// until the time limit, the end of the data (StopOnDataEnd), an input that has nothing more, or
// Stop; OnEncodeProgress is raised before every block. The output appears at OutputFileName only
// when the run completes; on an error nothing is left there and a brindle::Error says why.
#include "audio/nodes/AudioX.h"
#include "audio/soundlib/dsp/Stream.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle {
class TAudioSink;
namespace dsp {
class TTpdfDither;
}
} // namespace brindle

class TEncoderNode : public TAudioX {
public:
    using TNotifyEvent = std::function<void(TEncoderNode* Sender)>;

    TEncoderNode();
    ~TEncoderNode() override;

    std::string LameKeys = "-h";
    // The MP3 encoder program, searched on PATH.
    std::string LameProgram = "lame";
    bool StopOnDataEnd = false;
    bool RealTimeProcess = false;
    float EncodeTimeLimit = 0; // seconds; 0 = none
    TNotifyEvent OnEncodeProgress;
    int MP3KBitRate = 256;
    int MP3Channels = 2; // 1 = mono, anything else joint stereo
    float BufLen = 0.25f; // seconds per read
    // Pulls the input's float sound and converts it to 16 bits with TPDF dither; off, the input's
    // own 16-bit sound is written untouched.
    bool Dither = false;

    void SetInput(TAudioX* Node) override;

    void SetOutputFileName(const std::string& Value) { OutputFileName = Value; }
    const std::string& GetOutputFileName() const { return OutputFileName; }
    void SetOutputMP3(bool Value);
    void SetOutputWAV(bool Value);
    void SetOutputPCM(bool Value);
    bool GetOutputMP3() const { return OutputMP3; }
    bool GetOutputWAV() const { return OutputWAV; }
    bool GetOutputPCM() const { return OutputPCM; }
    // Selects the format from the file name's extension: .mp3, .wav, .pcm or .raw.
    void OutputFormatDetect();

    // Bytes pulled and passed to the encoder in the current (or last) run.
    std::int64_t GetProgressBytes() const { return ProgressBytes; }
    double GetProgressSeconds() const;

    void Encode();
    void EncodeChannel(brindle::dsp::TStream& Stream);
    // Ends the running encode after its current block; the output is completed normally.
    void Stop() { StopRequest = true; }

    // Bytes per read: SampleRate x Channels x BufLen x 2, whole frames.
    int BlockBytes() const;
    // Bytes EncodeTimeLimit allows (0 = no limit).
    std::int64_t LimitBytes() const;

private:
    std::unique_ptr<brindle::TAudioSink> StartEncoder();
    void RaiseProgress();
    // Len bytes of the input's float sound, dithered to 16 bits; bytes delivered as PopData.
    int PullDithered(brindle::dsp::TTpdfDither& Quantizer, std::int16_t* Buf, int Len);

    bool OutputMP3 = true;
    bool OutputWAV = false;
    bool OutputPCM = false;
    std::string OutputFileName = "c:\\out.mp3";
    std::int64_t ProgressBytes = 0;
    std::unique_ptr<brindle::dsp::TStream> ReadChannel;
    std::atomic<bool> StopRequest{false};
    std::int64_t BytesRead = 0;
    std::vector<float> DitherBlock;
};
