// A song's instruments are decoded behind the window: it opens at once, Play pressed meanwhile
// starts once they are ready, and a song opened over one still decoding is the only one heard.
#include "app/App.h"
#include "app/SongEngine.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/Tones.h"
#include "support/ui/Eventually.h"
#include "support/ui/TestWindow.h"
#include "ui/MainForm.h"
#include "ui/document/SongDocument.h"
#include "ui/document/Transport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace brindle::test;

namespace {

class OpenBehindWindow : public ::testing::Test {
  protected:
    TempDir dir;
    cApp app;
    std::unique_ptr<TMainForm> form;

    void SetUp() override { form = OpenTestWindow(app); }
    void TearDown() override { CloseTestWindow(form); }

    // A song whose first row plays File (transposed, so its note is prepared too).
    std::string songWith(const std::string& Name, const std::string& File) {
        cSequencer song;
        song.Init();
        song.SetInstrumentFile(1, File);
        song.PatternAt(1).CellForWrite(0, 0) = {1, 3.0f};
        song.Orders[0].PatternIndex = 1;
        const auto path = (dir / Name).string();
        song.SaveFile(path);
        return path;
    }
    std::vector<std::string> soundingFiles() {
        std::vector<TLiveMixer::TVoiceInfo> voices;
        form->Engine().Mixer().GetVoices(voices);
        std::vector<std::string> files;
        for (const auto& v : voices) files.push_back(v.FileName);
        return files;
    }
};

TEST_F(OpenBehindWindow, PlayPressedWhileDecodingStartsOnceReadyAndStopDropsIt) {
    const auto tone = WriteSineWav(dir / "long.wav", 440, 20.0, 44100, 2).string();
    QSignalSpy ready(&form->Document(), &TSongDocument::instrumentsReady);
    ASSERT_TRUE(form->OpenFile(songWith("a.hym", tone)));
    // The open returned before the decode's end was taken in: the window's loop never waited.
    EXPECT_TRUE(form->Document().PreparingInstruments());
    form->Transport().PlaySong(0);
    EXPECT_FALSE(form->Transport().Playing()) << "nothing plays before its instruments are there";
    ASSERT_EVENTUALLY(ready.count() == 1, 10000);
    EXPECT_TRUE(form->Transport().Playing());
    ASSERT_EVENTUALLY(soundingFiles() == std::vector<std::string>{tone}, 3000);
    const auto base = form->Engine().Mixer().GetSampleCache()->Find(tone);
    ASSERT_NE(base, nullptr);
    EXPECT_NE(form->Engine().Mixer().GetSampleCache()->FindVariant(base.get(), 1.0f, 3.0f), nullptr)
        << "the transposed note was prepared, not left to a stream";

    // Pressed and then stopped while decoding again: the song stays silent.
    form->Transport().Stop();
    ASSERT_TRUE(form->OpenFile(songWith("b.hym", tone)));
    form->Transport().PlaySong(0);
    form->Transport().Stop();
    ASSERT_EVENTUALLY(ready.count() == 2, 10000);
    QTest::qWait(50);
    EXPECT_FALSE(form->Transport().Playing());
    EXPECT_TRUE(soundingFiles().empty());
}

TEST_F(OpenBehindWindow, ASongOpenedOverOneStillDecodingIsTheOneReadiedAndHeard) {
    const auto first = WriteSineWav(dir / "first.wav", 220, 20.0, 44100, 2).string();
    const auto second = WriteSineWav(dir / "second.wav", 660, 1.0, 44100, 2).string();
    QSignalSpy ready(&form->Document(), &TSongDocument::instrumentsReady);
    QSignalSpy problems(&form->Document(), &TSongDocument::problem);
    ASSERT_TRUE(form->OpenFile(songWith("first.hym", first)));
    ASSERT_TRUE(form->OpenFile(songWith("missing.hym", (dir / "gone.wav").string())));
    ASSERT_TRUE(form->OpenFile(songWith("second.hym", second)));
    form->Transport().PlaySong(0);
    ASSERT_EVENTUALLY(ready.count() >= 1, 10000);
    QTest::qWait(100);
    EXPECT_EQ(ready.count(), 1) << "the replaced runs finish unheard";
    for (const auto& args : problems)
        EXPECT_FALSE(args.at(0).toString().contains("gone.wav")) << "a replaced song's problems are not reported";
    ASSERT_EVENTUALLY(soundingFiles() == std::vector<std::string>{second}, 3000);
}

} // namespace
