#include "ui/dialogs/ExportForm.h"

#include "audio/mixer/SampleCache.h"
#include "base/RegString.h"
#include "song/Sequencer.h"
#include "support/Measure.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace brindle::test;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::int16_t> samples(const std::string& bytes, std::size_t skip = 0) {
    std::vector<std::int16_t> pcm((bytes.size() - skip) / 2);
    std::memcpy(pcm.data(), bytes.data() + skip, pcm.size() * 2);
    return pcm;
}

// Names in the folder other than the ones expected: leftovers of a staged or cancelled write.
std::vector<std::string> strays(const fs::path& dir, const std::vector<std::string>& expected) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const auto name = entry.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end()) found.push_back(name);
    }
    return found;
}

class ExportForm : public ::testing::Test {
  protected:
    void SetUp() override {
        // Two sine instruments, one stretched and transposed, over two orders, through the reverb.
        WriteSineWav(dir / "a.wav", 440, 0.3, 44100, 2);
        WriteSineWav(dir / "b.wav", 660, 0.2, 44100, 1);
        auto writer = std::make_unique<cSequencer>();
        writer->SetInstrumentFile(1, (dir / "a.wav").string());
        writer->SetInstrumentFile(2, (dir / "b.wav").string());
        writer->InstrumentAt(2).Stretch = 1.5f;
        writer->InstrumentAt(2).Pitch = 2;
        auto& pattern = writer->PatternAt(1);
        pattern.RowCount = 8;
        pattern.CellForWrite(0, 0) = {1, 0};
        pattern.CellForWrite(1, 2) = {2, 3};
        pattern.CellForWrite(0, 4) = {1, -5};
        pattern.CellForWrite(2, 6) = {2, 0};
        writer->Orders[0].PatternIndex = 1;
        writer->Orders[1].PatternIndex = 1;
        writer->Effects.ReverbEnabled = true;
        writer->Effects.ReverbLevel = 0.2f;
        writer->Effects.ReverbDelay = 0.3f;
        module = (dir / "song.hym").string();
        writer->SaveFile(module);
        song->LoadFile(module);
        form.SetSong(song.get());
        form.OnLog = [this](TExportForm* sender, const std::string& text) {
            EXPECT_EQ(sender, &form);
            log.push_back(text);
        };
        form.BeforeExport = [this](TExportForm*) { ++beforeExport; };
        form.AskReplace = [this](TExportForm* sender, const std::string& question) {
            EXPECT_EQ(sender, &form);
            questions.push_back(question);
            return replace;
        };
    }
    // What the command-line render writes for the same module.
    std::string cliRender(const std::string& name) {
        const auto out = dir / name;
        const auto r = RunCli({"render", module, out.string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return slurp(out);
    }
    void showForm() {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    // Clicks the radio button's circle: the button is wider than what a click hits.
    void choose(int format) {
        QRadioButton* button = form.FormatButtons[format];
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->height() / 2, button->height() / 2));
        ASSERT_TRUE(button->isChecked());
    }
    void setPath(const fs::path& p) {
        form.Edit1->selectAll();
        QTest::keyClicks(form.Edit1, QString::fromStdString(p.string()));
    }
    bool logged(const std::string& part) const {
        return std::any_of(log.begin(), log.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }

    TempDir dir;
    std::string module;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();
    TExportForm form;
    std::vector<std::string> log;
    int beforeExport = 0;
    std::vector<std::string> questions;
    bool replace = true;
};

TEST_F(ExportForm, WavExportWritesTheSameBytesAsTheCommandLine) {
    showForm();
    setPath(dir / "gui.wav");
    choose(TExportForm::FormatWAV);
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(beforeExport, 1);

    const auto gui = slurp(dir / "gui.wav");
    const auto cli = cliRender("cli.wav");
    ASSERT_GT(gui.size(), 44u + 2 * 44100 * 4);
    EXPECT_TRUE(gui == cli) << "sizes " << gui.size() << " and " << cli.size();
    // Real sound, not silence in the same length.
    EXPECT_GT(Rms(ChannelOf(samples(gui, 44), 2, 0)), 1000);
    // The size shown at the end is the file's.
    EXPECT_EQ(form.lbProgress->text().toStdString(), TExportForm::ProgressText(std::int64_t(gui.size())));
    EXPECT_TRUE(logged("Exported"));
    EXPECT_TRUE(strays(dir.path(), {"a.wav", "b.wav", "song.hym", "gui.wav", "cli.wav"}).empty());
}

TEST_F(ExportForm, DitherBoxMatchesTheCommandLineAndIsRemembered) {
    TRegString("Dither", "").SetBool(false);
    TExportForm fresh;
    EXPECT_FALSE(fresh.cbDither->isChecked()) << "the box starts from the setting";
    showForm();
    setPath(dir / "gui.wav");
    choose(TExportForm::FormatWAV);
    form.cbDither->setChecked(true);
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    ASSERT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(TRegString("Dither", "0").AsBool()) << "the choice is stored for the next export";

    const auto out = dir / "cli.wav";
    const auto r = RunCli({"render", module, out.string(), "--dither"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto gui = slurp(dir / "gui.wav");
    EXPECT_TRUE(gui == slurp(out));
    EXPECT_FALSE(gui == cliRender("plain.wav")) << "and dither changed the sound";
    TRegString("Dither", "").SetBool(false);
}

TEST_F(ExportForm, Mp3GoesThroughLameLikeTheCommandLine) {
    if (RunProcess({"lame", "--version"}).exitCode != 0) GTEST_SKIP() << "the lame encoder is not installed";
    showForm();
    setPath(dir / "gui.mp3");
    choose(TExportForm::FormatMP3);
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    const auto gui = slurp(dir / "gui.mp3");
    ASSERT_GT(gui.size(), 10000u);
    EXPECT_TRUE(gui == cliRender("cli.mp3"));
    // The log names the compressed file's size, not the audio's.
    EXPECT_TRUE(logged(TExportForm::ProgressText(std::int64_t(gui.size()))));
}

TEST_F(ExportForm, PcmWritesRawSamplesAndTheExtensionFollowsTheFormat) {
    showForm();
    setPath(dir / "take.mp3");
    choose(TExportForm::FormatPCM);
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(fs::exists(dir / "take.mp3"));
    ASSERT_TRUE(fs::exists(dir / "take.pcm"));
    EXPECT_EQ(form.Edit1->text().toStdString(), (dir / "take.pcm").string());
    EXPECT_TRUE(logged("take.pcm"));
    EXPECT_TRUE(slurp(dir / "take.pcm") == cliRender("cli.raw"));
}

TEST_F(ExportForm, ProgressReadsInMegabytesWithTwoDecimals) {
    EXPECT_EQ(TExportForm::ProgressText(5242880), "5.12 MB");
    EXPECT_EQ(TExportForm::ProgressText(0), "0.00 MB");
    EXPECT_EQ(TExportForm::ProgressText(1023), "0.00 MB"); // whole KiB only
    EXPECT_EQ(TExportForm::ProgressText(10240), "0.01 MB");
    EXPECT_EQ(TExportForm::ProgressText(1024LL * 123456), "123.46 MB");
}

TEST_F(ExportForm, ExtensionsFollowTheChosenFormat) {
    using F = TExportForm;
    EXPECT_EQ(F::WithFormatExtension("/a/song.mp3", F::FormatWAV), "/a/song.wav");
    EXPECT_EQ(F::WithFormatExtension("/a/song", F::FormatMP3), "/a/song.mp3");
    EXPECT_EQ(F::WithFormatExtension("/a/SONG.WAV", F::FormatWAV), "/a/SONG.WAV");
    EXPECT_EQ(F::WithFormatExtension("/a/song.raw", F::FormatPCM), "/a/song.raw");
    EXPECT_EQ(F::WithFormatExtension("/a.b/song", F::FormatPCM), "/a.b/song.pcm");
    EXPECT_EQ(F::WithFormatExtension("/a/.hidden", F::FormatWAV), "/a/.hidden.wav");
}

TEST_F(ExportForm, CancelStopsTheRunAndLeavesTheOldFileAlone) {
    {
        std::ofstream old(dir / "keep.wav", std::ios::binary);
        old << "an earlier export";
    }
    showForm();
    setPath(dir / "keep.wav");
    choose(TExportForm::FormatWAV);
    bool checked = false;
    // Runs inside the export, at the first moment it lets the window work.
    QTimer::singleShot(0, &form, [&] {
        checked = true;
        EXPECT_TRUE(form.GetExporting());
        EXPECT_FALSE(form.SaveButton->isEnabled());
        form.SaveClick(); // a second export does not start inside the first
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
        EXPECT_TRUE(form.isVisible()); // it closes once the run has stopped
    });
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    ASSERT_TRUE(checked);
    EXPECT_EQ(beforeExport, 1);
    EXPECT_TRUE(form.GetLastReport().Cancelled);
    EXPECT_LT(form.GetLastReport().Seconds, 1.0); // stopped early, the song lasts 2 s
    EXPECT_EQ(form.lbProgress->text(), "Cancelled");
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(slurp(dir / "keep.wav"), "an earlier export");
    EXPECT_EQ(questions.size(), 1u); // asked before, and replaced only by a completed render
    EXPECT_TRUE(strays(dir.path(), {"a.wav", "b.wav", "song.hym", "keep.wav"}).empty());
    EXPECT_TRUE(logged("cancelled"));
    EXPECT_TRUE(form.SaveButton->isEnabled());
}

TEST_F(ExportForm, ClosingTheWindowWhileExportingCancels) {
    showForm();
    setPath(dir / "closed.wav");
    choose(TExportForm::FormatWAV);
    QTimer::singleShot(0, &form, [&] { form.close(); });
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_TRUE(form.GetLastReport().Cancelled);
    EXPECT_FALSE(fs::exists(dir / "closed.wav"));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ExportForm, TimerExportsUnattendedAndCloses) {
    form.Edit1->setText(QString::fromStdString((dir / "auto.wav").string()));
    form.SetFormat(TExportForm::FormatWAV);
    form.Timer1->start();
    // A guard so a fault shows as a failure rather than a hang.
    QTimer::singleShot(120000, &form, [&] { form.done(99); });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_TRUE(slurp(dir / "auto.wav") == cliRender("cli.wav"));
}

TEST_F(ExportForm, FailuresAreReportedAndTheDialogStaysOpen) {
    showForm();
    setPath(dir / "no" / "such" / "folder" / "x.wav");
    choose(TExportForm::FormatWAV);
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_TRUE(form.isVisible());
    const auto shown = form.lbProgress->text().toStdString();
    // The message names the file the user chose, not the staging file behind it.
    EXPECT_NE(shown.find((dir / "no" / "such" / "folder" / "x.wav").string()), std::string::npos) << shown;
    EXPECT_EQ(shown.find("exporting-"), std::string::npos) << shown;
    EXPECT_TRUE(logged("Export failed"));

    // MP3 without the lame program.
    log.clear();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().string().c_str());
    setPath(dir / "x.mp3");
    choose(TExportForm::FormatMP3);
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    qputenv("PATH", path);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.lbProgress->text().contains("lame")) << form.lbProgress->text().toStdString();
    EXPECT_TRUE(logged("lame"));
    EXPECT_FALSE(fs::exists(dir / "x.mp3"));

    // No name, or a folder.
    form.Edit1->clear();
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.lbProgress->text().isEmpty());
    setPath(dir.path());
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_TRUE(form.lbProgress->text().contains("folder"));
    EXPECT_TRUE(strays(dir.path(), {"a.wav", "b.wav", "song.hym"}).empty());

    // Unattended, a failure closes the dialog as not done.
    form.Edit1->setText(QString::fromStdString((dir / "no" / "y.wav").string()));
    form.Timer1->start();
    EXPECT_EQ(form.exec(), QDialog::Rejected);
}

TEST_F(ExportForm, ASharedSampleCacheIsUsedAndChangesNoByte) {
    auto cache = std::make_shared<brindle::SampleCache>(44100, 2);
    cache->Load((dir / "a.wav").string());
    cache->Load((dir / "b.wav").string());
    const auto before = cache->Size();
    form.SetSampleCache(cache);
    form.Edit1->setText(QString::fromStdString((dir / "cached.raw").string()));
    form.SetFormat(TExportForm::FormatPCM);
    form.SaveClick();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(cache->Size(), before);
    EXPECT_GT(cache->VariantBytes(), 0u); // the render prepared its stretched notes in the shared cache
    EXPECT_TRUE(slurp(dir / "cached.raw") == cliRender("cli.raw"));
}

TEST_F(ExportForm, BrowsingPicksTheFileAndItsFormat) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    showForm();
    QTimer::singleShot(0, &form, [&] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
        // Choose the WAV filter the way a user does, from the file type list.
        auto* types = files->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        EXPECT_EQ(types->currentText(), "MP3 (*.mp3)");
        QTest::keyClick(types, Qt::Key_Down);
        EXPECT_EQ(types->currentText(), "WAV (*.wav)");
        files->selectFile(QString::fromStdString((dir / "picked").string()));
        QMetaObject::invokeMethod(files, "accept");
    });
    QTest::mouseClick(form.BrowseButton, Qt::LeftButton);
    EXPECT_EQ(form.Edit1->text().toStdString(), (dir / "picked.wav").string());
    EXPECT_TRUE(form.FormatButtons[TExportForm::FormatWAV]->isChecked());
}

// Samples as the ffmpeg program decodes them (a lossy file's container bytes carry a random
// stream number, its sound does not).
std::string decoded(const fs::path& file) {
    const auto raw = file.string() + ".f32";
    const auto r = RunProcess({"ffmpeg", "-v", "error", "-y", "-i", file.string(), "-f", "f32le", raw});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto bytes = slurp(raw);
    fs::remove(raw);
    return bytes;
}

// Each row sets the dialog's controls as a user would and gives the command line's equivalent.
TEST_F(ExportForm, EveryFormatAndOptionWritesWhatTheCommandLineWrites) {
    if (RunProcess({"ffmpeg", "-version"}).exitCode != 0) GTEST_SKIP() << "ffmpeg is not installed";
    struct Row {
        const char* name;
        int format;
        std::function<void()> set;
        std::vector<std::string> args;
        bool lossy;
    };
    const std::vector<Row> rows = {
        {"a.flac", TExportForm::FormatFLAC, [] {}, {}, false},
        {"b.flac",
         TExportForm::FormatFLAC,
         [&] { form.cbBits->setCurrentIndex(TExportForm::Bits24); },
         {"--bits", "24"},
         false},
        {"c.wav",
         TExportForm::FormatWAV,
         [&] { form.cbBits->setCurrentIndex(TExportForm::Bits32Float); },
         {"--bits", "32f"},
         false},
        {"d.ogg", TExportForm::FormatOGG, [&] { form.seQuality->setValue(3); }, {"--quality", "3"}, true},
        {"e.opus", TExportForm::FormatOpus, [&] { form.seQuality->setValue(8); }, {"--quality", "8"}, true},
        {"f.wav",
         TExportForm::FormatWAV,
         [&] {
             QTest::mouseClick(form.rbOrders, Qt::LeftButton, {},
                               QPoint(form.rbOrders->height() / 2, form.rbOrders->height() / 2));
             form.seFromOrder->setValue(2);
             form.seToOrder->setValue(2);
         },
         {"--from", "2", "--to", "2"},
         false},
        {"g.wav",
         TExportForm::FormatWAV,
         [&] {
             form.cbNormalize->setChecked(true);
             form.seLoudness->setValue(-20);
             form.seCeiling->setValue(-3);
         },
         {"--normalize", "-20", "--ceiling", "-3"},
         false},
    };
    showForm();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.format == TExportForm::FormatOpus && !brindle::soundlib::OpusAvailable()) continue;
        form.show();
        setPath(dir / row.name);
        choose(row.format);
        row.set();
        QTest::mouseClick(form.SaveButton, Qt::LeftButton);
        ASSERT_EQ(form.result(), QDialog::Accepted) << form.lbProgress->text().toStdString();
        // The loudness of what was written is shown.
        EXPECT_TRUE(form.lbLoudness->text().contains(" LUFS, ")) << form.lbLoudness->text().toStdString();
        std::vector<std::string> args{"render", module,
                                      (dir / std::string("cli-").append(row.name)).string()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const auto r = RunCli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        if (row.lossy)
            EXPECT_TRUE(decoded(dir / row.name) == decoded(args[2]));
        else
            EXPECT_TRUE(slurp(dir / row.name) == slurp(args[2]));
        // Back to the plain settings for the next row.
        form.cbBits->setCurrentIndex(TExportForm::Bits16);
        form.rbWholeSong->setChecked(true);
        form.cbNormalize->setChecked(false);
    }
    EXPECT_TRUE(questions.empty());
}

TEST_F(ExportForm, StemsGoToAFolderNamedLikeTheFile) {
    showForm();
    setPath(dir / "mix.wav");
    choose(TExportForm::FormatFLAC);
    EXPECT_FALSE(form.cbNormalize->isEnabled() && form.cbStems->isChecked());
    form.cbStems->setChecked(true);
    EXPECT_FALSE(form.cbNormalize->isEnabled()); // one gain is for one file
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    ASSERT_EQ(form.result(), QDialog::Accepted) << form.lbProgress->text().toStdString();
    EXPECT_TRUE(form.lbLoudness->text().startsWith("Stems together: "));
    const auto cli = dir / "cli-stems";
    ASSERT_EQ(RunCli({"render", module, cli.string(), "--stems", "--format", "flac"}).exitCode, 0);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "mix"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    // Channels 1 to 3; the instruments are named after their files.
    EXPECT_EQ(names, (std::vector<std::string>{"01 a.wav.flac", "02 b.wav.flac", "03 b.wav.flac"}));
    for (const auto& name : names)
        EXPECT_TRUE(slurp(dir / "mix" / name) == slurp(cli / name)) << name;

    // A second export asks before it replaces them; No leaves them and writes nothing.
    const auto before = slurp(dir / "mix" / names[0]);
    replace = false;
    form.show();
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    std::string expected("3 stems in \"");
    expected.append((dir / "mix").string()).append("\"");
    EXPECT_NE(questions[0].find(expected), std::string::npos) << questions[0];
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(beforeExport, 1);
}

TEST_F(ExportForm, CancelledStemsLeaveNoFile) {
    showForm();
    setPath(dir / "mix.wav");
    choose(TExportForm::FormatWAV);
    form.cbStems->setChecked(true);
    QTimer::singleShot(0, &form, [&] { QTest::mouseClick(form.CancelButton, Qt::LeftButton); });
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_TRUE(form.GetLastReport().Cancelled);
    EXPECT_FALSE(fs::exists(dir / "mix")); // the folder it made goes too
}

TEST_F(ExportForm, AnExistingFileIsReplacedOnlyWhenTheUserAgrees) {
    { std::ofstream(dir / "take.wav") << "an earlier take"; }
    showForm();
    setPath(dir / "take.wav");
    choose(TExportForm::FormatWAV);
    replace = false;
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    std::string expected(1, '"');
    expected.append((dir / "take.wav").string()).append("\" already exists. Replace it?");
    EXPECT_EQ(questions[0], expected);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(beforeExport, 0); // nothing started
    EXPECT_EQ(slurp(dir / "take.wav"), "an earlier take");

    replace = true;
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(slurp(dir / "take.wav") == cliRender("cli.wav"));

    // A new file asks nothing; an unattended export replaces without asking.
    form.show();
    setPath(dir / "fresh.wav");
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_EQ(questions.size(), 2u);
    form.Timer1->start();
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_EQ(questions.size(), 2u);
}

TEST_F(ExportForm, ThePathFollowsTheSongAndKeepsWhatTheUserTypedForIt) {
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", dir.path().string().c_str());
    struct RestoreHome {
        QByteArray value;
        ~RestoreHome() { qputenv("HOME", value); }
    } restore{home};

    form.SetFormat(TExportForm::FormatWAV);
    form.SetSongPath("/songs/summer/demo.hym");
    EXPECT_EQ(form.Edit1->text().toStdString(), "/songs/summer/demo.wav");
    showForm();
    setPath(dir / "elsewhere.wav");
    form.SetSongPath("/songs/summer/demo.hym"); // the same song: the typed path stays
    EXPECT_EQ(form.Edit1->text().toStdString(), (dir / "elsewhere.wav").string());
    form.SetFormat(TExportForm::FormatFLAC);
    form.SetSongPath("/songs/winter.hym"); // another song: its own folder and name
    EXPECT_EQ(form.Edit1->text().toStdString(), "/songs/winter.flac");

    // An untitled song: home, or the Music folder once there is one.
    form.SetFormat(TExportForm::FormatWAV);
    form.SetSongPath("");
    EXPECT_EQ(form.Edit1->text().toStdString(), (dir / "Untitled.wav").string());
    fs::create_directory(dir / "Music");
    form.SetSongPath("/songs/winter.hym");
    form.SetSongPath("");
    EXPECT_EQ(form.Edit1->text().toStdString(), (dir / "Music" / "Untitled.wav").string());
}

TEST_F(ExportForm, OptionsThatDoNotApplyToTheFormatAreDisabled) {
    showForm();
    const struct {
        int format;
        bool bits, quality;
    } rows[] = {{TExportForm::FormatWAV, true, false},  {TExportForm::FormatFLAC, true, false},
                {TExportForm::FormatOGG, false, true},  {TExportForm::FormatOpus, false, true},
                {TExportForm::FormatMP3, false, false}, {TExportForm::FormatPCM, false, false}};
    for (const auto& row : rows) {
        choose(row.format);
        EXPECT_EQ(form.cbBits->isEnabled(), row.bits) << row.format;
        EXPECT_EQ(form.seQuality->isEnabled(), row.quality) << row.format;
    }
    EXPECT_FALSE(form.seFromOrder->isEnabled());
    form.rbOrders->setChecked(true);
    EXPECT_TRUE(form.seFromOrder->isEnabled());
    EXPECT_EQ(form.seToOrder->maximum(), 2); // the song plays two orders
    form.seFromOrder->setValue(2);
    EXPECT_EQ(form.seToOrder->value(), 2); // the range never runs backwards

    // Float FLAC does not exist: the render says so and writes nothing.
    choose(TExportForm::FormatFLAC);
    form.cbBits->setCurrentIndex(TExportForm::Bits32Float);
    setPath(dir / "float.flac");
    QTest::mouseClick(form.SaveButton, Qt::LeftButton);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.lbProgress->text().contains("FLAC has no float samples"));
    EXPECT_FALSE(fs::exists(dir / "float.flac"));
}

} // namespace
