// The instrument file browser driven like a user: listing order and the extension filter, keys and
// double clicks going down and up (the cursor back on the folder just left), the ".." of the root,
// the drive list, file names in and out, the preview and folder events, drags, and folders or files
// that cannot be used, which are reported and change nothing.
#include "ui/views/NortonPanel.h"

#include "base/Error.h"
#include "support/TempDir.h"
#include "ui/views/Drives.h"
#include "ui/views/FolderListing.h"

#include <QDir>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <linux/capability.h>
#include <memory>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// While it lives, the calling thread holds back the capabilities that let the superuser read
// any folder, so permissions hold for a test run as root too. Capabilities belong to a thread,
// and the listing runs on the calling one.
class FolderPermissionsHold {
  public:
    FolderPermissionsHold() {
        Saved = Current();
        auto held = Saved;
        const unsigned overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        held[0].effective &= ~overrides;
        Set(held);
    }
    ~FolderPermissionsHold() { Set(Saved); }
    FolderPermissionsHold(const FolderPermissionsHold&) = delete;
    FolderPermissionsHold& operator=(const FolderPermissionsHold&) = delete;

  private:
    using Caps = std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3>;
    static Caps Current() {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        Caps caps{};
        EXPECT_EQ(::syscall(SYS_capget, &header, caps.data()), 0);
        return caps;
    }
    static void Set(Caps caps) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        EXPECT_EQ(::syscall(SYS_capset, &header, caps.data()), 0);
    }
    Caps Saved;
};

void touch(const fs::path& P) {
    std::ofstream(P) << "x";
}

class Browser : public ::testing::Test {
  protected:
    brindle::test::TempDir tmp;
    std::string samples;
    TNortonPanel panel;
    std::vector<std::string> dirsSeen; // Dir as OnDir saw it, one per listing
    std::vector<std::string> logged;

    void SetUp() override {
        const fs::path s = tmp / "Samples";
        for (const char* d : {"Zeta", "bass", "Drums"})
            fs::create_directories(s / d);
        for (const char* f : {"notes.txt", "gamma.mp3", "Beta.wav", "alpha.WAV", "wav"})
            touch(s / f);
        touch(s / "Drums" / "Kick.WAV");
        samples = s.string();
        panel.OnDir = [this](TNortonPanel* Sender) {
            EXPECT_EQ(Sender, &panel);
            dirsSeen.push_back(Sender->GetDir());
        };
        panel.OnLog = [this](TNortonPanel* Sender, const std::string& Text) {
            EXPECT_EQ(Sender, &panel);
            logged.push_back(Text);
        };
        panel.resize(TNortonPanel::ColumnWidth, 400);
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    }

    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (int r = 0; r < panel.RowCount(); ++r)
            out.push_back(panel.RowText(r).toStdString());
        return out;
    }
    std::string current() const { return panel.RowText(panel.GetRow()).toStdString(); }
    int rowOf(const std::string& Text) const {
        for (int r = 0; r < panel.RowCount(); ++r)
            if (panel.RowText(r).toStdString() == Text) return r;
        return -1;
    }
    QPoint centreOf(int Row) const { return panel.visualRect(panel.model()->index(Row, 0)).center(); }
    void key(Qt::Key K) { QTest::keyClick(&panel, K); }
    void click(int Row) { QTest::mouseClick(panel.viewport(), Qt::LeftButton, {}, centreOf(Row)); }
    void doubleClick(int Row) { QTest::mouseDClick(panel.viewport(), Qt::LeftButton, {}, centreOf(Row)); }
    std::string in(const std::string& Name) const { return samples + "/" + Name; }
};

TEST_F(Browser, ListsUpRowThenBracketedFoldersThenFilesEachIgnoringCase) {
    panel.SetDir(samples);
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(rows(), (std::vector<std::string>{"..", "[bass]", "[Drums]", "[Zeta]", "alpha.WAV", "Beta.wav",
                                                "gamma.mp3", "notes.txt", "wav"}));
    EXPECT_TRUE(panel.Item(0).IsDir);
    EXPECT_FALSE(panel.Item(0).IsRootUp);
    EXPECT_TRUE(panel.Item(2).IsDir);
    EXPECT_FALSE(panel.Item(2).IsFile);
    EXPECT_EQ(panel.Item(2).ItemName, "Drums"); // the brackets are only shown
    EXPECT_TRUE(panel.Item(5).IsFile);
    EXPECT_FALSE(panel.Item(5).IsDir);
    EXPECT_EQ(panel.GetRow(), 0);
    EXPECT_EQ(dirsSeen, std::vector<std::string>{samples});
}

TEST_F(Browser, ExtensionFilterKeepsListedExtensionsInAnyCase) {
    panel.SetDir(samples);
    panel.SetFileExt("wav;MP3");
    EXPECT_EQ(panel.GetFileExt(), "wav;MP3");
    EXPECT_EQ(rows(), (std::vector<std::string>{"..", "[bass]", "[Drums]", "[Zeta]", "alpha.WAV", "Beta.wav",
                                                "gamma.mp3"}));
    // An empty last entry stands for files without an extension.
    panel.SetFileExt("txt;");
    EXPECT_EQ(rows(), (std::vector<std::string>{"..", "[bass]", "[Drums]", "[Zeta]", "notes.txt", "wav"}));
    panel.SetFileExt("");
    EXPECT_EQ(panel.RowCount(), 9);
    EXPECT_EQ(dirsSeen.size(), 4u); // every filter change lists again
}

TEST_F(Browser, FilterHelpers) {
    EXPECT_TRUE(brindle::SplitFileExt("").empty());
    EXPECT_EQ(brindle::SplitFileExt("Wav;mp3;"), (std::vector<std::string>{"wav", "mp3", ""}));
    EXPECT_EQ(brindle::FileExtOf("Kick.Drum.WAV"), "wav");
    EXPECT_EQ(brindle::FileExtOf("wav"), "");
    EXPECT_FALSE(brindle::PassesFilter("wav", brindle::SplitFileExt("wav;mp3")));
    EXPECT_TRUE(brindle::PassesFilter("anything", {}));
    std::vector<std::string> names{"b", "C", "a", "B", "Ä", "ä"};
    brindle::SortNoCase(names);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "B", "b", "C", "Ä", "ä"}));
}

TEST_F(Browser, EnterGoesDownAndTheUpRowComesBackWithTheCursorOnTheFolderLeft) {
    panel.SetDir(samples);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(current(), "[Drums]");
    key(Qt::Key_Return);
    EXPECT_EQ(panel.GetDir(), in("Drums"));
    EXPECT_EQ(rows(), (std::vector<std::string>{"..", "Kick.WAV"}));
    EXPECT_EQ(panel.GetRow(), 0);
    key(Qt::Key_Down);
    key(Qt::Key_Backspace); // to the up row
    EXPECT_EQ(panel.GetRow(), 0);
    key(Qt::Key_Return);
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(current(), "[Drums]");
    EXPECT_EQ(dirsSeen, (std::vector<std::string>{samples, in("Drums"), samples}));
}

TEST_F(Browser, LeftAndBackspaceGoToTheUpRowAndRightToTheLastRow) {
    panel.SetDir(samples);
    panel.SetRow(rowOf("[Zeta]"));
    key(Qt::Key_Right);
    EXPECT_EQ(current(), "wav");
    key(Qt::Key_Left);
    EXPECT_EQ(panel.GetRow(), 0);
    panel.SetRow(rowOf("Beta.wav"));
    key(Qt::Key_Backspace);
    EXPECT_EQ(panel.GetRow(), 0);
    EXPECT_EQ(panel.GetDir(), samples) << "moving the cursor lists nothing";
    // An empty folder has the up row alone: both ends are that row.
    panel.SetDir(in("Zeta"));
    EXPECT_EQ(rows(), std::vector<std::string>{".."});
    key(Qt::Key_Right);
    EXPECT_EQ(panel.GetRow(), 0);
    EXPECT_EQ(dirsSeen.size(), 2u);
}

TEST_F(Browser, DoubleClicksOpenFoldersAndTheUpRow) {
    panel.SetDir(samples);
    doubleClick(rowOf("[bass]"));
    EXPECT_EQ(panel.GetDir(), in("bass"));
    doubleClick(0);
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(current(), "[bass]");
}

TEST_F(Browser, OpeningAFileRaisesOnOpenFileAndListsNothing) {
    std::vector<std::string> opened;
    panel.OnOpenFile = [&](TNortonPanel* Sender, const std::string& File) {
        EXPECT_EQ(Sender, &panel);
        opened.push_back(File);
    };
    panel.SetDir(samples);
    panel.SetRow(rowOf("Beta.wav"));
    key(Qt::Key_Enter);
    doubleClick(rowOf("gamma.mp3"));
    EXPECT_EQ(opened, (std::vector<std::string>{in("Beta.wav"), in("gamma.mp3")}));
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(dirsSeen.size(), 1u);
}

TEST_F(Browser, ClickOnAFileAsksForItsPreview) {
    std::vector<std::string> previews;
    panel.OnPreview = [&](TNortonPanel* Sender, const std::string& File) {
        EXPECT_EQ(Sender, &panel);
        previews.push_back(File);
    };
    panel.SetDir(samples);
    click(rowOf("alpha.WAV"));
    click(rowOf("[Drums]")); // folders and the up row have nothing to preview
    click(0);
    click(rowOf("notes.txt"));
    EXPECT_EQ(previews, (std::vector<std::string>{in("alpha.WAV"), in("notes.txt")}));
    EXPECT_EQ(current(), "notes.txt");
}

TEST_F(Browser, APressPreviewsAtOnceAndSoDoKeyboardMovesButNotTheCursorPlacedByCode) {
    std::vector<std::string> previews;
    panel.OnPreview = [&](TNortonPanel*, const std::string& File) { previews.push_back(File); };
    panel.SetDir(samples);
    QTest::mousePress(panel.viewport(), Qt::LeftButton, {}, centreOf(rowOf("Beta.wav")));
    EXPECT_EQ(previews, std::vector<std::string>{in("Beta.wav")}) << "heard before the button comes up";
    QTest::mouseRelease(panel.viewport(), Qt::LeftButton, {}, centreOf(rowOf("Beta.wav")));
    EXPECT_EQ(previews.size(), 1u);
    QTest::mousePress(panel.viewport(), Qt::RightButton, {}, centreOf(rowOf("alpha.WAV")));
    QTest::mouseRelease(panel.viewport(), Qt::RightButton, {}, centreOf(rowOf("alpha.WAV")));
    EXPECT_EQ(previews.size(), 1u) << "only the left button previews";
    panel.SetRow(rowOf("Beta.wav"));
    key(Qt::Key_Down);
    key(Qt::Key_Right); // to the last row, a file too
    EXPECT_EQ(previews, (std::vector<std::string>{in("Beta.wav"), in("gamma.mp3"), in("wav")}));
    panel.SetFileName(in("alpha.WAV"));
    panel.SetRow(rowOf("gamma.mp3"));
    EXPECT_EQ(previews.size(), 3u);
}

TEST_F(Browser, UpFromTheRootShowsTheDrivesOnTheRootDrive) {
    panel.SetDir("/");
    ASSERT_GT(panel.RowCount(), 1);
    EXPECT_EQ(current(), "..");
    EXPECT_TRUE(panel.Item(0).IsRootUp);
    key(Qt::Key_Return);
    EXPECT_EQ(panel.GetDir(), "");
    EXPECT_TRUE(panel.Item(panel.GetRow()).IsDrive);
    EXPECT_EQ(current(), "/");
    EXPECT_EQ(panel.GetFileName(), "");
    // Entering the drive lists it.
    key(Qt::Key_Return);
    EXPECT_EQ(panel.GetDir(), "/");
    EXPECT_EQ(dirsSeen, (std::vector<std::string>{"/", "", "/"}));
}

TEST_F(Browser, DriveListHoldsTheRootFirstAndTheHomeFolder) {
    panel.SetDir("");
    const auto list = rows();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front(), "/");
    const std::string home = QDir::homePath().toStdString();
    EXPECT_NE(std::find(list.begin(), list.end(), home), list.end());
    for (int r = 0; r < panel.RowCount(); ++r) {
        EXPECT_TRUE(panel.Item(r).IsDrive);
        EXPECT_FALSE(panel.Item(r).IsDir);
    }
    EXPECT_EQ(std::find(list.begin(), list.end(), "/proc"), list.end());
    EXPECT_EQ(std::find(list.begin(), list.end(), "/sys"), list.end());
}

TEST_F(Browser, DrivesFromMountsKeepsVolumesAndSkipsPseudoFileSystems) {
    const std::string mounts = "overlay / overlay rw,relatime 0 0\n"
                               "proc /proc proc rw 0 0\n"
                               "sysfs /sys sysfs ro 0 0\n"
                               "tmpfs /dev/shm tmpfs rw 0 0\n"
                               "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                               "devpts /dev/pts devpts rw 0 0\n"
                               "/dev/sdb1 /media/ann/My\\040Drums vfat rw 0 0\n"
                               "/dev/sdc1 /mnt/data ext4 rw 0 0\n"
                               "/dev/sdc1 /mnt/data ext4 rw 0 0\n"
                               "/dev/sdd1 /run/media/ann/USB exfat rw 0 0\n"
                               "/dev/sda2 /boot ext4 rw 0 0\n"
                               "tmpfs /run tmpfs rw 0 0\n"
                               "/dev/sda3 /srv/audio xfs rw 0 0\n"
                               "broken line\n";
    EXPECT_EQ(brindle::DrivesFromMounts(mounts, "/home/ann"),
              (std::vector<std::string>{"/", "/media/ann/My Drums", "/mnt/data", "/run/media/ann/USB",
                                        "/srv/audio", "/home/ann"}));
    EXPECT_EQ(brindle::DrivesFromMounts("", "/"), std::vector<std::string>{"/"});
}

TEST_F(Browser, SetFileNameShowsTheFolderWithTheCursorOnTheFile) {
    panel.SetDir(in("Drums"));
    panel.SetFileName(in("BETA.WAV")); // letter case aside
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(current(), "Beta.wav");
    EXPECT_EQ(panel.GetFileName(), in("Beta.wav"));
    panel.SetFileName(in("Drums/Kick.WAV"));
    EXPECT_EQ(panel.GetFileName(), in("Drums/Kick.WAV"));
    // The up row and folder rows have no file name.
    panel.SetDir(samples);
    EXPECT_EQ(panel.GetFileName(), "");
    panel.SetRow(rowOf("[Drums]"));
    EXPECT_EQ(panel.GetFileName(), "");
    // A name the folder does not hold leaves the cursor on the first row.
    panel.SetFileName(in("missing.wav"));
    EXPECT_EQ(panel.GetRow(), 0);
}

TEST_F(Browser, FolderPathsAreTidiedBeforeListing) {
    panel.SetDir(samples + "/Drums/../");
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(brindle::JoinPath("/", "a"), "/a");
    EXPECT_EQ(brindle::ParentDir("/a"), "/");
    EXPECT_EQ(brindle::ParentDir("/a/b"), "/a");
}

TEST_F(Browser, ExactNameWinsWhenNamesDifferOnlyInCase) {
    fs::create_directories(in("drums"));
    panel.SetDir(in("drums"));
    key(Qt::Key_Left);
    key(Qt::Key_Return);
    EXPECT_EQ(current(), "[drums]");
    EXPECT_EQ(panel.Item(panel.GetRow()).ItemName, "drums");
}

TEST_F(Browser, VanishedFolderIsReportedAndNothingChanges) {
    panel.SetDir(samples);
    panel.SetRow(rowOf("[Zeta]"));
    const auto before = rows();
    const int row = panel.GetRow();
    fs::remove(in("Zeta"));
    key(Qt::Key_Return);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find(in("Zeta")), std::string::npos) << logged[0];
    EXPECT_NE(logged[0].find("No such file or directory"), std::string::npos) << logged[0];
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(panel.GetRow(), row);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(dirsSeen.size(), 1u);
}

TEST_F(Browser, AFileGivenAsFolderIsReported) {
    panel.SetDir(samples);
    panel.SetRow(3);
    panel.SetDir(in("notes.txt"));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "Cannot open the folder \"" + in("notes.txt") + "\": Not a directory");
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(panel.GetRow(), 3);
    EXPECT_EQ(dirsSeen.size(), 1u);
}

TEST_F(Browser, UnreadableFolderIsReported) {
    FolderPermissionsHold permissions;
    fs::permissions(in("bass"), fs::perms::none);
    panel.SetDir(samples);
    panel.SetRow(rowOf("[bass]"));
    key(Qt::Key_Return);
    fs::permissions(in("bass"), fs::perms::owner_all);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("Permission denied"), std::string::npos) << logged[0];
    EXPECT_EQ(panel.GetDir(), samples);
    EXPECT_EQ(current(), "[bass]");
}

TEST_F(Browser, VanishedFileIsReportedInsteadOfPreviewedOrOpened) {
    int events = 0;
    panel.OnPreview = [&](TNortonPanel*, const std::string&) { ++events; };
    panel.OnOpenFile = [&](TNortonPanel*, const std::string&) { ++events; };
    panel.SetDir(samples);
    const int row = rowOf("gamma.mp3");
    fs::remove(in("gamma.mp3"));
    click(row);
    key(Qt::Key_Return);
    EXPECT_EQ(events, 0);
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_NE(logged[0].find(in("gamma.mp3")), std::string::npos) << logged[0];
    EXPECT_EQ(panel.GetRow(), row);
}

TEST_F(Browser, RowsBeyondTheListRaiseTheListError) {
    panel.SetDir(in("Drums"));
    EXPECT_NO_THROW(panel.Item(1));
    try {
        panel.Item(2);
        FAIL() << "no error";
    } catch (const brindle::Error& e) {
        EXPECT_STREQ(e.what(), "cTemplateList - to big item number");
    }
}

TEST_F(Browser, FileRowsDragOutAsUriList) {
    panel.SetDir(samples);
    const auto* model = panel.model();
    const QModelIndex file = model->index(rowOf("Beta.wav"), 0);
    const QModelIndex folder = model->index(rowOf("[Drums]"), 0);
    EXPECT_TRUE(model->flags(file) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model->flags(folder) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> mime(model->mimeData({file}));
    ASSERT_TRUE(mime);
    EXPECT_TRUE(mime->hasFormat("text/uri-list"));
    ASSERT_EQ(mime->urls().size(), 1);
    EXPECT_EQ(mime->urls()[0].toLocalFile().toStdString(), in("Beta.wav"));
    EXPECT_EQ(std::unique_ptr<QMimeData>(model->mimeData({folder})), nullptr);
}

} // namespace
