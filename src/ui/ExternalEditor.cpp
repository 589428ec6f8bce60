#include "ui/ExternalEditor.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace brindle::ui {

bool StartExternalEditor(const std::string& Editor, const std::string& File, std::string& Error) {
    if (File.empty()) {
        Error = "the instrument has no file";
        return false;
    }
    const QString file = QString::fromStdString(File);
    if (Editor.empty()) {
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(file))) return true;
        Error = "could not start the desktop's application for " + File;
        return false;
    }
    // No shell: the path is one argument whatever characters it holds.
    if (QProcess::startDetached(QString::fromStdString(Editor), {file})) return true;
    Error = "could not start " + Editor;
    return false;
}

} // namespace brindle::ui
