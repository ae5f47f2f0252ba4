// The updater's start-up rules, run as a process from a suite of its own.
#include "cut_off_update.h"
#include "hand_over.h"
#include "http_server.h"
#include "named_mutex.h"
#include "platform.h"
#include "process.h"
#include "temp_dir.h"
#include "tree_snapshot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace pavoline {
namespace {

class NovarelProcess : public ::testing::Test {
protected:
    void SetUp() override {
        suite = dir.path() + "/suite/";
        MakeDirectories(suite);
        test::CopyTree(std::string(PAVOLINE_SUITE_DIR) + "/Novarel", suite + "Novarel");
        test::CopyTree(std::string(PAVOLINE_SUITE_DIR) + "/libpavoline_framework.so", suite);
        novarel = suite + "Novarel/Novarel";
        suffix = "-novarel-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("PAVOLINE_INSTANCE_SUFFIX", suffix.c_str(), 1);
        setenv("PAVOLINE_MESSAGES_TO_STDERR", "1", 1);
        setenv("PAVOLINE_UPDATE_HOST", ("127.0.0.1:" + std::to_string(test::UnusedPort())).c_str(), 1);
    }
    void TearDown() override {
        for (const char* name : {"PAVOLINE_INSTANCE_SUFFIX", "PAVOLINE_MESSAGES_TO_STDERR", "PAVOLINE_UPDATE_HOST", "TMPDIR"})
            unsetenv(name);
    }
    // What the previous update and a killed run left: the set-aside copy, files in "temp/", and
    // downloads in the temporary directory, marked in "temp/" as ours; and one that is not ours.
    void leaveLastRunsFiles() {
        test::WriteBytes(novarel + ".old", {1});
        test::WriteBytes(suite + "Novarel/temp/leftover", {2});
        MakeDirectories(suite + "Novarel/temp/folder");
        test::WriteBytes(suite + "Novarel/temp/folder/kept", {3});
        setenv("TMPDIR", downloads.path().c_str(), 1);
        for (const char* name : {"~0_123.tmp", "~0_-45.rar"}) {
            test::WriteBytes(downloads.file(name), {4});
            test::WriteBytes(suite + "Novarel/temp/" + name, {});
        }
        test::WriteBytes(downloads.file("~0_67.tmp"), {5});
    }

    test::TempDir dir, downloads;
    std::string suite, novarel, suffix;
    static inline int count = 0;
};

TEST_F(NovarelProcess, RefusedStartsEndAtOnceAndSilently) {
    leaveLastRunsFiles();
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"1.0.0.1"}, {"1.0.0.1", "hsaldkrue-not"}}) {
        const test::ProcessResult run = test::RunProgram(novarel, args);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out + run.err, "");
    }
    EXPECT_TRUE(PathExists(novarel + ".old"));
    EXPECT_TRUE(PathExists(suite + "Novarel/temp/leftover"));
    EXPECT_TRUE(PathExists(downloads.file("~0_123.tmp")));
}

TEST_F(NovarelProcess, TheTokenInCapitalsStartsItAndTheLastRunsFilesGo) {
    leaveLastRunsFiles();
    const test::ProcessResult run = test::RunProgram(novarel, {"1.0.0.1", "HSALDKRUE"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("在线更新: 无法连接服务器，请检查您的网络连接！\n"), std::string::npos) << run.err;
    EXPECT_FALSE(PathExists(novarel + ".old"));
    EXPECT_FALSE(PathExists(suite + "Novarel/temp/leftover"));
    EXPECT_TRUE(PathExists(suite + "Novarel/temp/folder/kept")); // only files are emptied out
    EXPECT_FALSE(PathExists(downloads.file("~0_123.tmp")));
    EXPECT_FALSE(PathExists(downloads.file("~0_-45.rar")));
    EXPECT_TRUE(PathExists(downloads.file("~0_67.tmp")));
}

// Killed after it had replaced one file and added another: the next start undoes that first.
TEST_F(NovarelProcess, ASwapThatWasCutOffIsUndoneFirst) {
    const std::string work = test::LeaveCutOffSwap(suite, "1.0.0.1");
    const test::ProcessResult run = test::RunProgram(novarel, {"1.0.0.1", "hsaldkrue"});
    const size_t told = run.err.find("在线更新: 上次升级未完成，已恢复到 1.0.0.1。\n");
    EXPECT_LT(told, run.err.find("无法连接服务器")) << run.err; // before the server is asked
    EXPECT_EQ(test::ReadText(suite + "version.txt"), "old");
    EXPECT_FALSE(PathExists(suite + "added.txt"));
    EXPECT_FALSE(PathExists(work));
}

TEST_F(NovarelProcess, AMissingConfigurationIsSaidBeforeAnythingIsAsked) {
    test::TestHttpServer server;
    server.routes().Get(".*", [](const httplib::Request&, httplib::Response& response) { response.set_content("", "text/plain"); });
    server.start();
    setenv("PAVOLINE_UPDATE_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    std::remove((suite + "Novarel/UpdateInfo.ini").c_str());
    const test::ProcessResult run = test::RunProgram(novarel, {"1.0.0.1", "hsaldkrue"});
    EXPECT_NE(run.err.find("在线更新: 配置不存在或是错误！重新安装可以解决！\n"), std::string::npos) << run.err;
    EXPECT_EQ(server.requestCount(), 0);
}

// Waits out the other instance's hold (ten seconds) and ends without a word.
TEST_F(NovarelProcess, ASecondInstanceEndsSilently) {
    ProcessMutex running(WithInstanceSuffix(kUpdaterMutexName));
    ASSERT_TRUE(running.acquire(0));
    const test::ProcessResult run = test::RunProgram(novarel, {"1.0.0.1", "hsaldkrue"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
}

} // namespace
} // namespace pavoline
