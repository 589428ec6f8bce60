#pragma once
// "Audio Settings": the output device, the playback buffer length, the external audio editor and
// autosave. It only edits; RunAndStore fills it from the stored settings and stores them on OK.
#include "app/AudioSettings.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollBar;

class TSettingsForm : public QDialog {
    Q_OBJECT
  public:
    explicit TSettingsForm(QWidget* Parent = nullptr);

    QLabel* Label1;           // "Sound Device:"
    QListWidget* DeviceList1; // item index = device number
    QLabel* lbBuffer;         // "Buffer (N ms)"
    QScrollBar* ScrollBar1;   // buffer length, 10..100 ms
    QLabel* Label2;           // "External Editor:"
    QLineEdit* EditorEdit;    // empty: the desktop's default application
    QPushButton* Button1;     // "..."
    QCheckBox* cbAS;          // "Autosave every 1 minute"
    QCheckBox* cbDither;      // "Dither exports to 16 bits"
    QLabel* lbStretch;        // "Stretch quality:"
    QComboBox* cbStretch;     // "Standard", "Best"
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    // A device number that is not in the list selects the default device; a buffer outside the
    // scroll bar's range shows at its nearest end.
    void Fill(const std::vector<std::string>& DeviceNames, int SoundDevice, int Buffer,
              const std::string& ExternEdit, bool Autosave);
    void Fill(const std::vector<std::string>& DeviceNames, const cAudioSettings& Settings);
    int GetSoundDevice() const;
    int GetBuffer() const;
    std::string GetExternEdit() const;
    bool GetAutosave() const;
    brindle::soundlib::StretchQuality GetStretchQuality() const;
    cAudioSettings GetSettings() const;

    void ScrollBar1Change(int Position);
    // Browses for the editor, then closes the dialog as confirmed whether or not a file was chosen.
    void Button1Click();

    // Fills the dialog from the stored settings and the device list, shows it modally and, when it
    // is confirmed, stores the values. The caller then re-initialises audio and the autosave timer.
    bool RunAndStore();
    bool RunAndStore(const std::vector<std::string>& DeviceNames);
    // The output devices: "Default Device" first, then every output device by number.
    static std::vector<std::string> DeviceNames();
};
