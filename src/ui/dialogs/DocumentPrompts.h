#pragma once
// The questions the song document asks the user (file names, unsaved changes, recovery copies),
// as the window's dialogs. Tests set their own answers instead.
class QWidget;
class TSongDocument;

namespace brindle::ui {

void InstallDocumentPrompts(TSongDocument& Document, QWidget& Window);

} // namespace brindle::ui
