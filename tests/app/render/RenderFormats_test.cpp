// Renders to every format, a part of the song, stems and loudness targets, each measured against
// the ffmpeg program's own decoding and loudness meter.
#include "app/SongEngine.h"
#include "app/SongRender.h"
#include "base/Error.h"
#include "song/Sequencer.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using namespace brindle::test;
using brindle::soundlib::FileFormat;
using brindle::soundlib::SampleBits;

namespace {

constexpr int Rate = 44100;

bool haveFfmpeg() {
    static const bool have = RunProcess({"ffmpeg", "-version"}).exitCode == 0;
    return have;
}

// Interleaved samples as ffmpeg decodes them, at full scale 1.0.
std::vector<float> decode(const fs::path& file, int* rate = nullptr, int* channels = nullptr) {
    const auto raw = file.string() + ".f32";
    const auto r = RunProcess(
        {"ffmpeg", "-v", "error", "-y", "-i", file.string(), "-f", "f32le", "-c:a", "pcm_f32le", raw});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string bytes = ReadAll(raw);
    std::vector<float> out(bytes.size() / 4);
    std::memcpy(out.data(), bytes.data(), out.size() * 4);
    fs::remove(raw);
    if (rate || channels) {
        const auto p = RunProcess({"ffprobe", "-v", "error", "-show_entries", "stream=sample_rate,channels",
                                   "-of", "csv=p=0", file.string()});
        int sr = 0, ch = 0;
        std::sscanf(p.out.c_str(), "%d,%d", &sr, &ch);
        if (rate) *rate = sr;
        if (channels) *channels = ch;
    }
    return out;
}

// Integrated loudness and true peak as ffmpeg's ebur128 filter measures them.
std::pair<double, double> ffmpegLoudness(const fs::path& file) {
    const auto r = RunProcess(
        {"ffmpeg", "-nostats", "-i", file.string(), "-af", "ebur128=peak=true", "-f", "null", "-"});
    std::smatch i, p;
    const std::string& text = r.err;
    const auto summary = text.substr(text.rfind("Summary:"));
    EXPECT_TRUE(std::regex_search(summary, i, std::regex(R"(I:\s+(-?[0-9.]+) LUFS)")));
    EXPECT_TRUE(std::regex_search(summary, p, std::regex(R"(Peak:\s+(-?[0-9.]+) dBFS)")));
    return {std::stod(i[1]), std::stod(p[1])};
}

bool noStagedFiles(const fs::path& folder) {
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().starts_with(".")) return false;
    return true;
}

class RenderFormats : public ::testing::Test {
  protected:
    TempDir dir;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();

    void SetUp() override {
        if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
        song->BPM = 120;
    }
    // Instrument Ins: a sine of Seconds at Amp, played at Volume.
    void sine(int ins, double hz, double seconds, double amp, float volume, const std::string& name = "") {
        const auto path = dir / ("sine" + std::to_string(ins) + ".wav");
        WriteSineWav(path, hz, seconds, Rate, 2, 16, amp);
        song->SetInstrumentFile(ins, path.string());
        song->InstrumentAt(ins).Volume = volume;
        song->InstrumentAt(ins).Name = name;
    }
    void note(int pattern, int channel, int row, int ins) {
        song->PatternAt(pattern).CellForWrite(channel, row) = {ins, 0};
    }
    // One pattern of Rows rows with a note of instrument 1 on its first row.
    void oneNoteSong(int rows = 8, double amp = 0.5, float volume = 1.0f) {
        sine(1, 440, 1.0, amp, volume, "Tone");
        song->PatternAt(1).RowCount = rows;
        song->Orders[0].PatternIndex = 1;
        note(1, 0, 0, 1);
    }
    brindle::RenderReport render(brindle::RenderOptions options) {
        brindle::SongEngine engine(*song, false);
        return brindle::RenderSong(engine, options);
    }
    brindle::RenderReport render(const std::string& out, SampleBits bits = SampleBits::Int16) {
        brindle::RenderOptions options;
        options.OutputFile = (dir / out).string();
        options.Bits = bits;
        return render(options);
    }
};

// One format per row: the file ffmpeg decodes has the right rate, channels and length.
TEST_F(RenderFormats, EveryFormatDecodesWithItsRateChannelsAndLength) {
    oneNoteSong(8); // 8 rows at 120 BPM: one second, plus the render's last block
    struct Row {
        const char* name;
        SampleBits bits;
        int rate;
        double slackSeconds; // lossy codecs pad their last frame
    };
    const Row rows[] = {
        {"a.wav", SampleBits::Int16, 44100, 0},     {"b.wav", SampleBits::Int24, 44100, 0},
        {"c.wav", SampleBits::Float32, 44100, 0},   {"d.flac", SampleBits::Int16, 44100, 0},
        {"e.flac", SampleBits::Int24, 44100, 0},    {"f.ogg", SampleBits::Int16, 44100, 0.01},
        {"g.opus", SampleBits::Int16, 48000, 0.03}, {"h.mp3", SampleBits::Int16, 44100, 0.06},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (std::string(row.name).ends_with(".opus") && !brindle::soundlib::OpusAvailable()) continue;
        if (std::string(row.name).ends_with(".mp3") && RunProcess({"lame", "--version"}).exitCode != 0)
            continue;
        const auto report = render(row.name, row.bits);
        int rate = 0, channels = 0;
        const auto samples = decode(dir / row.name, &rate, &channels);
        EXPECT_EQ(rate, row.rate);
        EXPECT_EQ(channels, 2);
        const double seconds = double(samples.size()) / 2 / rate;
        // The song is one second; the render ends one block after the block it stopped in.
        EXPECT_GE(report.Seconds, 1.0);
        EXPECT_LE(report.Seconds, 1.03);
        EXPECT_GE(seconds, report.Seconds - 0.001 - row.slackSeconds);
        EXPECT_LE(seconds, report.Seconds + 0.001 + row.slackSeconds);
        // The note is there: a 440 Hz sine at half scale.
        float peak = 0;
        for (float s : samples)
            peak = std::max(peak, std::fabs(s));
        EXPECT_NEAR(peak, 0.5, 0.06);
    }
    // A raw file is the 16-bit WAV's samples without a header.
    render("i.raw");
    const auto wav = decode(dir / "a.wav");
    EXPECT_EQ(ReadAll(dir / "i.raw").size(), wav.size() * 2);
}

TEST_F(RenderFormats, Flac16DecodesToExactlyTheWavSamples) {
    oneNoteSong(8, 0.3, 0.77f); // a volume that puts the mix between steps before rounding
    render("s.wav");
    render("s.flac");
    const auto wav = decode(dir / "s.wav");
    const auto flac = decode(dir / "s.flac");
    ASSERT_EQ(wav.size(), flac.size());
    EXPECT_EQ(0, std::memcmp(wav.data(), flac.data(), wav.size() * 4));
}

// A quiet note at a volume that leaves the mix between 16-bit steps: 24-bit keeps the float bus's
// resolution (not the 16-bit samples shifted), float keeps it whole.
TEST_F(RenderFormats, TwentyFourBitAndFloatKeepTheFloatBusResolution) {
    oneNoteSong(8, 0.01, 0.37f);
    render("q16.wav");
    render("q24.flac", SampleBits::Int24);
    render("q24.wav", SampleBits::Int24);
    render("q32.wav", SampleBits::Float32);
    const auto s16 = decode(dir / "q16.wav");
    const auto s24 = decode(dir / "q24.flac");
    const auto w24 = decode(dir / "q24.wav");
    const auto f32 = decode(dir / "q32.wav");
    ASSERT_EQ(s16.size(), f32.size());
    ASSERT_EQ(s24.size(), f32.size());
    EXPECT_EQ(0, std::memcmp(s24.data(), w24.data(), s24.size() * 4)); // FLAC and WAV agree
    double err16 = 0, err24 = 0;
    int between16Steps = 0, sounding = 0;
    for (std::size_t i = 0; i < f32.size(); ++i) {
        err16 = std::max(err16, double(std::fabs(s16[i] - f32[i])));
        err24 = std::max(err24, double(std::fabs(s24[i] - f32[i])));
        if (f32[i] != 0) ++sounding;
        const double steps = double(f32[i]) * 32768;
        if (std::fabs(steps - std::round(steps)) > 0.01) ++between16Steps;
        // A 24-bit sample that is not a 16-bit sample shifted.
    }
    ASSERT_GT(sounding, Rate);
    EXPECT_GT(between16Steps, sounding / 2); // the float file is the bus unrounded
    EXPECT_LE(err16, 0.5 / 32768 + 1e-9);
    EXPECT_LE(err24, 0.5 / 8388608 + 1e-9);
    int finer = 0;
    for (float s : s24) {
        const double steps = double(s) * 32768;
        if (std::fabs(steps - std::round(steps)) > 1e-3) ++finer;
    }
    EXPECT_GT(finer, sounding / 2);

    // Dither belongs to the reduction to 16 bits only: a 24-bit file is the same with it.
    brindle::RenderOptions options;
    options.OutputFile = (dir / "d24.flac").string();
    options.Bits = SampleBits::Int24;
    options.Dither = true;
    render(options);
    EXPECT_TRUE(decode(dir / "d24.flac") == s24);
}

TEST_F(RenderFormats, FloatWavKeepsALoudMixUnclipped) {
    sine(1, 440, 0.5, 0.9, 1.0f);
    song->PatternAt(1).RowCount = 4;
    song->Orders[0].PatternIndex = 1;
    note(1, 0, 0, 1);
    note(1, 1, 0, 1); // two full notes together: 1.8 of full scale
    render("loud.wav", SampleBits::Float32);
    float peak = 0;
    for (float s : decode(dir / "loud.wav"))
        peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, 1.8, 0.01);
    // The same render a second later is the same file: no time of writing inside.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    render("again.wav", SampleBits::Float32);
    EXPECT_TRUE(ReadAll(dir / "loud.wav") == ReadAll(dir / "again.wav"));
}

TEST_F(RenderFormats, BitsAndFormatsThatDoNotGoTogetherAreRefusedWithoutAFile) {
    oneNoteSong();
    const struct {
        const char* name;
        SampleBits bits;
        const char* says;
    } rows[] = {
        {"a.flac", SampleBits::Float32, "FLAC has no float samples"},
        {"b.ogg", SampleBits::Int24, "Ogg Vorbis takes no bit depth"},
        {"c.mp3", SampleBits::Float32, "MP3 takes no bit depth"},
        {"d.aiff", SampleBits::Int16, "File type - ..aiff not supported."},
        {"no/such/folder/e.flac", SampleBits::Int16, "Can't write"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            render(row.name, row.bits);
            ADD_FAILURE() << "accepted";
        } catch (const brindle::Error& e) {
            EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(
        fs::is_empty(dir.path()) || std::none_of(fs::directory_iterator(dir.path()), {}, [](const auto& e) {
            const auto n = e.path().filename().string();
            return n.starts_with("a.") || n.starts_with("b.") || n.starts_with("c.") || n.starts_with(".");
        }));
}

TEST_F(RenderFormats, CancelLeavesNoFileAndAnEarlierFileAsItWas) {
    oneNoteSong(64);
    for (const char* name : {"x.wav", "x.flac", "x.ogg", "x.raw"}) {
        SCOPED_TRACE(name);
        const auto target = dir / name;
        std::ofstream(target) << "earlier";
        brindle::RenderOptions options;
        options.OutputFile = target.string();
        int calls = 0;
        options.Progress = [&](double, double) { return ++calls < 20; };
        const auto report = render(options);
        EXPECT_TRUE(report.Cancelled);
        EXPECT_EQ(ReadAll(target), "earlier");
        EXPECT_TRUE(noStagedFiles(dir.path()));
        fs::remove(target);
        options.OutputFile = (dir / (std::string("new-") + name)).string();
        calls = 0;
        render(options);
        EXPECT_FALSE(fs::exists(options.OutputFile));
        EXPECT_TRUE(noStagedFiles(dir.path()));
    }
}

// Orders of 16, 8 and 32 rows; a part is exactly its orders' rows long, begins with its first
// order's first row and plays nothing of the orders around it.
TEST_F(RenderFormats, APartIsItsOrdersRowsLong) {
    sine(1, 440, 0.05, 0.5, 1.0f);
    sine(2, 880, 0.05, 0.5, 1.0f);
    const int lengths[] = {16, 8, 32, 16};
    for (int p = 1; p <= 4; ++p) {
        song->PatternAt(p).RowCount = lengths[p - 1];
        song->Orders[p - 1].PatternIndex = p;
        note(p, 0, 0, p == 2 ? 2 : 1); // order 2 begins with the 880 Hz note
    }
    const double row = 15.0 / 120;
    const struct { int from, to, rows; } parts[] = {{2, 3, 40}, {1, 1, 16}, {4, 4, 16}, {2, 2, 8}};
    for (const auto& part : parts) {
        SCOPED_TRACE(std::to_string(part.from) + ".." + std::to_string(part.to));
        brindle::RenderOptions options;
        options.OutputFile = (dir / "part.raw").string();
        options.FromOrder = part.from;
        options.ToOrder = part.to;
        const auto report = render(options);
        const auto pcm = ReadRawPcm(dir / "part.raw");
        const auto frames = std::int64_t(pcm.size() / 2);
        EXPECT_NEAR(double(frames), part.rows * row * Rate, 1.0);
        EXPECT_NEAR(report.Seconds, part.rows * row, 1.0 / Rate);
        // The first frame is the first row's note.
        EXPECT_NE(pcm[2], 0);
    }
    // Order 2 alone: the note at frame 0 is 880 Hz (its zero crossings every 25 frames).
    brindle::RenderOptions options;
    options.OutputFile = (dir / "two.raw").string();
    options.FromOrder = options.ToOrder = 2;
    render(options);
    const auto pcm = ReadRawPcm(dir / "two.raw");
    int crossings = 0;
    for (std::size_t f = 1; f < 1000; ++f)
        if ((pcm[2 * f - 2] < 0) != (pcm[2 * f] < 0)) ++crossings;
    EXPECT_NEAR(crossings, 2 * 880 * 1000.0 / Rate, 3);
    // A tail lets the last note ring after the part, and no longer than it lasts.
    sine(3, 440, 1.5, 0.5, 1.0f);
    note(2, 0, 0, 3);
    options.TailSeconds = 5;
    const auto report = render(options);
    EXPECT_GT(report.Seconds, 1.5);
    EXPECT_LT(report.Seconds, 1.6);
    // Orders the song does not have are refused.
    options.FromOrder = 3;
    options.ToOrder = 9;
    EXPECT_THROW(render(options), brindle::Error);
}

// Channel 1: 440 Hz, channel 3: 660 Hz at another volume, channel 8: a stop marker only; the
// song's equalizer is on. Stems are the channels without it and sum to the effects-off mix.
TEST_F(RenderFormats, StemsSumToTheMixWithoutMasterEffects) {
    sine(1, 440, 0.7, 0.2, 0.8f, "Lead: A/B?");
    sine(2, 660, 0.3, 0.15, 0.55f, "Pad");
    song->PatternAt(1).RowCount = 8;
    song->Orders[0].PatternIndex = 1;
    for (int r : {0, 3, 6})
        note(1, 0, r, 1);
    for (int r : {1, 5})
        note(1, 2, r, 2);
    note(1, 2, 4, 1); // channel 3's first instrument stays Pad
    song->PatternAt(1).CellForWrite(7, 2) = {-1, 0};
    song->Effects.ReverbEnabled = true;
    song->Effects.ReverbLevel = 0.3f;
    song->Effects.ReverbDelay = 1.5f;

    for (const auto bits : {SampleBits::Float32, SampleBits::Int16}) {
        const bool f32 = bits == SampleBits::Float32;
        SCOPED_TRACE(f32 ? "32f" : "16");
        const auto folder = dir / (f32 ? "stems32" : "stems16");
        brindle::RenderOptions options;
        options.OutputFile = folder.string();
        options.Stems = true;
        options.Bits = bits;
        const auto report = render(options);
        ASSERT_EQ(report.Files.size(), 2u);
        EXPECT_EQ(fs::path(report.Files[0]).filename(), "01 Lead_ A_B_.wav");
        EXPECT_EQ(fs::path(report.Files[1]).filename(), "03 Pad.wav");
        const auto a = decode(report.Files[0]);
        const auto b = decode(report.Files[1]);
        ASSERT_EQ(a.size(), b.size());

        options = {};
        options.OutputFile = (dir / (f32 ? "dry32.wav" : "dry16.wav")).string();
        options.Bits = bits;
        options.MasterEffects = false;
        render(options);
        const auto dry = decode(options.OutputFile);
        options.MasterEffects = true;
        options.OutputFile = (dir / "wet.wav").string();
        render(options);
        const auto wet = decode(options.OutputFile);
        ASSERT_EQ(a.size(), dry.size());
        double worst = 0, wetDiff = 0;
        std::size_t worstAt = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (std::fabs(a[i] + b[i] - dry[i]) > worst) worstAt = i;
            worst = std::max(worst, double(std::fabs(a[i] + b[i] - dry[i])));
            wetDiff = std::max(wetDiff, double(std::fabs(a[i] + b[i] - wet[i])));
        }
        EXPECT_LE(worst, f32 ? 1e-6 : 2.0 / 32768 + 1e-9)
            << worstAt << " " << a[worstAt] << " " << b[worstAt] << " "
            << dry[worstAt];      // exact in float, one step per stem at 16 bits
        EXPECT_GT(wetDiff, 0.01); // the reverb is not in the stems
    }
}

TEST_F(RenderFormats, NormalizedFilesMeetTheTargetAndStayUnderTheCeiling) {
    // A quiet song: the target is reached and the peak stays far under the ceiling.
    oneNoteSong(32, 0.05, 1.0f);
    sine(1, 440, 4.0, 0.05, 1.0f);
    for (const double target : {-14.0, -23.0}) {
        for (const char* name : {"n.wav", "n.flac"}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(target));
            brindle::RenderOptions options;
            options.OutputFile = (dir / name).string();
            options.Normalize = true;
            options.TargetLufs = target;
            const auto report = render(options);
            const auto [lufs, peak] = ffmpegLoudness(options.OutputFile);
            EXPECT_NEAR(lufs, target, 0.3);
            EXPECT_NEAR(report.Lufs, target, 0.05);
            EXPECT_FALSE(report.CeilingLimited);
            EXPECT_LE(peak, -1.0);
        }
    }
    // A target the peak would pass: the gain is held back by the ceiling, never clipped.
    brindle::RenderOptions options;
    options.OutputFile = (dir / "c.wav").string();
    options.Normalize = true;
    options.TargetLufs = -1; // a stereo sine this loud peaks near +1 dBTP
    options.CeilingDbtp = -2;
    const auto report = render(options);
    EXPECT_TRUE(report.CeilingLimited);
    const auto [lufs, peak] = ffmpegLoudness(options.OutputFile);
    EXPECT_LE(peak, -2.0 + 0.05); // ffmpeg prints one decimal
    EXPECT_LT(lufs, -2.5);
    EXPECT_NEAR(report.TruePeakDb, -2.0, 0.01);
}

TEST_F(RenderFormats, EveryRenderMeasuresItsLoudnessAsFfmpegDoes) {
    oneNoteSong(32, 0.3, 0.9f);
    const auto report = render("m.wav");
    const auto [lufs, peak] = ffmpegLoudness(dir / "m.wav");
    EXPECT_NEAR(report.Lufs, lufs, 0.1);
    EXPECT_NEAR(report.TruePeakDb, peak, 0.1);
    EXPECT_EQ(brindle::LoudnessText(-15.24, -0.8), "-15.2 LUFS, -0.8 dBTP");
    EXPECT_EQ(brindle::LoudnessText(-INFINITY, -INFINITY), "-inf LUFS, -inf dBTP");
}

} // namespace
