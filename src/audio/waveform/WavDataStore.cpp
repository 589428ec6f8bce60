#include "audio/waveform/WavDataStore.h"

#include "audio/soundlib/SoundFile.h"
#include "audio/waveform/PeakImage.h"
#include "audio/waveform/SourceMono.h"
#include "audio/waveform/WaveCache.h"
#include "base/Error.h"
#include "base/ThreadPriority.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;
using brindle::soundlib::SoundFile;

namespace {

std::string DecoderReason(const std::string& Message, const std::string& Name) {
    // SoundFile names the file at the end; ours names it at the front already.
    const std::string tail = ": " + Name;
    if (Message.size() > tail.size() && Message.compare(Message.size() - tail.size(), tail.size(), tail) == 0)
        return Message.substr(0, Message.size() - tail.size());
    return Message;
}

// Bytes of a mono 16-bit image of Frames source frames at Rate: whole microseconds first, then
// Frequency samples per second, rounded down to a whole sample.
std::int64_t ImageBytes(std::int64_t Frames, int Rate, int Frequency) {
    const std::int64_t micros = Frames / Rate * 1'000'000 + Frames % Rate * 1'000'000 / Rate;
    const std::int64_t bytes = micros * Frequency * 1 * 16 / 8 / 1'000'000;
    return bytes & ~std::int64_t(1);
}

} // namespace

TWavDataStore::~TWavDataStore() {
    Stop();
}

void TWavDataStore::SetResultFrequency(int Hz) {
    ResultFrequency = std::clamp(Hz, 1, brindle::soundlib::MaxFileRate);
}

std::int16_t TWavDataStore::SampleAt(std::int64_t Index) const {
    if (!Image || Index < 0 || Index >= Capacity / 2) return 0;
    return std::atomic_ref<std::int16_t>(Image[static_cast<std::size_t>(Index)]).load(std::memory_order_relaxed);
}

void TWavDataStore::WaitReading() {
    Finished.wait(false, std::memory_order_acquire);
}

std::string TWavDataStore::CachePath(const std::string& Source) const {
    return brindle::waveform::WaveCachePath(Source, ResultFrequency);
}

std::vector<std::int16_t> TWavDataStore::ReadSourceMono(std::int64_t FirstFrame, int Frames) const {
    if (FileName.empty()) return {};
    return brindle::waveform::ReadSourceMono(FileName, FirstFrame, Frames);
}

void TWavDataStore::Stop() {
    if (!Reader.joinable()) return;
    StopRequest.store(true, std::memory_order_relaxed);
    Reader.join();
    StopRequest.store(false, std::memory_order_relaxed);
}

void TWavDataStore::Free() {
    Image.reset();
    Capacity = 0;
    MemLen.store(0, std::memory_order_release);
    Filled.store(0, std::memory_order_release);
    Finished.store(true, std::memory_order_release);
    SrcRate = 0;
    SrcFrames = 0;
}

void TWavDataStore::SetFileName(const std::string& Name) {
    FileName = Name;
    const int frequency = ResultFrequency;
    const bool cache = OptCacheImage;
    Stop();
    Free();
    if (Name.empty()) return;

    std::error_code ec;
    if (!fs::is_regular_file(Name, ec)) throw brindle::Error("File not found " + Name + ".");
    auto source = std::make_unique<SoundFile>();
    try {
        source->Open(Name);
    } catch (const brindle::Error& e) {
        // The read-channel text the program has always shown, then the file and the reason.
        throw brindle::Error(std::string(ReadChannelError) + "\r\n" + Name + ": " + DecoderReason(e.what(), Name));
    }

    const int rate = source->SampleRate();
    const std::int64_t claimed = source->LengthFrames();
    const bool known = claimed > 0;
    const std::int64_t perSecond = std::int64_t(frequency) * 2;
    // Bound the frame count before the arithmetic: a damaged header may claim any 64-bit count.
    const std::int64_t mostFrames = (MaxImageBytes / perSecond + 1) * rate;
    std::int64_t bytes = known ? ImageBytes(std::min(claimed, mostFrames), rate, frequency)
                               : static_cast<std::int64_t>(brindle::soundlib::MaxDecodeSeconds) * perSecond;
    bytes = std::min(bytes, MaxImageBytes & ~std::int64_t(1));

    Image.reset(new std::int16_t[static_cast<std::size_t>(bytes / 2)]());
    Capacity = bytes;
    MemLen.store(known ? bytes : 0, std::memory_order_release);
    SrcRate = rate;
    SrcFrames = claimed;

    std::string cachePath;
    if (cache) {
        cachePath = brindle::waveform::WaveCachePath(Name, frequency);
        brindle::waveform::DropStaleCache(cachePath, Name);
    }
    Finished.store(false, std::memory_order_release);
    try {
        Reader = std::thread(&TWavDataStore::Run, this, std::move(source), std::move(cachePath), frequency, known);
    } catch (const std::system_error& e) {
        Free(); // no thread: nothing may wait for one
        throw brindle::Error("Can't start reading " + Name + ": " + e.what());
    }
}

void TWavDataStore::Run(std::unique_ptr<SoundFile> Source, std::string Cache, int Frequency, bool LengthKnown) {
    brindle::LowerThreadPriority();
    try {
        std::error_code ec;
        if (!Cache.empty() && fs::is_regular_file(Cache, ec)) {
            ReadCache(Cache, Frequency, LengthKnown);
        } else {
            const bool complete = Decode(*Source, Frequency, LengthKnown);
            const std::int64_t filled = Filled.load(std::memory_order_relaxed);
            const std::int64_t length = MemLen.load(std::memory_order_relaxed);
            // An image with a gap at its end (a damaged file) is decoded again next time.
            if (complete && !Cache.empty() && filled * 100 > length * 99)
                brindle::waveform::WriteWaveCache(Cache, Image.get(), length);
        }
    } catch (...) {
        // A failing decoder or a full disk leaves the image as far as it got.
    }
    Source.reset();
    Finished.store(true, std::memory_order_release);
    Finished.notify_all();
}

void TWavDataStore::Publish(std::int64_t Offset, const std::vector<std::int16_t>& Samples, bool LengthKnown) {
    for (std::size_t k = 0; k < Samples.size(); ++k)
        std::atomic_ref<std::int16_t>(Image[static_cast<std::size_t>(Offset) + k])
            .store(Samples[k], std::memory_order_relaxed);
    const std::int64_t filled = (Offset + static_cast<std::int64_t>(Samples.size())) * 2;
    if (!LengthKnown) MemLen.store(filled, std::memory_order_release);
    Filled.store(filled, std::memory_order_release);
}

bool TWavDataStore::Decode(SoundFile& Source, int Frequency, bool LengthKnown) {
    const int rate = Source.SampleRate();
    const int channels = Source.Channels();
    brindle::waveform::TPeakDecimator image(rate, Frequency, Capacity / 2);
    // One second of source per read keeps the decoder's calls few and the loop tight.
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(rate) * channels);
    std::vector<std::int16_t> mono(static_cast<std::size_t>(rate));
    std::vector<std::int16_t> out;
    out.reserve(static_cast<std::size_t>(Frequency) + 2);
    while (!image.Full()) {
        if (StopRequest.load(std::memory_order_relaxed)) return false;
        const std::int64_t at = image.Produced();
        out.clear();
        const int got = Source.Read(pcm.data(), static_cast<int>(pcm.size() * 2));
        if (got <= 0) {
            // The source ended (or failed) before the header's length: the rest stays zero.
            image.Finish(out);
            Publish(at, out, LengthKnown);
            return true;
        }
        const int frames = got / Source.FrameBytes();
        brindle::waveform::MixToMono(pcm.data(), frames, channels, mono.data());
        image.Feed(mono.data(), frames, out);
        Publish(at, out, LengthKnown);
    }
    return true;
}

void TWavDataStore::ReadCache(const std::string& Cache, int Frequency, bool LengthKnown) {
    std::ifstream in(Cache, std::ios::binary);
    if (!in) return;
    // An image of unknown length takes the cache file's length, up to the room allocated.
    const std::int64_t length = Capacity;
    std::vector<std::int16_t> chunk(static_cast<std::size_t>(Frequency));
    std::int64_t at = 0; // samples
    while (at * 2 < length) {
        if (StopRequest.load(std::memory_order_relaxed)) return;
        const std::int64_t want = std::min<std::int64_t>(Frequency, length / 2 - at);
        in.read(reinterpret_cast<char*>(chunk.data()), want * 2);
        const std::int64_t got = in.gcount() / 2;
        chunk.resize(static_cast<std::size_t>(got));
        Publish(at, chunk, LengthKnown);
        at += got;
        chunk.resize(static_cast<std::size_t>(Frequency));
        if (got < want) break; // a short file leaves a zero tail
    }
}
