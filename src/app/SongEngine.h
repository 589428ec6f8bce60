#pragma once
// The song wired to the live mixer and the master effects: the one place where the playback
// engine's queued notes become mixer voices and where the output chain is built. The live output
// (speakers) and the song render (encoder) both pull Output(), so they hear the same thing.
#include "audio/mixer/LiveMixer.h"
#include "base/realtime/TextRing.h"
#include "song/SongPlayer.h"

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

class cSequencer;
class TMasterEffects;
struct TEffectSettings;

namespace brindle {

class SampleCache;

// A preload in three steps, so that a window can decode behind its event loop: the plan reads
// the song (on the thread that edits it), the run touches only the cache (any thread, cancelled
// through Cancel), the finish publishes what was made (the song's thread again).
struct PreloadWork {
    struct File {
        int Slot;
        std::string Path, Name;
        std::string Failure; // set by the run
    };
    struct Note {
        std::string File;
        float Speed, Pitch;
        int Cells;
    };
    // What a note's job left: nothing (live processing plays it), a final variant, a draft, or
    // nothing needed (a broken instrument's notes stay silent).
    enum class Made : char { Nothing, Variant, Draft, Silent };
    std::shared_ptr<SampleCache> Cache;
    bool Drafts = false;
    std::vector<File> Files;
    std::vector<Note> Notes;
    std::vector<Made> Results; // set by the run
    std::atomic<bool> Cancel{false};
};

// The "VoicePool" setting, 16..4096 (default 256).
int VoicePoolSetting();

// The song's stored effect values.
TEffectSettings SongEffectSettings(const cSequencer& Song);

class SongEngine {
  public:
    // RealTime: the output will be pulled by a device (see TLiveMixer) and the song's own player
    // runs (one such engine per song); false for renders, which run a player of their own.
    // VoicePool 0 takes the "VoicePool" setting (voices that may sound at once).
    // WarmLater: see TLiveMixer.
    explicit SongEngine(cSequencer& Song, bool RealTime = true, int VoicePool = 0, bool WarmLater = false);
    ~SongEngine();
    SongEngine(const SongEngine&) = delete;
    SongEngine& operator=(const SongEngine&) = delete;

    cSequencer& Song() { return TheSong; }
    TLiveMixer& Mixer() { return *TheMixer; }
    TMasterEffects& Effects() { return *TheEffects; }
    // The node a consumer pulls: the mixer followed by the enabled master effects. It stays the
    // same node when effects are switched, even while it is being pulled.
    TAudioX* Output();
    // Pushes the song's effect settings into the effect nodes and rebuilds the chain; returns Output().
    TAudioX* ApplySongEffects();
    // The run this engine plays: position, mode and the handler of its notes.
    cSongPlayer& Player();
    const cSongPlayer& Player() const;

    // Decodes every instrument file into the sample cache and prepares the stretched and
    // transposed notes the patterns hold (run before playing). Returns one message per
    // instrument whose file is missing or cannot be decoded; its notes stay silent.
    // With Drafts, notes whose finer stretcher is slow are prepared with the quick one first;
    // RefineDrafts then makes them again with the finer one.
    std::vector<std::string> PreloadInstruments(bool Drafts = false);
    // The same in its three steps (see PreloadWork). A cancelled run finishes with fewer notes
    // prepared; they play through live processing.
    std::shared_ptr<PreloadWork> PlanPreload(bool Drafts);
    static void RunPreload(PreloadWork& Work);
    std::vector<std::string> FinishPreload(const PreloadWork& Work);
    // UI thread: prepares the stretched and transposed notes the patterns hold now that have no
    // variant yet (written, or their instrument changed, since the last preload), so they start on
    // their rows instead of waiting for a stream on the audio thread. Prepared notes cost a look-up.
    void PrepareNewNotes();
    // Starts making the drafts of the last preload again with the cache's stretcher, on a thread
    // of its own; each finished note replaces its draft (voices already sounding keep theirs).
    // The next preload and the destructor stop it.
    void RefineDrafts();
    // True while RefineDrafts works.
    bool Refining() const { return RefineBusy.load() > 0; }
    // The refiner's nice value (19: below everything else). Tests that wait for it beside busy
    // processes run it at 0, or a crowded machine starves it for minutes.
    void SetRefinerNice(int Nice) { RefinerNice = Nice; }
    // UI thread: decodes a file heard outside the song (a browser preview, a note on the
    // browser's file) unless the cache holds it as it is on disk. Returns the message when it
    // cannot be decoded, or an empty text.
    std::string LoadSample(const std::string& FileName);
    // UI thread, from a periodic timer: loads files the mixer asked for while playing, tunes
    // streams for notes it could not start and frees replaced effect chains; returns the
    // messages of the files that failed.
    std::vector<std::string> LoadPending();

    // Transport: every start clears the mixer and the clock so the song begins at time 0.
    void PlaySongFrom(int Order);
    void PlayPatternFrom(int Pattern, int GridRow);
    void Stop();
    bool Playing() const;

    // The queue handler's trace lines, collected for the trace window while tracing is on.
    void SetTraceEnabled(bool On) { TraceOn = On; }
    std::vector<std::string> TakeTraceLines();

  private:
    void QueuePlayback(const std::string& FileName, float Offset, float Volume, float Stretch, float Pitch,
                       int Key, int Instrument);
    TQueuePlaybackEvent& Handler();
    void Trace(int Tag);
    // OnlyNew: only the notes that have no variant yet.
    std::vector<PreloadWork::Note> PlanNotes(bool OnlyNew) const;
    static std::vector<PreloadWork::Made> MakeNotes(SampleCache& Cache, const std::vector<PreloadWork::Note>& Notes,
                                                    const std::set<std::string>& Loaded, bool Drafts,
                                                    const std::atomic<bool>* Cancel);
    // Lists the drafts made and tunes streams for the notes left to live processing.
    void PublishNotes(const std::vector<PreloadWork::Note>& Notes, const std::vector<PreloadWork::Made>& Made);
    void StopRefining();
    static float PlayableStretch(float Stretch);
    void Restart();

    cSequencer& TheSong;
    std::unique_ptr<TLiveMixer> TheMixer;
    std::unique_ptr<TMasterEffects> TheEffects;
    int RefinerNice = 19;
    // A render's own run; live playback uses the song's.
    std::unique_ptr<cPlayState> OwnState;
    TQueuePlaybackEvent OwnHandler;
    std::unique_ptr<cSongPlayer> OwnPlayer;
    std::atomic<bool> TraceOn{false};
    std::atomic_flag TraceBusy = ATOMIC_FLAG_INIT; // the ring takes one pusher at a time
    TextRing<256, 128> TraceLines;
    struct VariantJob {
        std::string File;
        float Speed;
        float Pitch;
    };
    std::vector<VariantJob> Drafted; // the last preload's drafts, by value: the song may change
    // Refiners still working: a stopped one ends at its next chunk on its own, so the caller
    // never waits for a render; they are joined once done, and all of them by the destructor.
    std::atomic<int> RefineBusy{0};
    struct RefineRun {
        std::atomic<bool> Cancel{false};
        std::atomic<bool> Done{false};
        std::jthread Thread;
    };
    void JoinFinishedRefiners();
    std::unique_ptr<RefineRun> Refiner;
    // Last, so they stop before the mixer and its cache go.
    std::vector<std::unique_ptr<RefineRun>> Stopping;
};

} // namespace brindle
