#include "app/ProjectFiles.h"

#include "base/Error.h"
#include "base/FileLog.h"
#include "song/Sequencer.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

namespace brindle {

bool IsModuleFile(const std::string& Path) {
    std::string ext = fs::path(Path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".hym";
}

namespace {

bool sameContent(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(fa), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(fb), std::istreambuf_iterator<char>());
}

// Where Source goes in Folder: its own name, or "name (2).ext", "name (3).ext"... when another
// file already holds the name.
fs::path copyTarget(const fs::path& Source, const fs::path& Folder) {
    const auto stem = Source.stem().string(), ext = Source.extension().string();
    fs::path target = Folder / Source.filename();
    for (int n = 2; fs::exists(target) && !sameContent(Source, target); ++n)
        target = Folder / (stem + " (" + std::to_string(n) + ")" + ext);
    return target;
}

bool isInside(const fs::path& File, const fs::path& Folder) {
    const auto rel = File.lexically_normal().lexically_relative(Folder.lexically_normal());
    return !rel.empty() && *rel.begin() != "..";
}

} // namespace

std::string RecoveryFolder() {
    return (fs::path(FileLogPath()).parent_path() / "recovery").string();
}

void WriteRecoveryFile(cSequencer& Song, const std::string& Path) {
    std::error_code ec;
    fs::create_directories(fs::path(Path).parent_path(), ec);
    Song.WriteFile(Path);
}

std::vector<std::string> SaveWithInstruments(cSequencer& Song, const std::string& ModulePath) {
    const fs::path module = fs::absolute(ModulePath);
    const fs::path folder = module.parent_path() / module.stem();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder))
        throw Error("Save with Instruments: can't create the folder " + folder.string());

    std::vector<std::string> problems;
    std::map<fs::path, fs::path> copied; // one copy per source file, shared by the slots using it
    for (int i = 1; i <= InstrumentCount; ++i) {
        auto& ins = Song.InstrumentAt(i);
        if (!ins.HasFile()) continue;
        const fs::path source = fs::absolute(ins.GetFileName()).lexically_normal();
        if (!fs::is_regular_file(source, ec)) {
            problems.push_back("Instrument " + std::to_string(i) + ": " + source.string() +
                               " is missing; not copied");
            continue;
        }
        if (isInside(source, folder)) continue;
        auto found = copied.find(source);
        if (found == copied.end()) {
            const fs::path target = copyTarget(source, folder);
            if (!fs::exists(target)) {
                fs::copy_file(source, target, ec);
                if (ec)
                    throw Error("Save with Instruments: can't copy " + source.string() + ": " + ec.message());
            }
            found = copied.emplace(source, target).first;
        }
        ins.SetFileName(found->second.string());
    }
    Song.SaveFile(ModulePath);
    return problems;
}

} // namespace brindle
