// A stand-in for libFuzzer where clang is absent (and the quick run in the test suite): feeds the
// target seed modules changed at random, byte-wise and, since modules are XML, number-wise from a
// dictionary of troublesome values. It has no coverage feedback; libFuzzer (scripts/fuzz) has.
//
// Arguments as libFuzzer's: folders are seed corpora, files are run once each (reproducers);
// -max_total_time=S (default 60), -timeout=S per input (default 20), -rss_limit_mb=M (default
// 2048), -seed=N, -artifact_prefix=P. A crash, hang or memory overrun writes the input to
// P{crash,timeout,oom}-input.hym and ends the run with a non-zero exit code.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Values that have hurt engines before: huge, tiny, negative, not finite, not numbers.
const char* const Dictionary[] = {
    "0",          "-1",          "1",     "2",        "16",
    "48",         "-48",         "49",    "100",      "101",
    "150",        "-200",        "-250",  "500",      "501",
    "511",        "512",         "1e30",  "-1e30",    "1e-5",
    "1e-4",       "0.01",        "1e-30", "1e-45",    "nan",
    "inf",        "-inf",        "1e999", "",         "abc",
    "true",       "-0",          "0.5",   "99999",    "2147483647",
    "2147483648", "-2147483649", "4.2e9", "\xff\xfe", "100000000000000000000000000000000000000000",
};

std::vector<std::string> Seeds;
std::string Current; // the input being run, for the artifact writers
std::atomic<std::int64_t> RunStartedMs{-1};
std::string ArtifactPrefix;

std::string readFile(const fs::path& P) {
    std::ifstream In(P, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

// Only async-signal-safe calls: used from the crash handler.
void writeArtifact(const char* Kind) {
    char Path[4096];
    std::snprintf(Path, sizeof Path, "%s%s-input.hym", ArtifactPrefix.c_str(), Kind);
    const int Fd = ::open(Path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (Fd < 0) return;
    for (std::size_t Done = 0; Done < Current.size();) {
        const ssize_t N = ::write(Fd, Current.data() + Done, Current.size() - Done);
        if (N <= 0) break;
        Done += std::size_t(N);
    }
    ::close(Fd);
    const char Note[] = "module_fuzz: the input is saved as ";
    [[maybe_unused]] ssize_t Ignored = ::write(2, Note, sizeof Note - 1);
    Ignored = ::write(2, Path, std::strlen(Path));
    Ignored = ::write(2, "\n", 1);
}

void onCrash(int Signal) {
    writeArtifact("crash");
    std::signal(Signal, SIG_DFL);
    std::raise(Signal);
}

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

long rssMb() {
    std::ifstream Statm("/proc/self/statm");
    long Pages = 0, Resident = 0;
    Statm >> Pages >> Resident;
    return Resident * (::sysconf(_SC_PAGESIZE) / 1024) / 1024;
}

// Ends the process when one input runs too long or the process grows too large.
void watch(int TimeoutSeconds, long RssLimitMb) {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::int64_t Started = RunStartedMs.load();
        if (Started >= 0 && nowMs() - Started > TimeoutSeconds * 1000LL) {
            std::fprintf(stderr, "module_fuzz: an input ran longer than %d s\n", TimeoutSeconds);
            writeArtifact("timeout");
            std::_Exit(70);
        }
        if (const long Rss = rssMb(); Rss > RssLimitMb) {
            std::fprintf(stderr, "module_fuzz: memory %ld MB passed the limit of %ld MB\n", Rss, RssLimitMb);
            writeArtifact("oom");
            std::_Exit(71);
        }
    }
}

void run(const std::string& Input) {
    Current = Input;
    RunStartedMs = nowMs();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(Current.data()), Current.size());
    RunStartedMs = -1;
}

// Positions of the numbers and attribute values in XML text.
std::vector<std::pair<std::size_t, std::size_t>> quotedValues(const std::string& Text) {
    std::vector<std::pair<std::size_t, std::size_t>> Spans;
    for (std::size_t At = Text.find('"'); At != std::string::npos;) {
        const std::size_t End = Text.find('"', At + 1);
        if (End == std::string::npos) break;
        Spans.emplace_back(At + 1, End - At - 1);
        At = Text.find('"', End + 1);
    }
    return Spans;
}

std::string mutate(std::string Text, std::mt19937_64& Random) {
    auto pick = [&](std::size_t N) { return N == 0 ? 0 : std::size_t(Random() % N); };
    const int Steps = 1 + int(Random() % 4);
    for (int Step = 0; Step < Steps; ++Step) {
        switch (Random() % 8) {
        case 0:
        case 1:
        case 2: { // a value from the dictionary
            const auto Spans = quotedValues(Text);
            if (Spans.empty()) break;
            const auto [At, Length] = Spans[pick(Spans.size())];
            Text.replace(At, Length, Dictionary[pick(std::size(Dictionary))]);
            break;
        }
        case 3: { // a random number
            const auto Spans = quotedValues(Text);
            if (Spans.empty()) break;
            const auto [At, Length] = Spans[pick(Spans.size())];
            const double Value =
                std::ldexp(double(std::int64_t(Random())) / 9.2e18, int(Random() % 200) - 100);
            Text.replace(At, Length, std::to_string(Value));
            break;
        }
        case 4: // a byte changed
            if (!Text.empty()) Text[pick(Text.size())] = char(Random());
            break;
        case 5: { // a piece removed
            if (Text.empty()) break;
            const std::size_t At = pick(Text.size());
            Text.erase(At, 1 + pick(std::min<std::size_t>(64, Text.size() - At)));
            break;
        }
        case 6: { // a piece repeated
            if (Text.empty()) break;
            const std::size_t At = pick(Text.size());
            const std::string Piece = Text.substr(At, 1 + pick(200));
            Text.insert(pick(Text.size()), Piece);
            break;
        }
        case 7: { // a line from another seed
            const std::string& Other = Seeds[pick(Seeds.size())];
            const std::size_t From = Other.find('\n', pick(Other.size()));
            if (From == std::string::npos) break;
            const std::size_t To = Other.find('\n', From + 1);
            const std::size_t At = Text.find('\n', pick(Text.size()));
            if (At == std::string::npos || To == std::string::npos) break;
            Text.insert(At, Other.substr(From, To - From));
            break;
        }
        }
    }
    return Text;
}

bool option(const std::string& Arg, const char* Name, long& Value) {
    const std::string Prefix = std::string("-") + Name + "=";
    if (Arg.rfind(Prefix, 0) != 0) return false;
    Value = std::strtol(Arg.c_str() + Prefix.size(), nullptr, 10);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    long TotalSeconds = 60, Timeout = 20, RssLimit = 2048, Seed = long(std::random_device{}());
    std::vector<fs::path> Reproducers;
    for (int i = 1; i < argc; ++i) {
        const std::string Arg = argv[i];
        if (option(Arg, "max_total_time", TotalSeconds) || option(Arg, "timeout", Timeout) ||
            option(Arg, "rss_limit_mb", RssLimit) || option(Arg, "seed", Seed))
            continue;
        if (Arg.rfind("-artifact_prefix=", 0) == 0) {
            ArtifactPrefix = Arg.substr(std::strlen("-artifact_prefix="));
        } else if (Arg.rfind("-", 0) == 0) {
            // libFuzzer options this driver does without (-dict, -jobs, ...).
        } else if (fs::is_directory(Arg)) {
            for (const auto& Entry : fs::directory_iterator(Arg))
                if (Entry.is_regular_file()) Seeds.push_back(readFile(Entry.path()));
        } else {
            Reproducers.push_back(Arg);
        }
    }
    for (int Signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(Signal, onCrash);
    std::thread(watch, int(Timeout), RssLimit).detach();

    if (!Reproducers.empty()) {
        for (const auto& P : Reproducers) {
            std::fprintf(stderr, "module_fuzz: running %s\n", P.c_str());
            run(readFile(P));
        }
        std::fprintf(stderr, "module_fuzz: %zu input(s) ran without a finding\n", Reproducers.size());
        return 0;
    }
    if (Seeds.empty()) {
        std::fprintf(stderr, "module_fuzz: no seed modules (give a corpus folder)\n");
        return 2;
    }
    std::mt19937_64 Random(static_cast<std::uint64_t>(Seed));
    std::fprintf(stderr, "module_fuzz: %zu seeds, seed %ld, %ld s\n", Seeds.size(), Seed, TotalSeconds);
    const auto End = Clock::now() + std::chrono::seconds(TotalSeconds);
    std::int64_t Executions = 0;
    for (const auto& S : Seeds)
        run(S), ++Executions;
    while (Clock::now() < End) {
        run(mutate(Seeds[std::size_t(Random() % Seeds.size())], Random));
        if (++Executions % 500 == 0)
            std::fprintf(stderr, "module_fuzz: %lld executions, %ld MB\n", static_cast<long long>(Executions),
                         rssMb());
    }
    std::fprintf(stderr, "module_fuzz: done, %lld executions without a finding\n",
                 static_cast<long long>(Executions));
    return 0;
}
