#pragma once
// One instrument slot. The audio thread reads FileName while the UI may replace it, so the
// text is held in an atomically swapped shared string.
#include <atomic>
#include <memory>
#include <string>

class cInstrument {
public:
    cInstrument();
    cInstrument(const cInstrument&) = delete;
    cInstrument& operator=(const cInstrument&) = delete;

    std::string Name;
    float Volume = 1.0f;
    float Stretch = 1.0f;
    float Pitch = 0.0f;
    bool StopPrev = false;

    std::string GetFileName() const { return *FileNameRef(); }
    // Never empty pointer; safe to call from the audio thread (no allocation).
    std::shared_ptr<const std::string> FileNameRef() const { return FileName.load(); }
    void SetFileName(const std::string& path);
    bool HasFile() const { return !FileNameRef()->empty(); }
    // A slot counts as used for saving when it has a name or a file.
    bool IsUsed() const { return !Name.empty() || HasFile(); }

private:
    std::atomic<std::shared_ptr<const std::string>> FileName;
};
