// Save with Instruments and the recovery copy: files that travel with a module or keep unsaved work.
#include "app/ProjectFiles.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"
#include "support/Tones.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using namespace brindle::test;

namespace {

TEST(ProjectFiles, SaveWithInstrumentsMakesAFolderThatMovesToAnotherPlaceAsOne) {
    TempDir dir;
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    fs::create_directories(dir / "songs");
    // Two different files with one name, and one file used by two slots.
    WriteSoundFile(dir / "a" / "kick.wav", ConstantTone(1000, 100, 1), 44100, 1);
    WriteSoundFile(dir / "b" / "kick.wav", ConstantTone(2000, 100, 1), 44100, 1);
    auto song = std::make_unique<cSequencer>();
    song->SetInstrumentFile(1, (dir / "a" / "kick.wav").string());
    song->SetInstrumentFile(2, (dir / "b" / "kick.wav").string());
    song->SetInstrumentFile(3, (dir / "a" / "kick.wav").string());
    song->SetInstrumentFile(4, (dir / "gone.wav").string());
    song->InstrumentAt(2).Pitch = 3;

    const auto module = dir / "songs" / "tune.hym";
    const auto problems = brindle::SaveWithInstruments(*song, module.string());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("gone.wav"), std::string::npos);

    const auto folder = dir / "songs" / "tune";
    ASSERT_TRUE(fs::exists(folder / "kick.wav"));
    ASSERT_TRUE(fs::exists(folder / "kick (2).wav"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
    EXPECT_EQ(ReadAll(folder / "kick.wav"), ReadAll(dir / "a" / "kick.wav"));
    EXPECT_EQ(ReadAll(folder / "kick (2).wav"), ReadAll(dir / "b" / "kick.wav"));
    // Neither original was touched, and the module names the copies relative to itself.
    EXPECT_TRUE(fs::exists(dir / "a" / "kick.wav"));
    const auto text = ReadAll(module);
    EXPECT_NE(text.find("FileName=\"tune/kick.wav\""), std::string::npos) << text;
    EXPECT_NE(text.find("FileName=\"tune/kick (2).wav\""), std::string::npos) << text;

    // Saving again copies nothing new.
    EXPECT_EQ(brindle::SaveWithInstruments(*song, module.string()).size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);

    // The module and its folder moved elsewhere still find their sounds.
    fs::create_directories(dir / "moved");
    fs::rename(dir / "songs", dir / "moved" / "songs");
    fs::remove_all(dir / "a");
    fs::remove_all(dir / "b");
    auto loaded = std::make_unique<cSequencer>();
    loaded->LoadFile((dir / "moved" / "songs" / "tune.hym").string());
    EXPECT_EQ(loaded->InstrumentAt(1).GetFileName(), (dir / "moved" / "songs" / "tune" / "kick.wav").string());
    EXPECT_EQ(loaded->InstrumentAt(2).GetFileName(), (dir / "moved" / "songs" / "tune" / "kick (2).wav").string());
    EXPECT_EQ(loaded->InstrumentAt(3).GetFileName(), loaded->InstrumentAt(1).GetFileName());
    EXPECT_EQ(loaded->InstrumentAt(2).Pitch, 3.0f);
    EXPECT_TRUE(fs::exists(loaded->InstrumentAt(2).GetFileName()));
}

TEST(ProjectFiles, TheRecoveryCopyNeverTouchesTheUsersFileOrTitle) {
    TempDir dir;
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    auto song = std::make_unique<cSequencer>();
    song->SetBPM(97);
    song->FileName = (dir / "mine.hym").string();
    const std::string copy = (fs::path(brindle::RecoveryFolder()) / "session.hym").string();
    brindle::WriteRecoveryFile(*song, copy);
    EXPECT_EQ(song->FileName, (dir / "mine.hym").string());
    EXPECT_FALSE(fs::exists(dir / "mine.hym"));
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_EQ(fs::path(brindle::RecoveryFolder()).parent_path().parent_path(), dir / "data");
    auto back = std::make_unique<cSequencer>();
    back->LoadFile(copy);
    EXPECT_EQ(back->BPM.load(), 97.0f);
}

} // namespace
