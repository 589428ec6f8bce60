#pragma once
// The song as one document: the song itself and its live engine, the one undo history, the file
// it belongs to, its master effect values and its recovery copy. Every change of the song goes
// through the history, so the song is modified exactly when the history is away from its clean
// index; New, Open and Save set that index and nothing else does. Views listen to the signals
// and never hold song state of their own.
#include "song/EffectSettings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QThreadPool;
class QTimer;
class QUndoStack;
class TRecoverySession;
class TSongUndo;
class cApp;
class cSequencer;
class cSongEdit;

namespace brindle {
class SongEngine;
struct PreloadWork;
}

class TSongDocument : public QObject {
    Q_OBJECT

  public:
    enum class TSaveAnswer { Save, Discard, Cancel };
    enum class TRecoveryAnswer { Open, Discard, Keep };

    // App is the editors' shared context; the document points it at the song and engine.
    explicit TSongDocument(cApp& App, QObject* Parent = nullptr);
    ~TSongDocument() override;

    cSequencer& Song() { return *Seq; }
    brindle::SongEngine& Engine() { return *SongEngine; }
    TSongUndo& Undo() { return *History; }
    QUndoStack* UndoStack() const;

    // What would block on a modal dialog goes through these, so tests can answer for the user.
    // An empty file name means the user cancelled.
    std::function<std::string()> AskOpenFileName;
    std::function<std::string()> AskSaveFileName;
    std::function<TSaveAnswer(const std::string& SongName)> AskSaveChanges;
    // A recovered song is saved over its own file only when the user agrees.
    std::function<bool(const std::string& Path)> AskReplaceFile;
    std::function<TRecoveryAnswer(const std::string& Info)> AskRecovery;
    std::function<void(const std::string& Text)> ShowMessage;

    const std::string& FileName() const;
    // The file's name without its folder, or "Untitled".
    std::string DisplayName() const;
    bool IsModified() const;

    // Project commands. Those that replace the song ask first about unsaved changes; each returns
    // false when the user cancelled or it failed (the failure is reported as a problem).
    bool MaybeSave();
    bool New();
    bool Open();
    bool OpenFile(const std::string& Path);
    bool Save();
    bool SaveAs();
    bool SaveTo(const std::string& Path);
    bool SaveWithInstruments();
    // The autosave timer's work: titled songs are saved, untitled ones go to the recovery copy.
    void Autosave();
    // The recovery timer's work: unsaved changes go to this window's recovery copy.
    void WriteRecovery();
    // Offers the recovery copies of windows that are gone, one question each.
    void OfferRecovery();
    // The window closes: a clean exit removes this window's copy; KeepUnsaved keeps it when
    // there is unsaved work (the session was ended from outside).
    void EndSession(bool KeepUnsaved);
    TRecoverySession& Recovery() { return *RecoveryCopy; }

    // Decodes the instruments and prepares their notes behind the event loop; problems are
    // reported and instrumentsReady() follows. A new call replaces a run still going.
    void PrepareInstruments();
    bool PreparingInstruments() const { return Preparing != nullptr; }
    // Notes written or instruments changed are prepared once the edits pause.
    void NotesChanged();
    // Runs Change on the song as one step of the history (see TSongUndo::Edit).
    bool Edit(const QString& Text, cSongEdit Scope, const std::function<void()>& Change, int MergeKey = 0);

    // Instrument commands, each one step of the history.
    // Fills slots from Row (0-based) on with Files; returns how many were filled.
    int AssignFiles(int Row, const std::vector<std::string>& Files);
    void ClearInstrument(int Instrument);
    enum class TInstrumentValue { Volume, Stretch, Pitch, StopPrev };
    void SetInstrumentValue(int Instrument, TInstrumentValue Which, float Value);

    // A channel's volume (0..2), balance (-1..1) and mute flag, one step of the history; moves of
    // one channel's controls within a moment are one step.
    void SetChannel(int Channel, float Volume, float Pan, bool Mute);
    // Every other channel muted, one step; asked of the one channel heard alone, unmutes all.
    void SoloChannel(int Channel);

    // Tempo and master effects, each one step of the history.
    void SetTempo(float BPM);
    const TEffectSettings& Effects() const;
    void SetEffects(const TEffectSettings& Value);
    // The effects as the panel shows them (its rounding), taken without a step: after a load.
    void AdoptEffects(const TEffectSettings& Value);

    // Collects what the audio thread left for the window: problems and trace lines.
    void Poll();
    // The song must hold still while an export renders it.
    std::function<bool()> Frozen;

    void Report(const std::string& Text) { emit problem(QString::fromStdString(Text)); }

  signals:
    // New, Open or a recovery: every view reads the song again.
    void songReplaced();
    void patternChanged(int Pattern);
    void ordersChanged();
    void instrumentChanged(int Instrument);
    // A channel's volume, balance or mute flag changed, through a step or its undo.
    void channelsChanged();
    void effectsChanged();
    void tempoChanged();
    void modifiedChanged(bool Modified);
    void fileNameChanged();
    // A module was opened or saved under a name (the recent-files list listens).
    void fileOpened(const QString& Path);
    // A line for the application log.
    void problem(const QString& Text);
    // The instruments PrepareInstruments decoded are in the cache and their notes prepared.
    void instrumentsReady();

  private:
    bool Load(const std::string& Path);
    void Replaced();
    void SetClean();
    void ApplyEffects(bool Rechain);
    void FinishPreparing(const std::shared_ptr<brindle::PreloadWork>& Work);

    cApp& App;
    std::unique_ptr<cSequencer> Seq;
    std::unique_ptr<brindle::SongEngine> SongEngine;
    TSongUndo* History;
    std::unique_ptr<TRecoverySession> RecoveryCopy;
    QTimer* NotesTimer;
    // One preload at a time behind the window; the newest is Preparing, older ones are cancelled.
    QThreadPool* Workers;
    std::shared_ptr<brindle::PreloadWork> Preparing;
    // A recovered song's file on disk is older than the song: saving there asks first.
    bool Recovered = false;
};
