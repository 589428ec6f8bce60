#pragma once
// Editing a sample in memory: the whole sound as interleaved floats (full scale ±1.0, the
// source's own resolution), operations on a range of its frames, and a history that undoes and
// redoes them exactly. Every operation is deterministic, so a redo repeats an edit bit for bit
// and only the frames an edit replaced are kept for its undo.
#include <cstdint>
#include <string>
#include <vector>

namespace brindle::waveform {

struct TSampleBuffer {
    int Rate = 0;
    int Channels = 0;
    std::vector<float> Data; // interleaved

    std::int64_t Frames() const { return Channels > 0 ? std::int64_t(Data.size()) / Channels : 0; }
    double Seconds() const { return Rate > 0 ? double(Frames()) / Rate : 0.0; }
};

struct TFrameRange {
    std::int64_t First = 0;
    std::int64_t Count = 0;
    std::int64_t End() const { return First + Count; }
    bool operator==(const TFrameRange&) const = default;
};

// Decodes the whole file at its own rate, channel count and resolution (at most MaxDecodeSeconds).
// Throws brindle::Error naming the file when it can't be read or is longer than that.
TSampleBuffer LoadSampleBuffer(const std::string& Path);

// Range held within Buffer; an empty range stands for the whole sample.
TFrameRange EditRange(const TSampleBuffer& Buffer, TFrameRange Range);

// The largest magnitude in Range, any channel.
float Peak(const TSampleBuffer& Buffer, TFrameRange Range);
// Decibels of a linear level (-inf for 0).
double ToDb(double Level);

enum class TFadeShape { Linear, EqualPower };
enum class TEditKind { Normalize, Gain, FadeIn, FadeOut, Reverse, Silence, Crop, Delete };

struct TEdit {
    TEditKind Kind = TEditKind::Gain;
    TFrameRange Range;  // as the edit is applied (already resolved by EditRange)
    double Db = 0;      // Normalize: the peak's level in dBFS; Gain: the change in dB
    TFadeShape Shape = TFadeShape::Linear;
};

// The operations. Each changes only the frames of Range (Crop and Delete change the length).
// Normalize returns false and changes nothing for a silent range.
bool Normalize(TSampleBuffer& Buffer, TFrameRange Range, double TargetDb);
void Gain(TSampleBuffer& Buffer, TFrameRange Range, double Db);
// A fade in starts at silence and leaves its last frame as it was; a fade out the other way round.
// Equal power follows a quarter sine, so two overlapping fades keep the loudness.
void Fade(TSampleBuffer& Buffer, TFrameRange Range, bool In, TFadeShape Shape);
void Reverse(TSampleBuffer& Buffer, TFrameRange Range);
void Silence(TSampleBuffer& Buffer, TFrameRange Range);
void Crop(TSampleBuffer& Buffer, TFrameRange Range);
void Delete(TSampleBuffer& Buffer, TFrameRange Range);

// The frame nearest Frame (at most Radius away) where the channels' sum crosses or touches zero:
// of the two frames around a sign change, the one nearer zero. Frame itself when none is near.
std::int64_t NearestZeroCrossing(const TSampleBuffer& Buffer, std::int64_t Frame, std::int64_t Radius);

// Mono 16-bit samples (the channels' average) of frames [First, First + Count), as the waveform
// views draw them.
std::vector<std::int16_t> MonoPcm16(const TSampleBuffer& Buffer, std::int64_t First, std::int64_t Count);
// The whole sound as interleaved 16-bit PCM, for playing it (into Out, reusing its memory).
std::vector<std::int16_t> Pcm16(const TSampleBuffer& Buffer);
void Pcm16(const TSampleBuffer& Buffer, std::vector<std::int16_t>& Out);
// A waveform image of the sound at ImageRate, built like the waveform store's (see PeakImage.h):
// each image sample the mono value of largest magnitude in its window of frames.
std::int64_t PeakImageSamples(const TSampleBuffer& Buffer, int ImageRate);
std::vector<std::int16_t> PeakImageOf(const TSampleBuffer& Buffer, int ImageRate);
// Brings Image up to date after the frames of Changed changed: only the windows holding them are
// read again. A sound whose length changed gets a whole new image.
void UpdatePeakImage(const TSampleBuffer& Buffer, int ImageRate, TFrameRange Changed, std::vector<std::int16_t>& Image);

// The sample and its edits. Undo puts back the frames an edit replaced; redo applies it again.
// Held history is kept within MemoryBudget bytes by forgetting the oldest edits.
class TSampleEditor {
  public:
    static constexpr std::size_t DefaultBudget = std::size_t(1) << 30;

    void Load(TSampleBuffer Buffer);
    const TSampleBuffer& Buffer() const { return Sound; }

    // Applies Edit (its range resolved by EditRange; Crop and Delete need a non-empty range).
    // Returns false when it would change nothing; then no history entry is made.
    bool Apply(TEdit Edit);
    bool CanUndo() const { return Done > 0; }
    bool CanRedo() const { return Done < History.size(); }
    // The edit undone or redone, or null when there is none.
    const TEdit* Undo();
    const TEdit* Redo();

    std::size_t UndoCount() const { return Done; }
    std::size_t RedoCount() const { return History.size() - Done; }
    // True when the sample differs from the one loaded or last marked clean.
    bool Modified() const { return Clean != std::int64_t(Done); }
    void SetClean() { Clean = std::int64_t(Done); }
    // Changes with every change of the sound, for views to know when to draw again.
    std::uint64_t Version() const { return Changes; }

    std::size_t HeldBytes() const;
    std::size_t MemoryBudget = DefaultBudget;
    // Memory for undo records, touched already: records freed by new edits come back here, and a
    // loader may hand over a sound-sized block it prepared off the user's thread.
    void AddSpare(std::vector<float> Memory);
    std::size_t SpareBytes() const;

  private:
    // Frames [First, First + NewCount) of the edited sound replaced Old. Swapped: Old is the
    // whole other state of the sound, exchanged with it by undo and redo alike.
    struct TSplice {
        std::int64_t First = 0;
        std::int64_t NewCount = 0;
        std::vector<float> Old;
        bool Swapped = false;
    };
    struct TEntry {
        TEdit Edit;
        std::vector<TSplice> Undo; // undone last to first; Reverse needs none
    };
    // KnownPeak: the range's peak when already measured (Normalize), else negative.
    bool Perform(const TEdit& Edit, std::vector<TSplice>* Undo, float KnownPeak = -1);
    void Forget();
    void Recycle(TEntry& Entry);
    std::vector<float> TakeSpare(std::size_t Floats);

    TSampleBuffer Sound;
    std::vector<TEntry> History;
    std::size_t Done = 0;
    std::int64_t Clean = 0; // -1: the clean state was forgotten
    std::uint64_t Changes = 0;
    std::vector<std::vector<float>> Spares;
};

} // namespace brindle::waveform
