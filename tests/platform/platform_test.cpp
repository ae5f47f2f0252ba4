#include "named_mutex.h"
#include "platform.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <thread>

namespace pavoline {
namespace {

TEST(Platform, DirectoriesEndWithASlash) {
    EXPECT_EQ(ProgramDir().back(), '/');
    EXPECT_TRUE(IsDirectory(ProgramDir()));
    EXPECT_EQ(TempDir().back(), '/');
}

TEST(Platform, TempFileNamesFollowThePatternAndNeverRepeat) {
    const std::string first = TempFileName("zip");
    EXPECT_EQ(first.rfind(TempDir() + "~tavix_", 0), 0u);
    EXPECT_EQ(first.substr(first.size() - 4), ".zip");
    EXPECT_TRUE(PathExists(first)); // reserved
    const std::string second = TempFileName("zip");
    EXPECT_NE(second, first);
    std::remove(first.c_str());
    std::remove(second.c_str());
    EXPECT_EQ(TempFileName(""), TempDir());
}

TEST(Platform, ReservedNamesStepOverWhatIsPlanted) {
    test::TempDir dir;
    const std::string prefix = "~0_";
    // Links planted at the next ticks' names, as another user could in a shared temp directory.
    const uint32_t tick = TickCount();
    for (uint32_t t = tick; t < tick + 50; ++t)
        ASSERT_EQ(symlink("/nonexistent", (dir.path() + "/" + prefix + std::to_string(static_cast<int>(t)) + ".rar").c_str()), 0);
    const std::string name = ReserveFileName(dir.path() + "/", prefix, "rar");
    struct stat info {};
    ASSERT_EQ(lstat(name.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode)) << name;
    EXPECT_EQ(info.st_size, 0);
}

TEST(Platform, DeleteTreeRemovesReadOnlyFilesAndSubdirectories) {
    test::TempDir dir;
    const std::string root = dir.file("tree");
    ASSERT_TRUE(MakeDirectories(root + "/a/b"));
    test::WriteBytes(root + "/a/b/f", {1, 2});
    test::WriteBytes(root + "/g", {3});
    ASSERT_TRUE(SetReadOnly(root + "/g", true));
    EXPECT_TRUE(IsReadOnly(root + "/g"));
    DeleteTree(root);
    EXPECT_FALSE(PathExists(root));
}

TEST(Platform, ModelDirectoriesAreMadeOnlyForPlainNames) {
    test::TempDir dir;
    const std::optional<std::string> model = ModelPackageDir("N70", dir.path());
    ASSERT_TRUE(model);
    EXPECT_EQ(*model, dir.path() + "/Resource/N70/");
    EXPECT_TRUE(IsDirectory(*model));
    for (const char* bad : {"", ".", "..", "a/b", "../x"}) EXPECT_FALSE(ModelPackageDir(bad, dir.path())) << bad;
}

TEST(NamedMutex, OpenFindsOnlyWhatWasCreated) {
    EXPECT_FALSE(NamedMutex::Open("test-mutex-none"));
    std::shared_ptr<NamedMutex> created = NamedMutex::Create("test-mutex");
    EXPECT_EQ(NamedMutex::Open("test-mutex"), created);
    EXPECT_EQ(NamedMutex::Create("test-mutex"), created);
    {
        NamedLock outer("test-mutex");
        NamedLock inner("test-mutex"); // the owner may lock again
    }
    created.reset();
    EXPECT_FALSE(NamedMutex::Open("test-mutex"));
}

TEST(NamedMutex, ExcludesOtherThreads) {
    auto mutex = NamedMutex::Create("test-exclusion");
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                NamedLock lock("test-exclusion");
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 40000);
}

TEST(ProcessMutex, OneHolderAtATime) {
    const std::string name = "test-process-mutex-" + std::to_string(getpid());
    ProcessMutex first(name), second(name);
    EXPECT_FALSE(ProcessMutex::IsHeldElsewhere(name));
    ASSERT_TRUE(first.acquire(0));
    EXPECT_TRUE(ProcessMutex::IsHeldElsewhere(name));
    EXPECT_FALSE(second.acquire(30));
    first.release();
    EXPECT_TRUE(second.acquire(0));
    second.release();
    std::remove(ProcessMutex::LockPath(name).c_str());
}

TEST(StartProgram, RunsWithAnArgumentListAndNoShell) {
    test::TempDir dir;
    // One argument with blanks, a semicolon and quotes, which a shell would have split.
    const std::string marker = dir.file("a b; touch 'injected'");
    ASSERT_TRUE(StartProgram("/usr/bin/touch", {marker}));
    for (int i = 0; i < 500 && !PathExists(marker); ++i) SleepMs(10);
    EXPECT_TRUE(PathExists(marker));
    EXPECT_FALSE(PathExists(dir.file("injected")));
    EXPECT_FALSE(StartProgram("/nonexistent/program", {}));
}

TEST(RunProgramAndWait, GivesTheExitCodeOrNothing) {
    EXPECT_EQ(RunProgramAndWait("/bin/sh", {"-c", "echo discarded; exit 3"}), 3);
    EXPECT_EQ(RunProgramAndWait("/bin/sh", {"-c", "kill -9 $$"}), std::nullopt);
    EXPECT_EQ(RunProgramAndWait("/nonexistent/program", {}), std::nullopt);
}

TEST(FindProgramOnPath, SearchesThePathInOrder) {
    test::TempDir first, second;
    for (const std::string& dir : {first.path(), second.path()}) {
        test::WriteBytes(dir + "/tool", {'#', '!'});
        chmod((dir + "/tool").c_str(), 0755);
    }
    test::WriteBytes(first.path() + "/plain", {1});
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    setenv("PATH", (first.path() + ":" + second.path()).c_str(), 1);
    EXPECT_EQ(FindProgramOnPath("tool"), first.path() + "/tool");
    EXPECT_EQ(FindProgramOnPath("plain"), std::nullopt); // not executable
    EXPECT_EQ(FindProgramOnPath("absent"), std::nullopt);
    setenv("PATH", saved.c_str(), 1);
}

TEST(Platform, DeleteFilesInKeepsSubdirectories) {
    test::TempDir dir;
    test::WriteBytes(dir.file("a"), {1});
    ASSERT_TRUE(MakeDirectories(dir.file("sub")));
    test::WriteBytes(dir.file("sub/b"), {2});
    ASSERT_EQ(symlink("/etc/passwd", dir.file("link").c_str()), 0);
    DeleteFilesIn(dir.path());
    EXPECT_FALSE(PathExists(dir.file("a")));
    EXPECT_FALSE(PathExists(dir.file("link")));
    EXPECT_TRUE(PathExists(dir.file("sub/b")));
    EXPECT_TRUE(PathExists("/etc/passwd"));
}

} // namespace
} // namespace pavoline
