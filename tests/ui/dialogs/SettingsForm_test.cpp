#include "ui/dialogs/SettingsForm.h"

#include "base/RegString.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> Devices{"Default Device", "Speakers (USB)", "HDMI Output"};

// Stores one value for each setting the dialog edits.
void store(const std::string& device, const std::string& buffer, const std::string& editor,
           const std::string& autosave) {
    TRegString("SoundDevice", "").Set(device);
    TRegString("Buffer", "").Set(buffer);
    TRegString("ExternEdit", "").Set(editor);
    TRegString("Autosave", "").Set(autosave);
    TRegString("Dither", "").Set("0");
}

std::string stored(const std::string& name) {
    return TRegString(name, "<none>").Get();
}

// Runs Act once the dialog's modal loop has started.
void whileShown(TSettingsForm& form, std::function<void()> act) {
    QTimer::singleShot(0, &form, [&form, act] {
        EXPECT_TRUE(form.isVisible());
        act();
    });
}

TEST(SettingsForm, FillShowsTheValuesAndTheBufferLabelFollowsTheScrollBar) {
    TSettingsForm form;
    EXPECT_EQ(form.windowTitle(), "Audio Settings");
    form.Fill(Devices, 2, 60, "/usr/bin/audacity", true);
    ASSERT_EQ(form.DeviceList1->count(), 3);
    EXPECT_EQ(form.DeviceList1->item(1)->text(), "Speakers (USB)");
    EXPECT_EQ(form.DeviceList1->currentRow(), 2);
    EXPECT_EQ(form.lbBuffer->text(), "Buffer (60 ms)");
    EXPECT_EQ(form.EditorEdit->text(), "/usr/bin/audacity");
    EXPECT_TRUE(form.cbAS->isChecked());

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ScrollBar1->setFocus();
    QTest::keyClick(form.ScrollBar1, Qt::Key_Right);
    QTest::keyClick(form.ScrollBar1, Qt::Key_Right);
    EXPECT_EQ(std::abs(form.GetBuffer() - 60), 2); // which way is the style's business
    EXPECT_EQ(form.lbBuffer->text(), QString("Buffer (%1 ms)").arg(form.GetBuffer()));
    QTest::keyClick(form.ScrollBar1, Qt::Key_End);
    EXPECT_EQ(form.lbBuffer->text(), "Buffer (100 ms)");
    QTest::keyClick(form.ScrollBar1, Qt::Key_Home);
    EXPECT_EQ(form.lbBuffer->text(), "Buffer (10 ms)");
}

TEST(SettingsForm, OutOfRangeValuesShowAtTheNearestSafeChoice) {
    TSettingsForm form;
    form.Fill(Devices, 7, 0, "", false);
    EXPECT_EQ(form.DeviceList1->currentRow(), 0); // a device that is gone: the default one
    EXPECT_EQ(form.GetBuffer(), 10);
    EXPECT_EQ(form.lbBuffer->text(), "Buffer (10 ms)"); // shown even though the position did not move
    form.Fill(Devices, -1, 5000, "", false);
    EXPECT_EQ(form.GetSoundDevice(), 0);
    EXPECT_EQ(form.lbBuffer->text(), "Buffer (100 ms)");

    // The stored settings are read the same way, so the device never gets a 0 ms buffer.
    store("-2", "0", "", "yes");
    auto settings = cAudioSettings::Read();
    EXPECT_EQ(settings.SoundDevice, 0);
    EXPECT_EQ(settings.Buffer, 10);
    EXPECT_FALSE(settings.Autosave);
    store("1", "abc", "", "True");
    settings = cAudioSettings::Read();
    EXPECT_EQ(settings.SoundDevice, 1);
    EXPECT_EQ(settings.Buffer, 10);
    EXPECT_TRUE(settings.Autosave);
    store("1", "250", "", "-1");
    EXPECT_EQ(cAudioSettings::Read().Buffer, 100);
}

TEST(SettingsForm, AnEmptyEditorMeansTheDesktopDefault) {
    store("0", "60", "", "0");
    EXPECT_EQ(cAudioSettings::Read().ExternEdit, "");
    TSettingsForm form;
    form.Fill(Devices, cAudioSettings::Read());
    EXPECT_TRUE(form.EditorEdit->text().isEmpty());
    EXPECT_TRUE(form.EditorEdit->placeholderText().contains("default application"));
}

TEST(SettingsForm, OkStoresEveryValue) {
    store("1", "60", "/usr/bin/old-editor", "0");
    TSettingsForm form;
    int buffer = 0;
    whileShown(form, [&form, &buffer] {
        EXPECT_EQ(form.DeviceList1->currentRow(), 1);
        EXPECT_EQ(form.lbBuffer->text(), "Buffer (60 ms)");
        // Pick the last device with the mouse.
        QListWidgetItem* hdmi = form.DeviceList1->item(2);
        QTest::mouseClick(form.DeviceList1->viewport(), Qt::LeftButton, {},
                          form.DeviceList1->visualItemRect(hdmi).center());
        form.ScrollBar1->setFocus();
        QTest::keyClick(form.ScrollBar1, Qt::Key_Left);
        buffer = form.GetBuffer();
        EXPECT_NE(buffer, 60);
        form.EditorEdit->clear();
        QTest::keyClicks(form.EditorEdit, "/usr/bin/new-editor");
        QTest::mouseClick(form.cbAS, Qt::LeftButton);
        QTest::mouseClick(form.cbDither, Qt::LeftButton);
        QTest::mouseClick(form.OKBtn, Qt::LeftButton);
    });
    EXPECT_TRUE(form.RunAndStore(Devices));
    EXPECT_EQ(stored("Dither"), "-1");
    EXPECT_EQ(stored("SoundDevice"), "2");
    EXPECT_EQ(stored("Buffer"), std::to_string(buffer));
    EXPECT_EQ(stored("ExternEdit"), "/usr/bin/new-editor");
    EXPECT_EQ(stored("Autosave"), "-1");
}

TEST(SettingsForm, CancelStoresNothing) {
    store("1", "45", "/usr/bin/editor", "0");
    TSettingsForm form;
    whileShown(form, [&form] {
        form.DeviceList1->setCurrentRow(2);
        form.ScrollBar1->setValue(90);
        QTest::mouseClick(form.cbAS, Qt::LeftButton);
        QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
    });
    EXPECT_FALSE(form.RunAndStore(Devices));
    EXPECT_EQ(stored("SoundDevice"), "1");
    EXPECT_EQ(stored("Buffer"), "45");
    EXPECT_EQ(stored("Autosave"), "0");

    // Escape is Cancel too.
    whileShown(form, [&form] {
        form.ScrollBar1->setValue(80);
        QTest::keyClick(&form, Qt::Key_Escape);
    });
    EXPECT_FALSE(form.RunAndStore(Devices));
    EXPECT_EQ(stored("Buffer"), "45");
}

TEST(SettingsForm, ChoosingDefaultDeviceStoresZero) {
    store("2", "60", "", "0");
    TSettingsForm form;
    whileShown(form, [&form] {
        QTest::mouseClick(form.DeviceList1->viewport(), Qt::LeftButton, {},
                          form.DeviceList1->visualItemRect(form.DeviceList1->item(0)).center());
        QTest::keyClick(&form, Qt::Key_Return); // OK is the default button
    });
    EXPECT_TRUE(form.RunAndStore(Devices));
    EXPECT_EQ(stored("SoundDevice"), "0");
}

TEST(SettingsForm, BrowsingForTheEditorConfirmsTheDialogEvenWhenCancelled) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    store("0", "60", "/usr/bin/editor", "0");
    TSettingsForm form;
    whileShown(form, [&form] {
        form.ScrollBar1->setValue(33);
        // The file dialog is modal too: close it unanswered once it is up.
        QTimer::singleShot(0, &form, [] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(files, nullptr);
            EXPECT_EQ(files->directory().absolutePath(), "/usr/bin");
            files->reject();
        });
        QTest::mouseClick(form.Button1, Qt::LeftButton);
    });
    EXPECT_TRUE(form.RunAndStore(Devices));
    EXPECT_EQ(stored("Buffer"), "33");
    EXPECT_EQ(stored("ExternEdit"), "/usr/bin/editor");
}

TEST(SettingsForm, TheDeviceListStartsWithTheDefaultDevice) {
    const auto names = TSettingsForm::DeviceNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0], "Default Device");
}

} // namespace

TEST(SettingsForm, StretchQualityIsShownAndStoredAndAnUnknownOneReadsAsStandard) {
    using brindle::soundlib::StretchQuality;
    store("0", "60", "", "0");
    TRegString("StretchQuality", "").Set("Best");
    EXPECT_EQ(cAudioSettings::Read().StretchQuality, StretchQuality::Best);
    TSettingsForm form;
    whileShown(form, [&form] {
        EXPECT_EQ(form.cbStretch->currentText(), "Best");
        form.cbStretch->setCurrentIndex(form.cbStretch->findText("Standard"));
        QTest::mouseClick(form.OKBtn, Qt::LeftButton);
    });
    EXPECT_TRUE(form.RunAndStore(Devices));
    EXPECT_EQ(stored("StretchQuality"), "Standard");
    TRegString("StretchQuality", "").Set("Turbo");
    EXPECT_EQ(cAudioSettings::Read().StretchQuality, StretchQuality::Standard);
}
