#pragma once
// The "Pattern" page: the strip with the pattern number ("#"), the length ("Len:") and the record
// button above the pattern grid, and the grid's commands — mute and solo, block copy, cut and
// paste through the application's clipboard, clearing, stop markers, inserting and deleting
// cells, and note entry. Every change of the song is one step of the undo history.
#include "app/SongEdit.h"
#include "song/Step.h"

#include <QWidget>

#include <functional>

class QAction;
class QPushButton;
class QSpinBox;
class TPatternGrid;
class TPatternModel;
class TSongUndo;
class cApp;

class TPatternEditor : public QWidget {
    Q_OBJECT

public:
    TPatternEditor(cApp& App, TSongUndo& Undo, QWidget* Parent = nullptr);

    QSpinBox* PatNumSpin;
    QSpinBox* RowNumSpin;
    QPushButton* RecordBtn;
    TPatternGrid* PatGrid;
    TPatternModel* Model;
    QAction* SoloAction;
    QAction* MuteAction;
    QAction* PlayAllAction;
    QAction* CopyAction;
    QAction* CutAction;
    QAction* PasteAction;

    // Commands of the grid, at its cursor or selection.
    void Solo();
    void Mute();
    void PlayAll();
    void Copy();
    void Cut();
    void Paste();
    void ClearCell();
    void StopMarker();
    void InsertCell();
    void DeleteCell();
    // A note from the keyboard: the cursor cell gets the active instrument at this pitch offset,
    // and the cursor moves one row down.
    void EnterNote(float Pitch);

    // The active pattern changed (a new pattern number, a new length, New or a load): the grid
    // takes its length, "Len:" shows it and "#" shows the pattern's number.
    void ActPatNumChange();
    // The sequencer's row changed: the play marker moves.
    void PlayRowChanged(int CurRow);
    // The page was shown: the grid takes the focus with the cursor on a data cell.
    void FocusGrid();
    // The cursor's row in grid rows (1 is the pattern's first row).
    int GridRow() const;
    void SetGridRow(int Row);
    // Cells, lengths or mutes changed outside the editor (undo, a load): repaint.
    void Refresh();

    // The cursor moved onto a channel whose first instrument is this one.
    std::function<void(TPatternEditor* Sender, int Instrument)> OnFollowInstrument;
    // The record button was pressed; the window decides the mode and sets the button.
    std::function<void(TPatternEditor* Sender)> OnRecord;

private:
    void BuildActions();
    void GridClick();
    void SetLength(int Rows);
    // The cursor cell as a step changed by Change; the cursor then moves one row down.
    void WriteCursorCell(const char* Text, const std::function<void(cStep&)>& Change);
    bool Change(const char* Text, const cSongEdit& Scope, const std::function<void()>& Body);

    cApp& App;
    TSongUndo& Undo;
    bool Quiet = false;
};
