#include "named_mutex.h"
#include "platform.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

} // namespace
} // namespace pavoline
