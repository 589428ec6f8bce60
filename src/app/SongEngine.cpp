#include "app/SongEngine.h"

#include "app/MasterEffects.h"
#include "audio/soundlib/TempoStream.h"
#include "base/Error.h"
#include "base/Parallel.h"
#include "base/RegString.h"
#include "base/ThreadPriority.h"
#include "song/Sequencer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

namespace brindle {

TEffectSettings SongEffectSettings(const cSequencer& Song) {
    return Song.Effects;
}

int VoicePoolSetting() {
    const int value = TRegString("VoicePool", std::to_string(TLiveMixer::DefaultPoolSize)).AsInt();
    return value <= 0 ? TLiveMixer::DefaultPoolSize : std::clamp(value, 16, 4096);
}

static_assert(TLiveMixer::GainChannels == ChannelCount, "every channel has its gains in the mixer");

SongEngine::SongEngine(cSequencer& Song, bool RealTime, int VoicePool, bool WarmLater)
    : TheSong(Song), TheMixer(std::make_unique<TLiveMixer>(VoicePool > 0 ? VoicePool : VoicePoolSetting(),
                                                           44100, 2, 4096, RealTime, WarmLater)),
      TheEffects(std::make_unique<TMasterEffects>()) {
    // Live playback is the song's own run, whose position the editors show; a render has a run
    // of its own, so it can go on beside live playback without either silencing the other.
    if (!RealTime) {
        OwnState = std::make_unique<cPlayState>();
        OwnPlayer = std::make_unique<cSongPlayer>(TheSong, *OwnState, OwnHandler);
    }
    Handler() = [this](cSequencer*, const std::string& FileName, float Offset, float Volume, float Stretch,
                       float Pitch, int Key, int Instrument) {
        QueuePlayback(FileName, Offset, Volume, Stretch, Pitch, Key, Instrument);
    };
    TheMixer->BeforeBlockMixing = [this](TLiveMixer* Mixer, float, float LenTime) {
        // The mixer's frame clock, not its single-precision seconds, places the rows.
        const auto frames = std::llround(double(LenTime) * Mixer->GetSampleRate());
        Player().MixFrames(Mixer->GetFramePos(), frames, Mixer->GetSampleRate());
        // The song's channel settings, as the UI left them; the mixer ramps any change.
        for (int c = 0; c < ChannelCount; ++c) {
            float left = 1, right = 1;
            TheSong.ChannelGains(c, left, right);
            Mixer->SetChannelGain(c, left, right);
        }
    };
    // The master meter reads what the device hears, after the effects.
    if (RealTime) TheEffects->SetOutputMeter(&TheMixer->Meters(), TLevelMeters::Master);
    ApplySongEffects();
}

SongEngine::~SongEngine() {
    StopRefining();
    for (auto& r : Stopping)
        r->Thread.join();
    Stopping.clear();
    Player().Stop();
    Handler() = nullptr;
    TheMixer->BeforeBlockMixing = nullptr;
}

cSongPlayer& SongEngine::Player() {
    return OwnPlayer ? *OwnPlayer : TheSong.Player();
}
const cSongPlayer& SongEngine::Player() const {
    return OwnPlayer ? *OwnPlayer : TheSong.Player();
}
TQueuePlaybackEvent& SongEngine::Handler() {
    return OwnPlayer ? OwnHandler : TheSong.OnQueuePlayback;
}

TAudioX* SongEngine::Output() {
    return &TheEffects->Output();
}

TAudioX* SongEngine::ApplySongEffects() {
    TheEffects->Apply(SongEffectSettings(TheSong));
    TheEffects->Chain(TheMixer.get());
    return Output();
}

std::vector<std::string> SongEngine::PreloadInstruments(bool Drafts) {
    const auto work = PlanPreload(Drafts);
    RunPreload(*work);
    return FinishPreload(*work);
}

std::shared_ptr<PreloadWork> SongEngine::PlanPreload(bool Drafts) {
    // The drafts of the song before are not this one's.
    StopRefining();
    auto work = std::make_shared<PreloadWork>();
    work->Cache = TheMixer->GetSampleCache();
    work->Drafts = Drafts;
    // One job per distinct file.
    std::set<std::string> seen;
    for (int i = 0; i < InstrumentCount; ++i) {
        const auto& ins = TheSong.Instruments[size_t(i)];
        if (std::string file = ins.GetFileName(); !file.empty() && seen.insert(file).second)
            work->Files.push_back({i, std::move(file), ins.Name, {}});
    }
    work->Notes = PlanNotes(/*OnlyNew=*/false);
    return work;
}

void SongEngine::RunPreload(PreloadWork& Work) {
    auto& cache = *Work.Cache;
    // Decoded on every core.
    ParallelFor(Work.Files.size(), [&](std::size_t j) {
        if (Work.Cancel.load()) return;
        try {
            cache.Load(Work.Files[j].Path);
        } catch (const std::exception& e) {
            // A damaged file is one broken instrument, whatever the library threw.
            Work.Files[j].Failure = e.what();
        }
    });
    std::set<std::string> loaded;
    for (const auto& f : Work.Files)
        if (f.Failure.empty()) loaded.insert(f.Path);
    Work.Results = MakeNotes(cache, Work.Notes, loaded, Work.Drafts, &Work.Cancel);
}

std::vector<std::string> SongEngine::FinishPreload(const PreloadWork& Work) {
    std::vector<std::string> problems;
    for (const auto& f : Work.Files)
        if (!f.Failure.empty())
            problems.push_back("Instrument " + std::to_string(f.Slot + 1) + " (" + f.Name + "): " + f.Failure);
    Drafted.clear();
    PublishNotes(Work.Notes, Work.Results);
    return problems;
}

void SongEngine::PrepareNewNotes() {
    std::set<std::string> loaded;
    const auto& cache = *TheMixer->GetSampleCache();
    for (const auto& ins : TheSong.Instruments)
        if (std::string file = ins.GetFileName(); !file.empty() && cache.Contains(file))
            loaded.insert(std::move(file));
    const std::size_t drafts = Drafted.size();
    const auto notes = PlanNotes(/*OnlyNew=*/true);
    PublishNotes(notes, MakeNotes(*TheMixer->GetSampleCache(), notes, loaded, /*Drafts=*/true, nullptr));
    if (Drafted.size() > drafts) RefineDrafts();
}

std::vector<PreloadWork::Note> SongEngine::PlanNotes(bool OnlyNew) const {
    // Every stretched or transposed note the patterns hold, prepared once off the audio thread,
    // as far as the cache's variant budget goes; notes beyond it get tempo streams tuned for them.
    const auto& cache = *TheMixer->GetSampleCache();
    std::map<std::tuple<int, float, float>, int> wanted; // (slot, speed, pitch) -> cells
    // With OnlyNew, each instrument's cached sample, looked up once instead of once per cell.
    std::array<std::shared_ptr<const SampleData>, InstrumentCount> bases;
    if (OnlyNew)
        for (int slot = 0; slot < InstrumentCount; ++slot)
            bases[size_t(slot)] = cache.Find(TheSong.Instruments[size_t(slot)].GetFileName());
    for (const auto& pattern : TheSong.Patterns)
        for (int channel = 0; channel < ChannelCount; ++channel)
            for (int row = 0; row < std::clamp(pattern.RowCount, 0, RowCapacity); ++row) {
                const cStep& cell = pattern.Cell(channel, row);
                if (cell.ins < 1 || cell.ins > InstrumentCount) continue;
                const auto& ins = TheSong.Instruments[cell.ins - 1];
                // The values the mixer will play, so that 200 and 300 semitones are one job.
                const float speed = PlayableStretch(ins.Stretch);
                const float pitch = soundlib::PlayablePitch(ins.Pitch + cell.pitch);
                if (speed == 1.0f && pitch == 0.0f) continue;
                if (OnlyNew) {
                    const auto& base = bases[size_t(cell.ins - 1)];
                    if (!base || cache.FindVariant(base.get(), speed, pitch)) continue;
                }
                ++wanted[{cell.ins - 1, speed, pitch}];
            }
    std::vector<PreloadWork::Note> notes;
    notes.reserve(wanted.size());
    for (const auto& [key, cells] : wanted) {
        const auto& [slot, speed, pitch] = key;
        notes.push_back({TheSong.Instruments[size_t(slot)].GetFileName(), speed, pitch, cells});
    }
    return notes;
}

std::vector<PreloadWork::Made> SongEngine::MakeNotes(SampleCache& Cache, const std::vector<PreloadWork::Note>& Notes,
                                                     const std::set<std::string>& Loaded, bool Drafts,
                                                     const std::atomic<bool>* Cancel) {
    using Made = PreloadWork::Made;
    std::vector<Made> made(Notes.size(), Made::Nothing);
    ParallelFor(Notes.size(), [&](std::size_t i) {
        const auto& note = Notes[i];
        if (!Loaded.contains(note.File)) {
            made[i] = Made::Silent;
            return;
        }
        if (Cancel && Cancel->load()) return;
        try {
            const auto variant = Drafts ? Cache.LoadDraftVariant(note.File, note.Speed, note.Pitch)
                                        : Cache.LoadVariant(note.File, note.Speed, note.Pitch);
            if (variant) made[i] = variant->Draft ? Made::Draft : Made::Variant;
        } catch (const std::exception&) {
            // The file changed under us, or memory ran out: live processing plays these notes.
        }
    });
    return made;
}

void SongEngine::PublishNotes(const std::vector<PreloadWork::Note>& Notes, const std::vector<PreloadWork::Made>& Made) {
    std::map<std::pair<float, float>, int> streams; // (speed, pitch) -> notes without a variant
    for (std::size_t i = 0; i < Notes.size(); ++i) {
        const auto& note = Notes[i];
        if (Made[i] == PreloadWork::Made::Draft) Drafted.push_back({note.File, note.Speed, note.Pitch});
        if (Made[i] == PreloadWork::Made::Nothing) streams[{note.Speed, note.Pitch}] += note.Cells;
    }
    // A handful of tuned streams per setting; a note that finds none asks for more while playing.
    constexpr int MaxStreamsPerSetting = 8;
    for (const auto& [setting, notes] : streams)
        TheMixer->PrepareStreams(setting.first, setting.second, std::min(notes, MaxStreamsPerSetting));
}

void SongEngine::RefineDrafts() {
    StopRefining();
    if (Drafted.empty()) return;
    ++RefineBusy;
    auto run = std::make_unique<RefineRun>();
    RefineRun& r = *run;
    run->Thread = std::jthread([this, &r, jobs = Drafted, nice = RefinerNice] {
        // Background work: below playback and the window. A nice value rather than SCHED_IDLE,
        // which a busy machine can starve for minutes.
        SetThreadNice(nice);
        auto& cache = *TheMixer->GetSampleCache();
        for (const auto& job : jobs) {
            if (r.Cancel.load()) break;
            try {
                cache.LoadVariant(job.File, job.Speed, job.Pitch, &r.Cancel);
            } catch (const std::exception&) {
                // Cancelled, or the draft keeps playing.
            }
        }
        --RefineBusy;
        r.Done = true;
    });
    Refiner = std::move(run);
}

void SongEngine::StopRefining() {
    JoinFinishedRefiners();
    if (!Refiner) return;
    // Not joined here: a render in progress stops at its next chunk, and the caller (the window,
    // on every sample assignment) goes on at once.
    Refiner->Cancel = true;
    Stopping.push_back(std::move(Refiner));
}

void SongEngine::JoinFinishedRefiners() {
    std::erase_if(Stopping, [](const std::unique_ptr<RefineRun>& r) { return r->Done.load(); });
}

float SongEngine::PlayableStretch(float Stretch) {
    // A module may carry a stretch of 0 (an absent attribute), one beyond what the tempo stream
    // plays, or no number at all: such notes play as recorded or at the nearest playable speed.
    return soundlib::PlayableSpeed(Stretch);
}

std::string SongEngine::LoadSample(const std::string& FileName) {
    try {
        TheMixer->GetSampleCache()->Load(FileName);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

std::vector<std::string> SongEngine::LoadPending() {
    std::vector<std::string> problems;
    for (const auto& file : TheMixer->TakePendingLoads())
        if (std::string problem = LoadSample(file); !problem.empty()) problems.push_back(std::move(problem));
    // Notes the audio thread met without a stream tuned for them get one here, off that thread.
    TheMixer->PreparePending();
    // Effect chains replaced by a switch are freed here too, not only at the next switch.
    TheEffects->Collect();
    return problems;
}

void SongEngine::Restart() {
    TheMixer->Clear();
    TheMixer->SetFramePos(0);
    Player().Stop();
}

void SongEngine::PlaySongFrom(int Order) {
    Restart();
    Player().PlaySong(Order);
}

void SongEngine::PlayPatternFrom(int Pattern, int GridRow) {
    Restart();
    Player().PlayPatternFrom(Pattern, GridRow);
}

void SongEngine::Stop() {
    TheMixer->Clear();
    Player().Stop();
}

bool SongEngine::Playing() const {
    return Player().Playing();
}

void SongEngine::QueuePlayback(const std::string& FileName, float Offset, float Volume, float Stretch,
                               float Pitch, int Key, int Instrument) {
    if (TraceOn) Trace(Key);
    if (FileName.empty()) {
        TheMixer->RemoveByTag(Key, Offset); // stop marker: cut on the row's frame
        return;
    }
    // "A file exists at that path" is a cache look-up: files are decoded before playing, and one
    // that could not be is reported then, not on every note.
    if (!TheMixer->HasSample(FileName)) return;
    if (Instrument >= 1 && Instrument <= InstrumentCount && TheSong.InstrumentAt(Instrument).LoadStopPrev())
        TheMixer->RemoveByTag(Key, Offset);
    TheMixer->AddToMix(FileName, PlayableStretch(Stretch), Volume, Pitch, Offset, Key);
}

void SongEngine::Trace(int Tag) {
    // Formatted into stack buffers: the handler may run on the audio thread.
    char line[128];
    while (TraceBusy.test_and_set(std::memory_order_acquire)) {
    }
    TraceLines.Push("\"MainForm::OnQueuePlayback\"(form_main_src):220:MainForm::OnQueuePlayback");
    const int n =
        std::snprintf(line, sizeof line, "Tolm.seq->OnQueuePlayback_Key(form_main_src):221:%d", Tag);
    TraceLines.Push(std::string_view(line, size_t(n)));
    TraceBusy.clear(std::memory_order_release);
}

std::vector<std::string> SongEngine::TakeTraceLines() {
    return TraceLines.TakeAll();
}

} // namespace brindle
