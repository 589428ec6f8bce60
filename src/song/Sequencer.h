#pragma once
// The song: tempo, instruments, patterns, order list, mute flags, master effect settings and the
// play state. One object; only pattern cells grow, a channel's storage made on its first write (see
// cPattern), and none is freed while the song lives. The audio thread reads it
// while the UI edits it: play-state fields and the tempo are atomics; cells, lengths, pattern
// numbers of the order list, instrument values and mute flags are each written and read whole
// (atomic_ref); instrument file names are swapped atomically.
#include "song/EffectSettings.h"
#include "song/Instrument.h"
#include "song/Order.h"
#include "song/NamePool.h"
#include "song/Pattern.h"
#include "song/SongPlayer.h"
#include "song/XMLStorage.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int InstrumentCount = 100;
constexpr int PatternCount = 100;
constexpr int OrderCount = 100;
constexpr int MaxBPM = 500;
constexpr const char* ModuleRootName = "halyard.module";

// The play state (CurOrder, CurPattern, CurRow, RowBase, PlayMode) is the one the editors show:
// that of the song's own player, which live playback uses.
class cSequencer : public cXMLStorage, public cPlayState {
public:
    using TNotifyEvent = std::function<void(cSequencer* Sender)>;
    using TQueuePlaybackEvent = ::TQueuePlaybackEvent;

    cSequencer();

    std::atomic<float> BPM{120.0f};
    cInstrument Instruments[InstrumentCount];
    cPattern Patterns[PatternCount];
    cOrder Orders[OrderCount];
    bool ChannelMuted[ChannelCount]{}; // written through ToggleMute, Solo, UnmuteAll and SetChannel
    // Each channel's linear gain (0..2) and balance (-1 left .. +1 right), written through SetChannel.
    float ChannelVolume[ChannelCount];
    float ChannelPan[ChannelCount]{};
    TNotifyEvent OnBPMChange;
    TNotifyEvent OnLoad;
    // The song's own player raises it; a player of another run has a handler of its own.
    TQueuePlaybackEvent OnQueuePlayback;

    // The master effect values, written by the effects panel before a save and read back after a load.
    TEffectSettings Effects = TEffectSettings::Cleared();

    // Model
    void SetBPM(float Value);
    // Makes this a new song: every value a new song has (tempo, lengths, instruments, orders,
    // mutes, effects), playback stopped; the file name stays (the storage sets it). Cell storage
    // already made is emptied and kept, so no block still reading the song sees it freed.
    void Reset();
    // Reset and no file name: the song's first state.
    void Init();
    void SetInstrumentFile(int Instrument, const std::string& Path);
    void InsertRow(int Pattern, int Channel, int Row);
    void DeleteRow(int Pattern, int Channel, int Row);
    // Shift the entries behind Position; the song's own run goes on with the entry playing
    // wherever it moves, and then with the one that follows it (after a delete of the entry
    // playing: the one now in its place).
    void InsertOrder(int Position);
    void DeleteOrder(int Position);
    static bool IsOrderEmpty(const cOrder& Entry) { return Entry.IsEmpty(); }
    // True when no cell of any row (the hidden tail included) holds a note or stop marker.
    bool IsPatternEmpty(int Pattern) const;
    // Patterns that own cell storage, and the bytes of cells all patterns own.
    int AllocatedPatterns() const;
    std::size_t CellBytes() const;
    // For the audio thread: the flag read whole while the UI may write it.
    bool IsMuted(int Channel) const {
        return std::atomic_ref<bool>(const_cast<bool&>(ChannelMuted[Channel])).load(std::memory_order_relaxed);
    }
    void ToggleMute(int Channel);
    // Volume is clamped to 0..2 and Pan to -1..1 (not-a-number reads as the default).
    void SetChannel(int Channel, float Volume, float Pan, bool Muted);
    float GetChannelVolume(int Channel) const {
        return std::atomic_ref<float>(const_cast<float&>(ChannelVolume[Channel])).load(std::memory_order_relaxed);
    }
    float GetChannelPan(int Channel) const {
        return std::atomic_ref<float>(const_cast<float&>(ChannelPan[Channel])).load(std::memory_order_relaxed);
    }
    bool IsChannelDefault(int Channel) const {
        return GetChannelVolume(Channel) == 1.0f && GetChannelPan(Channel) == 0.0f && !IsMuted(Channel);
    }
    // The channel's left and right gains: volume on both sides, and a balance off centre turns the
    // other side down (centre is unity, so songs without channel settings sound as they did).
    void ChannelGains(int Channel, float& Left, float& Right) const {
        const float v = GetChannelVolume(Channel), p = GetChannelPan(Channel);
        Left = p > 0 ? v * (1.0f - p) : v;
        Right = p < 0 ? v * (1.0f + p) : v;
    }
    void Solo(int Channel);
    void UnmuteAll();
    cPattern& PatternAt(int Pattern) { return Patterns[Pattern - 1]; }
    const cPattern& PatternAt(int Pattern) const { return Patterns[Pattern - 1]; }
    cInstrument& InstrumentAt(int Instrument) { return Instruments[Instrument - 1]; }
    // Seconds from the first order entry to the first empty one.
    double SongLengthSeconds() const;
    // Seconds of one row at the current tempo (four rows per beat).
    float RowDuration() const { return 60.0f / BPM.load() * 0.25f; }

    // Module file
    void Save(pugi::xml_document& doc, const std::string& path) override;
    void Load(pugi::xml_document& doc, const std::string& path) override;
    // The values the last load changed to bring them into range or make them finite, one text
    // each ("Instrument 3 (kick): Pitch 200 is out of range; using 48"); empty after taking them.
    std::vector<std::string> TakeLoadWarnings();

    // Playback through the song's own player (see cSongPlayer).
    cSongPlayer& Player() { return OwnPlayer; }
    void PlayPatternFrom(int Pattern, int GridRow) { OwnPlayer.PlayPatternFrom(Pattern, GridRow); }
    void PlaySong(int OrdNum) { OwnPlayer.PlaySong(OrdNum); }
    void Stop() { OwnPlayer.Stop(); }
    void Mix(float Start, float Length) { OwnPlayer.Mix(Start, Length); }
    void MixFrames(std::int64_t StartFrame, std::int64_t FrameCount, int SampleRate) {
        OwnPlayer.MixFrames(StartFrame, FrameCount, SampleRate);
    }
    void QueueRow(float Offset, int Pattern, int Row) { OwnPlayer.QueueRow(Offset, Pattern, Row); }
    void PreviewInstrument(int Instrument, float PitchOffset = 0.0f, int Tag = PreviewTag, float VolumeScale = 1.0f) {
        OwnPlayer.PreviewInstrument(Instrument, PitchOffset, Tag, VolumeScale);
    }
    void PreviewFile(const std::string& Path) { OwnPlayer.PreviewFile(Path); }

protected:
    void Accept(const pugi::xml_document& doc, const std::string& path) override;

private:
    std::vector<std::string> LoadWarnings;
    void SetMuted(int Channel, bool Muted) {
        std::atomic_ref<bool>(ChannelMuted[Channel]).store(Muted, std::memory_order_relaxed);
    }
    // Moves the entry the song's own run plays by Shift when the edit at Position is at or before it.
    void FollowOrderEdit(int Position, int Shift);

    cNamePool FileNames; // instrument file names, read by the audio thread
    cSongPlayer OwnPlayer{*this, *this, OnQueuePlayback};
};
