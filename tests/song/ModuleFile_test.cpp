#include "base/Error.h"
#include "song/Sequencer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;
using brindle::test::TempDir;

namespace {

void writeAll(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

class ModuleFile : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<cSequencer> song = std::make_unique<cSequencer>();

    std::unique_ptr<cSequencer> loadText(const std::string& xml) {
        const auto path = dir / "m.hym";
        writeAll(path, xml);
        auto s = std::make_unique<cSequencer>();
        s->LoadFile(path.string());
        return s;
    }
};

TEST_F(ModuleFile, WritesTheExactDocument) {
    song->Orders[0].PatternIndex = 1;
    song->PatternAt(1).CellForWrite(0, 0) = {1, 0};
    song->PatternAt(1).CellForWrite(2, 130) = {-1, 0}; // beyond row 100: still written
    song->SetInstrumentFile(1, "/x/kick.wav");
    song->InstrumentAt(1).Volume = 0.8f;
    song->Effects.CompressorEnabled = true;
    song->Effects.Eq[1] = 0.5f;
    const auto path = dir / "out.hym";
    song->SaveFile(path.string());
    EXPECT_EQ(song->FileName, path.string());
    EXPECT_EQ(brindle::test::ReadAll(path),
              "<halyard.module BPM=\"120\" Compressor_Enabled=\"-1\" Compressor_Thres=\"0\" Compressor_Attack=\"0\" "
              "Compressor_Release=\"0\" Reverb_Enabled=\"0\" Reverb_Level=\"0\" Reverb_Delay=\"0\" Eq_Enabled=\"0\" "
              "Eq0=\"0\" Eq1=\"0.5\" Eq2=\"0\">\n"
              "   <Order Index=\"0\" PatternIndex=\"1\" />\n"
              "   <Pattern Index=\"0\" RowCount=\"16\">\n"
              "      <Step x=\"0\" y=\"0\" ins=\"1\" pitch=\"0\" />\n"
              "      <Step x=\"2\" y=\"130\" ins=\"-1\" pitch=\"0\" />\n"
              "   </Pattern>\n"
              "   <Instrument Index=\"0\" FileName=\"/x/kick.wav\" Name=\"kick.wav\" Pitch=\"0\" Stretch=\"1\" "
              "Volume=\"0.800000011920929\" StopPrev=\"false\" />\n"
              "</halyard.module>\n");
}

TEST_F(ModuleFile, EmptySongHasOnlyTheRootAttributes) {
    const auto path = dir / "empty.hym";
    song->SaveFile(path.string());
    const auto text = brindle::test::ReadAll(path);
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    EXPECT_EQ(text.find("<Pattern"), std::string::npos);
    EXPECT_NE(text.find("Eq2=\"0\" />"), std::string::npos);
}

TEST_F(ModuleFile, AnEmptyPatternKeepsItsLengthThroughSaveAndLoad) {
    song->PatternAt(4).RowCount = 40;
    song->PatternAt(5).RowCount = DefaultRowCount; // a new song's length needs no element
    const auto path = dir / "lengths.hym";
    song->SaveFile(path.string());
    const auto text = brindle::test::ReadAll(path);
    EXPECT_NE(text.find("<Pattern Index=\"3\" RowCount=\"40\" />"), std::string::npos) << text;
    EXPECT_EQ(text.find("<Pattern Index=\"4\""), std::string::npos) << text;

    auto back = std::make_unique<cSequencer>();
    back->PatternAt(4).RowCount = 7;
    back->LoadFile(path.string());
    EXPECT_EQ(back->PatternAt(4).RowCount, 40);
    EXPECT_TRUE(back->IsPatternEmpty(4));
    EXPECT_TRUE(back->TakeLoadWarnings().empty());
}

// Opening a module starts from a new song: nothing of the song open before survives into the
// loaded one, nor into the file it is saved back to.
TEST_F(ModuleFile, OpeningAModuleStartsFromANewSong) {
    const auto path = dir / "small.hym";
    writeAll(path, R"(<halyard.module BPM="100"><Order Index="0" PatternIndex="1" />
        <Pattern Index="0" RowCount="8"><Step x="0" y="0" ins="1" pitch="0" /></Pattern>
        <Instrument Index="0" FileName="/x/a.wav" Name="a" Pitch="0" Stretch="1" Volume="1" StopPrev="false" />
        </halyard.module>)");
    song->PatternAt(3).RowCount = 64;
    song->InstrumentAt(5).StopPrev = true;
    song->InstrumentAt(5).Volume = 0.25f;
    song->ChannelMuted[2] = true;
    song->Effects.ReverbEnabled = true;
    song->Orders[4].PatternIndex = 9;
    song->LoadFile(path.string());
    EXPECT_EQ(song->PatternAt(3).RowCount, DefaultRowCount);
    EXPECT_FALSE(song->InstrumentAt(5).StopPrev);
    EXPECT_EQ(song->InstrumentAt(5).Volume, 1.0f);
    EXPECT_FALSE(song->ChannelMuted[2]);
    EXPECT_FALSE(song->Effects.ReverbEnabled);
    EXPECT_TRUE(song->Orders[4].IsEmpty());
    EXPECT_EQ(song->BPM, 100.0f);
    EXPECT_EQ(song->PatternAt(1).RowCount, 8);

    song->SaveFile(path.string());
    const auto text = brindle::test::ReadAll(path);
    EXPECT_EQ(text.find("RowCount=\"64\""), std::string::npos) << text;
    EXPECT_EQ(text.find("<Pattern Index=\"2\""), std::string::npos) << text;
    EXPECT_EQ(text.find("StopPrev=\"true\""), std::string::npos) << text;
}

TEST_F(ModuleFile, EveryFieldRoundTripsWithExactSingles) {
    song->SetBPM(133.7f);
    song->Effects.CompressorEnabled = true;
    song->Effects.CompressorThres = 0.123f;
    song->Effects.CompressorAttack = 1e-7f;
    song->Effects.CompressorRelease = 0.999f;
    song->Effects.ReverbEnabled = true;
    song->Effects.ReverbLevel = 0.3f;
    song->Effects.ReverbDelay = 0.7f;
    song->Effects.EqEnabled = true;
    song->Effects.Eq[0] = -0.25f;
    song->Effects.Eq[1] = 0.1f;
    song->Effects.Eq[2] = 1.0f / 3.0f;
    song->Orders[0].PatternIndex = 3;
    song->Orders[99].PatternIndex = 100;
    song->PatternAt(3).RowCount = 500;
    song->PatternAt(3).CellForWrite(99, 499) = {100, -12};
    song->PatternAt(3).CellForWrite(0, 511) = {7, 3}; // hidden tail
    song->PatternAt(100).CellForWrite(50, 50) = {-1, 0};
    const auto wav = dir / "snd" / "a b.wav";
    writeAll(wav, "x");
    song->SetInstrumentFile(100, wav.string());
    auto& ins = song->InstrumentAt(100);
    ins.Name = "Ünïcode & <quotes> \"";
    ins.Volume = 0.8f;
    ins.Stretch = 1.7f;
    ins.Pitch = -3.5f;
    ins.StopPrev = true;

    const auto path = dir / "round.hym";
    song->SaveFile(path.string());
    auto back = std::make_unique<cSequencer>();
    back->LoadFile(path.string());

    EXPECT_EQ(back->BPM, 133.7f);
    EXPECT_TRUE(back->Effects.CompressorEnabled);
    EXPECT_EQ(back->Effects.CompressorThres, 0.123f);
    EXPECT_EQ(back->Effects.CompressorAttack, 1e-7f);
    EXPECT_EQ(back->Effects.CompressorRelease, 0.999f);
    EXPECT_TRUE(back->Effects.ReverbEnabled);
    EXPECT_EQ(back->Effects.ReverbLevel, 0.3f);
    EXPECT_EQ(back->Effects.ReverbDelay, 0.7f);
    EXPECT_TRUE(back->Effects.EqEnabled);
    EXPECT_EQ(back->Effects.Eq[0], -0.25f);
    EXPECT_EQ(back->Effects.Eq[1], 0.1f);
    EXPECT_EQ(back->Effects.Eq[2], 1.0f / 3.0f);
    EXPECT_EQ(back->Orders[0].PatternIndex, 3);
    EXPECT_EQ(back->Orders[99].PatternIndex, 100);
    EXPECT_EQ(back->PatternAt(3).RowCount, 500);
    EXPECT_EQ(back->PatternAt(3).Cell(99, 499).ins, 100);
    EXPECT_EQ(back->PatternAt(3).Cell(99, 499).pitch, -12.0f);
    EXPECT_EQ(back->PatternAt(3).Cell(0, 511).ins, 7);
    EXPECT_EQ(back->PatternAt(100).Cell(50, 50).ins, -1);
    const auto& b = back->InstrumentAt(100);
    EXPECT_EQ(b.Name, ins.Name);
    EXPECT_EQ(b.GetFileName(), wav.string());
    EXPECT_EQ(b.Volume, 0.8f);
    EXPECT_EQ(b.Stretch, 1.7f);
    EXPECT_EQ(b.Pitch, -3.5f);
    EXPECT_TRUE(b.StopPrev);
    EXPECT_EQ(back->FileName, path.string());
}

TEST_F(ModuleFile, ReaderConversionsAndForgivingStructure) {
    auto s = loadText(R"(<?xml version="1.0" encoding="UTF-8"?>
<halyard.module BPM="100" Compressor_Enabled="TRUE" Reverb_Enabled="-1" Eq_Enabled="False" Eq0="abc">
  <Instrument Index="1" Name="lead" StopPrev="1"/>
  <Pattern Index="0" RowCount="8">
    <Whatever x="1" y="2" ins="3" pitch="2.7"/>
    <Note/>
    <Step x="1" y="3" ins="3" pitch="-2.7"/>
    <Step x="1" y="5" ins="3" pitch="2.7"/>
    <Step x="1.9" y="4.9" ins="2.5"/>
  </Pattern>
  <Unknown Index="5"/>
  <Order Index="4" PatternIndex="1"/>
</halyard.module>)");
    EXPECT_EQ(s->BPM, 100.0f);
    EXPECT_TRUE(s->Effects.CompressorEnabled);
    EXPECT_TRUE(s->Effects.ReverbEnabled);
    EXPECT_FALSE(s->Effects.EqEnabled);
    EXPECT_EQ(s->Effects.Eq[0], 0.0f);
    const auto& p = s->PatternAt(1);
    EXPECT_EQ(p.RowCount, 8);
    EXPECT_EQ(p.Cell(1, 2).ins, 0) << "only Step elements are cells";
    EXPECT_EQ(p.Cell(0, 0).ins, 0);
    EXPECT_EQ(p.Cell(1, 3).ins, 3);
    EXPECT_EQ(p.Cell(1, 3).pitch, -2.0f);
    EXPECT_EQ(p.Cell(1, 5).pitch, 2.0f);
    EXPECT_EQ(p.Cell(1, 4).ins, 2);
    EXPECT_EQ(p.Cell(1, 4).pitch, 0.0f);
    EXPECT_EQ(s->Orders[4].PatternIndex, 1);
    const auto& ins = s->InstrumentAt(2);
    EXPECT_EQ(ins.Name, "lead");
    EXPECT_TRUE(ins.StopPrev);
    EXPECT_EQ(ins.GetFileName(), "");
    EXPECT_EQ(ins.Volume, 0.0f); // absent attributes read as 0
    EXPECT_EQ(ins.Stretch, 1.0f); // ... and a stretch of 0 plays as recorded, as it always did
}

TEST_F(ModuleFile, ValuesOutsideTheSongAreSkippedOrClamped) {
    auto s = loadText(R"(<halyard.module BPM="-5">
  <Order Index="100" PatternIndex="1"/><Order Index="-1" PatternIndex="1"/>
  <Order Index="2" PatternIndex="101"/><Order Index="3" PatternIndex="100"/>
  <Pattern Index="100" RowCount="4"><Step x="0" y="0" ins="1"/></Pattern>
  <Pattern Index="1" RowCount="9000">
    <Step x="100" y="0" ins="1"/><Step x="0" y="512" ins="1"/><Step x="0" y="1" ins="101"/>
    <Step x="0" y="2" ins="-2"/><Step x="99" y="511" ins="-1"/>
  </Pattern>
  <Pattern Index="2" RowCount="0"/>
  <Instrument Index="100" Name="x"/><Instrument Index="-3" Name="y"/>
</halyard.module>)");
    EXPECT_EQ(s->BPM, 120.0f);
    for (int i : {0, 1, 2}) EXPECT_TRUE(s->Orders[i].IsEmpty()) << i;
    EXPECT_EQ(s->Orders[3].PatternIndex, 100);
    EXPECT_EQ(s->PatternAt(2).RowCount, MaxRowCount);
    EXPECT_EQ(s->PatternAt(3).RowCount, 1);
    const auto& p = s->PatternAt(2);
    int content = 0;
    for (int ch = 0; ch < ChannelCount; ++ch)
        for (int r = 0; r < RowCapacity; ++r) content += p.Cell(ch, r).ins != 0;
    EXPECT_EQ(content, 1);
    EXPECT_EQ(p.Cell(99, 511).ins, -1);
    for (const auto& ins : s->Instruments) EXPECT_FALSE(ins.IsUsed());
}

TEST_F(ModuleFile, TempoGuards) {
    EXPECT_EQ(loadText("<halyard.module/>")->BPM, 120.0f);
    EXPECT_EQ(loadText("<halyard.module BPM='0'/>")->BPM, 120.0f);
    EXPECT_EQ(loadText("<halyard.module BPM='fast'/>")->BPM, 120.0f);
    EXPECT_EQ(loadText("<halyard.module BPM='nan'/>")->BPM, 120.0f);
    EXPECT_EQ(loadText("<halyard.module BPM='9999'/>")->BPM, 500.0f);
    EXPECT_EQ(loadText("<halyard.module BPM='87.5'/>")->BPM, 87.5f);
}

TEST_F(ModuleFile, RefusalsLeaveTheOpenSongUntouched) {
    song->SetBPM(99);
    song->Orders[0].PatternIndex = 5;
    song->FileName = "/songs/open.hym";
    int loads = 0;
    song->OnLoad = [&](cSequencer*) { ++loads; };

    const auto missing = (dir / "nope.hym").string();
    try {
        song->LoadFile(missing);
        FAIL() << "no error";
    } catch (const brindle::Error& e) {
        EXPECT_EQ(std::string(e.what()), "XML Load: file doesn't exist" + missing);
    }

    writeAll(dir / "broken.hym", "<halyard.module BPM=\"1\"><Order");
    EXPECT_THROW(song->LoadFile((dir / "broken.hym").string()), brindle::Error);

    writeAll(dir / "other.hym", "<something.else BPM=\"60\"/>");
    try {
        song->LoadFile((dir / "other.hym").string());
        FAIL() << "no error";
    } catch (const brindle::Error& e) {
        EXPECT_NE(std::string(e.what()).find("something.else"), std::string::npos);
    }
    writeAll(dir / "empty.hym", "");
    EXPECT_THROW(song->LoadFile((dir / "empty.hym").string()), brindle::Error);

    EXPECT_EQ(song->BPM, 99.0f);
    EXPECT_EQ(song->Orders[0].PatternIndex, 5);
    EXPECT_EQ(song->FileName, "/songs/open.hym");
    EXPECT_EQ(loads, 0);

    auto good = loadText("<halyard.module/>");
    song->LoadFile((dir / "m.hym").string());
    EXPECT_EQ(loads, 1);
}

TEST_F(ModuleFile, InstrumentPathsFollowAMovedModule) {
    writeAll(dir / "Program Files (x86)" / "Kit" / "snare.wav", "x");
    writeAll(dir / "song" / "kick.wav", "x");
    writeAll(dir / "song" / "sub" / "hat.wav", "x");
    const auto pf = (dir / "Program Files" / "Kit" / "snare.wav").string();
    const auto xml = "<halyard.module>"
                     "<Instrument Index='0' FileName='" + pf + "'/>"
                     "<Instrument Index='1' FileName='/gone/elsewhere/kick.wav'/>"
                     "<Instrument Index='2' FileName='C:\\Users\\me\\Samples\\kick.wav'/>"
                     "<Instrument Index='3' FileName='sub/hat.wav'/>"
                     "<Instrument Index='4' FileName='/gone/missing.wav'/>"
                     "</halyard.module>";
    writeAll(dir / "song" / "moved.hym", xml);
    song->LoadFile((dir / "song" / "moved.hym").string());
    EXPECT_EQ(song->InstrumentAt(1).GetFileName(), (dir / "Program Files (x86)" / "Kit" / "snare.wav").string());
    EXPECT_EQ(song->InstrumentAt(2).GetFileName(), (dir / "song" / "kick.wav").string());
    EXPECT_EQ(song->InstrumentAt(3).GetFileName(), (dir / "song" / "kick.wav").string());
    EXPECT_EQ(song->InstrumentAt(4).GetFileName(), (dir / "song" / "sub" / "hat.wav").string());
    EXPECT_EQ(song->InstrumentAt(5).GetFileName(), "/gone/missing.wav");
}

TEST_F(ModuleFile, FailedSaveKeepsTheOldFileAndFileName) {
    song->SaveFile((dir / "first.hym").string());
    const auto before = brindle::test::ReadAll(dir / "first.hym");
    song->SetBPM(77);

    // A folder standing where the file should go cannot be replaced.
    fs::create_directories(dir / "taken.hym" / "inside");
    EXPECT_THROW(song->SaveFile((dir / "taken.hym").string()), brindle::Error);
    EXPECT_TRUE(fs::is_directory(dir / "taken.hym" / "inside"));
    EXPECT_THROW(song->SaveFile((dir / "no" / "such" / "folder.hym").string()), brindle::Error);
    EXPECT_EQ(song->FileName, (dir / "first.hym").string());
    EXPECT_EQ(brindle::test::ReadAll(dir / "first.hym"), before);
    // No temporary files are left behind.
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

} // namespace
