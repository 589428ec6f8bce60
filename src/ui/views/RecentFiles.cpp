#include "ui/views/RecentFiles.h"

#include <QAction>

TRecentFiles::TRecentFiles(QObject* Parent) : QObject(Parent) {}

TRecentFiles::~TRecentFiles() {
    List.SaveToReg();
}

void TRecentFiles::SetMenuItem(QMenu* Value) {
    MenuItem = Value;
    RebuildMenu();
}

void TRecentFiles::NotifyOpen(const std::string& FileName) {
    List.NotifyOpen(FileName);
    RebuildMenu();
}

void TRecentFiles::Clear() {
    List.Clear();
    RebuildMenu();
}

void TRecentFiles::RebuildMenu() {
    if (!MenuItem) return;
    // The menu may be rebuilt from inside an entry's own click (opening a file announces it), so
    // the old entries are deleted once that click has returned.
    for (QAction* Old : MenuItem->actions()) {
        MenuItem->removeAction(Old);
        if (Old->parent() == MenuItem || Old->parent() == this) Old->deleteLater();
    }
    for (int i = 0; i < List.Count() && i < MenuEntries; ++i) {
        QString Caption = QString::fromStdString(List.Item(i));
        // A path's own '&' is not a shortcut marker.
        Caption.replace('&', "&&");
        QAction* Entry = MenuItem->addAction(Caption);
        Entry->setData(i);
        connect(Entry, &QAction::triggered, this, [this, Entry] { OnFileClick(Entry); });
    }
}

void TRecentFiles::OnFileClick(QAction* Entry) {
    if (!Entry) return;
    bool Ok = false;
    const int Index = Entry->data().toInt(&Ok);
    if (!Ok || Index < 0 || Index >= List.Count()) return;
    if (OnOpenFile) OnOpenFile(this, List.Item(Index));
}
