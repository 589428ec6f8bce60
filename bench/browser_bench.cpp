// The file browser on a folder of 10 000 files (and 200 sub-folders): reading and sorting the
// names alone, a whole SetDir of the shown list, the same with the wav;mp3 filter, and SetDir
// followed by the first repaint. The aim is a listing under 100 ms.
#include "support/BenchAudio.h"
#include "ui/views/FolderListing.h"
#include "ui/views/NortonPanel.h"

#include <QApplication>
#include <QTest>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int Files = 10000;
constexpr int Folders = 200;

struct TBigFolder {
    brindle::bench::BenchFolder Folder;
    std::string Dir = Folder / "big";

    TBigFolder() {
        std::filesystem::create_directories(Dir);
        static const char* const exts[] = {"wav", "WAV", "mp3", "ogg", "txt"};
        for (int i = 0; i < Files; ++i) {
            // Mixed case so the sort has work to do.
            const std::string name =
                std::string(i % 3 ? "Sample " : "sample ") + std::to_string((i * 7919) % Files);
            std::ofstream(Dir + "/" + name + "." + exts[i % 5]);
        }
        for (int i = 0; i < Folders; ++i)
            std::filesystem::create_directory(Dir + "/Kit " + std::to_string(i));
    }
};

TBigFolder& Big() {
    static TBigFolder big;
    return big;
}

void BM_ListFolder(benchmark::State& state) {
    const std::string dir = Big().Dir;
    for (auto _ : state) {
        brindle::TFolderListing listing;
        std::string error;
        benchmark::DoNotOptimize(brindle::ListFolder(dir, {}, listing, error));
    }
    state.counters["entries"] = Files + Folders;
}
BENCHMARK(BM_ListFolder)->Unit(benchmark::kMillisecond);

void SetDirRun(benchmark::State& state, const std::string& FileExt, bool Paint) {
    const std::string dir = Big().Dir;
    TNortonPanel panel;
    panel.resize(TNortonPanel::ColumnWidth, 600);
    panel.show();
    if (!QTest::qWaitForWindowExposed(&panel)) state.SkipWithError("the panel is not shown");
    panel.SetFileExt(FileExt);
    for (auto _ : state) {
        panel.SetDir(dir);
        if (Paint) panel.viewport()->repaint();
    }
    state.counters["rows"] = panel.RowCount();
}

void BM_SetDir(benchmark::State& state) {
    SetDirRun(state, "", false);
}
BENCHMARK(BM_SetDir)->Unit(benchmark::kMillisecond);

void BM_SetDirFiltered(benchmark::State& state) {
    SetDirRun(state, "wav;mp3", false);
}
BENCHMARK(BM_SetDirFiltered)->Unit(benchmark::kMillisecond);

void BM_SetDirAndPaint(benchmark::State& state) {
    SetDirRun(state, "", true);
}
BENCHMARK(BM_SetDirAndPaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
