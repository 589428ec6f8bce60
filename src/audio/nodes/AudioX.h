#pragma once
// Base of every audio node: a pull graph of 16-bit interleaved PCM blocks.
#include <functional>

class TAudioX {
public:
    using TQueryDataEvent = std::function<void(TAudioX* Sender, void* Buf, int BufLen)>;

    TAudioX() = default;
    virtual ~TAudioX();
    TAudioX(const TAudioX&) = delete;
    TAudioX& operator=(const TAudioX&) = delete;

    // When set, destroying this node destroys its input too.
    bool OwnsInput = false;
    TQueryDataEvent OnQueryData;
    int BitsPerSample = 16;

    virtual int PopData(void* Buf, int BufLen);
    // A second way to pull the same sound: interleaved floats, full scale 1.0, not saturated, so
    // a mix louder than full scale keeps its shape through the effects after it and is saturated
    // once, at the end. GivesFloats says the node has such sound natively (a float mix bus, or an
    // effect over one); consumers use the float path only then. Any node can still be pulled this
    // way: by default PopFloats converts what PopData gives. Returns the frames delivered (0 or
    // less: no more data).
    virtual bool GivesFloats() const { return false; }
    virtual int PopFloats(float* Buf, int Frames);
    virtual int GetSampleRate() const { return SampleRate; }
    virtual void SetSampleRate(int Value) { SampleRate = Value; }
    virtual int GetChannels() const { return Channels; }
    virtual void SetChannels(int Value) { Channels = Value; }
    virtual void SetInput(TAudioX* Node);
    virtual void SetActive(bool Value) { Active = Value; }
    virtual bool GetActive() const { return Active; }

    int GetData(void* Buf, int BufLen) { return PopData(Buf, BufLen); }
    TAudioX* GetInput() const { return Input; }
    TAudioX* GetSource() const { return Input; }
    void SetSource(TAudioX* Node) { SetInput(Node); }
    void SetFormat(int Rate, int ChannelCount);
    void GetFormat(const TAudioX* Other);
    // Makes this node the input of Node, activates Node and gives it this node's format.
    TAudioX* Plug(TAudioX* Node);
    int GetBytesPerSec() const;

protected:
    TAudioX* Input = nullptr;
    bool Active = false;
    int SampleRate = 0;
    int Channels = 0;
};
