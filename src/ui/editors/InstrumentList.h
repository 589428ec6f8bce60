#pragma once
// The instrument list, InsGrid: the song's 100 slots ("1. kick.wav") beside every page. A press
// on a row sounds the instrument while the button is held; moving through the list while stopped
// previews each one; files dropped on a row are assigned to it (several fill consecutive slots).
#include <QTableView>

#include <functional>
#include <string>
#include <vector>

class QMenu;
class cApp;

class TInstrumentList : public QTableView {
    Q_OBJECT

  public:
    explicit TInstrumentList(cApp& App, QWidget* Parent = nullptr);

    QMenu* InsPopup;
    QAction* AssignAction;
    QAction* PlayAction;
    QAction* AssignKeyAction;
    QAction* ClearAction;
    bool InsGridMouseHeld = false;

    int CursorRow() const;
    // Moves the cursor; with Notify the list's selection handling runs (as a keyboard move would).
    void SetCursorRow(int Row, bool Notify);
    // The selection handling without a preview (after a module is loaded).
    void SelectQuietly();
    void Refresh();
    // The text of a row: "1. kick.wav".
    QString RowText(int Row) const;

    // The selected instrument's file exists: the browser shows it (without a preview).
    std::function<void(TInstrumentList* Sender, const std::string& File)> OnShowFile;
    // Files dropped on a row (audio files for that slot and the ones after it).
    std::function<void(TInstrumentList* Sender, int Row, const std::vector<std::string>& Files)> OnDropFiles;
    // A module dropped on the list: the window opens it.
    std::function<void(TInstrumentList* Sender, const std::string& File)> OnDropModule;

  protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

  private:
    void Selected(bool Preview);
    void Released();

    cApp& App;
    bool Quiet = false;
};
