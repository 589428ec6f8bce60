#include "audio/waveform/WaveCache.h"

#include "base/FileLog.h"
#include "base/StagedFile.h"

#include <cstdio>
#include <filesystem>

namespace brindle::waveform {

namespace fs = std::filesystem;

std::uint64_t Fnv1a64(std::string_view Text) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const char c : Text) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string WaveCacheFolder() {
    return fs::path(FileLogPath()).parent_path().string();
}

std::string WaveCacheName(const std::string& Source, int Frequency) {
    std::string name;
    for (const char c : fs::path(Source).filename().string()) {
        if (c == '\\') name += "-sl-";
        else if (c == ':') name += "-cl-";
        else if (c == '.') name += "-dot-";
        else name += c;
    }
    std::error_code ec;
    const auto size = fs::file_size(Source, ec);
    const fs::path full = fs::absolute(Source, ec).lexically_normal();
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(full.string())));
    std::string result = std::to_string(Frequency) + "-" + name + std::to_string(ec ? 0 : size) + "-" + hash;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result + ".cache";
}

std::string WaveCachePath(const std::string& Source, int Frequency) {
    return (fs::path(WaveCacheFolder()) / WaveCacheName(Source, Frequency)).string();
}

void DropStaleCache(const std::string& Cache, const std::string& Source) {
    std::error_code ec1, ec2;
    const auto cacheTime = fs::last_write_time(Cache, ec1);
    const auto sourceTime = fs::last_write_time(Source, ec2);
    if (ec1 || ec2 || !(cacheTime < sourceTime)) return;
    fs::remove(Cache, ec1);
}

bool WriteWaveCache(const std::string& Path, const void* Data, std::int64_t Bytes) noexcept {
    try {
        std::error_code ec;
        fs::create_directories(fs::path(Path).parent_path(), ec);
        TStagedFile staged(Path);
        std::FILE* f = std::fopen(staged.GetTemporary().c_str(), "wb");
        if (!f) return false;
        const bool wrote = std::fwrite(Data, 1, static_cast<std::size_t>(Bytes), f) == static_cast<std::size_t>(Bytes);
        if (std::fclose(f) != 0 || !wrote) return false;
        staged.Commit();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace brindle::waveform
