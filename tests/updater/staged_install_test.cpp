#include "platform.h"
#include "staged_install.h"
#include "temp_dir.h"
#include "tree_snapshot.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace pavoline::updater {
namespace {

using test::ZipEntrySpec;

using test::ReadText;
using test::WriteText;

ZipEntrySpec ProgramEntry(const std::string& name, const std::string& data) { return {name, data, 3, 0100755u << 16, false}; }

bool HoldsWorkDirectories(const std::string& dir) {
    for (const auto& [path, kind] : test::SnapshotOf(dir))
        if (path.rfind(".novarel-", 0) == 0) return true;
    return false;
}

// A small suite: the launcher, a model, a model of the user's own, the user's installed list and
// the updater, which runs from Novarel/Novarel.
class StagedInstall : public ::testing::Test {
protected:
    void SetUp() override {
        suite = dir.path() + "/suite/";
        for (const char* folder : {"Novarel", "Resource/N70", "Resource/USER"}) MakeDirectories(suite + folder);
        WriteText(suite + "Pavoline", "old launcher", 0755);
        WriteText(suite + "version.txt", "1.0");
        WriteText(suite + "InstalledModel.xml", "<user/>");
        WriteText(suite + "Resource/N70/N70.so", "old N70");
        WriteText(suite + "Resource/USER/USER.so", "the user's model");
        WriteText(suite + "Novarel/Novarel", "old updater", 0755);
        ownPath = suite + "Novarel/Novarel";
        package = dir.file("update.zip");
    }

    InstallOutcome apply(const std::string& archiver) { return ApplyUpdate({package, suite, ownPath, archiver}); }
    std::string archiver() const { return FindArchiver(suite + "Novarel/").value_or(""); }

    test::TempDir dir;
    std::string suite, ownPath, package;
};

TEST_F(StagedInstall, ReplacesWhatThePackageCarriesAndNothingElse) {
    test::WriteZip(package, {ProgramEntry("Pavoline", "new launcher"), test::UnixFileEntry("version.txt", "2.0"),
                             test::UnixFileEntry("Resource/N70/N70.so", "new N70"), test::UnixFileEntry("Resource/X6/X6.so", "X6"),
                             ProgramEntry("Novarel/Novarel", "new updater"), test::UnixFileEntry("InstalledModel.xml", "<package/>"),
                             test::UnixFileEntry("test.flag", "")});
    const InstallOutcome outcome = apply(archiver());
    ASSERT_TRUE(outcome.ok()) << FailureMessage(outcome);
    EXPECT_EQ(ReadText(suite + "Pavoline"), "new launcher");
    EXPECT_TRUE(IsExecutableFile(suite + "Pavoline"));
    EXPECT_EQ(ReadText(suite + "version.txt"), "2.0");
    EXPECT_EQ(ReadText(suite + "Resource/N70/N70.so"), "new N70");
    EXPECT_EQ(ReadText(suite + "Resource/X6/X6.so"), "X6");
    EXPECT_EQ(ReadText(suite + "Resource/USER/USER.so"), "the user's model");
    EXPECT_EQ(ReadText(suite + "InstalledModel.xml"), "<user/>");
    EXPECT_FALSE(PathExists(suite + "test.flag"));
    EXPECT_EQ(ReadText(ownPath), "new updater");
    EXPECT_EQ(ReadText(SetAsideName(ownPath)), "old updater"); // the running one, removed at the next start
    EXPECT_FALSE(HoldsWorkDirectories(suite));
}

TEST_F(StagedInstall, APackageWithoutTheUpdaterKeepsTheRunningOne) {
    test::WriteZip(package, {test::UnixFileEntry("version.txt", "2.0")});
    ASSERT_TRUE(apply(archiver()).ok());
    EXPECT_EQ(ReadText(ownPath), "old updater");
    EXPECT_FALSE(PathExists(SetAsideName(ownPath)));
}

TEST_F(StagedInstall, FailuresLeaveTheSuiteAsItWas) {
    const std::string failingArchiver = dir.file("failing-7z");
    // Writes into the folder it extracts to, as an archiver does before it meets the damage.
    WriteText(failingArchiver, "#!/bin/sh\nfor a; do case $a in -o*) d=${a#-o};; esac; done\n"
                               "echo partial > \"$d/Pavoline\"; exit 2\n", 0755);
    const std::vector<ZipEntrySpec> good = {ProgramEntry("Pavoline", "new launcher"), test::UnixFileEntry("version.txt", "2.0")};
    struct Case {
        const char* name;
        std::vector<ZipEntrySpec> entries;
        bool damaged;
        std::string archiver;
        InstallStep step;
    };
    const Case cases[] = {
        {"no archiver", good, false, "", InstallStep::kNoArchiver},
        {"the archiver fails", good, false, failingArchiver, InstallStep::kArchiverFailed},
        {"a damaged package", good, true, archiver(), InstallStep::kArchiverFailed},
        {"a link in the package", {test::UnixFileEntry("a.txt", "a"), test::UnixSymlinkEntry("Resource/link", "/etc")}, false,
         archiver(), InstallStep::kUnsafeEntry},
        // Found after the launcher and the updater have moved: both come back.
        {"a file where the suite has a folder",
         {ProgramEntry("Novarel/Novarel", "new updater"), ProgramEntry("Pavoline", "new"), test::UnixFileEntry("Resource", "")},
         false, archiver(), InstallStep::kMoveFailed},
    };
    const test::TreeSnapshot before = test::SnapshotOf(suite);
    for (const Case& c : cases) {
        test::WriteZip(package, c.entries);
        if (c.damaged) test::DamageFirstEntryData(package);
        const InstallOutcome outcome = apply(c.archiver);
        EXPECT_EQ(outcome.step, c.step) << c.name;
        EXPECT_TRUE(outcome.restored) << c.name;
        EXPECT_NE(FailureMessage(outcome).find("软件保持原样"), std::string::npos) << c.name;
        EXPECT_EQ(test::SnapshotOf(suite), before) << c.name;
    }
}

TEST_F(StagedInstall, LeftoversOfACutOffUpdate) {
    for (const char* file : {".novarel-update-AAAAAA/new/Pavoline", ".novarel-update-BBBBBB/old/Pavoline",
                             ".novarel-done-CCCCCC/old/Pavoline", ".novarel-update-mine/old/x"}) {
        const std::string path = suite + file;
        MakeDirectories(path.substr(0, path.find_last_of('/')));
        WriteText(path, "x");
    }
    MakeDirectories(suite + ".novarel-update-DDDDDD/old/empty/folders");
    RemoveInstallLeftovers(suite);
    EXPECT_FALSE(PathExists(suite + ".novarel-update-AAAAAA")); // cut off before any file moved
    EXPECT_TRUE(PathExists(suite + ".novarel-update-BBBBBB")); // the only copy of a replaced file
    EXPECT_FALSE(PathExists(suite + ".novarel-done-CCCCCC"));
    EXPECT_FALSE(PathExists(suite + ".novarel-update-DDDDDD"));
    EXPECT_TRUE(PathExists(suite + ".novarel-update-mine")); // not a name of ours
}

TEST_F(StagedInstall, TheArchiverInTheOwnFolderComesFirst) {
    const std::string path = archiver();
    EXPECT_TRUE(path.size() > 3 && (path.substr(path.size() - 3) == "/7z" || path.substr(path.size() - 4) == "/7zz")) << path;
    WriteText(suite + "Novarel/7z", "#!/bin/sh\n", 0755);
    EXPECT_EQ(archiver(), suite + "Novarel/7z");
}

} // namespace
} // namespace pavoline::updater
