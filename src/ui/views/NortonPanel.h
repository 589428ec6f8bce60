#pragma once
// The instrument file browser: a one-column list of the drives, or of the sub-folders and files of
// one folder, driven by the keyboard and by double clicks. Enter or a double click opens a folder
// (or raises OnOpenFile for a file), Backspace and Left go up with the cursor on the folder just
// left, Right goes into the folder under the cursor, a click on a file raises OnPreview. A folder
// that cannot be read is reported through OnLog and changes nothing.
#include "ui/views/NortonModel.h"

#include <QListView>

#include <functional>
#include <string>

class TNortonPanel : public QListView {
    Q_OBJECT
  public:
    static constexpr int DefaultRowHeight = 20;
    static constexpr int ColumnWidth = 280; // the main window's instance

    using TNotifyEvent = std::function<void(TNortonPanel* Sender)>;
    using TFileEvent = std::function<void(TNortonPanel* Sender, const std::string& FileName)>;
    using TLogEvent = std::function<void(TNortonPanel* Sender, const std::string& Text)>;

    // Starts on the root folder.
    explicit TNortonPanel(QWidget* Parent = nullptr);

    // Lists a folder, or the drives when Value is empty.
    void SetDir(const std::string& Value);
    const std::string& GetDir() const { return Dir; }
    // Extensions without dots separated by ";" (wav;mp3); empty lists every file. Lists Dir again.
    void SetFileExt(const std::string& Value);
    const std::string& GetFileExt() const { return FileExt; }
    // The full path of the file in the current row, "" when the row is not a file.
    std::string GetFileName() const;
    // Lists the folder of Value with the cursor on its file (letter case aside).
    void SetFileName(const std::string& Value);

    int GetRow() const;
    void SetRow(int Row);
    int RowCount() const { return Model->GetItems().Count(); }
    // Throws "cTemplateList - to big item number" for a row outside the list.
    const TPanelItem& Item(int Row) const { return *Model->GetItems().Item(Row); }
    QString RowText(int Row) const { return TNortonModel::RowText(Item(Row)); }

    // The row actions: Enter and a double click on the current row; going up a level.
    void GridDblClick();
    void GoUp();
    // The panel's keys; false for a key it leaves to the list.
    bool GridKeyDown(int Key);

    TNotifyEvent OnDir;    // after every listing
    TFileEvent OnPreview;  // a left press on a file row, or the keyboard moving onto one
    TFileEvent OnOpenFile; // Enter or a double click on a file row
    TLogEvent OnLog;       // a folder or file that cannot be used

  protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;

  private:
    bool ListDir(const std::string& Folder);
    void ListDrives();
    // Moves the cursor to the first folder or drive row named Name: the exact name first.
    void RestOn(const std::string& Name, bool Files);
    void Preview(int Row);
    // The path of a file row if the file is still there; otherwise logs why and returns "".
    std::string ExistingFile(int Row);
    void Log(const std::string& Text);

    TNortonModel* Model;
    std::string Dir;
    std::string FileExt;
    bool KeyMoving = false; // a key of the list's own is moving the cursor
};
