#pragma once
// The source node of the main output chain: mixes one voice per sounding note into each block.
//
// Real-time rules: PopData, BeforeBlockMixing and the AddToMix/RemoveByTag calls made from it run on
// the audio thread. Voices and tempo streams come from pools built at construction; sample audio
// comes from a SampleCache already converted to the mixer's rate and channel count; nothing there
// allocates, opens files or waits on another thread. The voice list belongs to the mixing thread:
// other threads' AddToMix/RemoveByTag/Clear travel to it through a lock-free command queue drained
// at the start of every block, and what the UI shows (GetVoices, VoiceCount) is a snapshot the
// mixing thread publishes after every block. The tempo streams' pool has a short lock of its own
// that the mixing thread only ever tries: when another thread holds it, the work waits a block.
// Problems found on the audio thread (a file not in the cache, a note whose tempo stream is not
// prepared) are queued for the UI to collect with TakeProblems/TakePendingLoads/PreparePending.
#include "audio/mixer/LevelMeters.h"
#include "audio/mixer/MixVoice.h"
#include "audio/mixer/SampleCache.h"
#include "audio/mixer/TempoEnginePool.h"
#include "audio/nodes/AudioX.h"
#include "base/realtime/RealtimeProbe.h"
#include "base/realtime/RetireList.h"
#include "base/realtime/Seqlock.h"
#include "base/realtime/SpscRing.h"
#include "base/realtime/TextRing.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TLiveMixer : public TAudioX {
  public:
    using TBeforeBlockMixingEvent = std::function<void(TLiveMixer* Sender, float StartTime, float LenTime)>;

    static constexpr int DefaultPoolSize = 256;

    // PoolSize voices may sound at once (the oldest is faded out to make room for more); the format
    // is fixed for the mixer's life. MaxBlockFrames sizes the mixing buffers: a larger block is
    // mixed in pieces of that size, each raising BeforeBlockMixing for its own frames.
    // RealTime makes one tempo stream per voice up front; the audio thread only uses streams
    // prepared for its note off that thread (AddToMix from the UI, PrepareNote, PrepareStreams,
    // PreparePending). An offline render makes and tunes streams as notes need them.
    // WarmLater leaves the first tempo streams and the meters' buffers to WarmUp, so a window
    // that builds its mixer at start-up makes them behind its first paint.
    explicit TLiveMixer(int PoolSize = DefaultPoolSize, int SampleRate = 44100, int Channels = 2,
                        int MaxBlockFrames = 4096, bool RealTime = true, bool WarmLater = false);
    // Any thread but the audio one: makes the first tempo streams (allocates, outside the pool's
    // lock) and, for a mixer a device pulls, starts metering.
    void WarmUp();
    int TempoStreamCount() const;
    ~TLiveMixer() override;

    // Raised at the start of every block, after other threads' commands are applied: StartTime is the block's start on the
    // mixer clock, LenTime its length, both in seconds.
    TBeforeBlockMixingEvent BeforeBlockMixing;

    // The cache voices read from; its format must be the mixer's. A default one exists from the start.
    // Not for the audio thread (which uses HasSample).
    void SetSampleCache(std::shared_ptr<brindle::SampleCache> Cache);
    std::shared_ptr<brindle::SampleCache> GetSampleCache() const;
    // Any thread, lock-free: FileName is in the cache.
    bool HasSample(const std::string& FileName) const noexcept;

    // Starts FileName Offset seconds after the start of the next block mixed. Stretch is the tempo
    // factor (2 = twice as fast, half as long), Volume a linear gain, Pitch a shift in semitones;
    // both are brought into the playable range.
    // A file not in the cache is not started: it is queued as a problem and for loading, and
    // false is returned.
    // A stretched or transposed note needs a tempo stream prepared for its speed and pitch. Called
    // from another thread, AddToMix prepares one itself if none is free (the voice starts at the
    // next block, with it). Called from the audio thread (inside PopData), it never does: the
    // voice starts silent, the note is reported once and queued, and PreparePending later gives
    // it a stream that joins at the note's current place.
    // Called from another thread, false also when too many commands wait for the next block.
    bool AddToMix(const std::string& FileName, float Stretch, float Volume, float Pitch, float Offset,
                  int Tag);
    // Cuts every voice with Tag at the start of the next block, fading out over at most 3 ms.
    // From another thread, voices it added before are cut too.
    void RemoveByTag(int Tag);
    // Cuts every voice with Tag that exists now at Offset seconds after the start of the next block,
    // then fades out over at most 3 ms. Voices added after this call are not affected.
    void RemoveByTag(int Tag, float Offset);
    // Removes every voice at once (from another thread: at the start of the next block, before
    // the notes it adds afterwards).
    void Clear();

    // Mixes one block: voices are summed on a float bus and saturated once at -32767..+32767, so the
    // result does not depend on the order of the voices; unity-gain sums are bit-exact.
    int PopData(void* Buf, int BufLen) override;
    // The same mix before saturation, for our own effects to work on (always Frames frames).
    bool GivesFloats() const override { return true; }
    int PopFloats(float* Buf, int Frames) override;
    // Dest[i] += Src[i] for Count samples, saturating at -32767..+32767.
    static void AddShorts(std::int16_t* Dest, const std::int16_t* Src, int Count);

    // Channel gains: voices tagged 0 .. GainChannels-1 are mixed with their channel's left and right
    // gain. Any thread, lock-free; a change reaches the voices over GainRampSeconds, so turning a
    // channel while it plays does not click. After a Clear the next gains apply at once. Gains of
    // exactly 1 leave the voices' samples as they are.
    static constexpr int GainChannels = 100;
    static constexpr float GainRampSeconds = 0.005f;
    void SetChannelGain(int Channel, float Left, float Right) noexcept;

    // Levels for the meters: every block feeds each pattern channel's slot with the sum of its
    // voices after the channel's gain (full scale 1.0). A mixer a device pulls meters from the
    // start; an offline render does not unless asked. The master slot is fed by whoever pulls
    // the end of the chain.
    brindle::TLevelMeters& Meters() { return Levels; }
    const brindle::TLevelMeters& Meters() const { return Levels; }
    void SetMetering(bool On);
    bool GetMetering() const { return Metering.load(std::memory_order_relaxed); }

    // The mixer clock counts whole frames; TimePos is derived from it.
    float GetTimePos() const;
    void SetTimePos(float Seconds);
    std::int64_t GetFramePos() const { return FramePos.load(std::memory_order_relaxed); }
    void SetFramePos(std::int64_t Frame) { FramePos.store(Frame, std::memory_order_relaxed); }

    // Voices held. From another thread: as of the next block (the last published count, with the
    // commands still queued taken into account).
    int VoiceCount() const;

    // What one sounding voice is doing, for the Output page.
    struct TVoiceInfo {
        std::string FileName;
        float Pitch = 0;       // semitones
        float Speed = 1;       // 1 / stretch
        double FilePos = 0;    // seconds into the file
        double MixedTime = 0;  // seconds of this voice mixed so far
        double TimeToMix = 0;  // seconds the voice lasts
        int Tag = 0;
    };
    // UI thread: the sounding voices, oldest first, as of the last block mixed (at most
    // MaxListedVoices; none while a Clear is still queued). Out is reused; reading never holds up
    // the audio thread.
    void GetVoices(std::vector<TVoiceInfo>& Out) const;
    static constexpr int MaxListedVoices = 64;
    int GetPoolSize() const { return PoolSize; }

    // UI thread: messages about notes that could not start, and files to load into the cache.
    std::vector<std::string> TakeProblems();
    std::vector<std::string> TakePendingLoads();

    // UI thread, when a note is entered or a song is loaded: loads FileName into the cache if it
    // is not there (throws brindle::Error like SampleCache::Load) and, unless a prepared variant
    // covers the note, makes sure StreamsPerNote free streams are ready for its speed and pitch.
    void PrepareNote(const std::string& FileName, float Stretch, float Pitch);
    // UI thread: makes sure Count free streams are ready for (Stretch, Pitch), as far as free
    // streams allow, giving waiting voices theirs first. Does nothing for an offline mixer.
    void PrepareStreams(float Stretch, float Pitch, int Count = StreamsPerNote);
    // UI thread: prepares streams for the notes the audio thread could not start.
    void PreparePending();
    // Free streams ready for (Stretch, Pitch).
    int PreparedStreams(float Stretch, float Pitch) const;

    static constexpr int StreamsPerNote = 2;

    // Offline renders only; a mixer a device pulls leaves both alone.
    // PopFloats gives the bus unrounded (full scale 1.0) instead of on the 16-bit grid, for files
    // finer than 16 bits and for gains applied after the mix.
    void SetExactFloats(bool Value) { ExactFloats = Value; }
    // Stems: a voice whose tag StemBus maps to a bus (not null) is summed there, on the 16-bit
    // scale, instead of into the block. A bus takes one pull of at most MaxBlockFrames frames; the
    // mixer only adds to it, the caller clears it.
    std::function<float*(int Tag)> StemBus;

  private:
    struct PendingNote {
        float Speed;
        float Pitch;
    };
    // What another thread asks of the voice list, applied at the next block start.
    struct Command {
        enum Kind : std::uint8_t { Add, Remove, Clear, Prepared } What = Add;
        int Tag = 0;
        int DataSlot = -1;
        int EngineSlot = -1;
        float Speed = 1, Pitch = 0, Volume = 1, RequestedSpeed = 1, RequestedPitch = 0;
        std::int64_t Frames = 0; // start delay or cut offset
    };
    struct VoiceRecord {
        const std::string* Name;
        float Speed, Pitch;
        std::int64_t Played, Duration, SourceFrames;
        int Tag;
    };
    struct VoiceSnapshot {
        int Active = 0; // voices held, cut ones too
        int Listed = 0;
        std::uint64_t Clears = 0, Adds = 0; // other threads' commands applied before it
        std::array<VoiceRecord, MaxListedVoices> Voices;
    };
    static constexpr std::size_t CommandSlots = 1024;
    // Kept for clears and stream hand-overs: a flood of notes never crowds out a Stop.
    static constexpr std::size_t ReservedSlots = 32;

    // A channel's gain ramp, the mixing thread's own: Pos frames of RampFrames gone from From to To.
    struct GainRamp {
        float FromL = 1, FromR = 1, ToL = 1, ToR = 1;
        int Pos = 0;
    };
    // Mixing thread: takes the gains set since the last block, starting a ramp for each change.
    void TakeChannelGains();
    // Adds a voice's block (mixed alone into VoiceBus) to Dest through its channel's ramp; with
    // Sum, the same gained samples go there too (copied when First, else added).
    void AddWithGain(float* Dest, const GainRamp& Ramp, int Frames, float* Sum = nullptr, bool First = false) const;
    // Feeds the meters with the channels that sounded in this block.
    void FeedChannelMeters(int Frames);

    bool OnMixingThread() const;
    // Mixing thread: the voice list's own operations.
    bool StartVoice(std::shared_ptr<const brindle::SampleData> Data, float Speed, float Volume, float Pitch,
                    std::int64_t DelayFrames, int Tag, int EngineSlot, float RequestedSpeed,
                    float RequestedPitch);
    void CutTag(int Tag, std::int64_t At);
    void ClearNow();
    void ApplyCommands();
    void AttachWaiting();
    void ReturnEngine(int Slot);
    void Publish();
    // Another thread: queues a command, false when the queue is full (for notes and cuts, when
    // only the reserve is left).
    bool Send(const Command& C);
    // Writes the block to Out, or unsaturated to FloatOut when Out is null.
    void MixBlock(std::int16_t* Out, float* FloatOut, int Frames);
    TMixVoice* TakeVoice();
    // Asks the UI for streams for (Speed, Pitch): queued once, reported once.
    void AskForStreams(float Speed, float Pitch, const std::string& FileName);
    void FreeAt(std::size_t Index);
    std::int64_t SecondsToFrames(float Seconds) const;
    void Report(const char* Why, const std::string& FileName);
    brindle::SampleCache* LiveCache() const { return CacheNow.load(std::memory_order_acquire); }

    int PoolSize;
    int MaxBlock;
    bool RealTime;
    // Serialises the other threads' calls; the mixing thread never takes it.
    mutable brindle::CountingPlainMutex UiLock;
    std::shared_ptr<brindle::SampleCache> Cache;     // UI side's owner
    std::atomic<brindle::SampleCache*> CacheNow;      // what the mixing thread reads
    brindle::ReaderEpoch Mixing;                      // a block being mixed
    brindle::RetireList<std::shared_ptr<brindle::SampleCache>> OldCaches{Mixing};
    // Guards Engines for a few operations at a time; the mixing thread only tries it.
    mutable brindle::CountingPlainMutex EngineLock;
    TTempoEnginePool Engines; // one tempo stream per voice (made on demand offline)
    std::vector<int> DeferredReturns; // streams to give back when EngineLock is free
    // Mixing thread's own.
    std::vector<std::unique_ptr<TMixVoice>> Pool;
    std::vector<TMixVoice*> Active; // in start order, oldest first
    std::vector<TMixVoice*> Free;
    std::array<PendingNote, 64> Asked{}; // settings asked for and not yet prepared
    std::size_t AskedCount = 0;
    std::vector<float> Bus;     // the block being mixed, summed in float and saturated once
    std::vector<float> Scratch; // one voice's rendering when it needs a pass of its own
    std::uint64_t NextSerial = 0;
    VoiceSnapshot Building{};
    // Hand-over between the threads.
    brindle::SpscRing<Command, CommandSlots> Commands;
    std::array<std::shared_ptr<const brindle::SampleData>, CommandSlots> CommandData; // Add's sample
    std::uint64_t DataSent = 0;                  // other threads' side, under UiLock
    std::atomic<std::uint64_t> DataTaken{0};     // advanced by the mixing thread
    std::atomic<std::uint64_t> ClearsSent{0}, AddsSent{0};
    std::uint64_t ClearsApplied = 0, AddsApplied = 0; // mixing thread's, published in Voices
    std::atomic<int> AddsSinceClear{0};
    brindle::Seqlock<VoiceSnapshot> Voices;
    brindle::SpscRing<PendingNote, 64> AskedRing; // mixing thread -> PreparePending
    std::atomic<std::int64_t> FramePos{0};
    brindle::TextRing<32, 1024> Problems;        // pushed by the mixing thread
    brindle::TextRing<32, 1024> PendingLoads;
    bool ExactFloats = false;
    std::array<std::atomic<std::uint64_t>, GainChannels> GainTargets; // two floats' bits, left low
    std::array<GainRamp, GainChannels> Ramps{};                       // mixing thread's
    int RampFrames = 1;
    bool SnapGains = true;      // mixing thread's: set by a clear, the next gains apply at once
    std::vector<float> VoiceBus; // one voice's block when its channel is not at unity or is metered
    brindle::TLevelMeters Levels;
    std::atomic<bool> Metering{false};
    // The voices of each channel that sounds in a block, summed after its gain for the meters:
    // one stretch of MaxBlock frames per channel, handed out in the order channels first sound.
    std::once_flag SumsMade;
    std::vector<float> ChannelSums;
    int SumSlots = 0;
    std::array<std::int16_t, GainChannels> SumSlotOf{}; // mixing thread's, this block; -1 none
    std::array<std::int16_t, GainChannels> SumChannel{}; // which channel each used slot holds
    int SumsUsed = 0;
    brindle::TextRing<32, 1024> UiProblems;      // pushed by other threads, under UiLock
    brindle::TextRing<32, 1024> UiPendingLoads;
};
