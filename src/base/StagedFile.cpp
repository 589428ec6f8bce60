#include "base/StagedFile.h"

#include "base/Error.h"
#include "base/FileKind.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace brindle {

namespace fs = std::filesystem;

namespace {

constexpr int MaxLinkHops = 40; // as the kernel allows

// Six letters or digits, different for every call in every process.
std::string randomSuffix() {
    static std::atomic<std::uint64_t> Counter{0};
    std::uint64_t X = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (std::uint64_t(::getpid()) << 40) ^ (Counter++ * 0x9E3779B97F4A7C15ull);
    // splitmix64 finaliser: neighbouring inputs give unrelated outputs.
    X = (X ^ (X >> 30)) * 0xBF58476D1CE4E5B9ull;
    X = (X ^ (X >> 27)) * 0x94D049BB133111EBull;
    X ^= X >> 31;
    static constexpr char Digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string Suffix;
    for (int i = 0; i < 6; ++i, X /= 62)
        Suffix.push_back(Digits[X % 62]);
    return Suffix;
}

} // namespace

TStagedFile::TStagedFile(fs::path TargetPath) : Target(std::move(TargetPath)), Destination(Target) {
    for (int Hops = 0;; ++Hops) {
        std::error_code Code;
        if (!fs::is_symlink(fs::symlink_status(Destination, Code))) break;
        if (Hops == MaxLinkHops) Fail(std::strerror(ELOOP));
        const fs::path Next = fs::read_symlink(Destination, Code);
        if (Code) Fail(Code.message());
        Destination = Next.is_absolute() ? Next : Destination.parent_path() / Next;
    }
    const std::string Kind = SpecialFileKind(Destination);
    if (!Kind.empty()) Fail("it is " + Kind + ", not a regular file");
    struct stat Existing {};
    if (::stat(Destination.c_str(), &Existing) == 0) {
        KeepMode = true;
        Mode = Existing.st_mode & 07777;
    }
    // Hidden, in the destination's folder (so the rename stays on one file system), and short: a
    // target name may use all 255 bytes a name can have.
    for (int Attempt = 0;; ++Attempt) {
        Temporary = Destination.parent_path() / (".brindle-" + randomSuffix());
        const int Fd = ::open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Fd >= 0) {
            ::close(Fd);
            break;
        }
        if (errno != EEXIST || Attempt == 100) {
            const int Error = errno;
            Temporary.clear();
            Fail(std::strerror(Error));
        }
    }
}

TStagedFile::~TStagedFile() {
    if (!Committed && !Temporary.empty()) {
        std::error_code Ignored;
        fs::remove(Temporary, Ignored);
    }
}

void TStagedFile::Fail(const std::string& Reason) const {
    throw Error("Can't write \"" + Target.string() + "\": " + Reason);
}

void TStagedFile::Commit() {
    // The temporary file has a new file's permissions; a replaced file's carry over.
    if (KeepMode && ::chmod(Temporary.c_str(), Mode) != 0) Fail(std::strerror(errno));
    std::error_code Code;
    fs::rename(Temporary, Destination, Code);
    if (Code) Fail(Code.message());
    Committed = true;
}

} // namespace brindle
