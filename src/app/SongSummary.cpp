#include "app/SongSummary.h"

#include "app/MasterEffects.h"

#include "song/Sequencer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace brindle {

double ShortestFloat(float value) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf - 1, value);
    *end = '\0';
    return std::strtod(buf, nullptr);
}

nlohmann::ordered_json SongToJson(const cSequencer& song) {
    using json = nlohmann::ordered_json;
    const auto f = ShortestFloat;
    json out;
    out["bpm"] = f(song.BPM);
    const auto& fx = song.Effects;
    out["effects"] = {
        {"compressor",
         {{"enabled", fx.CompressorEnabled},
          {"threshold", f(fx.CompressorThres)},
          {"attack", f(fx.CompressorAttack)},
          {"release", f(fx.CompressorRelease)}}},
        {"reverb", {{"enabled", fx.ReverbEnabled}, {"level", f(fx.ReverbLevel)}, {"delay", f(fx.ReverbDelay)}}},
        {"eq",
         {{"enabled", fx.EqEnabled},
          {"bands", {f(fx.Eq[0]), f(fx.Eq[1]), f(fx.Eq[2])}},
          {"gainsDb", {EqGainDb(fx.Eq[0]), EqGainDb(fx.Eq[1]), EqGainDb(fx.Eq[2])}}}},
    };
    json orders = json::array();
    for (int i = 0; i < OrderCount; ++i)
        if (!song.Orders[i].IsEmpty()) orders.push_back({{"position", i + 1}, {"pattern", song.Orders[i].PatternIndex}});
    out["orders"] = orders;

    json patterns = json::array();
    for (int p = 1; p <= PatternCount; ++p) {
        const auto& pattern = song.PatternAt(p);
        if (!pattern.HasContent()) continue;
        json steps = json::array();
        for (int x = 0; x < ChannelCount; ++x)
            for (int y = 0; y < RowCapacity; ++y) {
                const auto& cell = pattern.Cell(x, y);
                if (cell.ins != 0) steps.push_back({{"channel", x}, {"row", y}, {"ins", cell.ins}, {"pitch", f(cell.pitch)}});
            }
        patterns.push_back({{"number", p}, {"rows", pattern.RowCount}, {"steps", steps}});
    }
    out["patterns"] = patterns;

    json instruments = json::array();
    for (int i = 0; i < InstrumentCount; ++i) {
        const auto& ins = song.Instruments[i];
        if (!ins.IsUsed()) continue;
        instruments.push_back({{"number", i + 1},
                               {"name", ins.Name},
                               {"file", ins.GetFileName()},
                               {"volume", f(ins.Volume)},
                               {"stretch", f(ins.Stretch)},
                               {"pitch", f(ins.Pitch)},
                               {"stopPrev", ins.StopPrev}});
    }
    out["instruments"] = instruments;

    // Only the channels that differ from a new song's, as the module stores them.
    json channels = json::array();
    for (int c = 0; c < ChannelCount; ++c) {
        if (song.IsChannelDefault(c)) continue;
        channels.push_back({{"number", c + 1},
                            {"volume", f(song.GetChannelVolume(c))},
                            {"pan", f(song.GetChannelPan(c))},
                            {"muted", song.IsMuted(c)}});
    }
    out["channels"] = channels;
    out["songLengthSeconds"] = song.SongLengthSeconds();
    return out;
}

namespace {
std::string num(float v) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, end);
}
std::string onOff(bool on) { return on ? "on" : "off"; }
} // namespace

namespace {
// "+2.0 dB": a band as the panel shows it and the ear hears it.
std::string gainText(float Stored) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f dB", EqGainDb(Stored) + 0.0);
    return text;
}
} // namespace

// The panel's bars run upside down: a stored -2 is +2 dB.
double EqGainDb(float Stored) { return -TMasterEffects::Position(Stored) * 0.001 + 0.0; }

std::string SongSummaryText(const cSequencer& song) {
    std::ostringstream out;
    char length[32];
    std::snprintf(length, sizeof length, "%.2f", song.SongLengthSeconds());
    int entries = 0;
    while (entries < OrderCount && !song.Orders[entries].IsEmpty()) ++entries;

    out << "Module:      " << (song.FileName.empty() ? "(untitled)" : song.FileName) << "\n";
    out << "Tempo:       " << num(song.BPM) << " BPM\n";
    out << "Song length: " << length << " s (" << entries << " order entr" << (entries == 1 ? "y" : "ies") << ")\n";
    const auto& fx = song.Effects;
    out << "Effects:     equalizer " << onOff(fx.EqEnabled) << " (" << gainText(fx.Eq[0]) << ", " << gainText(fx.Eq[1])
        << ", " << gainText(fx.Eq[2]) << "), reverb " << onOff(fx.ReverbEnabled) << " (level " << num(fx.ReverbLevel) << ", delay "
        << num(fx.ReverbDelay) << "), compressor " << onOff(fx.CompressorEnabled) << " (threshold "
        << num(fx.CompressorThres) << ", attack " << num(fx.CompressorAttack) << ", release "
        << num(fx.CompressorRelease) << ")\n";

    out << "Order:      ";
    for (int i = 0; i < entries; ++i) out << " " << song.Orders[i].PatternIndex;
    out << (entries == 0 ? " (empty)\n" : "\n");

    out << "Patterns:\n";
    for (int p = 1; p <= PatternCount; ++p) {
        const auto& pattern = song.PatternAt(p);
        if (!pattern.HasContent()) continue;
        int notes = 0, stops = 0;
        for (int x = 0; x < ChannelCount; ++x)
            for (int y = 0; y < RowCapacity; ++y) {
                const auto& cell = pattern.Cell(x, y);
                cell.ins == -1 ? ++stops : cell.ins != 0 ? ++notes : 0;
            }
        out << "  " << p << ": " << pattern.RowCount << " rows, " << notes << " notes";
        if (stops) out << ", " << stops << " stop markers";
        out << "\n";
    }

    out << "Instruments:\n";
    int missing = 0;
    for (int i = 0; i < InstrumentCount; ++i) {
        const auto& ins = song.Instruments[i];
        if (!ins.IsUsed()) continue;
        const std::string file = ins.GetFileName();
        std::error_code ec;
        const bool present = !file.empty() && std::filesystem::is_regular_file(file, ec);
        out << "  " << i + 1 << ": " << (ins.Name.empty() ? "(no name)" : ins.Name) << "  volume " << num(ins.Volume)
            << ", stretch " << num(ins.Stretch) << ", pitch " << num(ins.Pitch) << ", stop previous "
            << (ins.StopPrev ? "yes" : "no") << "\n     " << (file.empty() ? "(no file)" : file);
        if (!file.empty() && !present) {
            out << "  [MISSING]";
            ++missing;
        }
        out << "\n";
    }
    if (missing) out << missing << " instrument file" << (missing == 1 ? " is" : "s are") << " missing.\n";

    bool anyChannel = false;
    for (int c = 0; c < ChannelCount; ++c) {
        if (song.IsChannelDefault(c)) continue;
        if (!anyChannel) out << "Channels:\n";
        anyChannel = true;
        const float volume = song.GetChannelVolume(c), pan = song.GetChannelPan(c);
        char db[32];
        if (volume > 0)
            std::snprintf(db, sizeof db, "%+.1f dB", 20.0 * std::log10(double(volume)) + 0.0);
        else
            std::snprintf(db, sizeof db, "silent");
        out << "  " << c + 1 << ": volume " << num(volume) << " (" << db << "), balance " << num(pan)
            << (pan < 0 ? " (left)" : pan > 0 ? " (right)" : " (centre)") << (song.IsMuted(c) ? ", muted" : "") << "\n";
    }
    return out.str();
}

} // namespace brindle
