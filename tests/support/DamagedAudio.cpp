#include "DamagedAudio.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace brindle::test {

namespace {

std::vector<unsigned char> readBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::filesystem::path& Path, const std::vector<unsigned char>& Bytes) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

// Ogg's page checksum: CRC-32, polynomial 0x04c11db7, no reflection, initial value 0.
std::uint32_t oggCrc(const unsigned char* Data, std::size_t Size) {
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < Size; ++i) {
        crc ^= static_cast<std::uint32_t>(Data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

} // namespace

void PatchFlacStreamInfo(const std::filesystem::path& Path, std::int64_t Rate, std::int64_t TotalFrames) {
    auto bytes = readBytes(Path);
    // "fLaC", a 4-byte block header, then STREAMINFO; its bytes 10..17 hold the sample rate
    // (20 bits), channels - 1 (3), bits per sample - 1 (5) and the total frames (36).
    constexpr std::size_t At = 4 + 4 + 10;
    if (bytes.size() < At + 8 || std::memcmp(bytes.data(), "fLaC", 4) != 0 || (bytes[4] & 0x7f) != 0)
        throw std::runtime_error("not a FLAC file starting with STREAMINFO: " + Path.string());
    std::uint64_t packed = 0;
    for (int i = 0; i < 8; ++i)
        packed = packed << 8 | bytes[At + static_cast<std::size_t>(i)];
    if (Rate >= 0)
        packed = (packed & ~(0xFFFFFull << 44)) | (static_cast<std::uint64_t>(Rate) & 0xFFFFF) << 44;
    if (TotalFrames >= 0)
        packed = (packed & ~0xFFFFFFFFFull) | (static_cast<std::uint64_t>(TotalFrames) & 0xFFFFFFFFFull);
    for (int i = 7; i >= 0; --i, packed >>= 8)
        bytes[At + static_cast<std::size_t>(i)] = static_cast<unsigned char>(packed & 0xff);
    writeBytes(Path, bytes);
}

void PatchVorbisRate(const std::filesystem::path& Path, std::uint32_t Rate) {
    auto bytes = readBytes(Path);
    if (bytes.size() < 28 || std::memcmp(bytes.data(), "OggS", 4) != 0)
        throw std::runtime_error("not an Ogg file: " + Path.string());
    // The first page carries only the identification packet: "\x01vorbis", version (4 bytes),
    // channels (1), then the rate (4, little-endian).
    const std::size_t segments = bytes[26];
    const std::size_t header = 27 + segments;
    std::size_t body = 0;
    for (std::size_t i = 0; i < segments; ++i)
        body += bytes[27 + i];
    if (bytes.size() < header + body || body < 16 || std::memcmp(&bytes[header], "\x01vorbis", 7) != 0)
        throw std::runtime_error("no Vorbis identification header: " + Path.string());
    for (std::size_t i = 0; i < 4; ++i)
        bytes[header + 12 + i] = static_cast<unsigned char>(Rate >> (8 * i));
    std::memset(&bytes[22], 0, 4);
    const std::uint32_t crc = oggCrc(bytes.data(), header + body);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[22 + i] = static_cast<unsigned char>(crc >> (8 * i));
    writeBytes(Path, bytes);
}

} // namespace brindle::test
