#pragma once
// The "Export" dialog: renders the song (whole or some of its orders) with its master effects to
// an MP3, WAV, PCM, FLAC, Ogg Vorbis or Opus file, or as stems (one file per channel), through the
// same song render as brindle-cli, so both write the same bytes. The render runs on the UI thread
// block by block and keeps the window responsive; "Cancel" stops it after the current block and
// leaves nothing at the target. An existing file is replaced only after AskReplace agrees and the
// render has completed. Enabling Timer1 before showing the dialog makes it export unattended
// (replacing without asking) and close.
#include "app/SongRender.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class cSequencer;
namespace brindle {
class SampleCache;
}

class TExportForm : public QDialog {
    Q_OBJECT
  public:
    enum TFormat {
        FormatMP3 = 0,
        FormatWAV = 1,
        FormatPCM = 2,
        FormatFLAC = 3,
        FormatOGG = 4,
        FormatOpus = 5
    };
    static constexpr int FormatCount = 6;
    enum TBits { Bits16 = 0, Bits24 = 1, Bits32Float = 2 };
    using TNotifyEvent = std::function<void(TExportForm* Sender)>;
    using TLogEvent = std::function<void(TExportForm* Sender, const std::string& Text)>;
    // Asked before an existing file (or, for stems, any of them) is replaced; true replaces.
    using TAskReplaceEvent = std::function<bool(TExportForm* Sender, const std::string& Question)>;

    explicit TExportForm(QWidget* Parent = nullptr);
    ~TExportForm() override;

    QLineEdit* Edit1;
    QPushButton* BrowseButton; // "..."
    QGroupBox* rgFormat;
    QRadioButton* FormatButtons[FormatCount]; // "MP3", "WAV", "PCM", "FLAC", "Ogg", "Opus"
    QComboBox* cbBits;                        // WAV and FLAC: "16-bit", "24-bit", "32-bit float" (WAV only)
    QSpinBox* seQuality;                      // Ogg and Opus, 0..10
    QRadioButton* rbWholeSong;                // "Whole song"
    QRadioButton* rbOrders;                   // "Orders" seFromOrder "to" seToOrder
    QSpinBox* seFromOrder;
    QSpinBox* seToOrder;
    QCheckBox* cbNormalize; // "Normalize to" seLoudness "LUFS, true peak at most" seCeiling "dBTP"
    QDoubleSpinBox* seLoudness;
    QDoubleSpinBox* seCeiling;
    QCheckBox* cbStems;  // "Stems (one file per channel)": into a folder named like the file
    QCheckBox* cbDither; // "Dither to 16 bits": starts from the setting, saved on export
    QPushButton* SaveButton;
    QPushButton* CancelButton;
    QLabel* lbProgress;
    QLabel* lbLoudness; // the last export's loudness and true peak
    QTimer* Timer1;     // one-shot, 1 ms, stopped; start it before showing for an unattended export

    // Runs before every export: the main window stops live playback here.
    TNotifyEvent BeforeExport;
    // Progress notes, problems and failures, for the application log.
    TLogEvent OnLog;
    // Unset, a message box asks.
    TAskReplaceEvent AskReplace;

    void SetSong(cSequencer* Value) { Song = Value; }
    // The song's file (empty for an untitled song): when it changes, the output path becomes the
    // song's folder and name with the format's extension (an untitled song's: the Music folder,
    // or home, and "Untitled"); while it stays, the path the user typed stays too.
    void SetSongPath(const std::string& ModulePath);
    // Where stems of an output path go: the folder named like the file without its extension.
    static std::string StemFolder(const std::string& Path);
    // Instruments the live engine has decoded already; used when it matches the render's format.
    void SetSampleCache(std::shared_ptr<brindle::SampleCache> Value);
    int GetFormat() const;
    void SetFormat(int Index);
    bool GetExporting() const { return Exporting; }
    const brindle::RenderReport& GetLastReport() const { return LastReport; }

    // "Save": exports, then closes with OK when the file was written.
    void SaveClick();
    // "Cancel": stops a running export (the dialog closes when it has stopped), else closes.
    void CancelClick();
    // "...": a save dialog for the output file.
    void BrowseClick();
    // Unattended export: closes with OK when the file was written, with Cancel otherwise.
    void Timer1Timer();

    // ProgressBytes / 1024 (whole KiB) x 0.001, two decimals, " MB".
    // Bytes of the file at Path, or of the files in the folder at Path.
    static std::int64_t WrittenBytes(const std::string& Path);
    static std::string ProgressText(std::int64_t Bytes);
    // The render the controls describe, to OutputFile.
    brindle::RenderOptions GetRenderOptions(const std::string& OutputFile) const;
    // Path with the extension of Format in place of its own (or added when it has none).
    static std::string WithFormatExtension(const std::string& Path, int Format);

  protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;

  private:
    bool Export();
    void Report(const std::string& Text);
    void ShowProgress(std::int64_t Bytes);
    void SetIdleControlsEnabled(bool Enabled);
    // Enables the options that apply to the chosen format and range.
    void UpdateOptionControls();
    bool ConfirmReplace(const std::string& Question);

    cSequencer* Song = nullptr;
    std::shared_ptr<brindle::SampleCache> Cache;
    QButtonGroup* FormatGroup;
    bool Exporting = false;
    bool CancelRequested = false;
    bool Unattended = false;
    std::string SongPath;
    bool SongPathSet = false;
    brindle::RenderReport LastReport;
};
