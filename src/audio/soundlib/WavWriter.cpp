#include "audio/soundlib/WavWriter.h"

#include "base/Error.h"

#include <sndfile.h>

namespace brindle {

TWavWriter::TWavWriter(const std::filesystem::path& Target, int SampleRate, int Channels) : File(Target) {
    SF_INFO Info{};
    Info.samplerate = SampleRate;
    Info.channels = Channels;
    Info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    Sound = sf_open(File.GetTemporary().c_str(), SFM_WRITE, &Info);
    if (!Sound) Fail(sf_strerror(nullptr));
    Pending.reserve(PendingLimit);
}

TWavWriter::~TWavWriter() {
    if (Sound) sf_close(Sound);
}

void TWavWriter::Fail(const char* Reason) {
    throw Error("Can't write \"" + File.GetTarget().string() + "\": " + Reason);
}

void TWavWriter::Write(const std::int16_t* Samples, std::size_t Count) {
    // The encoder hands over 10 ms blocks; libsndfile would make a system call for each.
    if (Pending.size() + Count > PendingLimit) Flush();
    if (Count >= PendingLimit) {
        WriteNow(Samples, Count);
        return;
    }
    Pending.insert(Pending.end(), Samples, Samples + Count);
}

void TWavWriter::Flush() {
    WriteNow(Pending.data(), Pending.size());
    Pending.clear();
}

void TWavWriter::WriteNow(const std::int16_t* Samples, std::size_t Count) {
    if (Count == 0) return;
    const auto Items = static_cast<sf_count_t>(Count);
    if (sf_write_short(Sound, Samples, Items) != Items) Fail(sf_strerror(Sound));
}

void TWavWriter::Finish() {
    // No fsync: a render can be made again, and the rename below still never shows a partial file.
    Flush();
    const int Error = sf_error(Sound);
    if (Error != SF_ERR_NO_ERROR) Fail(sf_error_number(Error));
    SNDFILE* Closing = Sound;
    Sound = nullptr;
    // Closing writes the final header; a failure there is a failed file too.
    if (sf_close(Closing) != 0) Fail("the file could not be completed");
    File.Commit();
}

} // namespace brindle
