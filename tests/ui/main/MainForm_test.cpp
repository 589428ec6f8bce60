// The main window driven as a user would: start-up with a module, transport keys on each page,
// record mode, the project commands and their prompts, recovery after a crash, errors in handlers.
#include "app/App.h"
#include "app/LiveOutput.h"
#include "app/AudioSettings.h"
#include "app/ProjectFiles.h"
#include "app/SongEngine.h"
#include "base/AppInfo.h"
#include "base/Error.h"
#include "base/RegString.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "support/ui/Eventually.h"
#include "support/ui/TestWindow.h"
#include "ui/MainForm.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternModel.h"
#include "ui/dialogs/ExportForm.h"
#include "ui/document/RecoverySession.h"
#include "ui/views/RecentFiles.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/views/Log.h"
#include "ui/views/NortonPanel.h"

#include <QCheckBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace fs = std::filesystem;
using namespace brindle::test;

namespace {

class MainWindow : public ::testing::Test {
  protected:
    TempDir dir;
    cApp app;
    std::unique_ptr<TMainForm> form;
    int asked = 0;
    TSongDocument::TSaveAnswer answer = TSongDocument::TSaveAnswer::Cancel;
    std::string saveName;
    std::function<TSongDocument::TRecoveryAnswer(const std::string&)> recover = [](const std::string&) {
        return TSongDocument::TRecoveryAnswer::Open;
    };

    void SetUp() override {
        brindle::test::ClearRecovery();
        start({"brindle"});
    }
    void TearDown() override {
        if (form) form->Terminate();
        form.reset();
        brindle::test::ClearRecovery();
        brindle::SetCommandLine(std::vector<std::string>{"brindle"});
    }
    void start(std::vector<std::string> args) {
        if (form) form->Terminate();
        form.reset();
        brindle::SetCommandLine(std::move(args));
        form = std::make_unique<TMainForm>(app);
        form->Document().AskSaveChanges = [this](const std::string&) {
            ++asked;
            return answer;
        };
        form->Document().AskSaveFileName = [this] { return saveName; };
        form->Document().AskOpenFileName = [this] { return (dir / "song.hym").string(); };
        form->Document().AskRecovery = [this](const std::string& Info) { return recover(Info); };
        form->Document().ShowMessage = [](const std::string&) {};
        ASSERT_TRUE(brindle::test::ShowTestWindow(*form));
    }
    // A small song with one instrument and a note on every fourth row.
    std::string writeSong(const std::string& name, float bpm = 140) {
        WriteSoundFile(dir / "tick.wav", ConstantTone(1000, 441, 2), 44100, 2);
        auto song = std::make_unique<cSequencer>();
        song->SetBPM(bpm);
        song->SetInstrumentFile(1, (dir / "tick.wav").string());
        song->Orders[0].PatternIndex = 1;
        for (int r = 0; r < 16; r += 4)
            song->PatternAt(1).CellForWrite(0, r) = {1, 0};
        song->SaveFile((dir / name).string());
        return (dir / name).string();
    }
    std::string logText() const { return form->ApLog->toPlainText().toStdString(); }
    static std::unique_ptr<cSequencer> cSequencerLoaded(const std::string& Path) {
        auto song = std::make_unique<cSequencer>();
        song->LoadFile(Path);
        return song;
    }
    static std::vector<fs::path> recoveryCopies() {
        std::vector<fs::path> found;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(brindle::RecoveryFolder(), ec))
            if (entry.path().extension() == ".hym") found.push_back(entry.path());
        return found;
    }
    void edit() { form->BPMSpin->setValue(form->BPMSpin->value() + 1); }
};

TEST_F(MainWindow, StartsWithAModuleNamedOnTheCommandLine) {
    const auto path = writeSong("song.hym");
    // The browser was last in the song's folder: it stays there, on the first instrument's file.
    brindle::WriteRegString("Halyard\\InsFolder", dir.path().string());
    std::vector<QString> opened;
    start({"brindle", path});
    EXPECT_EQ(form->Song().FileName, path);
    EXPECT_EQ(form->InsPick->GetFileName(), (dir / "tick.wav").string());
    EXPECT_EQ(form->BPMSpin->value(), 140);
    EXPECT_EQ(form->windowTitle(), "song.hym[*] - Quillon Brindle");
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(form->CurrentPage(), TMainForm::OrderPage);
    // The export starts beside the song, under its name.
    EXPECT_TRUE(form->ExportForm->Edit1->text().startsWith(QString::fromStdString((dir / "song.").string())))
        << form->ExportForm->Edit1->text().toStdString();
    EXPECT_NE(logText().find("Opening...song.hym"), std::string::npos);
    // The page names and order, the transport captions.
    ASSERT_EQ(form->pag->count(), 5);
    EXPECT_EQ(form->pag->tabText(0), "Order");
    EXPECT_EQ(form->pag->tabText(3), "Output");
    EXPECT_EQ(form->pag->tabText(4), "Mixer");
    EXPECT_EQ(form->PlayButton->text(), "|>  Play");
    EXPECT_EQ(form->StopButton->text(), "[  ]  Stop");
    EXPECT_EQ(form->BPMSpin->minimum(), 1);
    EXPECT_EQ(form->BPMSpin->maximum(), 500);
}

TEST_F(MainWindow, UntitledCaptionAndFunctionKeysSwitchPages) {
    EXPECT_EQ(form->windowTitle(), "[*]Quillon Brindle");
    EXPECT_EQ(form->InsPickPath->text().toStdString(), form->InsPick->GetDir()) << "the browser's folder is named";
    QTest::keyClick(form.get(), Qt::Key_F3);
    EXPECT_EQ(form->CurrentPage(), TMainForm::PatternPage);
    QTest::keyClick(form.get(), Qt::Key_F4);
    EXPECT_EQ(form->CurrentPage(), TMainForm::InstrumentPage);
    QTest::keyClick(form.get(), Qt::Key_F2);
    EXPECT_EQ(form->CurrentPage(), TMainForm::OrderPage);
}

TEST_F(MainWindow, SpaceTogglesPlayOnThePatternAndInstrumentPagesOnly) {
    start({"brindle", writeSong("song.hym")});
    // Stopped, on the Order page: nothing happens.
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_FALSE(app.Playing());
    for (auto page : {TMainForm::PatternPage, TMainForm::InstrumentPage}) {
        form->ShowPage(page);
        QTest::keyClick(form.get(), Qt::Key_Space);
        // The Instrument page's Play does nothing either (only Order and Pattern play).
        EXPECT_EQ(app.Playing(), page == TMainForm::PatternPage) << page;
        if (page == TMainForm::PatternPage) {
            EXPECT_EQ(form->Song().PlayMode, PlayPatternLoop);
            QTest::keyClick(form.get(), Qt::Key_Space);
            EXPECT_FALSE(app.Playing());
        }
    }
    // Space is the play key even while the tempo field has the focus.
    form->ShowPage(TMainForm::PatternPage);
    form->BPMSpin->setFocus();
    QTest::keyClick(form->BPMSpin, Qt::Key_Space);
    EXPECT_TRUE(app.Playing());
    EXPECT_EQ(form->BPMSpin->value(), 140);
    QTest::keyClick(form->BPMSpin, Qt::Key_Space);
    EXPECT_FALSE(app.Playing());
    // Playing stops from any page, the Order page too.
    form->ShowPage(TMainForm::OrderPage);
    QTest::mouseClick(form->PlayButton, Qt::LeftButton);
    EXPECT_EQ(form->Song().PlayMode, PlaySongMode);
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_FALSE(app.Playing());
}

TEST_F(MainWindow, NotesPlayOnTheSpeakersWhilePlaying) {
    start({"brindle", writeSong("song.hym")});
    form->ShowPage(TMainForm::PatternPage);
    form->Play();
    // The null device pulls at real-time pace; the first row's note reaches the mixer.
    ASSERT_EVENTUALLY(form->Song().CurRow >= 2, 5000);
    EXPECT_GT(form->Output().GetSpeakers().GetPlayedTime(), 0.0f);
    form->Stop();
    EXPECT_EQ(form->Engine().Mixer().VoiceCount(), 0);
}

TEST_F(MainWindow, TheOutputPageListsTheSoundingVoices) {
    WriteSoundFile(dir / "long.wav", ConstantTone(1000, 44100 * 4, 2), 44100, 2);
    form->Song().SetInstrumentFile(1, (dir / "long.wav").string());
    form->Song().InstrumentAt(1).Stretch = 2; // twice as fast: half as long
    form->Engine().PreloadInstruments();
    form->ShowPage(TMainForm::OutputPage);
    app.PreviewActiveInstrument(3, -1);
    ASSERT_EVENTUALLY(form->MusicEventsMemo->toPlainText().contains("MixedTime:0.2"), 5000);
    const auto line = form->MusicEventsMemo->toPlainText().split('\n').first().toStdString();
    EXPECT_EQ(line.rfind((dir / "long.wav").string() + " Transpose:3.00 Speed:0.50 FilePos:", 0), 0u) << line;
    double filePos = 0, mixed = 0, toMix = 0;
    ASSERT_EQ(std::sscanf(line.c_str() + line.find("FilePos:"), "FilePos:%lf MixedTime:%lf TimeToMix:%lf",
                          &filePos, &mixed, &toMix),
              3)
        << line;
    EXPECT_NEAR(filePos, 2 * mixed, 0.021); // the file runs twice as fast as the output
    EXPECT_EQ(toMix, 2.0);
    form->Stop();
    ASSERT_EVENTUALLY(form->MusicEventsMemo->toPlainText().isEmpty(), 2000);
}

TEST_F(MainWindow, RecordThenStopPutsTheCursorBackWhereRecordingBegan) {
    start({"brindle", writeSong("song.hym")});
    form->ShowPage(TMainForm::PatternPage);
    form->SetGridRow(5);
    QTest::mouseClick(form->RecordBtn, Qt::LeftButton);
    EXPECT_TRUE(form->GetRecording());
    EXPECT_TRUE(form->RecordBtn->isChecked());
    EXPECT_EQ(form->Song().PlayMode, PlayPatternLoop);
    EXPECT_EQ(form->Song().CurRow, 5);
    // The cursor follows the playing row.
    ASSERT_EVENTUALLY(form->GetGridRow() > 6, 5000);
    QTest::mouseClick(form->StopButton, Qt::LeftButton);
    EXPECT_FALSE(form->GetRecording());
    EXPECT_FALSE(form->RecordBtn->isChecked());
    EXPECT_FALSE(app.Playing());
    EXPECT_EQ(form->GetGridRow(), 5);
}

TEST_F(MainWindow, SaveOnAnUntitledSongAsksForANameAndCancellingLeavesItUntitled) {
    saveName.clear(); // the user cancels the dialog
    edit();
    EXPECT_FALSE(form->Save());
    EXPECT_TRUE(form->Song().FileName.empty());
    EXPECT_TRUE(form->isWindowModified());
    saveName = (dir / "named.hym").string();
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(form->Song().FileName, saveName);
    EXPECT_TRUE(fs::exists(saveName));
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(form->windowTitle(), "named.hym[*] - Quillon Brindle");
    EXPECT_NE(logText().find("Saving..."), std::string::npos);
}

TEST_F(MainWindow, UnsavedChangesAreNeverLostWithoutAsking) {
    writeSong("song.hym", 90);
    // Nothing changed: no question.
    EXPECT_TRUE(form->New());
    EXPECT_EQ(asked, 0);
    edit();
    const int bpm = form->BPMSpin->value();
    // Cancel keeps everything, for New, Open and closing alike.
    answer = TSongDocument::TSaveAnswer::Cancel;
    EXPECT_FALSE(form->New());
    EXPECT_FALSE(form->Open());
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(int(form->Song().BPM.load()), bpm);
    // Save saves first (asking for a name), then the song is replaced.
    answer = TSongDocument::TSaveAnswer::Save;
    saveName = (dir / "kept.hym").string();
    EXPECT_TRUE(form->Open());
    EXPECT_EQ(form->Song().FileName, (dir / "song.hym").string());
    EXPECT_EQ(form->Song().BPM.load(), 90.0f);
    auto kept = std::make_unique<cSequencer>();
    kept->LoadFile(saveName);
    EXPECT_EQ(int(kept->BPM.load()), bpm);
    // Discard drops the edit.
    edit();
    answer = TSongDocument::TSaveAnswer::Discard;
    EXPECT_TRUE(form->close());
    EXPECT_EQ(asked, 5);
}

// Each window keeps its own recovery copy: a second window never takes a live one, a crashed
// window's copy is offered at the next start (with a module named too) under the song's own
// name, and saving or a clean exit removes only the window's own copy.
TEST_F(MainWindow, UnsavedWorkComesBackAfterACrashAndBelongsToItsWindow) {
    const auto path = writeSong("song.hym", 90);
    const auto other = writeSong("other.hym", 100);
    ASSERT_TRUE(form->OpenFile(path));
    edit();
    edit();
    const int bpm = form->BPMSpin->value();
    form->Document().WriteRecovery(); // the recovery timer's tick
    const std::string copy = form->Document().Recovery().CopyPath();
    ASSERT_TRUE(fs::exists(copy));

    // A second window while the first runs: nothing to offer; its clean exit leaves the copy.
    {
        cApp secondApp;
        TMainForm second(secondApp);
        int offered = 0;
        second.Document().AskRecovery = [&](const std::string&) {
            ++offered;
            return TSongDocument::TRecoveryAnswer::Discard;
        };
        second.show();
        second.FirstActivation();
        EXPECT_EQ(offered, 0);
        EXPECT_TRUE(second.close());
    }
    EXPECT_TRUE(fs::exists(copy));

    // A crash: the window never closes and its lock dies with it. It is left behind hidden and
    // still, since the application object it points to ends with this test.
    for (QTimer* timer : {form->PositionUpdateTimer, form->ASTmr, form->RecoveryTmr}) timer->stop();
    form->hide();
    fs::remove(fs::path(copy).replace_extension(".lock"));
    form.release();

    // Keep for later leaves it; the next start, with a module named, offers it again.
    std::vector<std::string> questions;
    auto recovery = TSongDocument::TRecoveryAnswer::Keep;
    auto ask = [&](const std::string& Info) {
        questions.push_back(Info);
        return recovery;
    };
    recover = ask;
    start({"brindle"});
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].starts_with("Unsaved changes to song.hym from ")) << questions[0];
    EXPECT_FALSE(form->isWindowModified());
    recovery = TSongDocument::TRecoveryAnswer::Open;
    start({"brindle", other});
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(form->Song().FileName, path);
    EXPECT_EQ(form->BPMSpin->value(), bpm);
    EXPECT_TRUE(form->isWindowModified());
    EXPECT_EQ(form->windowTitle(), "song.hym[*] - Quillon Brindle");
    EXPECT_NE(logText().find("Recovered"), std::string::npos);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(form->RecentFilesMan->GetList().Item(0), other); // a recovered copy is no recent file
    // Saving over the song's own file asks first; then nothing is left to recover.
    int replaceAsked = 0;
    form->Document().AskReplaceFile = [&](const std::string&) { return ++replaceAsked == 2; };
    EXPECT_FALSE(form->Save());
    EXPECT_TRUE(form->Save());
    EXPECT_EQ(replaceAsked, 2);
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(int(cSequencerLoaded(path)->BPM.load()), bpm);
    EXPECT_TRUE(recoveryCopies().empty());
    // A discarded copy is gone for good.
    edit();
    form->Document().WriteRecovery();
    fs::remove(fs::path(form->Document().Recovery().CopyPath()).replace_extension(".lock"));
    recovery = TSongDocument::TRecoveryAnswer::Discard;
    auto probe = std::make_unique<TRecoverySession>();
    ASSERT_EQ(probe->ClaimOrphans().size(), 1u);
    probe.reset();
    start({"brindle"});
    EXPECT_EQ(questions.size(), 3u);
    EXPECT_TRUE(recoveryCopies().empty());
}

// The status bar says where the playing song is, and record mode is red there and on its button.
TEST_F(MainWindow, TheStatusBarFollowsThePlayingSongAndShowsRecording) {
    const auto path = writeSong("song.hym", 480);
    ASSERT_TRUE(form->OpenFile(path));
    auto* position = form->findChild<QLabel*>("StatusPosition");
    auto* rec = form->findChild<QLabel*>("StatusRecording");
    ASSERT_TRUE(position && rec);
    EXPECT_EQ(position->text(), "Stopped");
    form->ShowPage(TMainForm::OrderPage);
    form->Play();
    // One entry of 16 rows at 480 BPM lasts 0.5 s.
    ASSERT_EVENTUALLY(position->text().startsWith("Order 1/1 \u00b7 Pattern 1 \u00b7 Row "), 2000);
    EXPECT_TRUE(position->text().endsWith(" / 0:00.5")) << position->text().toStdString();
    ASSERT_EVENTUALLY(position->text() == "Stopped", 3000);
    EXPECT_FALSE(rec->isVisibleTo(form.get()));
    form->ShowPage(TMainForm::PatternPage);
    form->Record();
    ASSERT_EVENTUALLY(rec->isVisibleTo(form.get()), 1000);
    EXPECT_TRUE(form->RecordBtn->isChecked());
    // The pressed button is painted red.
    const QImage shot = form->RecordBtn->grab().toImage();
    const QColor middle = shot.pixelColor(shot.width() / 2, 2);
    EXPECT_GT(middle.red(), 150);
    EXPECT_LT(middle.green(), 80);
    form->Stop();
    ASSERT_EVENTUALLY(!rec->isVisibleTo(form.get()), 1000);
}

// The window and its song come first; the device opens after the first paint. Play pressed in
// between is not lost: the song starts when the device pulls.
TEST_F(MainWindow, PlayPressedBeforeTheDeviceIsOpenStartsWhenItIs) {
    const auto path = writeSong("song.hym");
    form->Terminate();
    form.reset();
    brindle::SetCommandLine(std::vector<std::string>{"brindle", path});
    cApp fresh;
    TMainForm window(fresh);
    window.Document().AskRecovery = [](const std::string&) { return TSongDocument::TRecoveryAnswer::Keep; };
    window.show();
    window.FirstActivation();
    EXPECT_EQ(window.Output().GetSpeakers().GetStats(), nullptr) << "no device before the event loop runs";
    EXPECT_EQ(window.PatternEditor->Model->rowCount(), 16) << "the song's grid is there at once";
    window.ShowPage(TMainForm::OrderPage);
    window.Play();
    ASSERT_EVENTUALLY(window.Song().CurRow > 2, 3000);
    EXPECT_NE(window.Output().GetSpeakers().GetStats(), nullptr);
    window.Document().AskSaveChanges = [](const std::string&) { return TSongDocument::TSaveAnswer::Discard; };
    window.close();
}

TEST_F(MainWindow, AutosaveNeverAsksForANameAndNeverWritesOverTheUsersFile) {
    int dialogs = 0;
    form->Document().AskSaveFileName = [&] {
        ++dialogs;
        return std::string();
    };
    edit();
    form->Document().Autosave();
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(recoveryCopies().size(), 1u);
    EXPECT_NE(logText().find("Autosave..."), std::string::npos);
    // A titled song is saved where it is.
    const auto path = writeSong("song.hym");
    answer = TSongDocument::TSaveAnswer::Discard;
    ASSERT_TRUE(form->OpenFile(path));
    edit();
    form->Document().Autosave();
    auto saved = std::make_unique<cSequencer>();
    saved->LoadFile(path);
    EXPECT_EQ(int(saved->BPM.load()), form->BPMSpin->value());
    EXPECT_EQ(dialogs, 0);
}

TEST_F(MainWindow, OpeningABrokenModuleKeepsTheSongAndSaysWhy) {
    const auto path = writeSong("song.hym");
    ASSERT_TRUE(form->OpenFile(path));
    std::ofstream(dir / "broken.hym") << "<halyard.module BPM='1";
    EXPECT_FALSE(form->OpenFile((dir / "broken.hym").string()));
    EXPECT_EQ(form->Song().FileName, path);
    EXPECT_EQ(form->BPMSpin->value(), 140);
    std::vector<std::string> boxes;
    form->Document().ShowMessage = [&](const std::string& Text) { boxes.push_back(Text); };
    EXPECT_FALSE(form->OpenFile((dir / "nothing.hym").string()));
    EXPECT_NE(logText().find("XML Load: file doesn't exist"), std::string::npos);
    EXPECT_EQ(boxes, std::vector<std::string>{"XML Load: file doesn't exist"});
}

TEST_F(MainWindow, AnErrorThrownInsideAHandlerLandsInTheLog) {
    QTimer::singleShot(0, form.get(), [] { throw brindle::Error("TEqualizer - ReadStream not defined"); });
    ASSERT_EVENTUALLY(logText().find("TEqualizer - ReadStream not defined") != std::string::npos, 2000);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainWindow, ConfirmedAudioSettingsReinitialiseTheOutputWhileItPlays) {
    start({"brindle", writeSong("song.hym")});
    form->ShowPage(TMainForm::PatternPage);
    form->Play();
    // The user moves the buffer slider to 25 ms, ticks autosave and confirms.
    QTimer::singleShot(0, form.get(), [this] {
        form->SettingsForm->ScrollBar1->setValue(25);
        form->SettingsForm->cbAS->setChecked(true);
        QTest::mouseClick(form->SettingsForm->OKBtn, Qt::LeftButton);
    });
    form->AudioSettings();
    EXPECT_EQ(cAudioSettings::Read().Buffer, 25);
    EXPECT_TRUE(form->ASTmr->isActive());
    EXPECT_EQ(form->Output().GetAudioApplication().GetBufferLenMs(), 25);
    // The song plays on through the new output.
    const float played = form->Output().GetSpeakers().GetPlayedTime();
    ASSERT_EVENTUALLY(form->Output().GetSpeakers().GetPlayedTime() > played + 0.1f, 3000);
    EXPECT_TRUE(app.Playing());
    // Cancel stores nothing.
    QTimer::singleShot(0, form.get(), [this] {
        form->SettingsForm->ScrollBar1->setValue(80);
        form->SettingsForm->reject();
    });
    form->AudioSettings();
    EXPECT_EQ(cAudioSettings::Read().Buffer, 25);
}

TEST_F(MainWindow, SaveSwitchWritesTheSongAtStartUp) {
    const auto path = writeSong("song.hym");
    const auto copy = (dir / "copy.hym").string();
    start({"brindle", path, "SAVE", copy});
    auto saved = std::make_unique<cSequencer>();
    saved->LoadFile(copy);
    EXPECT_EQ(saved->BPM.load(), 140.0f);
    EXPECT_EQ(saved->InstrumentAt(1).GetFileName(), (dir / "tick.wav").string());
}

} // namespace
