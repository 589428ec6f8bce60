#include "app/SongRender.h"

#include "app/SongEngine.h"
#include "audio/mixer/MixKernels.h"
#include "audio/soundlib/LoudnessMeter.h"
#include "audio/soundlib/dsp/TpdfDither.h"
#include "base/Error.h"
#include "song/Sequencer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace brindle {

namespace {

void addOnce(std::vector<std::string>& list, const std::string& text) {
    if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
}

std::string dB(double Value, const char* Unit) {
    if (!std::isfinite(Value)) return std::string("-inf ") + Unit;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", Value, Unit);
    return text;
}

// The frames of one block: the 0.01 s the encoder always read, formed as it formed them.
int blockFrames(int Rate, int Channels) {
    const double bytes = Rate * (Channels * double(0.01f)) * 2.0;
    const int frame = Channels * 2;
    const int whole = int(bytes) - int(bytes) % frame;
    return std::max(whole / frame, 1);
}

// The frame where the row after the part's last one would start: the first frame whose block
// end no longer covers that row's time (the player queues a row when Start <= time < End).
std::int64_t partEndFrame(const cSequencer& Song, int From, int To, int Rate) {
    std::int64_t rows = 0;
    for (int order = From; order <= To; ++order)
        rows += Song.PatternAt(Song.Orders[order - 1].PatternIndex).RowCount;
    const float bpm = Song.BPM;
    const double rowLength = 60.0f / bpm * 0.25f; // in float first, as the player forms it
    const double end = double(rows) * rowLength;
    auto frame = std::int64_t(std::floor(end * Rate));
    while (frame > 0 && double(frame) / Rate > end)
        --frame;
    while (double(frame + 1) / Rate <= end)
        ++frame;
    return frame;
}

// A 16-bit output of floats (stems, a normalised mix) is rounded and saturated as the mixer
// rounds its own 16-bit blocks.
void toShorts(std::int16_t* Out, const float* In, int Count, float Scale, std::vector<float>& Scratch) {
    if (Scale * 32768.0f == 1.0f) {
        soundlib::BusToShorts(Out, In, Count); // a stem's bus is on the mixer's scale already
        return;
    }
    Scratch.resize(std::size_t(Count));
    for (int i = 0; i < Count; ++i)
        Scratch[std::size_t(i)] = In[i] * (Scale * 32768.0f);
    soundlib::BusToShorts(Out, Scratch.data(), Count);
}

// One output of the render with the conversion it needs.
struct Output {
    std::unique_ptr<TAudioSink> Sink;
    dsp::TTpdfDither Dither;
    bool Dithered = false;
    std::vector<std::int16_t> Shorts;
    std::vector<float> Scratch;
    std::vector<float> Zeros;

    // Count samples of silence; dither still adds its noise.
    void WriteSilence(int Count) {
        if (Dithered || Sink->TakesFloats()) {
            Zeros.assign(std::size_t(Count), 0.0f);
            Write(Zeros.data(), Count, 1.0f);
            return;
        }
        Shorts.assign(std::size_t(Count), 0);
        Sink->Write(Shorts.data(), std::size_t(Count));
    }

    // In: Count samples at full scale 1.0 (Scale 1) or on the mixer's 16-bit scale (1/32768).
    void Write(const float* In, int Count, float Scale) {
        if (Sink->TakesFloats()) {
            if (Scale == 1.0f) {
                Sink->WriteFloats(In, std::size_t(Count));
            } else {
                Scratch.resize(std::size_t(Count));
                for (int i = 0; i < Count; ++i)
                    Scratch[std::size_t(i)] = In[i] * Scale;
                Sink->WriteFloats(Scratch.data(), std::size_t(Count));
            }
            return;
        }
        Shorts.resize(std::size_t(Count));
        if (Dithered) {
            const float* src = In;
            if (Scale != 1.0f) {
                Scratch.resize(std::size_t(Count));
                for (int i = 0; i < Count; ++i)
                    Scratch[std::size_t(i)] = In[i] * Scale;
                src = Scratch.data();
            }
            Dither.Quantize(Shorts.data(), src, Count);
        } else {
            toShorts(Shorts.data(), In, Count, Scale, Scratch);
        }
        Sink->Write(Shorts.data(), std::size_t(Count));
    }
};

// The rendered floats kept aside while their loudness is measured; a file, not memory, so an
// hour of song costs no gigabyte.
class FloatSpool {
  public:
    FloatSpool() : File(std::tmpfile()) {
        if (!File) throw Error("Can't create a temporary file to measure the loudness in");
    }
    ~FloatSpool() { std::fclose(File); }
    void Put(const float* Samples, std::size_t Count) {
        if (std::fwrite(Samples, sizeof(float), Count, File) != Count)
            throw Error("Can't keep the render for its loudness: the temporary folder is full");
    }
    void Rewind() {
        std::fflush(File);
        std::rewind(File);
    }
    std::size_t Get(float* Samples, std::size_t Count) {
        return std::fread(Samples, sizeof(float), Count, File);
    }

  private:
    std::FILE* File;
};

// The channels that have notes in the rendered orders, with the first instrument each plays.
std::vector<std::pair<int, int>> channelsWithNotes(const cSequencer& Song, int From, int To) {
    std::array<int, ChannelCount> first{};
    for (int order = From; order <= To; ++order) {
        const auto& pattern = Song.PatternAt(Song.Orders[order - 1].PatternIndex);
        for (int row = 0; row < std::min(pattern.RowCount, RowCapacity); ++row)
            for (int channel = 0; channel < ChannelCount; ++channel) {
                if (first[std::size_t(channel)] || Song.ChannelMuted[channel]) continue;
                const int ins = pattern.LoadCell(channel, row).ins;
                if (ins >= 1 && ins <= InstrumentCount && Song.Instruments[ins - 1].HasFile())
                    first[std::size_t(channel)] = ins;
            }
    }
    std::vector<std::pair<int, int>> found;
    for (int channel = 0; channel < ChannelCount; ++channel)
        if (first[std::size_t(channel)]) found.emplace_back(channel, first[std::size_t(channel)]);
    return found;
}

// Puts the mixer back as live playing expects it, however the render ends.
struct MixerRenderMode {
    TLiveMixer& Mixer;
    ~MixerRenderMode() {
        Mixer.StemBus = nullptr;
        Mixer.SetExactFloats(false);
    }
};

// A stems folder the render made goes again when the render does not complete (it is empty then:
// unfinished stems leave nothing).
struct MadeFolder {
    fs::path Path;
    bool Keep = false;
    ~MadeFolder() {
        std::error_code ignored;
        if (!Path.empty() && !Keep && fs::is_empty(Path, ignored)) fs::remove(Path, ignored);
    }
};

struct StopAfter {
    SongEngine& Engine;
    ~StopAfter() { Engine.Stop(); }
};

} // namespace

std::string LoudnessText(double Lufs, double TruePeakDb) {
    return dB(Lufs, "LUFS") + ", " + dB(TruePeakDb, "dBTP");
}

int PlayableOrders(const cSequencer& Song) {
    int count = 0;
    for (const auto& order : Song.Orders) {
        if (order.IsEmpty() || order.PatternIndex < 1 || order.PatternIndex > PatternCount) break;
        ++count;
    }
    return count;
}

std::string StemFileName(const cSequencer& Song, int Channel, int Instrument, soundlib::FileFormat Format) {
    std::string name;
    if (Instrument >= 1 && Instrument <= InstrumentCount) {
        const auto& ins = Song.Instruments[Instrument - 1];
        name = ins.Name.empty() ? fs::path(ins.GetFileName()).stem().string() : ins.Name;
    }
    if (name.empty()) name = "Instrument " + std::to_string(Instrument);
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
    }
    // A name of dots alone or ending in one or a space is refused or renamed on some systems.
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.back() = '_';
    char number[16];
    std::snprintf(number, sizeof number, "%02d ", Channel + 1);
    return number + name + soundlib::Extension(Format);
}

std::vector<std::string> StemFileNames(const cSequencer& Song, int From, int To,
                                       soundlib::FileFormat Format) {
    const int orders = PlayableOrders(Song);
    From = From > 0 ? From : 1;
    To = std::min(To > 0 ? To : orders, orders);
    std::vector<std::string> names;
    for (const auto& [channel, ins] : channelsWithNotes(Song, From, To))
        names.push_back(StemFileName(Song, channel, ins, Format));
    return names;
}

RenderReport RenderSong(SongEngine& Engine, const RenderOptions& Options) {
    RenderReport report;
    auto& song = Engine.Song();
    auto& mixer = Engine.Mixer();
    const int rate = mixer.GetSampleRate();
    const int channels = mixer.GetChannels();

    soundlib::OutputFormat format;
    format.Format = Options.Stems ? Options.StemFormat : soundlib::FormatOfPath(Options.OutputFile);
    format.Bits = Options.Bits;
    format.Quality = Options.Quality;
    format.Mp3KBitRate = Options.Mp3KBitRate;
    soundlib::CheckOutputFormat(format);
    if (Options.Stems && Options.Normalize)
        throw Error("Loudness normalisation is for one file; stems keep the levels they have in the mix");
    if (Options.Normalize && !(std::isfinite(Options.TargetLufs) && std::isfinite(Options.CeilingDbtp)))
        throw Error("The loudness target and the ceiling must be numbers");

    // The part of the song to render.
    const bool part = Options.FromOrder != 0 || Options.ToOrder != 0;
    const int orders = PlayableOrders(song);
    const int from = Options.FromOrder != 0 ? Options.FromOrder : 1;
    const int to = Options.ToOrder != 0 ? Options.ToOrder : orders;
    if (part && (from < 1 || from > to || to > orders))
        throw Error("The song has " + std::to_string(orders) + " order entries: choose orders from 1 to " +
                    std::to_string(orders) + ", the first not after the last");
    const std::int64_t partEnd = part ? partEndFrame(song, from, to, rate) : -1;
    const std::int64_t tailFrames = std::int64_t(double(Options.TailSeconds) * rate);
    const double total = (part ? double(partEnd) / rate : song.SongLengthSeconds()) + Options.TailSeconds;

    // Outputs are opened first, so a folder that takes no file fails before the render runs.
    MadeFolder madeFolder;
    std::vector<Output> outputs;
    std::vector<std::pair<int, int>> stems;
    std::array<int, ChannelCount> stemOfChannel;
    stemOfChannel.fill(-1);
    const bool sixteen = format.Bits == soundlib::SampleBits::Int16 &&
                         format.Format != soundlib::FileFormat::Ogg &&
                         format.Format != soundlib::FileFormat::Opus;
    if (Options.Stems) {
        stems = channelsWithNotes(song, std::max(from, 1), std::min(to, orders));
        if (stems.empty()) throw Error("The song has no notes, so there are no stems to write");
        std::error_code code;
        if (!fs::exists(Options.OutputFile, code) && fs::create_directories(Options.OutputFile, code))
            madeFolder.Path = Options.OutputFile;
        if (!fs::is_directory(Options.OutputFile))
            throw Error("Can't write stems to \"" + Options.OutputFile +
                        "\": " + (code ? code.message() : std::string("it is not a folder")));
        for (const auto& [channel, ins] : stems) {
            stemOfChannel[std::size_t(channel)] = int(outputs.size());
            const fs::path path =
                fs::path(Options.OutputFile) / StemFileName(song, channel, ins, format.Format);
            outputs.emplace_back().Sink = soundlib::OpenSink(path, rate, channels, format);
            report.Files.push_back(path.string());
        }
    } else {
        outputs.emplace_back().Sink = soundlib::OpenSink(Options.OutputFile, rate, channels, format);
        report.Files.push_back(Options.OutputFile);
    }
    for (auto& out : outputs)
        out.Dithered = Options.Dither && sixteen;

    mixer.GetSampleCache()->SetStretchQuality(Options.StretchQuality);
    for (const auto& p : Engine.PreloadInstruments())
        addOnce(report.Problems, p);
    TAudioX* source = Options.Stems || !Options.MasterEffects ? &mixer : Engine.ApplySongEffects();

    const int block = blockFrames(rate, channels);
    const std::size_t blockSamples = std::size_t(block) * std::size_t(channels);
    std::vector<float> mix(blockSamples);
    // A plain 16-bit file takes the chain's own 16-bit blocks, so its bytes stay those of every
    // earlier render; everything else pulls the floats.
    const bool pullShorts = sixteen && !Options.Dither && !Options.Normalize && !Options.Stems;
    std::vector<std::int16_t> shorts(pullShorts ? blockSamples : 0);
    std::vector<std::vector<float>> stemBus(stems.size(), std::vector<float>(blockSamples));
    // Stems a voice was mixed into in this block; the others are silence and cost a copy of zeros.
    std::vector<char> stemSounds(stems.size(), 1);
    MixerRenderMode restore{mixer};
    // Anything finer than 16 bits, or gained after the mix, gets the bus as it is.
    mixer.SetExactFloats(!sixteen || Options.Normalize);
    if (Options.Stems)
        mixer.StemBus = [&](int Tag) -> float* {
            const int stem = Tag >= 0 && Tag < ChannelCount ? stemOfChannel[std::size_t(Tag)] : -1;
            if (stem < 0) return nullptr;
            stemSounds[std::size_t(stem)] = 1;
            return stemBus[std::size_t(stem)].data();
        };

    soundlib::TLoudnessMeter meter(rate, channels);
    std::unique_ptr<FloatSpool> spool;
    if (Options.Normalize) spool = std::make_unique<FloatSpool>();

    StopAfter stopAfter{Engine};
    // Like every start, this clears the mixer, so voices left from live playing never leak in.
    Engine.PlaySongFrom(from);
    std::int64_t done = 0;
    std::int64_t stoppedAt = -1;
    for (bool last = false; !last;) {
        if (Options.Progress && !Options.Progress(double(done) / rate, total)) {
            report.Cancelled = true;
            report.Seconds = double(done) / rate;
            return report; // the outputs go unfinished: nothing is left at their targets
        }
        int frames = block;
        if (part && done >= partEnd) {
            // Past the part: the tail, then the end, exactly.
            if (tailFrames <= 0 || mixer.VoiceCount() == 0 || done - partEnd >= tailFrames) break;
            frames = int(std::min<std::int64_t>(block, partEnd + tailFrames - done));
        } else if (part) {
            frames = int(std::min<std::int64_t>(block, partEnd - done));
        } else if (!Engine.Playing()) {
            // The block after the song stopped is the last one, unless a tail lets voices ring out.
            if (stoppedAt < 0) stoppedAt = done;
            last = tailFrames <= 0 || mixer.VoiceCount() == 0 || done - stoppedAt >= tailFrames;
        }
        const std::size_t samples = std::size_t(frames) * std::size_t(channels);
        for (std::size_t s = 0; s < stems.size(); ++s) {
            if (stemSounds[s]) std::fill_n(stemBus[s].begin(), samples, 0.0f);
            stemSounds[s] = 0;
        }
        int got = 0;
        if (pullShorts) {
            const int bytes = source->PopData(shorts.data(), frames * channels * 2);
            got = bytes > 0 ? bytes / (channels * 2) : 0;
            for (int i = 0; i < got * channels; ++i)
                mix[std::size_t(i)] = shorts[std::size_t(i)] * (1.0f / 32768.0f);
        } else {
            got = std::min(source->PopFloats(mix.data(), frames), frames);
        }
        if (got <= 0) break;
        const int count = got * channels;
        if (part && done < partEnd && done + got >= partEnd) Engine.Player().Stop(); // the voices ring on
        if (Options.Stems) {
            // The stems' sum is what the loudness line describes.
            std::fill_n(mix.begin(), count, 0.0f);
            for (std::size_t s = 0; s < stems.size(); ++s) {
                if (!stemSounds[s]) {
                    outputs[s].WriteSilence(count);
                    continue;
                }
                // The channel's volume and balance are in the bus already: the mixer applies them
                // to each voice, as it does for the full mix.
                auto& bus = stemBus[s];
                outputs[s].Write(bus.data(), count, 1.0f / 32768.0f);
                for (int i = 0; i < count; ++i)
                    mix[std::size_t(i)] += bus[std::size_t(i)] * (1.0f / 32768.0f);
            }
        } else if (spool) {
            spool->Put(mix.data(), std::size_t(count));
        } else if (pullShorts) {
            outputs[0].Sink->Write(shorts.data(), std::size_t(count));
        } else {
            outputs[0].Write(mix.data(), count, 1.0f);
        }
        meter.Add(mix.data(), std::size_t(got));
        done += got;
    }
    report.Seconds = double(done) / rate;
    report.Lufs = meter.IntegratedLufs();
    report.TruePeakDb = meter.TruePeakDb();

    if (spool) {
        if (std::isfinite(report.Lufs)) {
            report.GainDb = Options.TargetLufs - report.Lufs;
            if (report.TruePeakDb + report.GainDb > Options.CeilingDbtp) {
                report.GainDb = Options.CeilingDbtp - report.TruePeakDb;
                report.CeilingLimited = true;
            }
        }
        const float gain = float(std::pow(10.0, report.GainDb / 20));
        spool->Rewind();
        for (;;) {
            const std::size_t got = spool->Get(mix.data(), blockSamples);
            if (got % std::size_t(channels) != 0)
                throw Error("Can't read the render back from its temporary file");
            if (got == 0) break;
            for (std::size_t i = 0; i < got; ++i)
                mix[i] *= gain;
            outputs[0].Write(mix.data(), int(got), 1.0f);
            // The render itself is done; this pass only lets a cancel through.
            if (Options.Progress && !Options.Progress(double(done) / rate, total)) {
                report.Cancelled = true;
                return report;
            }
        }
        // Loudness and true peak follow a gain exactly.
        report.Lufs += report.GainDb;
        report.TruePeakDb += report.GainDb;
    }
    for (auto& out : outputs)
        out.Sink->Finish();
    madeFolder.Keep = true;
    for (const auto& p : mixer.TakeProblems())
        addOnce(report.Problems, p);
    return report;
}

} // namespace brindle
