#include "ui/dialogs/ExportForm.h"

#include "app/AudioSettings.h"
#include "app/SongEngine.h"
#include "audio/mixer/SampleCache.h"
#include "base/Error.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const FormatExtensions[] = {".mp3", ".wav", ".pcm"};
const char* const FormatFilters[] = {"MP3 (*.mp3)", "WAV (*.wav)", "PCM (*.pcm *.raw)"};

std::string lower(std::string Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(),
                   [](unsigned char C) { return char(std::tolower(C)); });
    return Text;
}

// Where the extension of the last path part starts, or npos; a leading dot names a hidden file.
std::size_t extensionStart(const std::string& Path) {
    const auto NameStart = Path.find_last_of('/');
    const std::size_t Name = NameStart == std::string::npos ? 0 : NameStart + 1;
    const auto Dot = Path.rfind('.');
    return Dot != std::string::npos && Dot > Name ? Dot : std::string::npos;
}

int formatOfExtension(const std::string& Path) {
    const auto At = extensionStart(Path);
    const std::string Ext = At == std::string::npos ? std::string() : lower(Path.substr(At));
    if (Ext == ".mp3") return TExportForm::FormatMP3;
    if (Ext == ".wav") return TExportForm::FormatWAV;
    if (Ext == ".pcm" || Ext == ".raw") return TExportForm::FormatPCM;
    return -1;
}

// The render writes beside the target under a hidden name and is moved over the target only when
// it completes, so a cancelled export leaves an earlier file of that name as it was.
class StagedExport {
  public:
    explicit StagedExport(fs::path TargetPath) : Target(std::move(TargetPath)) {
        // Built by appending: GCC 12 misreads a chain of + starting at a literal (-Wrestrict).
        std::string Name(1, '.');
        Name.append(Target.stem().string()).append(".exporting-").append(std::to_string(getpid()));
        Name.append(Target.extension().string());
        Staging = Target.parent_path() / Name;
    }
    ~StagedExport() {
        if (!Done) {
            std::error_code Ignored;
            fs::remove(Staging, Ignored);
        }
    }
    const fs::path& GetStaging() const { return Staging; }
    void Commit() {
        std::error_code Code;
        fs::rename(Staging, Target, Code);
        if (Code) throw brindle::Error("Can't write \"" + Target.string() + "\": " + Code.message());
        Done = true;
    }
    // A message about the staging file names the target the user chose (also inside the names
    // of the writers' own temporary files).
    std::string InTargetTerms(std::string Text) const {
        Text = replaced(std::move(Text), Staging.string(), Target.string());
        return replaced(std::move(Text), Staging.filename().string(), Target.filename().string());
    }

  private:
    static std::string replaced(std::string Text, const std::string& From, const std::string& To) {
        for (std::size_t At = 0; (At = Text.find(From, At)) != std::string::npos; At += To.size())
            Text.replace(At, From.size(), To);
        return Text;
    }

    fs::path Target;
    fs::path Staging;
    bool Done = false;
};

struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TExportForm::TExportForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Export");
    Edit1 = new QLineEdit(this);
    Edit1->setMinimumWidth(320);
    BrowseButton = new QPushButton("...", this);
    BrowseButton->setAutoDefault(false);
    rgFormat = new QGroupBox("Format", this);
    FormatGroup = new QButtonGroup(this);
    auto* FormatRow = new QHBoxLayout(rgFormat);
    const char* const Names[] = {"MP3", "WAV", "PCM"};
    for (int i = 0; i < 3; ++i) {
        FormatButtons[i] = new QRadioButton(Names[i], rgFormat);
        FormatGroup->addButton(FormatButtons[i], i);
        FormatRow->addWidget(FormatButtons[i]);
    }
    FormatButtons[FormatMP3]->setChecked(true);
    cbDither = new QCheckBox("Dither to 16 bits", this);
    cbDither->setToolTip("Adds a faint noise that turns rounding distortion in quiet passages into hiss");
    cbDither->setChecked(cAudioSettings::Read().Dither);
    lbProgress = new QLabel(this);
    lbProgress->setWordWrap(true);
    SaveButton = new QPushButton("Save", this);
    SaveButton->setDefault(true);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setAutoDefault(false);
    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(1);

    auto* PathRow = new QHBoxLayout;
    PathRow->addWidget(Edit1, 1);
    PathRow->addWidget(BrowseButton);
    auto* ButtonRow = new QHBoxLayout;
    ButtonRow->addStretch();
    ButtonRow->addWidget(SaveButton);
    ButtonRow->addWidget(CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(PathRow);
    Layout->addWidget(rgFormat);
    Layout->addWidget(cbDither);
    Layout->addWidget(lbProgress);
    Layout->addLayout(ButtonRow);
    Layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelClick(); });
    connect(BrowseButton, &QPushButton::clicked, this, [this] { BrowseClick(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

TExportForm::~TExportForm() = default;

void TExportForm::SetSampleCache(std::shared_ptr<brindle::SampleCache> Value) {
    Cache = std::move(Value);
}

int TExportForm::GetFormat() const {
    return std::max(0, FormatGroup->checkedId());
}

void TExportForm::SetFormat(int Index) {
    if (Index >= 0 && Index < 3) FormatButtons[Index]->setChecked(true);
}

std::string TExportForm::ProgressText(std::int64_t Bytes) {
    const double Megabytes = double(Bytes / 1024) * 0.001;
    // QString's number format ignores the locale, so the point stays a point.
    return QString::number(Megabytes, 'f', 2).toStdString() + " MB";
}

std::string TExportForm::WithFormatExtension(const std::string& Path, int Format) {
    if (Format < 0 || Format > 2) return Path;
    const int Current = formatOfExtension(Path);
    if (Current == Format) return Path;
    const auto At = extensionStart(Path);
    return (At == std::string::npos ? Path : Path.substr(0, At)) + FormatExtensions[Format];
}

void TExportForm::showEvent(QShowEvent* Event) {
    if (!Exporting) lbProgress->clear();
    QDialog::showEvent(Event);
}

void TExportForm::closeEvent(QCloseEvent* Event) {
    if (Exporting) {
        // Closing means cancelling; the window goes once the render has stopped.
        CancelRequested = true;
        Event->ignore();
        return;
    }
    QDialog::closeEvent(Event);
}

void TExportForm::reject() {
    if (Exporting) {
        CancelRequested = true;
        return;
    }
    QDialog::reject();
}

void TExportForm::CancelClick() {
    reject();
}

void TExportForm::SaveClick() {
    if (Exporting) return;
    if (Export())
        accept();
    else if (CancelRequested)
        QDialog::reject();
}

void TExportForm::Timer1Timer() {
    Timer1->stop();
    if (Exporting) return;
    done(Export() ? Accepted : Rejected);
}

void TExportForm::BrowseClick() {
    if (Exporting) return;
    QFileDialog Dialog(this, "Export", Edit1->text());
    Dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList Filters;
    for (const char* Filter : FormatFilters)
        Filters << Filter;
    Dialog.setNameFilters(Filters);
    Dialog.selectNameFilter(Filters[GetFormat()]);
    Dialog.setDefaultSuffix(QString(FormatExtensions[GetFormat()]).mid(1));
    connect(&Dialog, &QFileDialog::filterSelected, &Dialog, [&Dialog, &Filters](const QString& Filter) {
        const auto Index = Filters.indexOf(Filter);
        if (Index >= 0) Dialog.setDefaultSuffix(QString(FormatExtensions[Index]).mid(1));
    });
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty()) return;
    const std::string Chosen = Dialog.selectedFiles().first().toStdString();
    // A name with a known extension picks its format; otherwise the filter chosen does.
    const int ByName = formatOfExtension(Chosen);
    const int ByFilter = int(Filters.indexOf(Dialog.selectedNameFilter()));
    SetFormat(ByName >= 0 ? ByName : ByFilter);
    Edit1->setText(QString::fromStdString(WithFormatExtension(Chosen, GetFormat())));
}

void TExportForm::Report(const std::string& Text) {
    if (OnLog) OnLog(this, Text);
}

void TExportForm::ShowProgress(std::int64_t Bytes) {
    const QString Text = QString::fromStdString(ProgressText(Bytes));
    if (lbProgress->text() != Text) lbProgress->setText(Text);
}

void TExportForm::SetIdleControlsEnabled(bool Enabled) {
    SaveButton->setEnabled(Enabled);
    BrowseButton->setEnabled(Enabled);
    Edit1->setEnabled(Enabled);
    rgFormat->setEnabled(Enabled);
    cbDither->setEnabled(Enabled);
}

bool TExportForm::Export() {
    LastReport = {};
    CancelRequested = false;
    const auto fail = [this](const std::string& Text) {
        lbProgress->setText(QString::fromStdString(Text));
        Report("Export failed: " + Text);
        return false;
    };
    if (!Song) return fail("There is no song to export.");
    const std::string Typed = Edit1->text().trimmed().toStdString();
    if (Typed.empty()) return fail("Choose the file to export to.");
    std::error_code Ignored;
    if (Typed.back() == '/' || fs::is_directory(Typed, Ignored))
        return fail("\"" + Typed + "\" is a folder; choose a file name.");
    const std::string Target = WithFormatExtension(Typed, GetFormat());
    if (Target != Typed) {
        Edit1->setText(QString::fromStdString(Target));
        const std::string Note =
            "Saving as " + fs::path(Target).filename().string() + " to match the format.";
        lbProgress->setText(QString::fromStdString(Note));
        Report(Note);
    }

    Exporting = true;
    SetIdleControlsEnabled(false);
    struct Idle {
        TExportForm& Form;
        ~Idle() {
            Form.Exporting = false;
            Form.SetIdleControlsEnabled(true);
        }
    } IdleAfter{*this};
    BusyCursor Busy;
    try {
        if (BeforeExport) BeforeExport(this);
        StagedExport Output(Target);
        try {
            // Its own engine and run, exactly as the command-line render does.
            brindle::SongEngine Engine(*Song, /*RealTime=*/false);
            const auto& Mixer = Engine.Mixer();
            if (Cache && Cache->GetSampleRate() == Mixer.GetSampleRate() &&
                Cache->GetChannels() == Mixer.GetChannels())
                Engine.Mixer().SetSampleCache(Cache);
            const double BytesPerSecond = Mixer.GetBytesPerSec();
            brindle::RenderOptions Options;
            Options.OutputFile = Output.GetStaging().string();
            Options.Dither = cbDither->isChecked();
            // The choice sticks for the next export, as the settings dialog's box shows.
            if (auto Stored = cAudioSettings::Read(); Stored.Dither != Options.Dither) {
                Stored.Dither = Options.Dither;
                Stored.Write();
            }
            Options.StretchQuality = cAudioSettings::Read().StretchQuality;
            Options.Progress = [&](double Done, double) {
                ShowProgress(std::llround(Done * BytesPerSecond));
                QCoreApplication::processEvents();
                return !CancelRequested;
            };
            // Notes for a slow stretcher are prepared before the first block is written.
            lbProgress->setText("Preparing the song's notes...");
            QCoreApplication::processEvents();
            LastReport = brindle::RenderSong(Engine, Options);
            ShowProgress(std::llround(LastReport.Seconds * BytesPerSecond));
        } catch (const std::exception& E) {
            throw brindle::Error(Output.InTargetTerms(E.what()));
        }
        for (const auto& Problem : LastReport.Problems)
            Report("Export: " + Problem + " (its notes are silent)");
        if (LastReport.Cancelled || CancelRequested) {
            LastReport.Cancelled = true;
            lbProgress->setText("Cancelled");
            Report("Export cancelled; \"" + Target + "\" was not written.");
            return false;
        }
        Output.Commit();
        Report("Exported \"" + Target + "\" (" + lbProgress->text().toStdString() + ").");
        return true;
    } catch (const std::exception& E) {
        return fail(E.what());
    }
}
