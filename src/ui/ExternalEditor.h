#pragma once
// Opening an instrument's file in the user's sound editor: the program named in the settings,
// started without a shell with the path as its one argument, or the desktop's default
// application for the file when none is named.
#include <string>

namespace brindle::ui {

// False, with the reason in Error, when nothing could be started.
bool StartExternalEditor(const std::string& Editor, const std::string& File, std::string& Error);

} // namespace brindle::ui
