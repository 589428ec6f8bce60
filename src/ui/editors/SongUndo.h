#pragma once
// The song's undo history: pattern, order and instrument edits (cSongEdit records), effect
// settings and tempo. Successive moves of one slider or the tempo field within a moment are one
// step. The song is modified exactly when the history is away from its clean index.
#include "app/SongEdit.h"
#include "song/EffectSettings.h"

#include <QObject>
#include <QString>

#include <functional>

class QUndoStack;

class TSongUndo : public QObject {
    Q_OBJECT

public:
    explicit TSongUndo(QObject* Parent = nullptr);

    QUndoStack* Stack() const { return UndoStack; }

    // Runs Change and keeps what it did to the scope as one step; a change that changed nothing
    // leaves no step. Returns whether there was a change. Steps with the same non-zero MergeKey
    // within a moment are one (the moves of one slider).
    bool Edit(const QString& Text, cSongEdit Scope, const std::function<void()>& Change, int MergeKey = 0);
    // Records a change already made by a control (the panel or the tempo field hold the new value).
    void EffectsChanged(const TEffectSettings& Before, const TEffectSettings& After);
    void TempoChanged(float Before, float After);

    // Undo and redo refuse while Blocked says so (an export renders the song).
    void Undo();
    void Redo();
    std::function<bool()> Blocked;

    // The song as it is now is the saved one (after a save) or a fresh one (after New or a load).
    void SetSaved();
    void Clear();
    // No state in the history is the saved one (a recovered song: the file on disk is older).
    void ForgetSaved();

    // After a step was undone or redone, for the views to follow.
    std::function<void(const cSongEdit& Edit)> OnSongApplied;
    std::function<void(const TEffectSettings& Value)> OnEffectsApplied;
    std::function<void(float BPM)> OnTempoApplied;

signals:
    // True when the song is as it was saved.
    void CleanChanged(bool Clean);

private:
    QUndoStack* UndoStack;
};
