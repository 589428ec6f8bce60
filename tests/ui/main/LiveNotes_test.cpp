// Playing live in the window: note keys sound under their key's tag and are written into the
// pattern while its grid has the focus, auto-repeat starts nothing, losing the focus ends held
// notes, the on-screen piano sounds without writing, and MIDI notes arrive through their queue.
#include "app/App.h"
#include "app/ProjectFiles.h"
#include "app/SongEngine.h"
#include "audio/mixer/LiveMixer.h"
#include "base/AppInfo.h"
#include "song/Sequencer.h"
#include "song/VoiceTags.h"
#include "support/JackServer.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "support/ui/Eventually.h"
#include "support/ui/TestWindow.h"
#include "ui/MainForm.h"
#include "ui/editors/InstrumentList.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternGrid.h"
#include "ui/input/LiveNotes.h"
#include "ui/input/MidiInput.h"
#include "ui/views/PianoKeyPanel.h"
#include "ui/views/PianoKeys.h"

#include <QAction>
#include <QMenu>
#include <QSpinBox>

#include <QTest>
#include <RtMidi.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace brindle::test;

namespace {

class LiveNotes : public ::testing::Test {
  protected:
    TempDir dir;
    cApp app;
    std::unique_ptr<TMainForm> form;

    void SetUp() override {
        form = OpenTestWindow(app);
        WriteSoundFile(dir / "long.wav", ConstantTone(3000, 44100 * 5, 2), 44100, 2);
        form->Song().SetInstrumentFile(1, (dir / "long.wav").string());
        form->Engine().PreloadInstruments();
    }
    void TearDown() override { CloseTestWindow(form); }
    std::vector<int> tags() {
        std::vector<TLiveMixer::TVoiceInfo> voices;
        form->Engine().Mixer().GetVoices(voices);
        std::vector<int> out;
        for (const auto& v : voices)
            out.push_back(v.Tag);
        return out;
    }
    QWidget* focus() { return QApplication::focusWidget(); }
    cStep cell(int Channel, int Row) { return form->Song().PatternAt(1).Cell(Channel, Row); }
};

TEST_F(LiveNotes, KeysSoundUnderTheirTagAndAreWrittenWhileTheGridHasTheFocus) {
    QTest::keyClick(form.get(), Qt::Key_F3);
    ASSERT_EQ(focus(), form->PatternEditor->PatGrid);
    QTest::keyPress(focus(), Qt::Key_Q);
    EXPECT_EQ(cell(0, 0).ins, 1);
    EXPECT_EQ(cell(0, 0).pitch, 0.0f);
    EXPECT_EQ(form->PatternEditor->PatGrid->CursorRow(), 1);
    ASSERT_EVENTUALLY(tags() == std::vector<int>{KeyTag('Q')}, 2000);
    EXPECT_EQ(form->PianoKeys->Panels[12]->GetColor(), TPianoKeys::DownColor);
    // Auto-repeat starts nothing more and writes nothing more.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q", true);
    QApplication::sendEvent(focus(), &repeat);
    QTest::qWait(50);
    EXPECT_EQ(tags().size(), 1u);
    EXPECT_EQ(cell(0, 1).ins, 0);
    QTest::keyRelease(focus(), Qt::Key_Q);
    ASSERT_EVENTUALLY(tags().empty(), 2000);
    EXPECT_NE(form->PianoKeys->Panels[12]->GetColor(), TPianoKeys::DownColor);
    // A lower key: "z" is the piano's first key, an octave down.
    QTest::keyClick(focus(), Qt::Key_Z);
    EXPECT_EQ(cell(0, 1).pitch, -12.0f);
    // Ctrl with a note key is a command (here: solo), never a note.
    QTest::keyClick(focus(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 2).ins, 0);
}

TEST_F(LiveNotes, LosingTheFocusEndsHeldNotes) {
    QTest::keyPress(focus(), Qt::Key_X);
    ASSERT_EVENTUALLY(!tags().empty(), 2000);
    // A MIDI note sounds on: its note-off comes whichever window has the focus.
    TMidiInput& midi = *form->Notes->Midi;
    const unsigned char on[] = {0x90, 60, 100}, off[] = {0x80, 60, 0};
    midi.FeedBytes(on, 3);
    midi.Drain();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_EVENTUALLY(tags() == std::vector<int>{TMidiInput::TagOfNote(60)}, 2000);
    midi.FeedBytes(off, 3);
    midi.Drain();
    ASSERT_EVENTUALLY(tags().empty(), 2000);
    // The key is free again: the next press sounds.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyPress(focus(), Qt::Key_X);
    ASSERT_EVENTUALLY(!tags().empty(), 2000);
    QTest::keyRelease(focus(), Qt::Key_X);
}

TEST_F(LiveNotes, TypingIntoAFieldPlaysNothing) {
    form->BPMSpin->setFocus();
    QTest::keyClicks(focus(), "q2w");
    QTest::qWait(50);
    EXPECT_TRUE(tags().empty());
}

// A note held while Ctrl goes down, or while the focus moves into a field, still ends with its key
// and plays again at the next press.
TEST_F(LiveNotes, AHeldNoteEndsWithItsKeyWhateverCameBetween) {
    QTest::keyPress(focus(), Qt::Key_Z);
    ASSERT_EVENTUALLY(tags() == std::vector<int>{KeyTag('Z')}, 2000);
    QTest::keyPress(focus(), Qt::Key_Control, Qt::ControlModifier);
    QTest::keyRelease(focus(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyRelease(focus(), Qt::Key_Control);
    ASSERT_EVENTUALLY(tags().empty(), 2000);

    QTest::keyPress(focus(), Qt::Key_X);
    ASSERT_EVENTUALLY(tags() == std::vector<int>{KeyTag('X')}, 2000);
    form->BPMSpin->setFocus();
    QTest::keyRelease(focus(), Qt::Key_X);
    ASSERT_EVENTUALLY(tags().empty(), 2000);
    EXPECT_EQ(form->BPMSpin->text().contains('x'), false);

    form->PatternEditor->PatGrid->setFocus();
    QTest::keyPress(focus(), Qt::Key_Z);
    ASSERT_EVENTUALLY(tags() == std::vector<int>{KeyTag('Z')}, 2000);
    QTest::keyRelease(focus(), Qt::Key_Z);
}

TEST_F(LiveNotes, ThePianoSoundsButNeverWrites) {
    QTest::keyClick(form.get(), Qt::Key_F3);
    form->ShowPage(TMainForm::InstrumentPage);
    QTest::qWait(20);
    TPianoKeyPanel* key14 = form->PianoKeys->Panels[14];
    QTest::mousePress(key14, Qt::LeftButton, {}, QPoint(5, key14->height() - 5));
    ASSERT_EVENTUALLY(tags() == std::vector<int>{PianoTag(2)}, 2000);
    QTest::mouseRelease(key14, Qt::LeftButton, {}, QPoint(5, key14->height() - 5));
    ASSERT_EVENTUALLY(tags().empty(), 2000);
    EXPECT_EQ(cell(0, 0).ins, 0);
}

// A live note shares no tag with a pattern channel: releasing a piano key or a computer key leaves
// the pattern's note on the channel of the same number sounding, and the song's stop marker there
// leaves the held key's note alone.
TEST_F(LiveNotes, ReleasingALiveNoteNeverCutsAPatternNote) {
    TPianoKeyPanel* key14 = form->PianoKeys->Panels[14]; // pitch 2: it sounded under tag 2 before
    struct Case {
        const char* source;
        int channel;
        std::function<void()> press, release;
        int tag;
    } cases[] = {
        {"computer key", 'Q', [&] { QTest::keyPress(focus(), Qt::Key_Q); },
         [&] { QTest::keyRelease(focus(), Qt::Key_Q); }, KeyTag('Q')},
        {"piano", 2,
         [&] {
             form->ShowPage(TMainForm::InstrumentPage);
             QTest::mousePress(key14, Qt::LeftButton, {}, QPoint(5, key14->height() - 5));
         },
         [&] { QTest::mouseRelease(key14, Qt::LeftButton, {}, QPoint(5, key14->height() - 5)); }, PianoTag(2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        form->Engine().Mixer().Clear();
        form->Song().PatternAt(1).CellForWrite(c.channel, 0) = {1, 0.0f};
        form->Song().PatternAt(1).CellForWrite(c.channel, 1) = {-1, 0.0f}; // a stop marker
        form->Song().QueueRow(0, 1, 0);
        ASSERT_EVENTUALLY(tags() == std::vector<int>{c.channel}, 2000);
        c.press();
        ASSERT_EVENTUALLY(tags().size() == 2u, 2000);
        c.release();
        ASSERT_EVENTUALLY(tags() == std::vector<int>{c.channel}, 2000);
        QTest::qWait(100);
        EXPECT_EQ(tags(), std::vector<int>{c.channel}) << "the pattern's note sounds on";
        // The other way round: the channel's stop marker leaves the held note.
        c.press();
        ASSERT_EVENTUALLY(tags().size() == 2u, 2000);
        form->Song().QueueRow(0, 1, 1);
        ASSERT_EVENTUALLY(tags() == std::vector<int>{c.tag}, 2000);
        c.release();
        ASSERT_EVENTUALLY(tags().empty(), 2000);
        form->Song().PatternAt(1).CellForWrite(c.channel, 0) = {};
        form->Song().PatternAt(1).CellForWrite(c.channel, 1) = {};
    }
}

TEST_F(LiveNotes, MidiNotesPlayAndAreWrittenLikeKeys) {
    QTest::keyClick(form.get(), Qt::Key_F3);
    TMidiInput& midi = *form->Notes->Midi;
    const unsigned char on[] = {0x90, 62, 100}, off[] = {0x80, 62, 0};
    ASSERT_TRUE(midi.FeedBytes(on, 3));
    midi.Drain();
    EXPECT_EQ(cell(0, 0).pitch, 2.0f);
    ASSERT_EVENTUALLY(tags() == std::vector<int>{TMidiInput::TagBase + 62}, 2000);
    ASSERT_TRUE(midi.FeedBytes(off, 3));
    midi.Drain();
    ASSERT_EVENTUALLY(tags().empty(), 2000);
}

// A keyboard on a real MIDI port, served by a JACK server of the test's own on its dummy driver:
// its notes cross RtMidi's callback thread and the queue, sound under their tags at their pitch
// and are written while the grid has the focus; a port the user closed plays nothing more.
// A JACK connection takes effect a few server cycles after it is made, and what a keyboard
// sends before then is lost, as on any JACK graph. A probe note, sent again until it is heard
// and then released, tells when the keyboard's notes arrive.
bool Connected(RtMidiOut& Keyboard, TMidiInput& Midi, const std::function<std::vector<int>()>& Tags) {
    const std::vector<unsigned char> on{0x90, 100, 1}, off{0x80, 100, 0};
    for (int tries = 0; tries < 50; ++tries) {
        Keyboard.sendMessage(&on);
        if (!QTest::qWaitFor([&] { return Midi.Held[100]; }, 200)) continue;
        Keyboard.sendMessage(&off);
        return QTest::qWaitFor([&] { return !Midi.Held[100] && Tags().empty(); }, 5000);
    }
    return false;
}

TEST_F(LiveNotes, AKeyboardOnARealMidiPortPlaysAndWrites) {
    JackServer jack;
    ASSERT_TRUE(jack.Ready()) << jack.Why();
    auto keys = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "Test keyboard");
    RtMidiOut& keyboard = *keys;
    keyboard.openVirtualPort("keys");
    TMidiInput& midi = *form->Notes->Midi;
    midi.Start();
    int port = -1;
    for (int i = 0; i < midi.GetPortCount(); ++i)
        if (midi.GetPortName(i).find("Test keyboard") != std::string::npos) port = i;
    ASSERT_GE(port, 0) << "the keyboard's port is not listed";
    EXPECT_TRUE(midi.IsPortOpen(port));
    const auto heard = [this] { return tags(); };
    ASSERT_TRUE(Connected(keyboard, midi, heard));

    QTest::keyClick(form.get(), Qt::Key_F3);
    const std::vector<unsigned char> on{0x90, 64, 100}, off{0x80, 64, 0};
    keyboard.sendMessage(&on);
    ASSERT_EVENTUALLY(tags() == std::vector<int>{TMidiInput::TagOfNote(64)}, 5000);
    std::vector<TLiveMixer::TVoiceInfo> voices;
    form->Engine().Mixer().GetVoices(voices);
    ASSERT_EQ(voices.size(), 1u);
    EXPECT_EQ(voices[0].Pitch, 4.0f);
    EXPECT_EQ(cell(0, 0).ins, 1);
    EXPECT_EQ(cell(0, 0).pitch, 4.0f);
    keyboard.sendMessage(&off);
    ASSERT_EVENTUALLY(tags().empty(), 5000);

    midi.ClosePort(port);
    EXPECT_FALSE(midi.IsPortOpen(port));
    keyboard.sendMessage(&on);
    QTest::qWait(300);
    EXPECT_TRUE(tags().empty());
    EXPECT_EQ(cell(0, 1).ins, 0);
    // The choice holds for the next start.
    midi.Start();
    EXPECT_FALSE(midi.IsPortOpen(port));
    form->InsGrid->setFocus(); // the probe is not to be written
    EXPECT_TRUE(midi.OpenPort(port));
    ASSERT_TRUE(Connected(keyboard, midi, heard));

    // Looking into the MIDI menu lists a keyboard plugged in since and opens it, and leaves the
    // open port open: a note held across it still ends with its note-off.
    keyboard.sendMessage(&on);
    ASSERT_EVENTUALLY(tags().size() == 1u, 5000);
    auto second = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "Second keyboard");
    RtMidiOut& pads = *second;
    pads.openVirtualPort("pads");
    emit form->MidiMenu->aboutToShow();
    QStringList items;
    for (QAction* item : form->MidiMenu->actions())
        if (item->isChecked()) items << item->text();
    ASSERT_EQ(items.size(), 2) << items.join(", ").toStdString();
    EXPECT_TRUE(items.filter("Test keyboard").size() == 1 && items.filter("Second keyboard").size() == 1);
    keyboard.sendMessage(&off);
    ASSERT_EVENTUALLY(tags().empty(), 5000);
    ASSERT_TRUE(Connected(pads, midi, heard));
    const std::vector<unsigned char> padOn{0x90, 48, 90};
    pads.sendMessage(&padOn);
    ASSERT_EVENTUALLY(tags() == std::vector<int>{TMidiInput::TagOfNote(48)}, 5000);

    // Keyboards unplugged: the next look closes their ports (while the server still runs, so
    // nothing of them is left behind).
    keys.reset();
    second.reset();
    midi.Rescan();
    EXPECT_EQ(midi.GetPortCount(), 0);
}

} // namespace
