// The updater killed (SIGKILL) at each file-system step of the swap of a whole update, one
// step per run, and then the launcher started: after every run the suite is byte for byte the
// old tree or the new one (the user's files aside), the launcher runs, and nothing of ours is left.
// The steps are shared out among a few test cases, so that they run side by side.
#include "http_server.h"
#include "platform.h"
#include "process.h"
#include "staged_install.h"
#include "temp_dir.h"
#include "tree_snapshot.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <csignal>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline::updater {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::WriteText;

constexpr int kShards = 4;
constexpr const char* kOldVersion = "1.0.0.1";

// Every file of the tree but the user's, as the package of an update carries them.
std::vector<test::ZipEntrySpec> PackageOf(const std::string& tree) {
    std::vector<test::ZipEntrySpec> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree)) {
        const std::string relative = fs::relative(entry.path(), tree).string();
        struct stat info {};
        if (IsUsersOwnPath(relative) || lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        entries.push_back({relative, ReadText(entry.path()), 3, static_cast<uint32_t>(info.st_mode) << 16, false});
    }
    return entries;
}

#ifdef PAVOLINE_NEXT_LAUNCHER
// The build's programs without their debugging sections: the same programs, a tenth of the bytes
// to extract and compare in every run.
void StripPrograms(const std::string& tree) {
    const std::optional<std::string> strip = FindProgramOnPath("strip");
    if (!strip) return;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree))
        if (entry.is_regular_file() && ReadText(entry.path()).rfind("\x7f" "ELF", 0) == 0)
            test::RunProgram(*strip, {"--strip-debug", entry.path().string()});
}
#endif

void WriteNumberedFiles(const std::string& root, const char* folder, int folders, int files, const std::string& text) {
    for (int f = 0; f < folders; ++f)
        for (int i = 0; i < files; ++i) {
            const std::string dir = root + folder + std::to_string(f) + "/";
            MakeDirectories(dir);
            WriteText(dir + "file" + std::to_string(i) + ".txt", text + " " + std::to_string(f * files + i));
        }
}

// The old suite, the new one and the update from one to the other; made once per test program.
struct Update {
    test::TempDir dir;
    std::string oldTree = dir.path() + "/old/", newTree = dir.path() + "/new/", package = dir.path() + "/update.zip";
    std::string archiver = FindArchiver("").value_or("");
    test::TreeSnapshot oldSnapshot, newSnapshot;
    std::vector<long> steps; // the steps to kill at

    Update() {
#ifdef PAVOLINE_NEXT_LAUNCHER
        test::CopyTree(PAVOLINE_SUITE_DIR, oldTree);
        DeleteTree(oldTree + "Resource");
        std::remove((oldTree + "InstalledModel.xml").c_str());
        StripPrograms(oldTree);
#else // a build without the windowed programs: stand-ins, and the recovery run on its own
        for (const char* program : {"Pavoline", "Novarel/Novarel", "libDirectUI.so"}) {
            MakeDirectories(oldTree + "Novarel/temp");
            WriteText(oldTree + program, std::string("#!/bin/sh\n# old ") + program + "\n", 0755);
        }
#endif
        WriteText(oldTree + "version.txt", kOldVersion);
        WriteNumberedFiles(oldTree, "help/part", 6, 10, "old page");
        test::CopyTree(oldTree, newTree);
#ifdef PAVOLINE_NEXT_LAUNCHER
        test::CopyTree(PAVOLINE_NEXT_LAUNCHER, newTree + "Pavoline");
        StripPrograms(newTree);
#else
        WriteText(newTree + "Pavoline", "#!/bin/sh\n# new launcher\n", 0755);
#endif
        WriteText(newTree + "version.txt", "1.0.0.2");
        WriteNumberedFiles(newTree, "help/part", 6, 10, "new page");
        WriteNumberedFiles(newTree, "samples/set", 4, 10, "new sample");
        const std::vector<test::ZipEntrySpec> entries = PackageOf(newTree);
        EXPECT_GE(entries.size(), 100u);
        test::WriteZip(package, entries);
        oldSnapshot = test::SuiteSnapshotOf(oldTree);
        newSnapshot = test::SuiteSnapshotOf(newTree);
        countSteps();
    }

    // One run that lets every step happen and writes them down. The deletion of the work
    // directory, once it has its final name, is one step and not hundreds.
    void countSteps() {
        const std::string suite = dir.path() + "/count/";
        test::CopyTree(oldTree, suite);
        setenv("KILL_UNDER", suite.c_str(), 1);
        const test::ProcessResult run = install(suite);
        unsetenv("KILL_UNDER");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(test::SuiteSnapshotOf(suite), newSnapshot);
        std::istringstream lines(run.out);
        bool deleting = false;
        long number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            const bool inDeletion = line.find("/.novarel-done-") != std::string::npos && line.rfind("rename ", 0) != 0;
            if (!inDeletion || !deleting) steps.push_back(number);
            deleting = deleting || inDeletion;
        }
        std::printf("the swap takes %ld file-system steps; killed at %zu of them\n", number, steps.size());
    }

    test::ProcessResult install(const std::string& suite) const {
        return test::RunProgram(PAVOLINE_KILL_DRIVER, {"install", package, suite, archiver, kOldVersion, "Pavoline"});
    }
};

Update& TheUpdate() {
    // In memory where the machine has it: the swap's syncs would otherwise wait on everything
    // else the machine writes, hundreds of times.
    if (IsDirectory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
    static Update update;
    return update;
}

class SwapKilled : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        suffix = "-swap-kill-" + std::to_string(getpid());
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("PAVOLINE_QUIT_WHEN_SHOWN", "1", 1);
        setenv("PAVOLINE_MESSAGES_TO_STDERR", "1", 1);
        setenv("PAVOLINE_INSTANCE_SUFFIX", suffix.c_str(), 1);
        setenv("PAVOLINE_UPDATE_HOST", ("127.0.0.1:" + std::to_string(test::UnusedPort())).c_str(), 1);
    }

    // The start that comes after the kill: the launcher's own, or in a build without it, the
    // clean-up that its start runs first.
    static test::ProcessResult startAfterwards(const std::string& suite) {
#ifdef PAVOLINE_NEXT_LAUNCHER
        return test::RunProgram(suite + "Pavoline", {});
#else
        return test::RunProgram(PAVOLINE_KILL_DRIVER, {"recover", suite});
#endif
    }

    std::string suffix;
};

TEST_P(SwapKilled, TheSuiteIsTheOldOrTheNewVersionAndTheLauncherStarts) {
    Update& update = TheUpdate();
    ASSERT_GT(update.steps.size(), 200u);
    test::TempDir runs;
    const std::string suite = runs.path() + "/suite/";
    int old = 0, updated = 0;
    for (size_t i = static_cast<size_t>(GetParam()); i < update.steps.size(); i += kShards) {
        const long step = update.steps[i];
        DeleteTree(suite);
        test::CopyTree(update.oldTree, suite);
        setenv("KILL_UNDER", suite.c_str(), 1);
        setenv("KILL_AT_STEP", std::to_string(step).c_str(), 1);
        const test::ProcessResult killed = update.install(suite);
        unsetenv("KILL_AT_STEP");
        unsetenv("KILL_UNDER");
        ASSERT_EQ(killed.exitCode, 128 + SIGKILL) << "step " << step << ": " << killed.err;

        const test::ProcessResult started = startAfterwards(suite);
        ASSERT_EQ(started.exitCode, 0) << "step " << step << ": " << started.err;
        EXPECT_EQ(started.err.find("工具正在更新"), std::string::npos) << "step " << step;
        const test::TreeSnapshot after = test::SuiteSnapshotOf(suite);
        const bool isOld = after == update.oldSnapshot, isNew = after == update.newSnapshot;
        ASSERT_TRUE(isOld || isNew) << "step " << step << " left a mixed suite";
        (isOld ? old : updated) += 1;
        // What the user is told fits what became of the suite.
        const bool toldRestored = started.err.find(std::string("上次升级未完成，已恢复到 ") + kOldVersion + "。") != std::string::npos;
        EXPECT_TRUE(isNew ? !toldRestored : toldRestored || started.err.find("上次升级") == std::string::npos)
            << "step " << step << ": " << started.err;
        for (const fs::directory_entry& entry : fs::directory_iterator(suite))
            EXPECT_NE(entry.path().filename().string().rfind(".novarel-", 0), 0u) << "step " << step << " left " << entry.path();
        EXPECT_FALSE(PathExists(suite + "Novarel/Novarel.old")) << "step " << step;
        EXPECT_TRUE(fs::is_empty(suite + "Novarel/temp")) << "step " << step;
    }
    std::printf("shard %d: %d runs ended in the old suite, %d in the new one\n", GetParam(), old, updated);
}

INSTANTIATE_TEST_SUITE_P(Shard, SwapKilled, ::testing::Range(0, kShards));

bool Ended(pid_t pid) {
    const std::string stat = PathExists("/proc/" + std::to_string(pid) + "/stat") ? ReadText("/proc/" + std::to_string(pid) + "/stat") : "";
    return stat.empty() || stat.find(") Z ") != std::string::npos; // gone, or a zombie nobody has reaped yet
}

// A killed updater leaves no archiver behind that goes on writing into the suite.
TEST(KilledUpdater, TakesItsArchiverAlong) {
    test::TempDir dir;
    const std::string suite = dir.path() + "/suite/", archiver = dir.file("7z"), pidFile = dir.file("archiver.pid");
    MakeDirectories(suite + "Novarel");
    test::WriteZip(dir.file("update.zip"), {test::UnixFileEntry("version.txt", "2.0")});
    WriteText(archiver, "#!/bin/sh\n[ \"$1\" = l ] && exit 0\necho $$ > '" + pidFile + ".new'\nmv '" + pidFile + ".new' '" +
                            pidFile + "'\nexec sleep 60\n", 0755);
    test::RunningProgram updater(PAVOLINE_KILL_DRIVER, {"install", dir.file("update.zip"), suite, archiver, kOldVersion, "Pavoline"});
    for (int i = 0; i < 1000 && !PathExists(pidFile); ++i) SleepMs(10);
    ASSERT_TRUE(PathExists(pidFile));
    const pid_t extracting = std::stoi(ReadText(pidFile));
    updater.signal(SIGKILL);
    EXPECT_EQ(updater.wait(), 128 + SIGKILL);
    for (int i = 0; i < 500 && !Ended(extracting); ++i) SleepMs(10);
    EXPECT_TRUE(Ended(extracting));
    kill(extracting, SIGKILL);
}

} // namespace
} // namespace pavoline::updater
