#include "base/AnyList.h"
#include "base/AppInfo.h"
#include "base/Assert.h"
#include "base/FileLog.h"
#include "base/RegString.h"
#include "base/Switches.h"
#include "support/TempDir.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using brindle::test::TempDir;
namespace fs = std::filesystem;

namespace {

class Settings : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        brindle::SetSettingsFolder(dir.path().string());
        brindle::SetApplicationTitle("Quillon Brindle");
    }
    void TearDown() override { brindle::SetSettingsFolder({}); }
};

TEST_F(Settings, ValuesPersistUnderTheTitleKeyAndFallBackToTheDefault) {
    TRegString buffer("BufferLen", "60");
    EXPECT_EQ(buffer.Get(), "60");
    EXPECT_FALSE(fs::exists(dir / "registry.ini")); // reading alone stores nothing

    buffer.SetInt(120);
    EXPECT_EQ(TRegString("BufferLen", "60").AsInt(), 120);
    EXPECT_EQ(brindle::ReadRegString("Software\\Quillon Brindle\\BufferLen", "?"), "120");

    buffer.Set("");
    EXPECT_EQ(buffer.Get(), "60"); // an empty value reads as the default
    buffer.Set("abc");
    EXPECT_EQ(buffer.AsInt(), 0); // the default does not apply to unparsable text

    TRegString flag("AutoSave", "0");
    flag.SetBool(true);
    EXPECT_EQ(flag.Get(), "-1");
    EXPECT_TRUE(flag.AsBool());
    for (const char* t : {"True", "1", "7"}) {
        flag.Set(t);
        EXPECT_TRUE(flag.AsBool()) << t;
    }
    for (const char* t : {"False", "0", "yes"}) {
        flag.Set(t);
        EXPECT_FALSE(flag.AsBool()) << t;
    }
}

TEST_F(Settings, StoreNowWritesTheCurrentValueAndRawKeysWork) {
    TRegString device("Device", "0", true);
    EXPECT_EQ(brindle::ReadRegString("Software\\Quillon Brindle\\Device", ""), "0");
    brindle::WriteRegString("Software\\Quillon Brindle\\InsDir", "/home/me/Samples");
    EXPECT_EQ(brindle::ReadRegString("Software\\Quillon Brindle\\InsDir", "x"), "/home/me/Samples");
    EXPECT_EQ(brindle::ReadRegString("Software\\Quillon Brindle\\Nothing", "fallback"), "fallback");
}

TEST(Switches, MatchWholeArgumentsIgnoringCase) {
    brindle::SetCommandLine({"/usr/bin/save", "song.hym", "SAVE", "/tmp/out.hym", "traceheight", "x12", "ide"});
    EXPECT_TRUE(brindle::SwitchPresent("save"));
    EXPECT_TRUE(brindle::SwitchPresent("IDE"));
    EXPECT_FALSE(brindle::SwitchPresent("sav"));
    EXPECT_EQ(brindle::SwitchValue("save"), "/tmp/out.hym");
    EXPECT_EQ(brindle::SwitchValue("ide"), ""); // last argument
    EXPECT_EQ(brindle::SwitchValue("trace"), "");
    EXPECT_EQ(brindle::SwitchInt("traceheight", 99), 99);
    brindle::SetCommandLine({"prog", "traceheight", "300"});
    EXPECT_EQ(brindle::SwitchInt("traceheight", 99), 300);
    EXPECT_FALSE(brindle::SwitchPresent("prog")); // argument 0 is not a switch
}

TEST(Split, KeepsEmptyPiecesAndEmptiesTheList) {
    std::vector<std::string> list{"stale"};
    brindle::Split("a;;b;", ";", list);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "", "b", ""}));
    brindle::Split("", ";", list);
    EXPECT_TRUE(list.empty());
    brindle::Split("C:\\||D:\\", "||", list);
    EXPECT_EQ(list, (std::vector<std::string>{"C:\\", "D:\\"}));
}

TEST(AnyList, OwnsItemsAndRefusesIndexesPastTheEnd) {
    TAnyList<std::string> list;
    list.Add(new std::string("one"));
    list.Add(std::make_unique<std::string>("two"));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(*list.Last(), "two");
    EXPECT_EQ(*list[0], "one");
    try {
        list.Item(2);
        FAIL();
    } catch (const brindle::Error& e) {
        EXPECT_STREQ(e.what(), "cTemplateList - to big item number");
    }
    EXPECT_THROW(list.Delete(-1), brindle::Error);
    list.Delete(0);
    EXPECT_EQ(*list[0], "two");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Last(), nullptr);
}

TEST(FileLog, WritesOnlyWithTheExactSwitch) {
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path().string()));
    const auto path = brindle::FileLogPath();
    ASSERT_EQ(path.rfind(dir.path().string(), 0), 0u) << path;

    brindle::SetCommandLine({"prog", "FLOG"});
    brindle::ResetFileLog();
    brindle::FileLog("app create");
    EXPECT_FALSE(fs::exists(path));

    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "old run\r\n";
    brindle::SetCommandLine({"prog", "flog"});
    brindle::ResetFileLog();
    brindle::FileLog("app create");
    brindle::FileLog("close");
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "app create\r\nclose\r\n"); // the old log was deleted first
    brindle::ResetFileLog();
    brindle::SetCommandLine({"prog"});
}

TEST(AssertDeathTest, NamesExpressionFileAndLine) {
    const int line = __LINE__ + 1;
    EXPECT_DEATH(BRINDLE_ASSERT(1 + 1 == 3), "Assertion failed: 1 \\+ 1 == 3, file .*Foundation_test.cpp, line " +
                                                 std::to_string(line));
}

TEST(Trace, LineFollowsTheSourceConvention) {
    EXPECT_EQ(brindle::TraceLine("Tolm.seq->OnQueuePlayback_Key", "form_main_src", 221, "7"),
              "Tolm.seq->OnQueuePlayback_Key(form_main_src):221:7");
}

} // namespace
