// The module file: writer and reader of the song's XML document.
#include "song/ModuleText.h"
#include "song/Sequencer.h"

#include "base/Error.h"

#include <pugixml.hpp>

#include <filesystem>

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

float readTempo(const pugi::xml_node& root) {
    bool ok = false;
    const float bpm = ReadFloat(attr(root, "BPM"), &ok);
    if (!ok || !(bpm > 0)) return 120.0f;
    return bpm > float(MaxBPM) ? float(MaxBPM) : bpm;
}

} // namespace

void cSequencer::Save(pugi::xml_document& doc, const std::string&) {
    auto root = doc.append_child(ModuleRootName);
    setAttr(root, "BPM", FloatText(BPM));
    setAttr(root, "Compressor_Enabled", BoolNumberText(Compressor_Enabled));
    setAttr(root, "Compressor_Thres", FloatText(Compressor_Thres));
    setAttr(root, "Compressor_Attack", FloatText(Compressor_Attack));
    setAttr(root, "Compressor_Release", FloatText(Compressor_Release));
    setAttr(root, "Reverb_Enabled", BoolNumberText(Reverb_Enabled));
    setAttr(root, "Reverb_Level", FloatText(Reverb_Level));
    setAttr(root, "Reverb_Delay", FloatText(Reverb_Delay));
    setAttr(root, "Eq_Enabled", BoolNumberText(Eq_Enabled));
    setAttr(root, "Eq0", FloatText(Eq0));
    setAttr(root, "Eq1", FloatText(Eq1));
    setAttr(root, "Eq2", FloatText(Eq2));

    for (int i = 0; i < OrderCount; ++i) {
        if (Orders[i].IsEmpty()) continue;
        auto node = root.append_child("Order");
        setAttr(node, "Index", IntText(i));
        setAttr(node, "PatternIndex", IntText(Orders[i].PatternIndex));
    }
    // Every row that holds content is written, the hidden tail included.
    for (int p = 0; p < PatternCount; ++p) {
        const auto& pattern = Patterns[p];
        if (!pattern.HasContent()) continue;
        auto node = root.append_child("Pattern");
        setAttr(node, "Index", IntText(p));
        setAttr(node, "RowCount", IntText(pattern.RowCount));
        for (int x = 0; x < ChannelCount; ++x)
            for (int y = 0; y < RowCapacity; ++y) {
                const cStep& cell = pattern.Cells[x][y];
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
        setAttr(node, "FileName", ins.GetFileName());
        setAttr(node, "Name", ins.Name);
        setAttr(node, "Pitch", FloatText(ins.Pitch));
        setAttr(node, "Stretch", FloatText(ins.Stretch));
        setAttr(node, "Volume", FloatText(ins.Volume));
        setAttr(node, "StopPrev", BoolWordText(ins.StopPrev));
    }
}

void cSequencer::Accept(const pugi::xml_document& doc, const std::string& path) {
    const auto root = doc.document_element();
    if (std::string(root.name()) != ModuleRootName)
        throw brindle::Error("XML Load: not a module file (root element \"" + std::string(root.name()) +
                             "\", expected \"" + ModuleRootName + "\"): " + path);
}

void cSequencer::Load(pugi::xml_document& doc, const std::string& path) {
    Reset();
    const auto root = doc.document_element();
    SetBPM(readTempo(root));
    Compressor_Enabled = ReadBool(attr(root, "Compressor_Enabled"));
    Compressor_Thres = ReadFloat(attr(root, "Compressor_Thres"));
    Compressor_Attack = ReadFloat(attr(root, "Compressor_Attack"));
    Compressor_Release = ReadFloat(attr(root, "Compressor_Release"));
    Reverb_Enabled = ReadBool(attr(root, "Reverb_Enabled"));
    Reverb_Level = ReadFloat(attr(root, "Reverb_Level"));
    Reverb_Delay = ReadFloat(attr(root, "Reverb_Delay"));
    Eq_Enabled = ReadBool(attr(root, "Eq_Enabled"));
    Eq0 = ReadFloat(attr(root, "Eq0"));
    Eq1 = ReadFloat(attr(root, "Eq1"));
    Eq2 = ReadFloat(attr(root, "Eq2"));

    // Entries outside the song's capacities are skipped, never stored.
    for (const auto& child : root.children()) {
        const std::string name = child.name();
        if (name == "Order") {
            const int index = ReadInt(attr(child, "Index"));
            const int pattern = ReadInt(attr(child, "PatternIndex"));
            if (index < 0 || index >= OrderCount || pattern < 0 || pattern > PatternCount) continue;
            Orders[index].PatternIndex = pattern;
        } else if (name == "Instrument") {
            const int index = ReadInt(attr(child, "Index"));
            if (index < 0 || index >= InstrumentCount) continue;
            auto& ins = Instruments[index];
            ins.Name = attr(child, "Name");
            ins.SetFileName(resolveInstrumentPath(attr(child, "FileName"), path));
            ins.Stretch = ReadFloat(attr(child, "Stretch"));
            ins.Volume = ReadFloat(attr(child, "Volume"));
            ins.Pitch = ReadFloat(attr(child, "Pitch"));
            ins.StopPrev = ReadBool(attr(child, "StopPrev"));
        } else if (name == "Pattern") {
            const int index = ReadInt(attr(child, "Index"));
            if (index < 0 || index >= PatternCount) continue;
            auto& pattern = Patterns[index];
            const int rows = ReadInt(attr(child, "RowCount"));
            pattern.RowCount = rows < 1 ? 1 : rows > MaxRowCount ? MaxRowCount : rows;
            for (const auto& step : child.children()) {
                if (step.type() != pugi::node_element) continue;
                const int x = ReadInt(attr(step, "x"));
                const int y = ReadInt(attr(step, "y"));
                const int ins = ReadInt(attr(step, "ins"));
                if (x < 0 || x >= ChannelCount || y < 0 || y >= RowCapacity || ins < -1 || ins > InstrumentCount)
                    continue;
                pattern.Cells[x][y] = cStep{ins, float(ReadInt(attr(step, "pitch")))};
            }
        }
    }
    if (OnLoad) OnLoad(this);
}
