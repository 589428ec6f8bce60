#pragma once
// The "Export" dialog: renders the whole song with its master effects to an MP3, WAV or raw PCM
// file through the same song render as brindle-cli, so both write the same bytes. The render
// runs on the UI thread block by block and keeps the window responsive; "Cancel" stops it after
// the current block and leaves nothing at the target. Enabling Timer1 before showing the dialog
// makes it export unattended and close.
#include "app/SongRender.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class cSequencer;
namespace brindle {
class SampleCache;
}

class TExportForm : public QDialog {
    Q_OBJECT
  public:
    enum TFormat { FormatMP3 = 0, FormatWAV = 1, FormatPCM = 2 };
    using TNotifyEvent = std::function<void(TExportForm* Sender)>;
    using TLogEvent = std::function<void(TExportForm* Sender, const std::string& Text)>;

    explicit TExportForm(QWidget* Parent = nullptr);
    ~TExportForm() override;

    QLineEdit* Edit1;
    QPushButton* BrowseButton; // "..."
    QGroupBox* rgFormat;
    QRadioButton* FormatButtons[3]; // "MP3", "WAV", "PCM"
    QCheckBox* cbDither;            // "Dither to 16 bits": starts from the setting, saved on export
    QPushButton* SaveButton;
    QPushButton* CancelButton;
    QLabel* lbProgress;
    QTimer* Timer1; // one-shot, 1 ms, stopped; start it before showing for an unattended export

    // Runs before every export: the main window stops live playback here.
    TNotifyEvent BeforeExport;
    // Progress notes, problems and failures, for the application log.
    TLogEvent OnLog;

    void SetSong(cSequencer* Value) { Song = Value; }
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
    static std::string ProgressText(std::int64_t Bytes);
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

    cSequencer* Song = nullptr;
    std::shared_ptr<brindle::SampleCache> Cache;
    QButtonGroup* FormatGroup;
    bool Exporting = false;
    bool CancelRequested = false;
    brindle::RenderReport LastReport;
};
