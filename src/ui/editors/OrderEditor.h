#pragma once
// The Order page: the order list grid, its Edit/Goto/Clone buttons and its context menu. Every
// change to the list goes through the undo history; playback and page changes go out through hooks.
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QMenu;
class QPushButton;
class TOrderGrid;
class TOrdPatNumForm;
class TSongUndo;
class cApp;
class cSequencer;

class TOrderEditor : public QWidget {
    Q_OBJECT

public:
    TOrderEditor(cApp& App, TSongUndo& Undo, QWidget* Parent = nullptr);
    ~TOrderEditor() override;

    TOrderGrid* ordgrid;
    QPushButton* OrdEditBtn;
    QPushButton* GotoPattern;
    QPushButton* ClonePatternBtn;
    QMenu* OrdPopup;

    // Commands on the entry under the cursor.
    void Edit();
    void GotoPatternCmd();
    void PlayStop();
    void DeleteEntry();
    void InsertEntry();
    void Clone();

    // 0-based grid row of the cursor.
    int CurrentRow() const;
    void SetCurrentRow(int Row0Based);
    // Repaints the whole grid (after an undo or a load).
    void Refresh();
    // Repaints the rows whose "-->" marker moved since the last call.
    void CurOrderChanged();
    // The page was shown: the grid takes the focus with a current row.
    void FocusGrid();

    // Hooks; the first four have defaults.
    std::function<bool(TOrdPatNumForm* Form)> RunDialog;
    std::function<void(const std::string& Text)> ShowMessage;
    std::function<void(int Row0Based)> OnPlaySong;
    std::function<void()> OnStop;
    std::function<void(int Pattern)> OnGotoPattern;
    std::function<void(int Pattern)> OnShowPattern;

    // The dialog Edit runs, kept so an empty entry opens with the last number.
    TOrdPatNumForm* PatNumForm() const { return Form; }

private:
    int CursorPattern() const;
    // One step of the undo history: Change at the cursor's order position.
    void EditAtCursor(const char* Text, void (cSequencer::*Change)(int Position));
    void ShowPattern(int Row);

    cApp& App;
    TSongUndo& Undo;
    TOrdPatNumForm* Form;
    int PaintedCurOrder = 0;
};
