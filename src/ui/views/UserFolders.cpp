#include "ui/views/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace brindle::ui {

std::string MusicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return (!music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath()).toStdString();
}

} // namespace brindle::ui
