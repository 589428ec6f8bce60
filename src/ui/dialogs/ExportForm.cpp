#include "ui/dialogs/ExportForm.h"

#include "ui/views/UserFolders.h"
#include "app/AudioSettings.h"
#include "app/SongEngine.h"
#include "audio/mixer/SampleCache.h"
#include "base/Error.h"
#include "song/Sequencer.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const FormatExtensions[] = {".mp3", ".wav", ".pcm", ".flac", ".ogg", ".opus"};
const char* const FormatFilters[] = {"MP3 (*.mp3)",   "WAV (*.wav)",        "PCM (*.pcm *.raw)",
                                     "FLAC (*.flac)", "Ogg Vorbis (*.ogg)", "Opus (*.opus)"};
const brindle::soundlib::FileFormat FileFormats[] = {
    brindle::soundlib::FileFormat::Mp3, brindle::soundlib::FileFormat::Wav,
    brindle::soundlib::FileFormat::Pcm, brindle::soundlib::FileFormat::Flac,
    brindle::soundlib::FileFormat::Ogg, brindle::soundlib::FileFormat::Opus};

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
    for (int i = 0; i < TExportForm::FormatCount; ++i)
        if (Ext == FormatExtensions[i]) return i;
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
    const char* const Names[] = {"MP3", "WAV", "PCM", "FLAC", "Ogg", "Opus"};
    for (int i = 0; i < FormatCount; ++i) {
        FormatButtons[i] = new QRadioButton(Names[i], rgFormat);
        FormatGroup->addButton(FormatButtons[i], i);
        FormatRow->addWidget(FormatButtons[i]);
    }
    FormatButtons[FormatMP3]->setChecked(true);
    cbBits = new QComboBox(this);
    cbBits->addItems({"16-bit", "24-bit", "32-bit float"});
    cbBits->setToolTip("Sample format of WAV and FLAC files; FLAC has no float samples");
    seQuality = new QSpinBox(this);
    seQuality->setRange(0, 10);
    seQuality->setValue(5);
    seQuality->setToolTip("Ogg Vorbis and Opus quality, 0 (smallest) to 10 (best)");
    rbWholeSong = new QRadioButton("Whole song", this);
    rbOrders = new QRadioButton("Orders", this);
    rbWholeSong->setChecked(true);
    seFromOrder = new QSpinBox(this);
    seToOrder = new QSpinBox(this);
    for (QSpinBox* Box : {seFromOrder, seToOrder})
        Box->setRange(1, OrderCount);
    cbNormalize = new QCheckBox("Normalize to", this);
    seLoudness = new QDoubleSpinBox(this);
    seLoudness->setRange(-70, 0);
    seLoudness->setDecimals(1);
    seLoudness->setValue(-14);
    seCeiling = new QDoubleSpinBox(this);
    seCeiling->setRange(-20, 0);
    seCeiling->setDecimals(1);
    seCeiling->setSingleStep(0.1);
    seCeiling->setValue(-1);
    cbStems = new QCheckBox("Stems (one file per channel)", this);
    cbStems->setToolTip("Each channel's notes without the master effects, into a folder named like the file");
    lbLoudness = new QLabel(this);
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
    auto* QualityRow = new QHBoxLayout;
    QualityRow->addWidget(new QLabel("Samples", this));
    QualityRow->addWidget(cbBits);
    QualityRow->addSpacing(12);
    QualityRow->addWidget(new QLabel("Quality", this));
    QualityRow->addWidget(seQuality);
    QualityRow->addStretch();
    auto* RangeRow = new QHBoxLayout;
    RangeRow->addWidget(rbWholeSong);
    RangeRow->addWidget(rbOrders);
    RangeRow->addWidget(seFromOrder);
    RangeRow->addWidget(new QLabel("to", this));
    RangeRow->addWidget(seToOrder);
    RangeRow->addStretch();
    auto* LoudnessRow = new QHBoxLayout;
    LoudnessRow->addWidget(cbNormalize);
    LoudnessRow->addWidget(seLoudness);
    LoudnessRow->addWidget(new QLabel("LUFS, true peak at most", this));
    LoudnessRow->addWidget(seCeiling);
    LoudnessRow->addWidget(new QLabel("dBTP", this));
    LoudnessRow->addStretch();
    auto* ButtonRow = new QHBoxLayout;
    ButtonRow->addStretch();
    ButtonRow->addWidget(SaveButton);
    ButtonRow->addWidget(CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(PathRow);
    Layout->addWidget(rgFormat);
    Layout->addLayout(QualityRow);
    Layout->addLayout(RangeRow);
    Layout->addLayout(LoudnessRow);
    Layout->addWidget(cbStems);
    Layout->addWidget(cbDither);
    Layout->addWidget(lbProgress);
    Layout->addWidget(lbLoudness);
    Layout->addLayout(ButtonRow);
    Layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelClick(); });
    connect(BrowseButton, &QPushButton::clicked, this, [this] { BrowseClick(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(FormatGroup, &QButtonGroup::idToggled, this, [this] { UpdateOptionControls(); });
    for (QAbstractButton* Box : std::initializer_list<QAbstractButton*>{rbOrders, cbNormalize, cbStems})
        connect(Box, &QAbstractButton::toggled, this, [this] { UpdateOptionControls(); });
    connect(seFromOrder, &QSpinBox::valueChanged, this, [this](int From) {
        if (seToOrder->value() < From) seToOrder->setValue(From);
    });
    connect(seToOrder, &QSpinBox::valueChanged, this, [this](int To) {
        if (seFromOrder->value() > To) seFromOrder->setValue(To);
    });
    UpdateOptionControls();
}

void TExportForm::UpdateOptionControls() {
    const int Format = GetFormat();
    const bool Idle = !Exporting;
    cbBits->setEnabled(Idle && (Format == FormatWAV || Format == FormatFLAC));
    seQuality->setEnabled(Idle && (Format == FormatOGG || Format == FormatOpus));
    seFromOrder->setEnabled(Idle && rbOrders->isChecked());
    seToOrder->setEnabled(Idle && rbOrders->isChecked());
    // One gain for one file: stems keep the levels they have in the mix.
    cbNormalize->setEnabled(Idle && !cbStems->isChecked());
    seLoudness->setEnabled(Idle && cbNormalize->isEnabled() && cbNormalize->isChecked());
    seCeiling->setEnabled(seLoudness->isEnabled());
    cbStems->setEnabled(Idle && Format != FormatPCM);
}

void TExportForm::SetSongPath(const std::string& ModulePath) {
    if (SongPathSet && ModulePath == SongPath) return;
    SongPathSet = true;
    SongPath = ModulePath;
    fs::path Base;
    if (ModulePath.empty()) {
        Base = fs::path(brindle::ui::MusicFolder()) / "Untitled";
    } else {
        const fs::path Module(ModulePath);
        Base = Module.parent_path() / Module.stem();
    }
    Edit1->setText(QString::fromStdString(Base.string() + FormatExtensions[GetFormat()]));
}

std::string TExportForm::StemFolder(const std::string& Path) {
    const auto At = extensionStart(Path);
    return At == std::string::npos ? Path : Path.substr(0, At);
}

brindle::RenderOptions TExportForm::GetRenderOptions(const std::string& OutputFile) const {
    brindle::RenderOptions Options;
    Options.OutputFile = OutputFile;
    const int Format = GetFormat();
    if (Format == FormatWAV || Format == FormatFLAC)
        Options.Bits = cbBits->currentIndex() == Bits24        ? brindle::soundlib::SampleBits::Int24
                       : cbBits->currentIndex() == Bits32Float ? brindle::soundlib::SampleBits::Float32
                                                               : brindle::soundlib::SampleBits::Int16;
    if (Format == FormatOGG || Format == FormatOpus) Options.Quality = seQuality->value();
    if (rbOrders->isChecked()) {
        Options.FromOrder = seFromOrder->value();
        Options.ToOrder = seToOrder->value();
    }
    Options.Stems = cbStems->isChecked() && Format != FormatPCM;
    Options.StemFormat = FileFormats[Format];
    Options.Normalize = cbNormalize->isChecked() && !Options.Stems;
    Options.TargetLufs = seLoudness->value();
    Options.CeilingDbtp = seCeiling->value();
    Options.Dither = cbDither->isChecked();
    return Options;
}

bool TExportForm::ConfirmReplace(const std::string& Question) {
    if (Unattended) return true;
    if (AskReplace) return AskReplace(this, Question);
    return QMessageBox::question(this, "Export", QString::fromStdString(Question),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

TExportForm::~TExportForm() = default;

void TExportForm::SetSampleCache(std::shared_ptr<brindle::SampleCache> Value) {
    Cache = std::move(Value);
}

int TExportForm::GetFormat() const {
    return std::max(0, FormatGroup->checkedId());
}

void TExportForm::SetFormat(int Index) {
    if (Index >= 0 && Index < FormatCount) FormatButtons[Index]->setChecked(true);
}

std::int64_t TExportForm::WrittenBytes(const std::string& Path) {
    std::error_code Ec;
    if (!std::filesystem::is_directory(Path, Ec)) {
        const auto Size = std::filesystem::file_size(Path, Ec);
        return Ec ? 0 : std::int64_t(Size);
    }
    std::int64_t Total = 0;
    for (const auto& Entry : std::filesystem::directory_iterator(Path, Ec))
        if (Entry.is_regular_file(Ec)) Total += std::int64_t(Entry.file_size(Ec));
    return Total;
}

std::string TExportForm::ProgressText(std::int64_t Bytes) {
    const double Megabytes = double(Bytes / 1024) * 0.001;
    // QString's number format ignores the locale, so the point stays a point.
    return QString::number(Megabytes, 'f', 2).toStdString() + " MB";
}

std::string TExportForm::WithFormatExtension(const std::string& Path, int Format) {
    if (Format < 0 || Format >= FormatCount) return Path;
    const int Current = formatOfExtension(Path);
    if (Current == Format) return Path;
    const auto At = extensionStart(Path);
    return (At == std::string::npos ? Path : Path.substr(0, At)) + FormatExtensions[Format];
}

void TExportForm::showEvent(QShowEvent* Event) {
    if (!Exporting) {
        lbProgress->clear();
        lbLoudness->clear();
    }
    if (Song) {
        // The range offers the orders the song plays.
        const int Orders = std::max(1, brindle::PlayableOrders(*Song));
        seFromOrder->setMaximum(Orders);
        seToOrder->setMaximum(Orders);
    }
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
    Unattended = true;
    const bool Written = Export();
    Unattended = false;
    done(Written ? Accepted : Rejected);
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
    rbWholeSong->setEnabled(Enabled);
    rbOrders->setEnabled(Enabled);
    UpdateOptionControls();
}

bool TExportForm::Export() {
    LastReport = {};
    CancelRequested = false;
    lbLoudness->clear();
    const auto fail = [this](const std::string& Text) {
        lbProgress->setText(QString::fromStdString(Text));
        Report("Export failed: " + Text);
        return false;
    };
    if (!Song) return fail("There is no song to export.");
    const std::string Typed = Edit1->text().trimmed().toStdString();
    if (Typed.empty()) return fail("Choose the file to export to.");
    std::error_code Ignored;
    const bool Stems = cbStems->isChecked() && GetFormat() != FormatPCM;
    if (!Stems && (Typed.back() == '/' || fs::is_directory(Typed, Ignored)))
        return fail("\"" + Typed + "\" is a folder; choose a file name.");
    const std::string Target = Stems ? StemFolder(Typed) : WithFormatExtension(Typed, GetFormat());
    if (!Stems && Target != Typed) {
        Edit1->setText(QString::fromStdString(Target));
        const std::string Note =
            "Saving as " + fs::path(Target).filename().string() + " to match the format.";
        lbProgress->setText(QString::fromStdString(Note));
        Report(Note);
    }
    brindle::RenderOptions Options = GetRenderOptions(Target);
    if (Stems) {
        // The names the stems take; any that exist would be replaced.
        int Existing = 0;
        for (const auto& Name :
             brindle::StemFileNames(*Song, Options.FromOrder, Options.ToOrder, Options.StemFormat))
            if (fs::exists(fs::path(Target) / Name, Ignored)) ++Existing;
        if (Existing > 0 && !ConfirmReplace(std::to_string(Existing) + (Existing == 1 ? " stem" : " stems") +
                                            " in \"" + Target + "\" already exist. Replace them?"))
            return false;
    } else if (fs::exists(Target, Ignored) &&
               !ConfirmReplace("\"" + Target + "\" already exists. Replace it?")) {
        return false;
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
        // Stems are staged file by file by their writers; one file is staged here as a whole.
        std::optional<StagedExport> Output;
        if (!Stems) Output.emplace(Target);
        try {
            // Its own engine and run, exactly as the command-line render does.
            brindle::SongEngine Engine(*Song, /*RealTime=*/false);
            const auto& Mixer = Engine.Mixer();
            if (Cache && Cache->GetSampleRate() == Mixer.GetSampleRate() &&
                Cache->GetChannels() == Mixer.GetChannels())
                Engine.Mixer().SetSampleCache(Cache);
            const double BytesPerSecond = Mixer.GetBytesPerSec();
            if (Output) Options.OutputFile = Output->GetStaging().string();
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
            throw brindle::Error(Output ? Output->InTargetTerms(E.what()) : std::string(E.what()));
        }
        for (const auto& Problem : LastReport.Problems)
            Report("Export: " + Problem + " (its notes are silent)");
        if (LastReport.Cancelled || CancelRequested) {
            LastReport.Cancelled = true;
            lbProgress->setText("Cancelled");
            Report("Export cancelled; \"" + Target + "\" was not written.");
            return false;
        }
        if (Output) Output->Commit();
        // The size written, not the audio rendered: an MP3 is a fifth of its PCM.
        ShowProgress(WrittenBytes(Stems ? StemFolder(Target) : Target));
        std::string Loudness = brindle::LoudnessText(LastReport.Lufs, LastReport.TruePeakDb);
        if (Stems) Loudness = "Stems together: " + Loudness;
        if (Options.Normalize) {
            char Gain[64];
            std::snprintf(Gain, sizeof Gain, " (gain %+.1f dB%s)", LastReport.GainDb,
                          LastReport.CeilingLimited ? ", held back by the ceiling" : "");
            Loudness += Gain;
        }
        lbLoudness->setText(QString::fromStdString(Loudness));
        Report("Exported \"" + Target + "\" (" + lbProgress->text().toStdString() + ", " + Loudness + ").");
        return true;
    } catch (const std::exception& E) {
        return fail(E.what());
    }
}
