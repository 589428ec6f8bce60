// The encoder's outputs as files: MP3 through the lame program, names passed untouched, and
// failures that leave nothing half-written at the target.
#include "support/SineNode.h"
#include "support/TempDir.h"
#include "audio/output/EncoderNode.h"
#include "audio/soundlib/LameEncoder.h"
#include "base/Error.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>

namespace {

using namespace brindle::test;
namespace fs = std::filesystem;

std::string Shell(const std::string& Command) {
    std::string Out;
    if (FILE* P = popen(Command.c_str(), "r")) {
        char Buf[256];
        while (fgets(Buf, sizeof Buf, P)) Out += Buf;
        pclose(P);
    }
    return Out;
}

std::string Quote(const fs::path& Path) {
    std::string Q = "'";
    for (char C : Path.string()) Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return Q + "'";
}

std::string ErrorOf(TEncoderNode& Encoder) {
    try {
        Encoder.Encode();
    } catch (const brindle::Error& E) {
        return E.what();
    }
    return "";
}

// Every entry of a folder, for checking that nothing was left behind.
std::vector<std::string> Listing(const fs::path& Dir) {
    std::vector<std::string> Names;
    for (const auto& E : fs::directory_iterator(Dir)) Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
}

void WriteText(const fs::path& Path, const std::string& Text) { std::ofstream(Path) << Text; }

std::string ReadText(const fs::path& Path) {
    std::ifstream In(Path);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

TEST(LameEncoder, ArgumentsFollowTheCommandLineOrder) {
    brindle::TLameOptions Options;
    Options.Keys = "-h  --noreplaygain";
    EXPECT_EQ(brindle::TLameEncoder::Arguments(Options, "/x/a b.mp3"),
              (std::vector<std::string>{"lame", "-m", "j", "-b", "256", "-h", "--noreplaygain", "-", "/x/a b.mp3"}));
    Options.Channels = 1;
    Options.KBitRate = 96;
    Options.Keys = "";
    EXPECT_EQ(brindle::TLameEncoder::Arguments(Options, "o.mp3"),
              (std::vector<std::string>{"lame", "-m", "m", "-b", "96", "-", "o.mp3"}));
}

TEST(EncoderNode, Mp3ReadsBackWithTheRightDurationAndChannels) {
    TempDir Dir;
    TSineNode Source(440, 0.5);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.SetOutputFileName((Dir / "tone.mp3").string());
    Encoder.OutputFormatDetect();
    Encoder.BufLen = 0.01f;
    Encoder.EncodeTimeLimit = 2.0f;
    Encoder.Encode();
    ASSERT_TRUE(fs::exists(Dir / "tone.mp3"));
    const std::string Probe = Shell("ffprobe -v error -show_entries format=duration:stream=channels,sample_rate,bit_rate "
                                  "-of default=nw=1 " + Quote(Dir / "tone.mp3"));
    // lame adds an encoder delay of well under one 1152-frame block.
    const auto At = Probe.find("duration=");
    ASSERT_NE(At, std::string::npos) << Probe;
    EXPECT_NEAR(std::stod(Probe.substr(At + 9)), 2.0, 0.06) << Probe;
    EXPECT_NE(Probe.find("channels=2"), std::string::npos) << Probe;
    EXPECT_NE(Probe.find("sample_rate=44100"), std::string::npos) << Probe;
    EXPECT_NE(Probe.find("bit_rate=256000"), std::string::npos) << Probe;
    EXPECT_EQ(Listing(Dir.path()), std::vector<std::string>{"tone.mp3"});

    // MP3Channels 1: a mono file from the stereo stream.
    Encoder.MP3Channels = 1;
    Encoder.MP3KBitRate = 128;
    Encoder.SetOutputFileName((Dir / "mono.mp3").string());
    Encoder.Encode();
    const std::string Mono =
        Shell("ffprobe -v error -show_entries stream=channels -of default=nw=1 " + Quote(Dir / "mono.mp3"));
    EXPECT_NE(Mono.find("channels=1"), std::string::npos) << Mono;
}

TEST(EncoderNode, NamesWithSpacesQuotesAndSubstitutionsReachLameUntouched) {
    TempDir Dir;
    // A stand-in that records its arguments, then runs the real program with them.
    const std::string RealLame = Shell("command -v lame");
    ASSERT_FALSE(RealLame.empty());
    const fs::path Wrapper = Dir / "recording-lame";
    WriteText(Wrapper, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\nexec " + RealLame.substr(0, RealLame.size() - 1) +
                           " \"$@\"\n");
    fs::permissions(Wrapper, fs::perms::owner_all);

    const fs::path Out = Dir / "out \"dir\" $(touch pwned3)";
    fs::create_directory(Out);
    const std::string Name = "my \"best\" song's $(touch pwned) `touch pwned2` ; & | * mix.mp3";
    TSineNode Source(440, 0.5);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.LameProgram = Wrapper.string();
    Encoder.LameKeys = "-h";
    Encoder.SetOutputFileName((Out / Name).string());
    Encoder.OutputFormatDetect();
    Encoder.EncodeTimeLimit = 0.5f;
    Encoder.Encode();

    EXPECT_EQ(Listing(Out), std::vector<std::string>{Name});
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists(Out / "pwned"));
    std::vector<std::string> Args;
    std::ifstream In(Wrapper.string() + ".args");
    for (std::string Line; std::getline(In, Line);) Args.push_back(Line);
    ASSERT_EQ(Args.size(), 7u);
    EXPECT_EQ((std::vector<std::string>(Args.begin(), Args.begin() + 6)),
              (std::vector<std::string>{"-m", "j", "-b", "256", "-h", "-"}));
    // lame writes beside the target, its folder named verbatim, under a short temporary name.
    const fs::path Written = Args[6];
    EXPECT_EQ(Written.parent_path(), Out);
    EXPECT_EQ(Written.filename().string().rfind(".brindle-", 0), 0u) << Args[6];
    EXPECT_FALSE(fs::exists(Dir / "pwned3"));
}

TEST(EncoderNode, MissingLameIsAClearErrorAndLeavesNothingBehind) {
    TempDir Dir;
    WriteText(Dir / "old.mp3", "previous take");
    TSineNode Source(440, 0.5);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.LameProgram = "brindle-no-such-encoder";
    Encoder.SetOutputFileName((Dir / "old.mp3").string());
    Encoder.EncodeTimeLimit = 0.5f;
    const std::string Text = ErrorOf(Encoder);
    EXPECT_EQ(Text.rfind("MP3 export needs the lame encoder", 0), 0u) << Text;
    EXPECT_EQ(ReadText(Dir / "old.mp3"), "previous take");
    EXPECT_EQ(Listing(Dir.path()), std::vector<std::string>{"old.mp3"});
}

TEST(EncoderNode, FailingLameIsReportedWithItsOwnWords) {
    TempDir Dir;
    TSineNode Source(440, 0.5);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.LameKeys = "--no-such-lame-option";
    Encoder.SetOutputFileName((Dir / "bad.mp3").string());
    Encoder.EncodeTimeLimit = 0.5f;
    const std::string Text = ErrorOf(Encoder);
    EXPECT_EQ(Text.rfind("The lame encoder", 0), 0u) << Text;
    EXPECT_NE(Text.find("bad.mp3\" was not written"), std::string::npos) << Text;
    EXPECT_TRUE(Listing(Dir.path()).empty());
}

// Files may grow to Bytes only, as on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t Bytes) {
        Handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &Saved);
        rlimit Small = Saved;
        Small.rlim_cur = Bytes;
        setrlimit(RLIMIT_FSIZE, &Small);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &Saved);
        std::signal(SIGXFSZ, Handler);
    }

private:
    rlimit Saved{};
    void (*Handler)(int);
};

TEST(EncoderNode, AFailedWriteIsAnErrorAndLeavesNothingHalfWritten) {
    TempDir Dir;
    for (const std::string Name : {"full.wav", "full.raw", "full.mp3"}) {
        SCOPED_TRACE(Name);
        WriteText(Dir / Name, "previous take");
        TSineNode Source(440, 0.5);
        TEncoderNode Encoder;
        Encoder.SetInput(&Source);
        Encoder.SetOutputFileName((Dir / Name).string());
        Encoder.OutputFormatDetect();
        Encoder.EncodeTimeLimit = 5.0f;
        std::string Text;
        {
            TFileSizeLimit Full(64 * 1024);
            Text = ErrorOf(Encoder);
        }
        EXPECT_FALSE(Text.empty());
        EXPECT_NE(Text.find(Name), std::string::npos) << Text;
        EXPECT_EQ(ReadText(Dir / Name), "previous take");
        EXPECT_EQ(Listing(Dir.path()).size(), 1u);
        fs::remove(Dir / Name);
    }
    // A folder that does not exist.
    TSineNode Source(440, 0.5);
    TEncoderNode Encoder;
    Encoder.SetInput(&Source);
    Encoder.SetOutputFileName((Dir / "missing" / "x.wav").string());
    Encoder.OutputFormatDetect();
    Encoder.EncodeTimeLimit = 0.1f;
    const std::string Text = ErrorOf(Encoder);
    EXPECT_EQ(Text.rfind("Can't write \"", 0), 0u) << Text;
}

} // namespace
