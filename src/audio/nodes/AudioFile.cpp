#include "audio/nodes/AudioFile.h"

#include "base/Error.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

TAudioFile::TAudioFile() = default;

TAudioFile::~TAudioFile() = default;

void TAudioFile::SetFileName(const std::string& Name) {
    FileName.clear();
    File.Close();
    if (Name.empty()) return;
    // A file removed behind our back is an error for the caller, not the end of the program.
    std::error_code ec;
    if (!std::filesystem::exists(Name, ec)) throw brindle::Error("FileExists(filename)");
    try {
        File.Open(Name);
    } catch (const brindle::Error&) {
        throw brindle::Error("AudioFile - can't open file. Add AudioApplication component to form.\r\n" +
                             Name);
    }
    FileName = Name;
    Over = false;
}

std::int64_t TAudioFile::LowerToFrame(std::int64_t Bytes) const {
    const int frame = File.IsOpen() ? File.FrameBytes() : 4;
    return Bytes / frame * frame;
}

std::int64_t TAudioFile::FractionToBytes(float Fraction) const {
    return static_cast<std::int64_t>(static_cast<double>(File.LengthBytes()) * Fraction);
}

float TAudioFile::GetPos() const {
    const auto len = File.LengthBytes();
    if (!File.IsOpen() || len <= 0) return 0.0f;
    return static_cast<float>(static_cast<double>(File.PositionBytes()) / static_cast<double>(len));
}

void TAudioFile::SetPos(float Fraction) {
    SetPlayPosition(Fraction);
    LastSetPos = Fraction;
    Over = false;
    BytesSent = 0;
    SetLoopLen(0);
    SetReadLen(0);
}

void TAudioFile::SetPlayPosition(float Fraction) {
    if (!File.IsOpen()) return;
    SeekBytes(FractionToBytes(Fraction));
    BytesSent = LowerToFrame(static_cast<std::int64_t>(static_cast<double>(File.LengthBytes()) *
                                                       (static_cast<double>(Fraction) - LastSetPos)));
    Over = false;
}

void TAudioFile::SeekBytes(std::int64_t Target) {
    std::string ext = std::filesystem::path(FileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext != ".mp3") {
        File.SeekBytes(Target);
        return;
    }
    // Decoding a quarter second into the target settles the decoder after a seek.
    const std::int64_t preRoll = LowerToFrame(File.SecondsToBytes(0.25));
    std::int64_t discard = preRoll;
    if (Target - preRoll < 0) {
        File.SeekBytes(0);
        discard = Target;
    } else {
        File.SeekBytes(Target - preRoll);
    }
    while (discard > 0) {
        const int got = File.Read(nullptr, static_cast<int>(std::min<std::int64_t>(discard, 1 << 20)));
        if (got <= 0) break;
        discard -= got;
    }
}

void TAudioFile::SetWindowFrames(std::int64_t FirstFrame, std::int64_t Frames) {
    if (!File.IsOpen()) return;
    const int frame = File.FrameBytes();
    const std::int64_t length = File.LengthBytes();
    SeekBytes(FirstFrame * frame);
    LastSetPos = length > 0 ? static_cast<float>(static_cast<double>(FirstFrame * frame) / static_cast<double>(length)) : 0.0f;
    BytesSent = 0;
    Over = false;
    LoopLen = 0.0f;
    ReadLen = length > 0 ? static_cast<float>(static_cast<double>(Frames * frame) / static_cast<double>(length)) : 0.0f;
    ReadLimit = Frames * frame;
}

void TAudioFile::SetReadLen(float Fraction) {
    if (!File.IsOpen()) {
        ReadLen = 0;
        return;
    }
    ReadLen = Fraction;
    ReadLimit = LowerToFrame(FractionToBytes(Fraction));
    BytesSent = 0;
    Over = false;
}

void TAudioFile::SetLoopLen(float Fraction) {
    LoopLen = Fraction;
    LoopStart = GetPos();
    LoopStartByte = LowerToFrame(File.PositionBytes());
    LoopEndByte = LowerToFrame(FractionToBytes(Fraction) + LoopStartByte);
    BytesSent = 0;
}

float TAudioFile::GetTotalTime() const {
    return static_cast<float>(File.BytesToSeconds(File.LengthBytes()));
}

float TAudioFile::RealPlayPosition() const {
    const double total = File.BytesToSeconds(File.LengthBytes());
    if (total <= 0) return LastSetPos;
    return static_cast<float>(File.BytesToSeconds(BytesSent) / total + LastSetPos);
}

void TAudioFile::RaiseOver() {
    if (OnOver) OverNotice.Post();
}

int TAudioFile::PopData(void* Buf, int BufLen) {
    if (OnGetData) OnGetData(this);
    int n = BufLen;
    if (LoopLen != 0.0f) {
        const std::int64_t span = LoopEndByte - LoopStartByte;
        if (BytesSent >= span) {
            BytesSent = 0;
            SetPlayPosition(LoopStart);
            if (OnLoop) OnLoop(this);
        } else if (BytesSent + n >= span) {
            n = static_cast<int>(span - BytesSent);
        }
    }
    if (ReadLimit != 0) {
        if (BytesSent < ReadLimit && BytesSent + n > ReadLimit) n = static_cast<int>(ReadLimit - BytesSent);
        if (BytesSent >= ReadLimit) {
            Over = true;
            if (!EndSilence) return 0;
            std::memset(Buf, 0, static_cast<size_t>(BufLen));
            return BufLen;
        }
    }
    int got = File.Read(Buf, n);
    if (got < 0) {
        if (!Over && GetPos() > 0.999f) {
            Over = true;
            RaiseOver();
        }
        if (EndSilence) {
            std::memset(Buf, 0, static_cast<size_t>(BufLen));
            return BufLen;
        }
        got = 0;
    }
    BytesSent += got;
    if (OnPosChange) OnPosChange(this);
    return got;
}
