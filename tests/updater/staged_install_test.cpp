#include "platform.h"
#include "staged_install.h"
#include "temp_dir.h"
#include "tree_snapshot.h"
#include "unprivileged.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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

    InstallOutcome apply(const std::string& archiver) {
        return ApplyUpdate({package, suite, ownPath, archiver, "1.0.0.1", "Pavoline"});
    }
    std::string archiver() const { return FindArchiver(suite + "Novarel/").value_or(""); }
    // Lists nothing, and extracts by running the shell text, with $d the folder it extracts to.
    std::string fakeArchiver(const std::string& extraction) {
        const std::string path = dir.file("fake-7z-" + std::to_string(++fakes));
        WriteText(path, "#!/bin/sh\n[ \"$1\" = l ] && exit 0\nfor a; do case $a in -o*) d=${a#-o};; esac; done\n" + extraction + "\n", 0755);
        return path;
    }

    test::TempDir dir;
    std::string suite, ownPath, package;
    int fakes = 0;
};

// The package brings the user's own files and the updater's own names too: none of them is taken.
TEST_F(StagedInstall, ReplacesWhatThePackageCarriesAndNothingElse) {
    test::WriteZip(package, {ProgramEntry("Pavoline", "new launcher"), test::UnixFileEntry("version.txt", "2.0"),
                             test::UnixFileEntry("help/index.html", "help"), ProgramEntry("Novarel/Novarel", "new updater"),
                             test::UnixFileEntry("Resource/N70/N70.so", "new N70"), test::UnixFileEntry("Resource/X6/X6.so", "X6"),
                             test::UnixFileEntry("InstalledModel.xml", "<package/>"), test::UnixFileEntry("test.flag", ""),
                             test::UnixFileEntry("Novarel/temp/x", "x"), test::UnixFileEntry("Novarel/Novarel.old", "x"),
                             test::UnixFileEntry(".novarel-update-AAAAAA/journal", "x")});
    const InstallOutcome outcome = apply(archiver());
    ASSERT_TRUE(outcome.ok()) << FailureMessage(outcome);
    EXPECT_EQ(ReadText(suite + "Pavoline"), "new launcher");
    EXPECT_TRUE(IsExecutableFile(suite + "Pavoline"));
    EXPECT_EQ(ReadText(suite + "version.txt"), "2.0");
    EXPECT_EQ(ReadText(suite + "help/index.html"), "help");
    EXPECT_EQ(ReadText(ownPath), "new updater"); // renamed over the running one, which goes on running
    EXPECT_EQ(ReadText(suite + "Resource/N70/N70.so"), "old N70");
    EXPECT_FALSE(PathExists(suite + "Resource/X6"));
    EXPECT_EQ(ReadText(suite + "Resource/USER/USER.so"), "the user's model");
    EXPECT_EQ(ReadText(suite + "InstalledModel.xml"), "<user/>");
    for (const char* absent : {"test.flag", "Novarel/temp", "Novarel/Novarel.old"}) EXPECT_FALSE(PathExists(suite + absent)) << absent;
    EXPECT_FALSE(HoldsWorkDirectories(suite));
}

TEST_F(StagedInstall, APackageWithoutTheUpdaterKeepsTheRunningOne) {
    test::WriteZip(package, {test::UnixFileEntry("version.txt", "2.0")});
    ASSERT_TRUE(apply(archiver()).ok());
    EXPECT_EQ(ReadText(ownPath), "old updater");
    EXPECT_FALSE(PathExists(SetAsideName(ownPath)));
}

TEST_F(StagedInstall, FailuresLeaveTheSuiteAsItWas) {
    const std::vector<ZipEntrySpec> good = {ProgramEntry("Pavoline", "new launcher"), test::UnixFileEntry("version.txt", "2.0")};
    enum Package { kPlain, kDamaged, kEncrypted };
    struct Case {
        const char* name;
        std::vector<ZipEntrySpec> entries;
        Package package;
        std::string archiver;
        InstallStep step;
    };
    const Case cases[] = {
        {"no archiver", good, kPlain, "", InstallStep::kNoArchiver},
        // Each writes into the folder it extracts to, as an archiver does before it meets the trouble.
        {"the archiver fails", good, kPlain, fakeArchiver("echo partial > \"$d/Pavoline\"; exit 2"), InstallStep::kArchiverFailed},
        {"the archiver warns that it could not write a file", good, kPlain,
         fakeArchiver("echo partial > \"$d/Pavoline\"; exit 1"), InstallStep::kArchiverFailed},
        {"a damaged package", good, kDamaged, archiver(), InstallStep::kArchiverFailed},
        {"an encrypted package", good, kEncrypted, archiver(), InstallStep::kEncryptedPackage},
        {"a link in the package", {test::UnixFileEntry("a.txt", "a"), test::UnixSymlinkEntry("help/link", "/etc")}, kPlain,
         archiver(), InstallStep::kUnsafeEntry},
        {"a file with a second name", good, kPlain, fakeArchiver("echo a > \"$d/a\"; ln \"$d/a\" \"$d/b\""),
         InstallStep::kUnsafeEntry},
        {"a file where the suite has a folder", {ProgramEntry("Pavoline", "new"), test::UnixFileEntry("Novarel", "")}, kPlain,
         archiver(), InstallStep::kMoveFailed},
    };
    const test::TreeSnapshot before = test::SnapshotOf(suite);
    for (const Case& c : cases) {
        test::WriteZip(package, c.entries);
        if (c.package == kDamaged) test::DamageFirstEntryData(package);
        if (c.package == kEncrypted) {
            std::remove(package.c_str());
            ASSERT_EQ(RunProgramAndWait(archiver(), {"a", "-psecret", package, suite + "version.txt"}), 0);
        }
        const InstallOutcome outcome = apply(c.archiver);
        EXPECT_EQ(outcome.step, c.step) << c.name;
        EXPECT_TRUE(outcome.restored) << c.name;
        EXPECT_NE(FailureMessage(outcome).find("软件保持原样"), std::string::npos) << c.name;
        EXPECT_EQ(test::SnapshotOf(suite), before) << c.name;
    }
}

// The user can make a folder writable again: the message names it, not the updater's copy.
TEST_F(StagedInstall, AFolderThatMayNotBeWrittenIsNamedAndTheRestComesBack) {
    MakeDirectories(suite + "help");
    WriteText(suite + "help/index.html", "old help");
    chmod((suite + "help").c_str(), 0555);
    test::WriteZip(package, {ProgramEntry("Pavoline", "new launcher"), test::UnixFileEntry("a.txt", "new"),
                             test::UnixFileEntry("help/index.html", "new help"), ProgramEntry("Novarel/Novarel", "new updater")});
    const test::TreeSnapshot before = test::SnapshotOf(suite);
    std::vector<std::string> handedOver{dir.path(), suite};
    for (const auto& [path, kind] : before) handedOver.push_back(suite + path);
    const std::string tool = archiver();
    const int told = test::RunUnprivileged(
        [&] {
            const InstallOutcome outcome = apply(tool);
            const std::string message = FailureMessage(outcome);
            if (outcome.step != InstallStep::kMoveFailed || !outcome.restored) return 1;
            return message.find(suite + "help/index.html") != std::string::npos && message.find(".novarel") == std::string::npos ? 0 : 2;
        },
        handedOver);
    EXPECT_EQ(told, 0);
    EXPECT_EQ(test::SnapshotOf(suite), before);
    chmod((suite + "help").c_str(), 0755);
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

// The own folder's 7z, then 7zz before an old 7z on the PATH; and it never waits for an answer
// from the terminal, here a pipe nobody writes to.
TEST_F(StagedInstall, TheArchiverIsChosenAndReadsNothing) {
    const std::string real = FindProgramOnPath("7zz").value_or("/usr/bin/7zz");
    test::TempDir bin;
    WriteText(bin.file("7z"), "#!/bin/sh\nexit 9\n", 0755);
    WriteText(bin.file("7zz"), "#!/bin/sh\n[ \"$(readlink /proc/$$/fd/0)\" = /dev/null ] || exit 9\nexec " + real + " \"$@\"\n", 0755);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.path() + ":" + path).c_str(), 1);
    EXPECT_EQ(archiver(), bin.file("7zz"));
    test::WriteZip(package, {test::UnixFileEntry("version.txt", "2.0")});
    int unanswered[2];
    ASSERT_EQ(pipe(unanswered), 0);
    const int input = dup(STDIN_FILENO);
    dup2(unanswered[0], STDIN_FILENO);
    const InstallOutcome outcome = apply(archiver());
    dup2(input, STDIN_FILENO);
    for (int fd : {input, unanswered[0], unanswered[1]}) close(fd);
    EXPECT_TRUE(outcome.ok()) << FailureMessage(outcome);
    EXPECT_EQ(ReadText(suite + "version.txt"), "2.0");
    WriteText(suite + "Novarel/7z", "#!/bin/sh\n", 0755);
    EXPECT_EQ(archiver(), suite + "Novarel/7z");
    setenv("PATH", path.c_str(), 1);
}

} // namespace
} // namespace pavoline::updater
