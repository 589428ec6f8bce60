// The instrument list and the Instrument page in the window: slider mappings and labels at their
// edges, values a module holds outside the sliders, fitting to rows, hot keys, the list's preview
// tags on the mixer, assigning by dialog and by drop, clearing, and the external editor.
#include "app/App.h"
#include "app/AudioSettings.h"
#include "app/ProjectFiles.h"
#include "app/SongEngine.h"
#include "audio/mixer/LiveMixer.h"
#include "audio/soundlib/SoundFile.h"
#include "audio/waveform/WavDataStore.h"
#include "base/AppInfo.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "support/ui/Eventually.h"
#include "support/ui/TestWindow.h"
#include "ui/InstrumentCommands.h"
#include "ui/MainForm.h"
#include "ui/dialogs/SampleCutForm.h"
#include "ui/editors/InstrumentList.h"
#include "ui/editors/InstrumentPanel.h"
#include "ui/editors/PercussionMenu.h"
#include "ui/views/AudioView.h"
#include "ui/views/Log.h"
#include "ui/views/NortonPanel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

using namespace brindle::test;
namespace fs = std::filesystem;

namespace {

class Instruments : public ::testing::Test {
  protected:
    TempDir dir;
    cApp app;
    std::unique_ptr<TMainForm> form;
    std::string chosen;
    QKeySequence hotKey;
    double fitRows = 4;

    void SetUp() override {
        form = OpenTestWindow(app);
        form->Instruments->AskInstrumentFile = [this] { return chosen; };
        form->Instruments->AskHotKey = [this](QKeySequence& Key) {
            Key = hotKey;
            return true;
        };
        form->Instruments->AskFitRows = [this](double& Rows) {
            Rows = fitRows;
            return true;
        };
    }
    void TearDown() override { CloseTestWindow(form); }
    std::string tone(const char* Name, double Seconds) {
        WriteSoundFile(dir / Name, ConstantTone(2000, std::int64_t(44100 * Seconds), 2), 44100, 2);
        return (dir / Name).string();
    }
    TInstrumentPanel& panel() { return *form->InstrumentPanel; }
    cInstrument& ins(int N) { return form->Song().InstrumentAt(N); }
    std::vector<int> voiceTags() {
        std::vector<TLiveMixer::TVoiceInfo> voices;
        form->Engine().Mixer().GetVoices(voices);
        std::vector<int> tags;
        for (const auto& v : voices)
            tags.push_back(v.Tag);
        return tags;
    }
    // Files dragged from a file manager and dropped on a row of the list.
    void drop(const std::vector<std::string>& Files, int Row) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const auto& f : Files)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(f)));
        mime.setUrls(urls);
        TInstrumentList& list = *form->InsGrid;
        list.scrollTo(list.model()->index(Row, 0));
        const QPoint at = list.visualRect(list.model()->index(Row, 0)).center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(list.viewport(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(list.viewport(), &move);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(list.viewport(), &dropped);
    }
    void select(int N) {
        form->InsGrid->SetCursorRow(N - 1, false);
        form->InsGrid->SelectQuietly();
    }
};

TEST_F(Instruments, SlidersMapValuesAndLabelsAsShown) {
    ins(2).Volume = 1.2345f;
    ins(2).Stretch = 1 / 0.6f;
    select(2);
    EXPECT_EQ(panel().VolumeScroll->value(), 1235); // the nearest position
    EXPECT_EQ(panel().StretchScroll->value(), 600);
    EXPECT_EQ(panel().VolumeLbl->text(), "x1.23");
    // Selecting writes nothing back: the song sounds as it was saved.
    EXPECT_EQ(ins(2).Volume, 1.2345f);
    EXPECT_EQ(ins(2).Stretch, 1 / 0.6f);
    EXPECT_FALSE(form->isWindowModified());
    // "Length:" at 2000 on a 1.5 s sample.
    chosen = tone("one_and_a_half.wav", 1.5);
    form->Instruments->AssignByDialog();
    panel().StretchScroll->setValue(2000);
    EXPECT_FLOAT_EQ(ins(2).Stretch, 0.5f);
    EXPECT_EQ(panel().SpeedLbl->text(), "x2.00");
    EXPECT_EQ(panel().Label10->text(), "1.50 s ~ 3.00 s");
    panel().PitchScroll->setValue(1500);
    EXPECT_EQ(panel().TranspLbl->text(), "+1.50");
    panel().PitchScroll->setValue(-2250);
    EXPECT_EQ(panel().TranspLbl->text(), "-2.25");
    EXPECT_TRUE(form->isWindowModified());
    // A click on a caption resets its slider.
    form->ShowPage(TMainForm::InstrumentPage);
    QTest::mouseClick(panel().PitchCap, Qt::LeftButton);
    EXPECT_EQ(panel().TranspLbl->text(), "0.00");
    QTest::mouseClick(panel().StretchCap, Qt::LeftButton);
    EXPECT_FLOAT_EQ(ins(2).Stretch, 1.0f);
}

TEST_F(Instruments, ValuesOutsideTheSlidersAreShownAndKept) {
    ins(3).Volume = 5.0f;
    ins(3).Pitch = 24.0f;
    ins(3).Stretch = 100.0f;
    select(3);
    EXPECT_EQ(panel().VolumeScroll->value(), 2000);
    EXPECT_EQ(panel().VolumeLbl->text(), "x5.00");
    EXPECT_FLOAT_EQ(ins(3).Volume, 5.0f);
    EXPECT_EQ(panel().PitchScroll->value(), 12000);
    EXPECT_EQ(panel().TranspLbl->text(), "+24.00");
    EXPECT_FLOAT_EQ(ins(3).Pitch, 24.0f);
    EXPECT_EQ(panel().StretchScroll->value(), 50);
    EXPECT_FLOAT_EQ(ins(3).Stretch, 100.0f);
    // Moving that slider takes over.
    panel().VolumeScroll->setValue(1500);
    EXPECT_FLOAT_EQ(ins(3).Volume, 1.5f);
    EXPECT_FLOAT_EQ(ins(3).Pitch, 24.0f);
}

TEST_F(Instruments, FittingToRowsStretchesTheSample) {
    chosen = tone("two.wav", 2.0);
    form->Instruments->AssignByDialog();
    form->Song().SetBPM(120);
    form->Instruments->AdjustLength();
    EXPECT_FLOAT_EQ(ins(1).Stretch, 4.0f);
    EXPECT_EQ(panel().StretchScroll->value(), 250);
    // An empty slot: nothing changes, and the log says why.
    select(9);
    form->Instruments->AdjustLength();
    EXPECT_FLOAT_EQ(ins(9).Stretch, 1.0f);
    EXPECT_NE(form->ApLog->toPlainText().indexOf("adjust length"), -1);
}

TEST_F(Instruments, AKeyPlaysOneInstrumentAndAnInstrumentHasOneKey) {
    auto items = [&] {
        std::vector<std::pair<int, QKeySequence>> out;
        for (QAction* a : form->Drums->actions())
            if (a->data().toInt() != 0) out.push_back({a->data().toInt(), a->shortcut()});
        return out;
    };
    EXPECT_FALSE(form->Drums->menuAction()->isVisible());
    select(3);
    hotKey = QKeySequence("Ctrl+1");
    form->Instruments->AssignToKey();
    EXPECT_TRUE(form->Drums->menuAction()->isVisible());
    select(5);
    form->Instruments->AssignToKey();
    ASSERT_EQ(items().size(), 1u);
    EXPECT_EQ(items()[0].first, 5);
    hotKey = QKeySequence("Ctrl+2");
    form->Instruments->AssignToKey();
    ASSERT_EQ(items().size(), 1u);
    EXPECT_EQ(items()[0].second, QKeySequence("Ctrl+2"));
    // The key plays the instrument.
    chosen = tone("five.wav", 1.0);
    form->Instruments->AssignByDialog();
    QTest::keyClick(form.get(), Qt::Key_2, Qt::ControlModifier);
    ASSERT_EVENTUALLY(!voiceTags().empty(), 2000);
    form->Percussion->Clear();
    EXPECT_TRUE(items().empty());
    EXPECT_FALSE(form->Drums->menuAction()->isVisible());
}

TEST_F(Instruments, APressedRowSoundsUntilReleaseAndArrowsPreviewWhileStopped) {
    chosen = tone("a.wav", 3.0);
    form->Instruments->AssignByDialog();
    form->Song().SetInstrumentFile(2, tone("b.wav", 3.0));
    form->Engine().PreloadInstruments();
    TInstrumentList& list = *form->InsGrid;
    const QPoint row0 = list.visualRect(list.model()->index(0, 0)).center();
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, row0);
    ASSERT_EVENTUALLY(voiceTags() == std::vector<int>{ListPreviewTag}, 2000);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, row0);
    ASSERT_EVENTUALLY(voiceTags().empty(), 2000);
    // An arrow key moves and previews; the preview keeps sounding after the key is up.
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(app.GetActiveInstrument(), 2);
    ASSERT_EVENTUALLY(voiceTags() == std::vector<int>{ListPreviewTag}, 2000);
    QTest::qWait(100);
    EXPECT_EQ(voiceTags(), std::vector<int>{ListPreviewTag});
    EXPECT_EQ(list.RowText(1), "2. b.wav");
}

TEST_F(Instruments, AssigningByDialogAndByDropAndClearing) {
    ins(4).Volume = 0.5f;
    ins(4).Pitch = 3.0f;
    select(4);
    chosen = tone("kick.wav", 0.5);
    form->Instruments->AssignByDialog();
    EXPECT_EQ(ins(4).GetFileName(), chosen);
    EXPECT_FLOAT_EQ(ins(4).Volume, 1.0f);
    EXPECT_FLOAT_EQ(ins(4).Pitch, 0.0f);
    EXPECT_EQ(panel().InsFileName->text().toStdString(), chosen);
    EXPECT_EQ(form->InsGrid->RowText(3), "4. kick.wav");
    EXPECT_EQ(form->InsPick->GetFileName(), chosen) << "the browser went along to the file";
    // Three files dropped on row 10 fill slots 10, 11 and 12.
    drop({tone("x.wav", 0.2), tone("y.wav", 0.2), tone("z.wav", 0.2)}, 9);
    EXPECT_EQ(fs::path(ins(10).GetFileName()).filename(), "x.wav");
    EXPECT_EQ(fs::path(ins(11).GetFileName()).filename(), "y.wav");
    EXPECT_EQ(fs::path(ins(12).GetFileName()).filename(), "z.wav");
    EXPECT_EQ(app.GetActiveInstrument(), 10);
    // Past the last slot the rest is named in the log.
    form->Instruments->AssignFiles(99, {tone("last.wav", 0.2), tone("over.wav", 0.2)});
    EXPECT_EQ(fs::path(ins(100).GetFileName()).filename(), "last.wav");
    EXPECT_NE(form->ApLog->toPlainText().indexOf("over.wav"), -1);
    // Clear empties the slot.
    select(4);
    form->Instruments->Clear();
    EXPECT_TRUE(ins(4).GetFileName().empty());
    EXPECT_TRUE(ins(4).Name.empty());
    EXPECT_EQ(form->InsGrid->RowText(3), "4. ");
}

TEST_F(Instruments, NextAndPreviousInstrumentStopAtTheEnds) {
    select(99);
    QTest::keyClick(form.get(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(app.GetActiveInstrument(), 100);
    QTest::keyClick(form.get(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(app.GetActiveInstrument(), 100);
    select(1);
    QTest::keyClick(form.get(), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(app.GetActiveInstrument(), 1);
}

TEST_F(Instruments, TheExternalEditorGetsThePathAsItsOneArgument) {
    chosen = tone("with space.wav", 0.3);
    form->Instruments->AssignByDialog();
    const fs::path script = dir / "editor.sh", out = dir / "args.txt";
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > " << out.string() << "\n";
    fs::permissions(script, fs::perms::owner_all);
    cAudioSettings settings = cAudioSettings::Read();
    settings.ExternEdit = script.string();
    settings.Write();
    form->Instruments->EditExternally();
    ASSERT_EVENTUALLY(fs::exists(out) && fs::file_size(out) > 0, 3000);
    std::ifstream in(out);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "[" + chosen + "]\n");
    // A program that is not there is reported.
    settings.ExternEdit = (dir / "no-such-editor").string();
    settings.Write();
    form->Instruments->EditExternally();
    EXPECT_NE(form->ApLog->toPlainText().indexOf("could not start"), -1);
}

TEST_F(Instruments, TheBrowserAssignsPlaysAndFollowsTheList) {
    const std::string kick = tone("kick.wav", 1.0), snare = tone("snare.wav", 1.0);
    TNortonPanel& browser = *form->InsPick;
    browser.SetFileName(snare);
    EXPECT_EQ(form->InsPickPath->text().toStdString(), dir.path().string());
    // Space with the browser focused assigns its file to the list's row.
    select(7);
    form->ShowPage(TMainForm::InstrumentPage);
    browser.setFocus();
    QTest::keyClick(&browser, Qt::Key_Space);
    EXPECT_EQ(ins(7).GetFileName(), snare);
    EXPECT_FALSE(app.Playing()); // Space did not start playback here
    // Selecting an instrument shows its file in the browser.
    form->Song().SetInstrumentFile(8, kick);
    select(8);
    EXPECT_EQ(browser.GetFileName(), kick);
    // A note key while the browser has the focus plays the browser's file.
    form->Engine().PreloadInstruments();
    browser.SetFileName(snare);
    browser.setFocus();
    QTest::keyPress(&browser, Qt::Key_Q);
    std::vector<TLiveMixer::TVoiceInfo> voices;
    ASSERT_EVENTUALLY((form->Engine().Mixer().GetVoices(voices), !voices.empty()), 2000);
    EXPECT_EQ(voices[0].FileName, snare);
    QTest::keyRelease(&browser, Qt::Key_Q);
    // Enter on a file assigns it too.
    select(9);
    browser.setFocus();
    browser.SetFileName(kick);
    QTest::keyClick(&browser, Qt::Key_Return);
    EXPECT_EQ(ins(9).GetFileName(), kick);
}

TEST_F(Instruments, AModuleDroppedOnTheListOpensWhateverTheCaseOfItsName) {
    form->Song().SetInstrumentFile(1, tone("kick.wav", 0.2));
    const std::string module = (dir / "SONG.HYM").string();
    form->Song().SaveFile(module);
    form->Song().SetInstrumentFile(1, "");
    drop({module}, 5);
    EXPECT_EQ(form->Song().FileName, module);
    EXPECT_EQ(fs::path(ins(1).GetFileName()).filename(), "kick.wav");
    EXPECT_TRUE(ins(6).GetFileName().empty()) << "opened, not taken for a sound";
}

TEST_F(Instruments, ARightClickMenuEndsThePressItOpenedOn) {
    form->Song().SetInstrumentFile(1, tone("a.wav", 3.0));
    form->Song().SetInstrumentFile(2, tone("b.wav", 3.0));
    form->Engine().PreloadInstruments();
    TInstrumentList& list = *form->InsGrid;
    const QPoint row0 = list.visualRect(list.model()->index(0, 0)).center();
    // The menu opens on the right press and takes the release: the press ends with it.
    QTimer::singleShot(100, [&] { list.InsPopup->close(); });
    QTest::mousePress(list.viewport(), Qt::RightButton, {}, row0);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, row0, list.viewport()->mapToGlobal(row0));
    QApplication::sendEvent(list.viewport(), &menu);
    EXPECT_FALSE(list.InsGridMouseHeld);
    ASSERT_EVENTUALLY(voiceTags().empty(), 2000);
    // Keyboard moves are the list's own again: they select and preview.
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(app.GetActiveInstrument(), 2);
    ASSERT_EVENTUALLY(voiceTags() == std::vector<int>{ListPreviewTag}, 2000);
    form->Engine().Mixer().RemoveByTag(ListPreviewTag);
    ASSERT_EVENTUALLY(voiceTags().empty(), 2000);
}

// "CUT SAMPLE" opens the cut editor; the range saved there becomes the list row's instrument.
TEST_F(Instruments, ACutSampleIsAssignedToTheListsRow) {
    select(6);
    const std::string recording = tone("recording.wav", 2.0), cut = (dir / "cut.wav").string();
    TSampleCutForm& editor = *form->SampleCutForm;
    editor.AskOpenFileName = [&] { return recording; };
    editor.AskSaveFileName = [&] { return cut; };
    bool saved = false;
    QTimer::singleShot(0, &editor, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&editor));
        editor.Open();
        editor.AudioView->Store().WaitReading();
        editor.AudioView->SetSelStart(0.25);
        editor.AudioView->SetSelLen(0.5);
        editor.SaveToInstrument();
        saved = !editor.isVisible();
        if (!saved) editor.reject();
    });
    QTest::mouseClick(panel().CutSampleBtn, Qt::LeftButton);
    ASSERT_TRUE(saved);
    EXPECT_EQ(ins(6).GetFileName(), cut);
    EXPECT_EQ(app.GetActiveInstrument(), 6);
    EXPECT_EQ(form->InsPick->GetFileName(), cut);
    brindle::soundlib::SoundFile written;
    written.Open(cut);
    EXPECT_EQ(written.LengthFrames(), 44100); // the middle second
}

// A file no instrument uses yet is heard the moment it is pressed in the browser, and so is a
// note key played on it.
TEST_F(Instruments, TheBrowserPreviewsFilesNoInstrumentUses) {
    const std::string fresh = tone("fresh.wav", 2.0), other = tone("other.wav", 2.0);
    TNortonPanel& browser = *form->InsPick;
    form->ShowPage(TMainForm::InstrumentPage);
    browser.SetDir(dir.path().string());
    int row = -1;
    for (int r = 0; r < browser.RowCount(); ++r)
        if (browser.RowText(r) == "fresh.wav") row = r;
    ASSERT_GE(row, 0);
    const QPoint at = browser.visualRect(browser.model()->index(row, 0)).center();
    QTest::mousePress(browser.viewport(), Qt::LeftButton, {}, at);
    std::vector<TLiveMixer::TVoiceInfo> voices;
    ASSERT_EVENTUALLY((form->Engine().Mixer().GetVoices(voices), voices.size() == 1), 2000);
    EXPECT_EQ(voices[0].FileName, fresh);
    QTest::mouseRelease(browser.viewport(), Qt::LeftButton, {}, at);
    form->Engine().Mixer().Clear();
    // A note key on a file reached by the keyboard.
    browser.setFocus();
    browser.SetFileName(other);
    QTest::keyPress(&browser, Qt::Key_W);
    ASSERT_EVENTUALLY((form->Engine().Mixer().GetVoices(voices), voices.size() == 1), 2000);
    EXPECT_EQ(voices[0].FileName, other);
    EXPECT_EQ(voices[0].Pitch, 2.0f);
    QTest::keyRelease(&browser, Qt::Key_W);
}

// A note written at a new pitch, or an instrument given a new length, is prepared before it
// plays: at once when playing starts, and soon after the edit otherwise (also while playing).
TEST_F(Instruments, NotesWrittenOrRetunedArePreparedBeforeTheyPlay) {
    chosen = tone("pad.wav", 1.0);
    form->Instruments->AssignByDialog();
    auto prepared = [&](float Speed, float Pitch) {
        auto& cache = *form->Engine().Mixer().GetSampleCache();
        const auto base = cache.Find(chosen);
        return base && cache.FindVariant(base.get(), Speed, Pitch) != nullptr;
    };
    QTest::keyClick(form.get(), Qt::Key_F3);
    QWidget* grid = QApplication::focusWidget();
    QTest::keyClick(grid, Qt::Key_E); // pitch 4 at row 1
    EXPECT_FALSE(prepared(1.0f, 4.0f));
    ASSERT_EVENTUALLY(prepared(1.0f, 4.0f), 2000);
    // Written and played at once: Space prepares it before the pattern starts.
    QTest::keyClick(grid, Qt::Key_R); // pitch 5 at row 2
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_TRUE(prepared(1.0f, 5.0f));
    // A new length while the pattern plays.
    panel().StretchScroll->setValue(2000);
    ASSERT_EVENTUALLY(prepared(0.5f, 4.0f) && prepared(0.5f, 5.0f), 2000);
    QTest::qWait(300);
    EXPECT_EQ(form->ApLog->toPlainText().indexOf("not prepared"), -1)
        << form->ApLog->toPlainText().toStdString();
    form->Stop();
}

TEST_F(Instruments, TheWaveformMarkerFollowsTheSoundingVoice) {
    chosen = tone("long.wav", 4.0);
    form->Instruments->AssignByDialog();
    form->ShowPage(TMainForm::InstrumentPage);
    form->Instruments->Play();
    TAudioView& view = *panel().InsView;
    ASSERT_EVENTUALLY(view.PlayMarker()->MarkerPos > 0.02, 3000);
    EXPECT_LT(view.PlayMarker()->MarkerPos, 0.5);
    form->Engine().Mixer().RemoveByTag(PreviewTag);
    ASSERT_EVENTUALLY(view.PlayMarker()->MarkerPos == -1.0, 3000);
}

} // namespace
