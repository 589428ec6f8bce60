// The staged output behind module saves and renders: links, special files, long names, permissions.
#include "base/Error.h"
#include "base/StagedFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using brindle::TStagedFile;
using brindle::test::TempDir;
namespace fs = std::filesystem;

namespace {

void writeAll(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// Writes text through a staged file and commits it.
void stage(const fs::path& target, const std::string& text) {
    TStagedFile staged(target);
    writeAll(staged.GetTemporary(), text);
    staged.Commit();
}

int entries(const fs::path& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder))
        ++n;
    return n;
}

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

std::string refusal(const fs::path& target) {
    try {
        TStagedFile staged(target);
    } catch (const brindle::Error& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(StagedFile, ASymlinkIsWrittenThroughAndStaysALink) {
    TempDir dir;
    fs::create_directories(dir / "real");
    writeAll(dir / "real" / "song.hym", "old");
    fs::create_symlink("real/song.hym", dir / "relative.hym");
    fs::create_symlink(dir / "relative.hym", dir / "chain.hym"); // a link to a link

    {
        TStagedFile staged(dir / "chain.hym");
        EXPECT_EQ(staged.GetDestination(), dir / "real" / "song.hym");
        EXPECT_EQ(staged.GetTemporary().parent_path(), dir / "real")
            << "staged beside the file the link names";
        writeAll(staged.GetTemporary(), "new");
        staged.Commit();
    }
    EXPECT_TRUE(fs::is_symlink(dir / "chain.hym"));
    EXPECT_TRUE(fs::is_symlink(dir / "relative.hym"));
    EXPECT_EQ(brindle::test::ReadAll(dir / "real" / "song.hym"), "new");
    EXPECT_EQ(entries(dir / "real"), 1);
    EXPECT_EQ(entries(dir.path()), 3);

    // A dangling link gets the file it names.
    fs::create_symlink("made.hym", dir / "dangling.hym");
    stage(dir / "dangling.hym", "fresh");
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.hym"));
    EXPECT_EQ(brindle::test::ReadAll(dir / "made.hym"), "fresh");

    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_NE(refusal(dir / "loop-a").find("symbolic links"), std::string::npos) << refusal(dir / "loop-a");
}

TEST(StagedFile, SpecialFilesAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    fs::create_directories(dir / "folder");
    fs::create_symlink(dir / "pipe", dir / "link-to-pipe");
    EXPECT_EQ(refusal(dir / "pipe"), "Can't write \"" + (dir / "pipe").string() +
                                         "\": it is a named pipe (FIFO), not a regular file");
    EXPECT_NE(refusal(dir / "link-to-pipe").find("named pipe (FIFO)"), std::string::npos);
    EXPECT_NE(refusal(dir / "folder").find("it is a folder, not a regular file"), std::string::npos);
    EXPECT_NE(refusal("/dev/null").find("it is a device, not a regular file"), std::string::npos);
    EXPECT_NE(refusal(dir / "no" / "such.wav").find("No such file or directory"), std::string::npos);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_EQ(entries(dir.path()), 3) << "no temporary file is left";
}

TEST(StagedFile, NamesUpToTheLimitWork) {
    TempDir dir;
    for (const std::size_t length : {244u, 255u}) {
        const auto target = dir / (std::string(length - 4, 'n') + ".hym");
        stage(target, "x");
        EXPECT_EQ(brindle::test::ReadAll(target), "x") << length;
        TStagedFile staged(target);
        EXPECT_LE(staged.GetTemporary().filename().string().size(), 20u);
        EXPECT_EQ(staged.GetTemporary().filename().string()[0], '.') << "hidden";
    }
}

TEST(StagedFile, AReplacedFileKeepsItsPermissionsAndANewOneGetsTheUsualOnes) {
    TempDir dir;
    writeAll(dir / "kept.wav", "old");
    fs::permissions(dir / "kept.wav", fs::perms(0640));
    stage(dir / "kept.wav", "new");
    EXPECT_EQ(modeOf(dir / "kept.wav"), 0640u);

    const mode_t mask = ::umask(022);
    ::umask(mask);
    stage(dir / "new.wav", "new");
    EXPECT_EQ(modeOf(dir / "new.wav"), 0666u & ~mask);
}

TEST(StagedFile, AnUncommittedFileLeavesTheTargetAsItWas) {
    TempDir dir;
    writeAll(dir / "out.pcm", "old");
    fs::path temporary;
    {
        TStagedFile staged(dir / "out.pcm");
        temporary = staged.GetTemporary();
        EXPECT_TRUE(fs::exists(temporary));
        writeAll(temporary, "half");
    }
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(brindle::test::ReadAll(dir / "out.pcm"), "old");
    // Two stagings of one target at once do not share a temporary file.
    TStagedFile a(dir / "out.pcm"), b(dir / "out.pcm");
    EXPECT_NE(a.GetTemporary(), b.GetTemporary());
}

} // namespace
