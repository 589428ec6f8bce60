#include "audio/soundlib/PcmWriter.h"

#include "base/Error.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace brindle {

TPcmWriter::TPcmWriter(const std::filesystem::path& Target) : File(Target) {
    Stream = std::fopen(File.GetTemporary().c_str(), "wb");
    if (!Stream) Fail(errno);
}

TPcmWriter::~TPcmWriter() {
    if (Stream) std::fclose(Stream);
}

void TPcmWriter::Fail(int Code) {
    throw Error("Can't write \"" + File.GetTarget().string() + "\": " + std::strerror(Code ? Code : EIO));
}

void TPcmWriter::Write(const std::int16_t* Samples, std::size_t Count) {
    if constexpr (std::endian::native == std::endian::big) {
        Swapped.assign(Samples, Samples + Count);
        for (auto& S : Swapped) {
            const auto U = static_cast<std::uint16_t>(S);
            S = static_cast<std::int16_t>(static_cast<std::uint16_t>((U >> 8) | (U << 8)));
        }
        Samples = Swapped.data();
    }
    errno = 0;
    if (std::fwrite(Samples, sizeof(std::int16_t), Count, Stream) != Count) Fail(errno);
}

void TPcmWriter::Finish() {
    errno = 0;
    // No fsync: a render can be made again, and the rename below still never shows a partial file.
    if (std::fflush(Stream) != 0) Fail(errno);
    std::FILE* Closing = Stream;
    Stream = nullptr;
    if (std::fclose(Closing) != 0) Fail(errno);
    File.Commit();
}

} // namespace brindle
