#include "ui/document/SongDocument.h"

#include "app/App.h"
#include "app/AudioSettings.h"
#include "app/MasterEffects.h"
#include "app/ProjectFiles.h"
#include "app/SongEdit.h"
#include "app/SongEngine.h"
#include "base/ThreadPriority.h"
#include "song/Sequencer.h"
#include "ui/document/RecoverySession.h"
#include "ui/editors/SongUndo.h"
#include "ui/dialogs/FormTrace.h"

#include <QApplication>
#include <QCursor>
#include <QThreadPool>
#include <QTimer>
#include <QUndoStack>

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

std::string fileNamePart(const std::string& Path) { return fs::path(Path).filename().string(); }

// An effect switched on or off: the chain is built again (values alone reach the live nodes).
bool switchesDiffer(const TEffectSettings& A, const TEffectSettings& B) {
    return A.CompressorEnabled != B.CompressorEnabled || A.ReverbEnabled != B.ReverbEnabled || A.EqEnabled != B.EqEnabled;
}

constexpr std::uintmax_t BigModuleBytes = 2 << 20;

// Restores the cursor however the wait ends.
struct TWaitCursor {
    TWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TSongDocument::TSongDocument(cApp& App, QObject* Parent)
    : QObject(Parent), App(App), Seq(std::make_unique<cSequencer>()), History(new TSongUndo(this)),
      RecoveryCopy(std::make_unique<TRecoverySession>()), NotesTimer(new QTimer(this)), Workers(new QThreadPool(this)) {
    Workers->setMaxThreadCount(1);
    Seq->Init();
    // A new song starts with the panel's default effects, as New gives them.
    Seq->Effects = TEffectSettings{};
    SongEngine = std::make_unique<brindle::SongEngine>(*Seq, true, 0, /*WarmLater=*/true);
    // The window paints first; its mixer's streams are made behind it, before any preload.
    Workers->start([engine = SongEngine.get()] { engine->Mixer().WarmUp(); });
    App.seq = Seq.get();
    App.Engine = SongEngine.get();
    App.Mixer = &SongEngine->Mixer();

    History->Blocked = [this] { return Frozen && Frozen(); };
    connect(History, &TSongUndo::CleanChanged, this, [this](bool Clean) { emit modifiedChanged(!Clean); });
    History->OnSongApplied = [this](const cSongEdit& Edit) {
        if (const int pattern = Edit.Pattern()) emit patternChanged(pattern);
        if (Edit.TouchesOrders()) emit ordersChanged();
        if (Edit.TouchesChannels()) emit channelsChanged();
        if (const int instrument = Edit.InstrumentSlot()) {
            PrepareInstruments(); // a slot may have its file back
            emit instrumentChanged(instrument);
        }
    };
    History->OnEffectsApplied = [this](const TEffectSettings& Value) {
        const bool rechain = switchesDiffer(Value, Seq->Effects);
        Seq->Effects = Value;
        ApplyEffects(rechain);
        emit effectsChanged();
    };
    History->OnTempoApplied = [this](float Value) {
        Seq->SetBPM(Value);
        emit tempoChanged();
    };

    // Notes written and instruments changed are prepared once the edits pause, so they start on
    // their rows (also while the song plays) instead of waiting for a stream.
    NotesTimer->setSingleShot(true);
    NotesTimer->setInterval(150);
    connect(NotesTimer, &QTimer::timeout, this, [this] {
        // A preload under way prepares the notes written meanwhile when it ends.
        if (!(Frozen && Frozen()) && !Preparing) SongEngine->PrepareNewNotes();
    });
    connect(History->Stack(), &QUndoStack::indexChanged, NotesTimer, qOverload<>(&QTimer::start));
    ApplyEffects(true);
}

TSongDocument::~TSongDocument() {
    // A preload still running ends at its next file before the engine and its cache go.
    if (Preparing) Preparing->Cancel = true;
    Workers->waitForDone();
    // The engine goes before the song it plays.
    App.Engine = nullptr;
    App.Mixer = nullptr;
    App.seq = nullptr;
    SongEngine.reset();
    Seq.reset();
}

QUndoStack* TSongDocument::UndoStack() const { return History->Stack(); }

const std::string& TSongDocument::FileName() const { return Seq->FileName; }

std::string TSongDocument::DisplayName() const { return FileName().empty() ? "Untitled" : fileNamePart(FileName()); }

bool TSongDocument::IsModified() const { return !History->Stack()->isClean(); }

bool TSongDocument::Edit(const QString& Text, cSongEdit Scope, const std::function<void()>& Change, int MergeKey) {
    if (Frozen && Frozen()) return false;
    return History->Edit(Text, std::move(Scope), Change, MergeKey);
}

// ---- replacing the song ----

bool TSongDocument::MaybeSave() {
    if (!IsModified()) return true;
    switch (AskSaveChanges(DisplayName())) {
    case TSaveAnswer::Save:
        return Save();
    case TSaveAnswer::Discard:
        return true;
    case TSaveAnswer::Cancel:
        return false;
    }
    return false;
}

bool TSongDocument::New() {
    if (!MaybeSave()) return false;
    SongEngine->Stop();
    Seq->Reset();
    Seq->FileName.clear();
    Seq->Effects = TEffectSettings{};
    Replaced();
    return true;
}

bool TSongDocument::Open() {
    if (!MaybeSave()) return false;
    const std::string path = AskOpenFileName();
    if (path.empty()) return false;
    if (!Load(path)) return false;
    emit fileOpened(QString::fromStdString(path));
    return true;
}

bool TSongDocument::OpenFile(const std::string& Path) {
    if (!MaybeSave()) return false;
    Report("Opening..." + fileNamePart(Path));
    if (!Load(Path)) return false;
    emit fileOpened(QString::fromStdString(Path));
    return true;
}

bool TSongDocument::Load(const std::string& Path) {
    // Only a big module reads long enough for a wait cursor to show; the first one costs a few
    // milliseconds of a window's start.
    std::error_code ec;
    std::optional<TWaitCursor> wait;
    if (fs::file_size(Path, ec) > BigModuleBytes && !ec) wait.emplace();
    try {
        SongEngine->Stop();
        Seq->LoadFile(Path);
    } catch (const std::exception& e) {
        Report(e.what());
        // The message names the path after its fixed text; the box shows the fixed text.
        constexpr std::string_view missing = "XML Load: file doesn't exist";
        if (std::string_view(e.what()).starts_with(missing) && ShowMessage) ShowMessage(std::string(missing));
        return false;
    }
    for (const auto& warning : Seq->TakeLoadWarnings())
        Report(warning);
    Replaced();
    return true;
}

void TSongDocument::Replaced() {
    Recovered = false;
    History->Clear();
    SetClean();
    ApplyEffects(true);
    PrepareInstruments();
    emit songReplaced();
    emit effectsChanged();
    emit tempoChanged();
    emit fileNameChanged();
}

void TSongDocument::SetClean() {
    History->SetSaved();
    emit modifiedChanged(false);
}

void TSongDocument::PrepareInstruments() {
    // Instruments are decoded before they can play, behind the window so that it stays live
    // while a song opens; those that cannot be are named once. A slow stretcher works behind it
    // too: its notes play with the quick one until it is done.
    SongEngine->Mixer().GetSampleCache()->SetStretchQuality(cAudioSettings::Read().StretchQuality);
    if (Preparing) Preparing->Cancel = true;
    auto work = SongEngine->PlanPreload(/*Drafts=*/true);
    Preparing = work;
    Workers->start([this, work] {
        // Below the window, which goes on painting and taking keys meanwhile; the decoding
        // threads the run starts inherit it.
        brindle::LowerThreadPriority();
        brindle::SongEngine::RunPreload(*work);
        QMetaObject::invokeMethod(this, [this, work] { FinishPreparing(work); }, Qt::QueuedConnection);
    });
}

void TSongDocument::FinishPreparing(const std::shared_ptr<brindle::PreloadWork>& Work) {
    if (Work != Preparing) return; // a later preload replaced it
    Preparing.reset();
    for (const auto& problem : SongEngine->FinishPreload(*Work))
        Report(problem);
    SongEngine->RefineDrafts();
    // Notes written while it ran (their drafts restart the refiner, which is rare).
    SongEngine->PrepareNewNotes();
    emit instrumentsReady();
}

void TSongDocument::NotesChanged() { NotesTimer->start(); }

// ---- saving ----

bool TSongDocument::SaveTo(const std::string& Path) {
    if (Recovered && Path == FileName() && AskReplaceFile && !AskReplaceFile(Path)) return false;
    {
        TWaitCursor wait;
        try {
            Report("Saving...");
            Seq->SaveFile(Path);
        } catch (const std::exception& e) {
            Report(e.what());
            return false;
        }
    }
    Recovered = false;
    SetClean();
    // Nothing unsaved is left to recover.
    RecoveryCopy->Remove();
    emit fileNameChanged();
    return true;
}

bool TSongDocument::Save() {
    if (FileName().empty()) return SaveAs();
    return SaveTo(FileName());
}

bool TSongDocument::SaveAs() {
    const std::string path = AskSaveFileName();
    if (path.empty()) return false;
    if (!SaveTo(path)) return false;
    emit fileOpened(QString::fromStdString(path));
    return true;
}

bool TSongDocument::SaveWithInstruments() {
    std::string path = FileName();
    if (path.empty()) path = AskSaveFileName();
    if (path.empty()) return false;
    try {
        Report("Saving...");
        for (const auto& problem : brindle::SaveWithInstruments(*Seq, path))
            Report(problem);
    } catch (const std::exception& e) {
        Report(e.what());
        return false;
    }
    Report("Saved with its instruments in " + (fs::path(path).parent_path() / fs::path(path).stem()).string());
    PrepareInstruments(); // the copies are the song's files now
    Recovered = false;
    SetClean();
    RecoveryCopy->Remove();
    emit fileNameChanged();
    // The slots now name the copies.
    for (int i = 1; i <= InstrumentCount; ++i) emit instrumentChanged(i);
    return true;
}

// ---- recovery ----

void TSongDocument::Autosave() {
    Report("Autosave...");
    if (FileName().empty() || Recovered)
        WriteRecovery();
    else if (IsModified())
        Save();
}

void TSongDocument::WriteRecovery() {
    if (!IsModified()) return;
    try {
        RecoveryCopy->Write(*Seq, FileName());
    } catch (const std::exception& e) {
        Report(std::string("Recovery copy not written: ") + e.what());
    }
}

void TSongDocument::OfferRecovery() {
    auto orphans = RecoveryCopy->ClaimOrphans();
    for (const auto& orphan : orphans) {
        const auto answer = AskRecovery ? AskRecovery(orphan.Describe() + ".") : TRecoveryAnswer::Keep;
        if (answer == TRecoveryAnswer::Discard) RecoveryCopy->Discard(orphan);
        if (answer != TRecoveryAnswer::Open || !MaybeSave()) continue;
        if (!Load(orphan.CopyPath)) continue;
        // The song is the one it was, under its own name, with its changes still unsaved; the
        // copy becomes this window's own.
        Seq->FileName = orphan.OriginalPath;
        Recovered = true;
        History->ForgetSaved();
        emit modifiedChanged(true);
        emit fileNameChanged();
        WriteRecovery();
        RecoveryCopy->Discard(orphan);
        Report("Recovered the unsaved work: " + orphan.Describe());
        break; // the rest wait for the next start
    }
    RecoveryCopy->ReleaseClaims();
}

void TSongDocument::EndSession(bool KeepUnsaved) {
    SongEngine->Stop();
    if (KeepUnsaved && IsModified())
        WriteRecovery();
    else
        RecoveryCopy->Remove();
}

// ---- instruments, tempo, effects ----

int TSongDocument::AssignFiles(int Row, const std::vector<std::string>& Files) {
    cSongEdit scope(*Seq);
    const int last = std::min<int>(Row + int(Files.size()), InstrumentCount);
    for (int slot = Row; slot < last; ++slot) scope.Instrument(slot + 1);
    for (std::size_t i = std::size_t(std::max(last - Row, 0)); i < Files.size(); ++i)
        Report("No instrument slot left for " + fileNamePart(Files[i]));
    if (last <= Row) return 0;
    Edit(Files.size() == 1 ? "Set Sample" : "Set Samples", std::move(scope), [&] {
        for (int slot = Row; slot < last; ++slot) Seq->SetInstrumentFile(slot + 1, Files[std::size_t(slot - Row)]);
    });
    // The files the user just chose play at the next key press: decoded now, as a preview is.
    // Their notes are prepared behind, with the rest; a file that fails is named by that.
    for (int slot = Row; slot < last; ++slot) (void)SongEngine->LoadSample(Files[std::size_t(slot - Row)]);
    PrepareInstruments();
    for (int slot = Row; slot < last; ++slot) emit instrumentChanged(slot + 1);
    return last - Row;
}

void TSongDocument::ClearInstrument(int Instrument) {
    Edit("Clear Instrument", cSongEdit(*Seq).Instrument(Instrument), [&] {
        cInstrument& ins = Seq->InstrumentAt(Instrument);
        ins.Name.clear();
        Seq->SetInstrumentFile(Instrument, "");
        ins.StoreVolume(1.0f);
        ins.StoreStretch(1.0f);
        ins.StorePitch(0.0f);
        ins.StoreStopPrev(false);
    });
    emit instrumentChanged(Instrument);
}

void TSongDocument::SetInstrumentValue(int Instrument, TInstrumentValue Which, float Value) {
    static const char* const names[] = {"Volume", "Length", "Transpose", "Stop Previous Note"};
    cInstrument& ins = Seq->InstrumentAt(Instrument);
    // Moves of one slider merge; the box's clicks are steps of their own.
    const int mergeKey = Which == TInstrumentValue::StopPrev ? 0 : Instrument * 8 + int(Which) + 1;
    const bool changed = Edit(names[int(Which)], cSongEdit(*Seq).Instrument(Instrument), [&] {
        switch (Which) {
        case TInstrumentValue::Volume: ins.StoreVolume(Value); break;
        case TInstrumentValue::Stretch: ins.StoreStretch(Value); break;
        case TInstrumentValue::Pitch: ins.StorePitch(Value); break;
        case TInstrumentValue::StopPrev: ins.StoreStopPrev(Value != 0); break;
        }
    }, mergeKey);
    if (!changed) return;
    if (Which == TInstrumentValue::Stretch || Which == TInstrumentValue::Pitch) NotesChanged();
    emit instrumentChanged(Instrument);
}

void TSongDocument::SetChannel(int Channel, float Volume, float Pan, bool Mute) {
    if (Channel < 0 || Channel >= ChannelCount) return;
    // Above every instrument's keys, one per channel: a dragged fader is one step.
    constexpr int ChannelMergeBase = 1 << 20;
    if (Edit("Channel " + QString::number(Channel + 1), cSongEdit(*Seq).Channels(),
             [&] { Seq->SetChannel(Channel, Volume, Pan, Mute); }, ChannelMergeBase + Channel))
        emit channelsChanged();
}

void TSongDocument::SoloChannel(int Channel) {
    if (Channel < 0 || Channel >= ChannelCount) return;
    bool alone = !Seq->IsMuted(Channel);
    for (int c = 0; c < ChannelCount && alone; ++c) alone = c == Channel || Seq->IsMuted(c);
    if (Edit(alone ? "Unmute all channels" : "Solo channel", cSongEdit(*Seq).Channels(), [&] {
            if (alone)
                Seq->UnmuteAll();
            else
                Seq->Solo(Channel);
        }))
        emit channelsChanged();
}

void TSongDocument::SetTempo(float BPM) {
    const float before = Seq->BPM.load();
    if (BPM == before || (Frozen && Frozen())) return;
    Seq->SetBPM(BPM);
    History->TempoChanged(before, BPM);
    emit tempoChanged();
}

const TEffectSettings& TSongDocument::Effects() const { return Seq->Effects; }

void TSongDocument::SetEffects(const TEffectSettings& Value) {
    const TEffectSettings before = Seq->Effects;
    const bool rechain = switchesDiffer(Value, before);
    Seq->Effects = Value;
    // Heard from the next block on; switching an effect rebuilds the chain while the song plays on.
    ApplyEffects(rechain);
    History->EffectsChanged(before, Value);
}

void TSongDocument::AdoptEffects(const TEffectSettings& Value) {
    // Values reach the live nodes; only an effect switched on or off needs a new chain.
    const bool rechain = switchesDiffer(Seq->Effects, Value);
    Seq->Effects = Value;
    ApplyEffects(rechain);
}

void TSongDocument::ApplyEffects(bool Rechain) {
    auto& fx = SongEngine->Effects();
    fx.Apply(Seq->Effects);
    if (Rechain) fx.Chain(&SongEngine->Mixer());
}

void TSongDocument::Poll() {
    for (const auto& line : SongEngine->TakeTraceLines())
        brindle::ui::Trace(line);
    SongEngine->SetTraceEnabled(brindle::ui::TraceActive());
    // Files the mixer asked for are decoded here once a preload (which may hold them) is done.
    if (!Preparing)
        for (const auto& text : SongEngine->LoadPending())
            Report(text);
    for (const auto& text : SongEngine->Mixer().TakeProblems())
        Report(text);
    // Replaced effect chains are freed soon, not only at the next switch.
    SongEngine->Effects().Collect();
}
