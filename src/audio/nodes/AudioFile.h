#pragma once
// Source node that decodes an audio file: a window of it (start and read length), an optional loop,
// and after the end either nothing or silence. Positions and lengths are fractions of the file.
// Used for editing and exporting pieces of recordings; the live mixer plays from the sample cache.
#include "audio/nodes/AudioX.h"
#include "base/realtime/UiNotice.h"
#include "audio/soundlib/SoundFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TAudioFile : public TAudioX {
  public:
    using TNotifyEvent = std::function<void(TAudioX* Sender)>;

    TAudioFile();
    ~TAudioFile() override;

    // Opens Name (an empty name closes). Throws brindle::Error for a missing or undecodable file;
    // the node is then left without a file.
    void SetFileName(const std::string& Name);
    const std::string& GetFileName() const { return FileName; }

    float GetPos() const;
    // Seeks, starts a new window there and cancels loop and read limit.
    void SetPos(float Fraction);
    // Seeks without changing the window.
    void SetPlayPosition(float Fraction);
    void SetReadLen(float Fraction);
    // A window in whole frames, exact for files of any length: from FirstFrame, Frames long.
    void SetWindowFrames(std::int64_t FirstFrame, std::int64_t Frames);
    float GetReadLen() const { return ReadLen; }
    // Loops Fraction of the file from the current position.
    void SetLoopLen(float Fraction);
    float GetLoopLen() const { return LoopLen; }
    // The position of the data delivered so far, as a fraction.
    float RealPlayPosition() const;
    float GetTotalTime() const;
    void SetTotalTime(float Value) { StoredTotalTime = Value; }
    std::int64_t GetBytesSent() const { return BytesSent; }
    bool GetOver() const { return Over; }
    float GetLastSetPos() const { return LastSetPos; }

    int PopData(void* Buf, int BufLen) override;
    // The format is the file's; 0 without a file. Setting it does nothing.
    int GetSampleRate() const override { return File.SampleRate(); }
    void SetSampleRate(int) override {}
    int GetChannels() const override { return File.Channels(); }
    void SetChannels(int) override {}

    // After the end, deliver zero-filled blocks instead of nothing.
    bool EndSilence = true;
    TNotifyEvent OnPosChange;
    TNotifyEvent OnGetData;
    TNotifyEvent OnLoop;
    // Raised on the UI thread (posted as a notice; brindle::DrainUiNotices runs it) when the end of
    // the file is reached.
    TNotifyEvent OnOver;

  private:
    std::int64_t LowerToFrame(std::int64_t Bytes) const;
    // Moves the decoder to Target bytes (an MP3 decodes into it from a little before).
    void SeekBytes(std::int64_t Target);
    std::int64_t FractionToBytes(float Fraction) const;
    void RaiseOver();

    brindle::soundlib::SoundFile File;
    std::string FileName;
    float ReadLen = 0.0f;
    float LoopLen = 0.0f;
    float LoopStart = 0.0f;
    std::int64_t LoopStartByte = 0;
    std::int64_t LoopEndByte = 0;
    std::int64_t ReadLimit = 0;
    float StoredTotalTime = 0.0f;
    std::int64_t BytesSent = 0;
    bool Over = false;
    float LastSetPos = 0.0f;
    // Whoever pulls this node stops doing so before destroying it, so nothing posts it any more.
    brindle::UiNotice OverNotice{[this] {
        if (OnOver) OnOver(this);
    }};
};
