// Libraries and plugins opened on first use: what is there resolves with its declared type; a
// plugin that is missing, broken or without the function is refused without harm.
#include "base/SharedLibrary.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(SharedLibrary, FindsWhatIsThereAndRefusesTheRest) {
    brindle::test::TempDir dir;
    fs::copy_file(fs::path(BRINDLE_BINARY_DIR) / "libbrindle_ffmpeg.so", dir.path() / "libbrindle_copy.so");
    std::ofstream(dir.path() / "libbrindle_broken.so") << "not a library";
    ::setenv("BRINDLE_PLUGIN_DIR", dir.path().c_str(), 1);
    const struct {
        const char* File;
        const char* Function;
        bool Found;
    } cases[] = {
        {"libbrindle_copy.so", "BrindleOpenFfmpegDecoder", true},
        {"libbrindle_copy.so", "NoSuchFunction", false},
        {"libbrindle_broken.so", "BrindleOpenFfmpegDecoder", false},
        {"libbrindle_absent.so", "BrindleOpenFfmpegDecoder", false},
    };
    for (const auto& c : cases) {
        void* (*function)(const char*) = nullptr;
        EXPECT_EQ(brindle::ResolvePluginFunction(c.File, c.Function, function), c.Found)
            << c.File << " " << c.Function;
        EXPECT_EQ(function != nullptr, c.Found);
    }
    ::unsetenv("BRINDLE_PLUGIN_DIR");

    EXPECT_EQ(brindle::OpenSharedLibrary("libbrindle-no-such-library.so.0"), nullptr);
    std::size_t (*length)(const char*) = nullptr;
    ASSERT_TRUE(brindle::ResolveFunction(brindle::OpenSharedLibrary("libc.so.6"), "strlen", length));
    EXPECT_EQ(length("four"), 4u);
}
