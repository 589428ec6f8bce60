#pragma once
// Audio fixtures for benchmarks: sine files written to a private temporary folder.
#include <filesystem>
#include <string>

namespace brindle::bench {

class BenchFolder {
  public:
    BenchFolder();
    ~BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    std::string operator/(const std::string& Name) const { return (Path / Name).string(); }

  private:
    std::filesystem::path Path;
};

// Writes a stereo 44.1 kHz sine of Seconds to Path; the format follows the extension
// (.wav/.flac/.ogg through libsndfile, .mp3 through the ffmpeg program). False if it failed.
bool WriteSine(const std::string& Path, double Hz, double Seconds);

} // namespace brindle::bench
