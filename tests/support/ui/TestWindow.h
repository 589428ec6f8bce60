#pragma once
// The main window as the window tests open it: its own command line, no recovery question, no
// prompts that would wait for a click, shown, active and past its first activation.
#include "app/App.h"
#include "app/ProjectFiles.h"
#include "base/AppInfo.h"
#include "song/Sequencer.h"
#include "ui/MainForm.h"

#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace brindle::test {

// Recovery copies of earlier tests would be offered to the next window.
inline void ClearRecovery() {
    std::error_code ec;
    std::filesystem::remove_all(RecoveryFolder(), ec);
}

// Shows the window, active and past its first activation, with its devices started and the
// instruments of the song it opened decoded. False when it never got there.
inline bool ShowTestWindow(TMainForm& Form) {
    Form.show();
    Form.activateWindow();
    if (!QTest::qWaitForWindowActive(&Form)) return false;
    Form.FirstActivation();
    // The devices start once the window is up; a song's instruments are decoded behind it.
    QTest::qWait(20);
    return QTest::qWaitFor([&] { return !Form.Document().PreparingInstruments(); }, 10000);
}

inline std::unique_ptr<TMainForm> OpenTestWindow(cApp& App, std::vector<std::string> Args = {"brindle"}) {
    ClearRecovery();
    SetCommandLine(std::move(Args));
    auto form = std::make_unique<TMainForm>(App);
    form->Document().AskRecovery = [](const std::string&) { return TSongDocument::TRecoveryAnswer::Keep; };
    form->Document().AskSaveChanges = [](const std::string&) { return TSongDocument::TSaveAnswer::Discard; };
    form->Document().ShowMessage = [](const std::string&) {};
    EXPECT_TRUE(ShowTestWindow(*form));
    return form;
}

// The window opened on Song, saved first as Path: the module named on its command line.
inline std::unique_ptr<TMainForm> OpenTestWindowOn(cApp& App, cSequencer& Song, const std::filesystem::path& Path) {
    Song.SaveFile(Path.string());
    return OpenTestWindow(App, {"brindle", Path.string()});
}

inline void CloseTestWindow(std::unique_ptr<TMainForm>& Form) {
    if (Form) Form->Terminate();
    Form.reset();
    ClearRecovery();
    SetCommandLine(std::vector<std::string>{"brindle"});
}

} // namespace brindle::test
