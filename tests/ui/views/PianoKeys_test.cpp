#include "ui/views/PianoKeyPanel.h"
#include "ui/views/PianoKeys.h"

#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QColor Grey(128, 128, 128);

// The piano of the main window: 32 keys of 18 × 65 px, captioned with the computer keys.
class Piano : public ::testing::Test {
  protected:
    void SetUp() override {
        piano.SetKeyHeight(65);
        piano.SetCount(32);
        piano.SetCaptions(TPianoKeys::KeyCaptions);
        piano.resize(350, 69);
        piano.OnNoteDown = [this](TPianoKeys* sender) {
            EXPECT_EQ(sender, &piano);
            events.push_back("down " + std::to_string(piano.NoteKey));
        };
        piano.OnNoteUp = [this](TPianoKeys* sender) {
            EXPECT_EQ(sender, &piano);
            events.push_back("up " + std::to_string(piano.NoteKey));
        };
    }
    void show() {
        piano.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&piano));
    }
    // A point on the key's face that no caption and no other key covers.
    QPoint face(int i) const {
        const QRect r = piano.Panels[size_t(i)]->geometry();
        return TPianoKeys::IsBlackKey(i) ? QPoint(r.left() + 3, 5) : QPoint(r.left() + 2, 50);
    }
    QColor colourOf(int i) { return piano.grab().toImage().pixelColor(face(i)); }
    void press(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(piano.windowHandle(), b, {}, p);
    }
    void release(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseRelease(piano.windowHandle(), b, {}, p);
    }

    TPianoKeys piano;
    std::vector<std::string> events;
};

TEST(PianoKeysDefaults, NewPianoHasNoKeysAndTheDefaultSize) {
    TPianoKeys piano;
    EXPECT_EQ(piano.GetKeyWidth(), 18);
    EXPECT_EQ(piano.GetKeyHeight(), 50);
    EXPECT_EQ(piano.GetCount(), 0);
    EXPECT_TRUE(piano.Panels.empty());
    EXPECT_FALSE(piano.MouseHeld);
}

TEST_F(Piano, WhiteAndBlackKeysSitWhereTheyShould) {
    ASSERT_EQ(piano.Panels.size(), 32u);
    ASSERT_EQ(piano.Labels.size(), 32u);
    EXPECT_EQ(piano.Panels[0]->geometry(), QRect(0, 0, 18, 65));
    // Key 1 is black: two thirds high, centred on the boundary of keys 0 and 2.
    EXPECT_EQ(piano.Panels[1]->geometry(), QRect(9, 0, 18, 43));
    EXPECT_EQ(piano.Panels[2]->geometry(), QRect(18, 0, 18, 65));
    EXPECT_EQ(piano.Panels[4]->geometry(), QRect(36, 0, 18, 65));
    EXPECT_EQ(piano.Panels[5]->geometry(), QRect(54, 0, 18, 65)); // E and F: no black key between
    EXPECT_EQ(piano.Panels[6]->geometry(), QRect(63, 0, 18, 43));
    EXPECT_EQ(piano.Panels[12]->geometry(), QRect(126, 0, 18, 65));
    EXPECT_EQ(piano.Panels[31]->geometry(), QRect(324, 0, 18, 65));
    // 19 white keys: 342 px.
    EXPECT_EQ(piano.sizeHint(), QSize(342, 65));
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(piano.Panels[size_t(i)]->GetTag(), i);
        EXPECT_EQ(piano.Panels[size_t(i)]->GetColor(),
                  TPianoKeys::IsBlackKey(i) ? QColor(Qt::black) : QColor(Qt::white));
    }
}

TEST_F(Piano, CaptionsNameTheComputerKeysAtTheBottomOfEachKey) {
    std::string captions;
    for (auto* label : piano.Labels)
        captions += label->text().toStdString();
    EXPECT_EQ(captions, "zsxdcvgbhnjmq2w3er5t6y7ui9o0p[=]");
    const QFontMetrics m(piano.font());
    const int left = 9 - m.horizontalAdvance('*') / 2;
    EXPECT_EQ(piano.Labels[0]->pos(), QPoint(left, 65 - m.height() - 4));
    EXPECT_EQ(piano.Labels[1]->pos(), QPoint(left, 43 - m.height() - 4));
    EXPECT_EQ(piano.Labels[1]->parentWidget(), piano.Panels[1]);
    EXPECT_EQ(piano.Labels[1]->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(piano.Labels[0]->palette().color(QPalette::WindowText), QColor(Qt::black));
}

TEST_F(Piano, PaintedKeysShowTheirColours) {
    show();
    const QImage img = piano.grab().toImage();
    EXPECT_EQ(img.pixelColor(face(0)), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(face(1)), QColor(Qt::black));
    // The black key lies over the white keys beside it.
    EXPECT_EQ(img.pixelColor(QPoint(12, 5)), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(QPoint(24, 5)), QColor(Qt::black)); // over the white key after it too
    EXPECT_EQ(img.pixelColor(QPoint(20, 50)), QColor(Qt::white));
}

TEST_F(Piano, ALeftPressHoldsAndSoundsTheKeyAndTheReleaseEndsIt) {
    show();
    press(face(12));
    EXPECT_EQ(events, (std::vector<std::string>{"down 12"}));
    EXPECT_TRUE(piano.MouseHeld);
    EXPECT_EQ(piano.HeldKey, 12);
    EXPECT_EQ(colourOf(12), Grey);
    release(face(12));
    EXPECT_EQ(events, (std::vector<std::string>{"down 12", "up 12"}));
    EXPECT_FALSE(piano.MouseHeld);
    EXPECT_EQ(colourOf(12), QColor(Qt::white));
}

TEST_F(Piano, ABlackKeyIsHitWhereItCoversTheWhiteOnesAndTheCaptionLetsTheClickThrough) {
    show();
    press(QPoint(12, 10)); // over white key 0, on black key 1
    EXPECT_EQ(piano.HeldKey, 1);
    EXPECT_EQ(colourOf(1), Grey);
    EXPECT_EQ(colourOf(0), QColor(Qt::white));
    release(QPoint(12, 10));
    EXPECT_EQ(colourOf(1), QColor(Qt::black));
    press(QPoint(24, 10)); // over white key 2
    release(QPoint(24, 10));
    // On key 0's caption, below the black key.
    const QPoint caption = piano.Labels[0]->geometry().center() + piano.Panels[0]->pos();
    press(caption);
    release(caption);
    EXPECT_EQ(events, (std::vector<std::string>{"down 1", "up 1", "down 1", "up 1", "down 0", "up 0"}));
}

TEST_F(Piano, MovingOffTheKeyStillReleasesTheKeyThatWasPressed) {
    show();
    press(face(12));
    QTest::mouseMove(piano.windowHandle(), face(14));
    release(face(14));
    EXPECT_EQ(events, (std::vector<std::string>{"down 12", "up 12"}));
    EXPECT_EQ(piano.NoteKey, 12);
    EXPECT_EQ(colourOf(12), QColor(Qt::white));
    EXPECT_EQ(colourOf(14), QColor(Qt::white));
}

TEST_F(Piano, OnlyTheLeftButtonPlays) {
    show();
    press(face(3), Qt::RightButton);
    EXPECT_EQ(colourOf(3), QColor(Qt::black));
    release(face(3), Qt::RightButton);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(piano.MouseHeld);
}

TEST_F(Piano, WithoutHandlersTheKeyStillColoursAndHolds) {
    show();
    piano.OnNoteDown = nullptr;
    piano.NoteKey = -7;
    press(face(5));
    EXPECT_EQ(piano.NoteKey, -7);
    EXPECT_TRUE(piano.MouseHeld);
    EXPECT_EQ(piano.HeldKey, 5);
    EXPECT_EQ(colourOf(5), Grey);
    release(face(5));
    EXPECT_EQ(events, (std::vector<std::string>{"up 5"}));
}

TEST_F(Piano, NotePressAndReleaseColourKeysInRangeOnly) {
    show();
    piano.NotePress(12);
    piano.NotePress(13);
    EXPECT_EQ(colourOf(12), Grey);
    EXPECT_EQ(colourOf(13), Grey);
    piano.NoteRelease(13);
    EXPECT_EQ(colourOf(13), QColor(Qt::black));
    piano.NoteRelease(12);
    const QImage before = piano.grab().toImage();
    piano.KeyPressed(32, true);
    piano.KeyPressed(-1, true);
    piano.KeyPressed(500, false);
    EXPECT_EQ(piano.grab().toImage(), before);
    EXPECT_TRUE(events.empty()); // colouring a key sounds nothing
}

TEST_F(Piano, ChangingTheCountRebuildsTheKeys) {
    piano.SetKeyWidth(10);
    EXPECT_EQ(piano.Panels[2]->width(), 18); // not until the next SetCount
    piano.SetCount(500);
    EXPECT_EQ(piano.GetCount(), 120);
    EXPECT_EQ(piano.Panels.size(), 120u);
    EXPECT_EQ(piano.Panels[2]->geometry(), QRect(10, 0, 10, 65));
    EXPECT_EQ(piano.Labels[0]->text(), ""); // the captions went with the old keys
    EXPECT_EQ(piano.findChildren<TPianoKeyPanel*>().size(), 120);
    piano.SetCount(-3);
    EXPECT_EQ(piano.GetCount(), 0);
    EXPECT_TRUE(piano.findChildren<TPianoKeyPanel*>().isEmpty());
}

} // namespace
