#include "audio/output/EncoderNode.h"

#include "audio/soundlib/LameEncoder.h"
#include "audio/soundlib/PcmWriter.h"
#include "audio/soundlib/WavWriter.h"
#include "audio/soundlib/dsp/TpdfDither.h"
#include "base/Error.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

TEncoderNode::TEncoderNode() { SetFormat(44100, 2); }

TEncoderNode::~TEncoderNode() = default;

void TEncoderNode::SetInput(TAudioX* Node) {
    Input = Node;
    if (Node) SetFormat(Node->GetSampleRate(), Node->GetChannels());
    else SetFormat(0, 0);
}

void TEncoderNode::SetOutputMP3(bool) {
    OutputMP3 = true;
    OutputWAV = OutputPCM = false;
}

void TEncoderNode::SetOutputWAV(bool) {
    OutputWAV = true;
    OutputMP3 = OutputPCM = false;
}

void TEncoderNode::SetOutputPCM(bool) {
    OutputPCM = true;
    OutputMP3 = OutputWAV = false;
}

void TEncoderNode::OutputFormatDetect() {
    // The extension of the last path part, with its dot; either separator counts.
    const auto NameStart = OutputFileName.find_last_of("/\\");
    const auto Dot = OutputFileName.rfind('.');
    std::string Ext;
    if (Dot != std::string::npos && (NameStart == std::string::npos || Dot > NameStart))
        Ext = OutputFileName.substr(Dot);
    std::transform(Ext.begin(), Ext.end(), Ext.begin(), [](unsigned char C) { return std::tolower(C); });
    if (Ext == ".mp3") SetOutputMP3(true);
    else if (Ext == ".wav") SetOutputWAV(true);
    else if (Ext == ".pcm" || Ext == ".raw") SetOutputPCM(true);
    else throw brindle::Error("File type - ." + Ext + " not supported.");
}

double TEncoderNode::GetProgressSeconds() const {
    const int PerSec = GetBytesPerSec();
    return PerSec > 0 ? static_cast<double>(ProgressBytes) / PerSec : 0.0;
}

int TEncoderNode::BlockBytes() const {
    const int Frame = GetChannels() * 2;
    // Formed in floating point from the single-precision BufLen, then truncated.
    const double Exact = GetSampleRate() * (GetChannels() * static_cast<double>(BufLen)) * 2.0;
    std::int64_t Bytes = Exact > 0 && Exact < 1e9 ? static_cast<std::int64_t>(Exact) : 0;
    Bytes -= Frame > 0 ? Bytes % Frame : 0;
    // At least one frame, or the loop could never move on.
    return static_cast<int>(std::max<std::int64_t>(Bytes, Frame));
}

std::int64_t TEncoderNode::LimitBytes() const {
    if (EncodeTimeLimit == 0) return 0;
    const double Exact = GetChannels() * static_cast<double>(EncodeTimeLimit) * GetSampleRate() * 2.0;
    if (!(Exact > 0)) return 0;
    std::int64_t Bytes = static_cast<std::int64_t>(std::min(Exact, 9e18));
    Bytes -= Bytes % 4;
    // Whole frames for layouts whose frame is not a divisor of 4.
    const int Frame = GetChannels() * 2;
    if (Frame > 0) Bytes -= Bytes % Frame;
    return Bytes;
}

void TEncoderNode::RaiseProgress() {
    if (OnEncodeProgress) OnEncodeProgress(this);
}

void TEncoderNode::Encode() {
    StopRequest = false;
    ReadChannel.reset();
    auto Quantizer = std::make_shared<brindle::dsp::TTpdfDither>();
    ReadChannel =
        brindle::dsp::TStream::Create(GetSampleRate(), GetChannels(), [this, Quantizer](void* Buf, int Len) {
            std::memset(Buf, 0, static_cast<size_t>(Len));
            if (Input && Dither) return PullDithered(*Quantizer, static_cast<std::int16_t*>(Buf), Len);
            if (Input) return Input->PopData(Buf, Len);
            if (OnQueryData) OnQueryData(this, Buf, Len);
            return Len;
        });
    if (!ReadChannel)
        throw brindle::Error("Can't encode at " + std::to_string(GetSampleRate()) + " Hz with " +
                             std::to_string(GetChannels()) + " channels (ReadChannel)");
    EncodeChannel(*ReadChannel);
}

int TEncoderNode::PullDithered(brindle::dsp::TTpdfDither& Quantizer, std::int16_t* Buf, int Len) {
    const int ChannelCount = std::max(GetChannels(), 1);
    const int Frames = Len / (2 * ChannelCount);
    DitherBlock.resize(static_cast<size_t>(Frames) * ChannelCount);
    const int Got = std::min(Input->PopFloats(DitherBlock.data(), Frames), Frames);
    if (Got <= 0) return 0;
    Quantizer.Quantize(Buf, DitherBlock.data(), Got * ChannelCount);
    return Got == Frames ? Len : Got * 2 * ChannelCount;
}

std::unique_ptr<brindle::TAudioSink> TEncoderNode::StartEncoder() {
    if (OutputFileName.empty()) throw brindle::Error("Can't encode: no output file name");
    if (OutputWAV) return std::make_unique<brindle::TWavWriter>(OutputFileName, GetSampleRate(), GetChannels());
    if (OutputPCM) return std::make_unique<brindle::TPcmWriter>(OutputFileName);
    brindle::TLameOptions Options;
    Options.Program = LameProgram;
    Options.KBitRate = MP3KBitRate;
    Options.Channels = MP3Channels;
    Options.Keys = LameKeys;
    Options.RealTime = RealTimeProcess;
    return std::make_unique<brindle::TLameEncoder>(OutputFileName, GetSampleRate(), GetChannels(), Options);
}

void TEncoderNode::EncodeChannel(brindle::dsp::TStream& Stream) {
    ProgressBytes = 0;
    RaiseProgress();
    auto Sink = StartEncoder();
    const int Block = BlockBytes();
    const int Frame = Stream.GetChannels() * 2;
    std::vector<std::int16_t> Buffer(static_cast<size_t>(Block) / 2);
    const std::int64_t Limit = LimitBytes();
    BytesRead = 0;
    for (;;) {
        RaiseProgress();
        int Want = Block;
        if (Limit && BytesRead < Limit && BytesRead + Block > Limit) Want = static_cast<int>(Limit - BytesRead);
        const int Got = Stream.Read(Buffer.data(), Want);
        if (Got > 0) {
            const int Whole = Got - Got % Frame;
            Sink->Write(Buffer.data(), static_cast<size_t>(Whole) / 2);
            BytesRead += Got;
            // Counted before the stop checks so the figure matches what was written.
            ProgressBytes += Got;
        }
        if (Limit && BytesRead >= Limit) break;
        if (StopOnDataEnd && Got < Block) break;
        if (Got < 0) break;
        if (StopRequest) break;
    }
    Sink->Finish();
}
