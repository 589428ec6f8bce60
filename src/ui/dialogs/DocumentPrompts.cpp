#include "ui/dialogs/DocumentPrompts.h"

#include "ui/views/UserFolders.h"
#include "base/RegString.h"
#include "ui/document/SongDocument.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <filesystem>

namespace fs = std::filesystem;

namespace brindle::ui {

namespace {

const char* const ModuleFilter = "HYM - Halyard Module (*.hym);;Any file (*)";

// Where the file dialogs start: the song's folder, else the folder last used, else the user's
// music (never the program's own folder, which an installed program cannot write to).
std::string startFolder(const TSongDocument& Doc) {
    std::error_code ec;
    if (!Doc.FileName().empty()) return fs::path(Doc.FileName()).parent_path().string();
    const std::string last = TRegString("SongFolder", "").Get();
    if (!last.empty() && fs::is_directory(last, ec)) return last;
    return brindle::ui::MusicFolder();
}

void rememberFolder(const std::string& Path) {
    if (!Path.empty()) TRegString("SongFolder", "").Set(fs::path(Path).parent_path().string());
}

} // namespace

void InstallDocumentPrompts(TSongDocument& Document, QWidget& Window) {
    TSongDocument* doc = &Document;
    QWidget* window = &Window;
    doc->AskOpenFileName = [doc, window] {
        const QString path =
            QFileDialog::getOpenFileName(window, "Open", QString::fromStdString(startFolder(*doc)), ModuleFilter);
        rememberFolder(path.toStdString());
        return path.toStdString();
    };
    doc->AskSaveFileName = [doc, window] {
        const std::string start = (fs::path(startFolder(*doc)) / (doc->FileName().empty() ? "Untitled.hym" : doc->DisplayName())).string();
        QFileDialog dialog(window, "Save as", QString::fromStdString(start), "HYM (Halyard Module) (*.hym)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("hym");
        const std::string path = dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0).toStdString() : std::string();
        rememberFolder(path);
        return path;
    };
    doc->AskSaveChanges = [window](const std::string& Name) {
        const auto answer = QMessageBox::question(window, window->windowTitle(), QString::fromStdString("Save changes to " + Name + "?"),
                                                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                                  QMessageBox::Save);
        return answer == QMessageBox::Save      ? TSongDocument::TSaveAnswer::Save
               : answer == QMessageBox::Discard ? TSongDocument::TSaveAnswer::Discard
                                                : TSongDocument::TSaveAnswer::Cancel;
    };
    doc->AskReplaceFile = [window](const std::string& Path) {
        const std::string text = Path + " may have changed since this work was kept. Replace it?";
        return QMessageBox::question(window, window->windowTitle(), QString::fromStdString(text)) == QMessageBox::Yes;
    };
    doc->AskRecovery = [window](const std::string& Info) {
        QMessageBox box(QMessageBox::Question, window->windowTitle(), QString::fromStdString(Info), QMessageBox::NoButton, window);
        auto* open = box.addButton("Open", QMessageBox::AcceptRole);
        auto* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
        box.addButton("Keep for later", QMessageBox::RejectRole);
        box.setDefaultButton(open);
        box.exec();
        return box.clickedButton() == open      ? TSongDocument::TRecoveryAnswer::Open
               : box.clickedButton() == discard ? TSongDocument::TRecoveryAnswer::Discard
                                                : TSongDocument::TRecoveryAnswer::Keep;
    };
    doc->ShowMessage = [window](const std::string& Text) {
        QMessageBox::information(window, window->windowTitle(), QString::fromStdString(Text));
    };
}

} // namespace brindle::ui
