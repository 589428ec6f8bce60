// The module file: writer and reader of the song's XML document.
#include "song/ModuleText.h"
#include "song/ModuleValues.h"
#include "song/Sequencer.h"

#include "base/Error.h"

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace fs = std::filesystem;
using namespace brindle::module;

namespace {

void setAttr(pugi::xml_node node, const char* name, const std::string& value) {
    node.append_attribute(name).set_value(value.c_str());
}

const char* attr(const pugi::xml_node& node, const char* name) { return node.attribute(name).value(); }

bool fileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

// Paths written on Windows ("C:\...", "\\server\...") are absolute there, whatever this system says.
bool isAbsolutePath(const std::string& path) {
    if (fs::path(path).is_absolute()) return true;
    if (path.size() >= 2 && path[1] == ':') return true;
    return !path.empty() && (path[0] == '\\' || path[0] == '/');
}

std::string fileNamePart(const std::string& path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// Finds an instrument file for a module that was moved: relative paths are taken from the
// module's folder; an absolute path that is gone is looked for under "Program Files (x86)" and
// then by its file name beside the module.
std::string resolveInstrumentPath(const std::string& stored, const std::string& modulePath) {
    if (stored.empty()) return stored;
    const fs::path moduleFolder = fs::absolute(fs::path(modulePath)).parent_path();
    if (!isAbsolutePath(stored)) return (moduleFolder / stored).lexically_normal().string();
    if (fileExists(stored)) return stored;
    const std::string x86 = replaceAll(stored, "Program Files", "Program Files (x86)");
    if (fileExists(x86)) return x86;
    const std::string beside = (moduleFolder / fileNamePart(stored)).string();
    if (fileExists(beside)) return beside;
    return stored;
}

// An instrument file inside the module's folder is stored relative to it, so the module and its
// samples can move together; anything else keeps its full path. The reader takes both.
std::string storedInstrumentPath(const std::string& file, const std::string& modulePath) {
    if (file.empty() || modulePath.empty() || !fs::path(file).is_absolute()) return file;
    const fs::path folder = fs::absolute(fs::path(modulePath)).parent_path().lexically_normal();
    const fs::path rel = fs::path(file).lexically_normal().lexically_relative(folder);
    if (rel.empty() || *rel.begin() == "..") return file;
    return rel.generic_string();
}

// Reads one number attribute through its range, naming a change as "<subject>: <name> <change>".
// The subject is only formed for a change: most modules have tens of thousands of steps.
template <typename Subject>
float readChecked(const pugi::xml_node& node, const char* name, const TValueRange& range, float absent,
                  const Subject& subject, TLoadWarnings& warnings) {
    auto checked = CheckValue(attr(node, name), range, absent);
    if (!checked.Change.empty()) {
        const std::string who = subject();
        warnings.Add((who.empty() ? "" : who + ": ") + name + " " + checked.Change);
    }
    return checked.Value;
}

std::string noSubject() {
    return {};
}

std::string instrumentSubject(int index, const std::string& name) {
    return "Instrument " + std::to_string(index + 1) + (name.empty() ? "" : " (" + name + ")");
}

} // namespace

void cSequencer::Save(pugi::xml_document& doc, const std::string& path) {
    auto root = doc.append_child(ModuleRootName);
    setAttr(root, "BPM", FloatText(BPM));
    setAttr(root, "Compressor_Enabled", BoolNumberText(Effects.CompressorEnabled));
    setAttr(root, "Compressor_Thres", FloatText(Effects.CompressorThres));
    setAttr(root, "Compressor_Attack", FloatText(Effects.CompressorAttack));
    setAttr(root, "Compressor_Release", FloatText(Effects.CompressorRelease));
    setAttr(root, "Reverb_Enabled", BoolNumberText(Effects.ReverbEnabled));
    setAttr(root, "Reverb_Level", FloatText(Effects.ReverbLevel));
    setAttr(root, "Reverb_Delay", FloatText(Effects.ReverbDelay));
    setAttr(root, "Eq_Enabled", BoolNumberText(Effects.EqEnabled));
    setAttr(root, "Eq0", FloatText(Effects.Eq[0]));
    setAttr(root, "Eq1", FloatText(Effects.Eq[1]));
    setAttr(root, "Eq2", FloatText(Effects.Eq[2]));

    for (int i = 0; i < OrderCount; ++i) {
        if (Orders[i].IsEmpty()) continue;
        auto node = root.append_child("Order");
        setAttr(node, "Index", IntText(i));
        setAttr(node, "PatternIndex", IntText(Orders[i].PatternIndex));
    }
    // Every row that holds content is written, the hidden tail included, and every pattern whose
    // length is not a new song's, notes or not, so an empty pattern keeps the length it was given.
    for (int p = 0; p < PatternCount; ++p) {
        const auto& pattern = Patterns[p];
        if (pattern.RowCount == DefaultRowCount && !pattern.HasContent()) continue;
        auto node = root.append_child("Pattern");
        setAttr(node, "Index", IntText(p));
        setAttr(node, "RowCount", IntText(pattern.RowCount));
        for (int x = 0; x < ChannelCount; ++x)
            for (int y = 0; y < RowCapacity && pattern.HasStorage(x); ++y) {
                const cStep& cell = pattern.Cell(x, y);
                if (cell.ins == 0) continue;
                auto step = node.append_child("Step");
                setAttr(step, "x", IntText(x));
                setAttr(step, "y", IntText(y));
                setAttr(step, "ins", IntText(cell.ins));
                setAttr(step, "pitch", FloatText(cell.pitch));
            }
    }
    for (int i = 0; i < InstrumentCount; ++i) {
        const auto& ins = Instruments[i];
        if (!ins.IsUsed()) continue;
        auto node = root.append_child("Instrument");
        setAttr(node, "Index", IntText(i));
        setAttr(node, "FileName", storedInstrumentPath(ins.GetFileName(), path));
        setAttr(node, "Name", ins.Name);
        setAttr(node, "Pitch", FloatText(ins.Pitch));
        setAttr(node, "Stretch", FloatText(ins.Stretch));
        setAttr(node, "Volume", FloatText(ins.Volume));
        setAttr(node, "StopPrev", BoolWordText(ins.StopPrev));
    }
    // Only channels that differ from a new song's, so a module without them stays as it was.
    for (int c = 0; c < ChannelCount; ++c) {
        if (IsChannelDefault(c)) continue;
        auto node = root.append_child("Channel");
        setAttr(node, "Index", IntText(c));
        setAttr(node, "Volume", FloatText(GetChannelVolume(c)));
        setAttr(node, "Pan", FloatText(GetChannelPan(c)));
        setAttr(node, "Mute", BoolWordText(IsMuted(c)));
    }
}

void cSequencer::Accept(const pugi::xml_document& doc, const std::string& path) {
    const auto root = doc.document_element();
    if (std::string(root.name()) != ModuleRootName)
        throw brindle::Error("XML Load: not a module file (root element \"" + std::string(root.name()) +
                             "\", expected \"" + ModuleRootName + "\"): " + path);
}

std::vector<std::string> cSequencer::TakeLoadWarnings() {
    return std::exchange(LoadWarnings, {});
}

void cSequencer::Load(pugi::xml_document& doc, const std::string& path) {
    Reset();
    LoadWarnings.clear();
    TLoadWarnings warnings;
    const auto root = doc.document_element();
    SetBPM(readChecked(root, "BPM", TempoRange, TempoRange.Default, noSubject, warnings));
    Effects.CompressorEnabled = ReadBool(attr(root, "Compressor_Enabled"));
    Effects.CompressorThres = readChecked(root, "Compressor_Thres", FiniteRange, 0, noSubject, warnings);
    Effects.CompressorAttack = readChecked(root, "Compressor_Attack", FiniteRange, 0, noSubject, warnings);
    Effects.CompressorRelease = readChecked(root, "Compressor_Release", FiniteRange, 0, noSubject, warnings);
    Effects.ReverbEnabled = ReadBool(attr(root, "Reverb_Enabled"));
    Effects.ReverbLevel = readChecked(root, "Reverb_Level", FiniteRange, 0, noSubject, warnings);
    Effects.ReverbDelay = readChecked(root, "Reverb_Delay", FiniteRange, 0, noSubject, warnings);
    Effects.EqEnabled = ReadBool(attr(root, "Eq_Enabled"));
    Effects.Eq[0] = readChecked(root, "Eq0", FiniteRange, 0, noSubject, warnings);
    Effects.Eq[1] = readChecked(root, "Eq1", FiniteRange, 0, noSubject, warnings);
    Effects.Eq[2] = readChecked(root, "Eq2", FiniteRange, 0, noSubject, warnings);

    // Entries outside the song's capacities are skipped, never stored, and named.
    auto outside = [&](const auto& what, const char* name, int value, int low, int high) {
        if (value >= low && value <= high) return false;
        warnings.Add(what() + ": " + name + " " + std::to_string(value) + " is outside " +
                     std::to_string(low) + ".." + std::to_string(high) + "; skipped");
        return true;
    };
    for (const auto& child : root.children()) {
        const std::string name = child.name();
        if (name == "Order") {
            const int index = ReadInt(attr(child, "Index"));
            const int pattern = ReadInt(attr(child, "PatternIndex"));
            if (outside([] { return std::string("Order"); }, "Index", index, 0, OrderCount - 1) ||
                outside([&] { return "Order " + std::to_string(index); }, "PatternIndex", pattern, 0,
                        PatternCount))
                continue;
            Orders[index].StorePatternIndex(pattern);
        } else if (name == "Instrument") {
            const int index = ReadInt(attr(child, "Index"));
            if (outside([] { return std::string("Instrument"); }, "Index", index, 0, InstrumentCount - 1))
                continue;
            auto& ins = Instruments[index];
            ins.Name = attr(child, "Name");
            ins.SetFileName(resolveInstrumentPath(attr(child, "FileName"), path));
            const auto subject = [&] { return instrumentSubject(index, ins.Name); };
            ins.StoreStretch(readChecked(child, "Stretch", StretchRange, StretchRange.Default, subject, warnings));
            ins.StoreVolume(readChecked(child, "Volume", VolumeRange, 0, subject, warnings));
            ins.StorePitch(readChecked(child, "Pitch", PitchRange, 0, subject, warnings));
            ins.StoreStopPrev(ReadBool(attr(child, "StopPrev")));
        } else if (name == "Channel") {
            const int index = ReadInt(attr(child, "Index"));
            if (outside([] { return std::string("Channel"); }, "Index", index, 0, ChannelCount - 1)) continue;
            const auto subject = [&] { return "Channel " + std::to_string(index + 1); };
            const float volume = readChecked(child, "Volume", ChannelVolumeRange, 1.0f, subject, warnings);
            const float pan = readChecked(child, "Pan", ChannelPanRange, 0.0f, subject, warnings);
            SetChannel(index, volume, pan, ReadBool(attr(child, "Mute")));
        } else if (name == "Pattern") {
            const int index = ReadInt(attr(child, "Index"));
            if (outside([] { return std::string("Pattern"); }, "Index", index, 0, PatternCount - 1)) continue;
            auto& pattern = Patterns[index];
            const std::string subject = "Pattern " + std::to_string(index + 1);
            const int rows = ReadInt(attr(child, "RowCount"));
            const int kept = std::clamp(rows, 1, MaxRowCount);
            pattern.StoreRowCount(kept);
            if (kept != rows)
                warnings.Add(subject + ": RowCount " + std::to_string(rows) + " is out of range; using " +
                             std::to_string(kept));
            for (const auto& step : child.children("Step")) {
                const int x = ReadInt(attr(step, "x"));
                const int y = ReadInt(attr(step, "y"));
                const int ins = ReadInt(attr(step, "ins"));
                const auto where = [&] {
                    return subject + ", Step x=" + std::to_string(x) + " y=" + std::to_string(y);
                };
                if (outside([&] { return subject + ", Step"; }, "x", x, 0, ChannelCount - 1) ||
                    outside([&] { return subject + ", Step"; }, "y", y, 0, RowCapacity - 1) ||
                    outside(where, "ins", ins, -1, InstrumentCount))
                    continue;
                pattern.SetCell(x, y, cStep{ins, readChecked(step, "pitch", CellPitchRange, 0, where, warnings)});
            }
        }
    }
    LoadWarnings = warnings.Take();
    if (OnLoad) OnLoad(this);
}
