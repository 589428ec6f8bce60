#include "ui/editors/SongUndo.h"

#include <QElapsedTimer>
#include <QUndoCommand>
#include <QUndoStack>

#include <cstring>

namespace {

// Moves of the same control closer together than this are one step.
constexpr qint64 MergeWindowMs = 1000;

enum TCommandId { EffectsId = 1, TempoId = 2, SongEditId = 3 };

class TSongEditCommand : public QUndoCommand {
public:
    TSongEditCommand(const QString& Text, cSongEdit Edit, TSongUndo& Owner, int MergeKey)
        : QUndoCommand(Text), Edit(std::move(Edit)), Owner(Owner), MergeKey(MergeKey) {
        Since.start();
    }
    int id() const override { return SongEditId; }
    // Moves of one control (one slider of one instrument) in quick succession are one step.
    bool mergeWith(const QUndoCommand* Other) override {
        const auto* next = static_cast<const TSongEditCommand*>(Other);
        if (MergeKey == 0 || next->MergeKey != MergeKey || Since.elapsed() > MergeWindowMs) return false;
        Edit.Extend(next->Edit);
        Since.restart();
        return true;
    }
    void undo() override { Apply(false); }
    void redo() override {
        // The first redo is the push: the change is already in the song.
        if (First) First = false;
        else Apply(true);
    }

private:
    void Apply(bool After) {
        Edit.Apply(After);
        if (Owner.OnSongApplied) Owner.OnSongApplied(Edit);
    }
    cSongEdit Edit;
    TSongUndo& Owner;
    int MergeKey;
    QElapsedTimer Since;
    bool First = true;
};

// Which values differ: moves of the same controls merge.
unsigned differingFields(const TEffectSettings& A, const TEffectSettings& B) {
    const float a[] = {A.CompressorThres, A.CompressorAttack, A.CompressorRelease, A.ReverbLevel, A.ReverbDelay,
                       A.Eq[0],           A.Eq[1],            A.Eq[2]};
    const float b[] = {B.CompressorThres, B.CompressorAttack, B.CompressorRelease, B.ReverbLevel, B.ReverbDelay,
                       B.Eq[0],           B.Eq[1],            B.Eq[2]};
    unsigned mask = 0;
    for (int i = 0; i < 8; ++i)
        if (a[i] != b[i]) mask |= 1u << i;
    if (A.CompressorEnabled != B.CompressorEnabled) mask |= 1u << 8;
    if (A.ReverbEnabled != B.ReverbEnabled) mask |= 1u << 9;
    if (A.EqEnabled != B.EqEnabled) mask |= 1u << 10;
    return mask;
}

// A value set by a control: undo and redo hand the old or new value back to it. Control 0 never
// merges.
template <typename T, int Id> class TValueCommand : public QUndoCommand {
public:
    TValueCommand(const QString& Text, T Before, T After, std::function<void(const T&)> Set, unsigned Control)
        : QUndoCommand(Text), Before(Before), After(After), Set(std::move(Set)), Control(Control) {
        Since.start();
    }
    int id() const override { return Id; }
    bool mergeWith(const QUndoCommand* Other) override {
        const auto* next = static_cast<const TValueCommand*>(Other);
        if (Control == 0 || next->Control != Control || Since.elapsed() > MergeWindowMs) return false;
        After = next->After;
        Since.restart();
        return true;
    }
    void undo() override { Set(Before); }
    void redo() override {
        if (First) First = false;
        else Set(After);
    }

private:
    T Before, After;
    std::function<void(const T&)> Set;
    unsigned Control;
    QElapsedTimer Since;
    bool First = true;
};

} // namespace

TSongUndo::TSongUndo(QObject* Parent) : QObject(Parent), UndoStack(new QUndoStack(this)) {
    connect(UndoStack, &QUndoStack::cleanChanged, this, &TSongUndo::CleanChanged);
}

bool TSongUndo::Edit(const QString& Text, cSongEdit Scope, const std::function<void()>& Change, int MergeKey) {
    Scope.Capture();
    Change();
    Scope.Finish();
    if (!Scope.Changed()) return false;
    UndoStack->push(new TSongEditCommand(Text, std::move(Scope), *this, MergeKey));
    return true;
}

void TSongUndo::EffectsChanged(const TEffectSettings& Before, const TEffectSettings& After) {
    const unsigned control = differingFields(Before, After);
    if (control == 0) return;
    // A check box is a step of its own, never merged with a slider.
    const bool toggled = control >= (1u << 8);
    UndoStack->push(new TValueCommand<TEffectSettings, EffectsId>(
        "Effects", Before, After,
        [this](const TEffectSettings& Value) {
            if (OnEffectsApplied) OnEffectsApplied(Value);
        },
        toggled ? 0u : control));
}

void TSongUndo::TempoChanged(float Before, float After) {
    if (Before == After) return;
    UndoStack->push(new TValueCommand<float, TempoId>(
        "Tempo", Before, After,
        [this](const float& Value) {
            if (OnTempoApplied) OnTempoApplied(Value);
        },
        1u));
}

void TSongUndo::Undo() {
    if (!Blocked || !Blocked()) UndoStack->undo();
}

void TSongUndo::Redo() {
    if (!Blocked || !Blocked()) UndoStack->redo();
}

void TSongUndo::SetSaved() { UndoStack->setClean(); }

void TSongUndo::Clear() { UndoStack->clear(); }

void TSongUndo::ForgetSaved() {
    UndoStack->resetClean();
}
