// The master effects panel on the Output page: captions, defaults, values reaching the live nodes
// at once, check boxes rebuilding the chain while the song plays, and values kept across open/save.
#include "app/App.h"
#include "app/LiveOutput.h"
#include "app/MasterEffects.h"
#include "app/ProjectFiles.h"
#include "app/SongEngine.h"
#include "base/AppInfo.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/ui/Eventually.h"
#include "support/ui/TestWindow.h"
#include "ui/MainForm.h"
#include "ui/editors/EffectsPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace brindle::test;

namespace {

TEST(EffectsPanelCaptions, ReadAsTheyAreFormatted) {
    EXPECT_EQ(TEffectsPanel::EqCaption("60Hz", 0), "60Hz");
    EXPECT_EQ(TEffectsPanel::EqCaption("60Hz", -2500), "60Hz\r\n(2.5)");
    EXPECT_EQ(TEffectsPanel::EqCaption("16kHz", 12000), "16kHz\r\n(-12.0)");
    EXPECT_EQ(TEffectsPanel::LevelCaption(250), "Level (0.25)");
    EXPECT_EQ(TEffectsPanel::DelayCaption(3200), "Delay (3.20 s)");
    EXPECT_EQ(TEffectsPanel::ThresholdCaption(500), "Threshold (0.50)");
    EXPECT_EQ(TEffectsPanel::AttackCaption(1000), "Attack Time (1.00)");
    EXPECT_EQ(TEffectsPanel::ReleaseCaption(4500), "Release Time (4.50)");
}

class EffectsPanelInWindow : public ::testing::Test {
  protected:
    TempDir dir;
    cApp app;
    std::unique_ptr<TMainForm> form;
    TEffectsPanel* panel = nullptr;

    void SetUp() override {
        form = brindle::test::OpenTestWindow(app);
        form->ShowPage(TMainForm::OutputPage);
        panel = form->EffectsPanel;
    }
    void TearDown() override { brindle::test::CloseTestWindow(form); }
    TMasterEffects& fx() { return form->Engine().Effects(); }
};

TEST_F(EffectsPanelInWindow, StartsAtTheDefaultsAndEveryMoveReachesTheLiveNodes) {
    EXPECT_TRUE(panel->CompressorCheck->isChecked());
    EXPECT_FALSE(panel->ReverbCheck->isChecked());
    EXPECT_EQ(panel->CompressorThreshold->value(), 500);
    EXPECT_EQ(panel->ReverbDelay->value(), 3200);
    EXPECT_EQ(panel->ReverbDelay->minimum(), 1200);
    EXPECT_EQ(panel->Eq[0]->minimum(), -12000);
    EXPECT_EQ(panel->CompressorThresholdCap->text(), "Threshold (0.50)");
    EXPECT_EQ(panel->EqCap[0]->text(), "60Hz");

    // Arrow steps of 10, as a user clicks a bar's arrow.
    panel->ReverbLevel->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(panel->ReverbLevel->value(), 110);
    EXPECT_FLOAT_EQ(fx().GetReverb().Params.Level, 0.11f);
    EXPECT_EQ(panel->ReverbLevelCap->text(), "Level (0.11)");
    // The top of an equalizer bar is the most gain.
    panel->Eq[1]->setValue(-6000);
    EXPECT_FLOAT_EQ(fx().GetEqualizer().Bands[1]->Gain, 6.0f);
    EXPECT_EQ(panel->EqCap[1]->text(), "8kHz\n(6.0)");
    EXPECT_TRUE(form->isWindowModified());

    // Default buttons put the positions back, and the nodes follow.
    panel->CompressorAttack->setValue(50);
    EXPECT_FLOAT_EQ(fx().GetCompressor().Params.Attack, 50.0f);
    QTest::mouseClick(panel->CompDef, Qt::LeftButton);
    EXPECT_EQ(panel->CompressorAttack->value(), 1000);
    EXPECT_FLOAT_EQ(fx().GetCompressor().Params.Attack, 1000.0f);
    QTest::mouseClick(panel->EqDef, Qt::LeftButton);
    EXPECT_FLOAT_EQ(fx().GetEqualizer().Bands[1]->Gain, 0.0f);
}

TEST_F(EffectsPanelInWindow, CheckBoxesRebuildTheChainWithExactlyTheCheckedEffectsWhilePlaying) {
    form->ShowPage(TMainForm::PatternPage);
    form->Play();
    form->ShowPage(TMainForm::OutputPage);
    QTest::qWait(20); // the page is laid out before it is clicked
    TAudioX& out = fx().Output();
    EXPECT_EQ(out.GetInput(), &fx().GetCompressor());
    // Clicks apart, as a user's: two quick ones would make a double click.
    const int apart = QApplication::doubleClickInterval() + 20;
    // On the box itself: a check box's widget may be wider than its box and text.
    const auto box = [](QCheckBox* c) { return QPoint(6, c->height() / 2); };
    QTest::mouseClick(panel->EqCheck, Qt::LeftButton, {}, box(panel->EqCheck));
    QTest::mouseClick(panel->ReverbCheck, Qt::LeftButton, {}, box(panel->ReverbCheck), apart);
    ASSERT_TRUE(panel->EqCheck->isChecked());
    ASSERT_TRUE(panel->ReverbCheck->isChecked());
    ASSERT_TRUE(panel->CompressorCheck->isChecked());
    EXPECT_EQ(out.GetInput(), &fx().GetCompressor());
    EXPECT_EQ(fx().GetCompressor().GetInput(), &fx().GetReverb());
    EXPECT_EQ(fx().GetReverb().GetInput(), &fx().GetEqualizer());
    EXPECT_EQ(fx().GetEqualizer().GetInput(), &form->Engine().Mixer());
    QTest::mouseClick(panel->CompressorCheck, Qt::LeftButton, {}, box(panel->CompressorCheck), apart);
    EXPECT_EQ(out.GetInput(), &fx().GetReverb());
    // The speakers never stopped pulling.
    const float played = form->Output().GetSpeakers().GetPlayedTime();
    ASSERT_EVENTUALLY(form->Output().GetSpeakers().GetPlayedTime() > played + 0.05f, 3000);
    EXPECT_TRUE(app.Playing());
}

TEST_F(EffectsPanelInWindow, StoredValuesComeBackUnchangedAfterOpenAndSave) {
    auto song = std::make_unique<cSequencer>();
    song->Effects.ReverbEnabled = true;
    song->Effects.ReverbLevel = 0.12f; // truncated positions brought this back as 0.119
    song->Effects.ReverbDelay = 1.234f;
    song->Effects.Eq[2] = -2.5f;
    const auto path = (dir / "fx.hym").string();
    song->SaveFile(path);
    ASSERT_TRUE(form->OpenFile(path));
    EXPECT_TRUE(panel->ReverbCheck->isChecked());
    EXPECT_EQ(panel->ReverbLevel->value(), 120);
    EXPECT_EQ(panel->ReverbDelay->value(), 1234);
    EXPECT_EQ(panel->Eq[2]->value(), -2500);
    EXPECT_EQ(panel->EqCap[2]->text(), "16kHz\n(2.5)");
    EXPECT_FLOAT_EQ(fx().GetReverb().Params.Level, 0.12f);
    ASSERT_TRUE(form->Save());
    auto back = std::make_unique<cSequencer>();
    back->LoadFile(path);
    EXPECT_EQ(back->Effects.ReverbLevel, 0.12f);
    EXPECT_EQ(back->Effects.ReverbDelay, 1.234f);
    EXPECT_EQ(back->Effects.Eq[2], -2.5f);
    EXPECT_TRUE(back->Effects.ReverbEnabled);
}

} // namespace
