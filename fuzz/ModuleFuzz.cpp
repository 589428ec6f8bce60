// Fuzz target: a module from bytes, loaded through the normal reader and rendered for one second
// through the song render path, exactly as brindle-cli render does. A refused module is an answer;
// a crash, a sanitizer report, an escaping exception, a hang or runaway memory is a finding.
#include "app/SongEngine.h"
#include "app/SongRender.h"
#include "base/Error.h"
#include "song/Sequencer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// One folder per process for the module and the rendered output. The demo's samples appear in it
// as "samples", so the seed modules' relative instrument paths find real audio.
struct Workspace {
    fs::path Folder;
    fs::path Module;
    fs::path Output;

    Workspace() {
        const fs::path Shm = "/dev/shm";
        std::error_code Code;
        const fs::path Base = fs::is_directory(Shm, Code) ? Shm : fs::temp_directory_path();
        Folder = Base / ("brindle-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(Folder);
        fs::create_directory_symlink(BRINDLE_SOURCE_DIR "/examples/samples", Folder / "samples", Code);
        Module = Folder / "input.hym";
        Output = Folder / "out.pcm";
    }
    ~Workspace() {
        std::error_code Ignored;
        fs::remove_all(Folder, Ignored);
    }
};

Workspace& workspace() {
    static Workspace Instance;
    return Instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    auto& Work = workspace();
    std::ofstream(Work.Module, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(Data), std::streamsize(Size));

    // A fresh song for every input: a load keeps the lengths of patterns the file does not name.
    auto Song = std::make_unique<cSequencer>();
    try {
        Song->LoadFile(Work.Module.string());
    } catch (const brindle::Error&) {
        return 0; // not a module: refused with a message, as it should be
    }
    Song->TakeLoadWarnings();

    // A fixed voice pool keeps the settings store out of the loop.
    brindle::SongEngine Engine(*Song, /*RealTime=*/false, /*VoicePool=*/256);
    brindle::RenderOptions Options;
    Options.OutputFile = Work.Output.string();
    Options.Progress = [](double Done, double) { return Done < 1.0; };
    try {
        brindle::RenderSong(Engine, Options);
    } catch (const brindle::Error& E) {
        // Broken instruments are named and skipped; nothing in a module may fail the render.
        std::fprintf(stderr, "render failed: %s\n", E.what());
        std::abort();
    }
    return 0;
}
