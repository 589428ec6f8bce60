#pragma once
// The recent-files list shown as the entries of a menu ("Recent Files"): at most 12 entries, the
// newest first, each captioned with its full path. Choosing one raises OnOpenFile; the list is
// saved on every NotifyOpen and when this object goes.
#include "app/RecentFiles.h"

#include <QMenu>
#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

class QAction;

class TRecentFiles : public QObject {
    Q_OBJECT
  public:
    static constexpr int MenuEntries = 12;
    using TOpenFileEvent = std::function<void(TRecentFiles* Sender, const std::string& FileName)>;

    explicit TRecentFiles(QObject* Parent = nullptr);
    ~TRecentFiles() override;

    // The menu whose entries show the list; setting it rebuilds them.
    void SetMenuItem(QMenu* Value);
    QMenu* GetMenuItem() const { return MenuItem; }
    TOpenFileEvent OnOpenFile;

    void NotifyOpen(const std::string& FileName);
    void RebuildMenu();
    void SaveToReg() const { List.SaveToReg(); }
    void Clear();
    const cRecentFilesList& GetList() const { return List; }

    // The handler of every entry: fires OnOpenFile with the entry its tag names.
    void OnFileClick(QAction* Entry);

  private:
    cRecentFilesList List;
    QPointer<QMenu> MenuItem;
};
