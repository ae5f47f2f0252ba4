#include "catalogue.h"
#include "http_server.h"
#include "install_run.h"
#include "leftovers.h"
#include "md5.h"
#include "named_mutex.h"
#include "temp_dir.h"
#include "uninstall.h"
#include "test_publisher.h"
#include "tree_snapshot.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline {
namespace {

using test::TempDir;

struct Event {
    unsigned code;
    intptr_t value;
    std::string text;
};

// Plays the progress page: records what the install sends, and can confirm a cancel.
class PageRecorder : public InstallObserver {
public:
    void send(unsigned code, intptr_t lParam) override {
        std::lock_guard<std::mutex> lock(mutex);
        Event e{code, lParam, ""};
        if (code == kInstallStatusText) e.text = *reinterpret_cast<const std::string*>(lParam);
        if (code == kInstallModelNumber) {
            const auto* at = reinterpret_cast<const InstallPosition*>(lParam);
            e.text = std::to_string(at->number) + "/" + std::to_string(at->count);
        }
        if (code == kInstallChecksumError && cancelOnChecksumError) SetDownloadCancel(true);
        if (code == kInstallDownloadProgress) {
            e.value = static_cast<intptr_t>(reinterpret_cast<const DownloadProgress*>(lParam)->received);
            if (cancelOnFirstProgress) SetDownloadCancel(true);
        }
        events.push_back(e);
    }
    void post(unsigned code, intptr_t lParam) override { send(code, lParam); }
    void setProgressPosition(int position) override {
        std::lock_guard<std::mutex> lock(mutex);
        positions.push_back(position);
    }
    std::vector<unsigned> codes() const {
        std::vector<unsigned> out;
        for (const Event& e : events)
            if (e.code != kInstallDownloadProgress) out.push_back(e.code);
        return out;
    }
    std::vector<Event> errors() const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.code >= kInstallDownloadError && e.code <= kInstallExtractError) out.push_back(e);
        return out;
    }

    std::mutex mutex;
    std::vector<Event> events;
    std::vector<int> positions;
    bool cancelOnFirstProgress = false;
    bool cancelOnChecksumError = false;
};

std::string ZipBytes(const std::vector<test::ZipEntrySpec>& entries) {
    TempDir dir;
    test::WriteZip(dir.file("z.zip"), entries);
    const std::vector<uint8_t> bytes = test::ReadBytes(dir.file("z.zip"));
    return std::string(bytes.begin(), bytes.end());
}

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> b = test::ReadBytes(path);
    return std::string(b.begin(), b.end());
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Packages go to a temporary directory of the test's own.
        const char* tmp = std::getenv("TMPDIR");
        oldTmp_ = tmp ? tmp : "";
        ASSERT_TRUE(MakeDirectories(dir_.file("tmp")));
        setenv("TMPDIR", dir_.file("tmp").c_str(), 1);
        UsePublisherKeys({}); // a build without keys, unless a test brings its publisher
        cancelMutex_ = NamedMutex::Create(kDownloadCancelMutex);
        promptMutex_ = NamedMutex::Create(kPromptMutex);
        SetDownloadCancel(false);
        packages_["N70"] = ZipBytes({test::DirectoryEntry("img/"), test::FileEntry("N70.so", "plugin-n70"),
                                     test::FileEntry("img/N70_1.png", std::string(30000, 'p'))});
        packages_["E71"] = ZipBytes({test::UnixDirectoryEntry("help/"), test::UnixFileEntry("E71.so", "plugin-e71"),
                                     test::UnixFileEntry("help/E71.chm", "help")});
        server_.routes().Get(R"(/pkg/(\w+)\.zip)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            const std::string model = req.matches[1];
            if (badDownloadsLeft_[model] > 0) {
                --badDownloadsLeft_[model];
                res.set_content("not the package", "application/zip");
                return;
            }
            if (endless_.count(model)) { // the package, then bytes without end
                const std::string package = packages_[model];
                res.set_chunked_content_provider("application/zip", [package](size_t offset, httplib::DataSink& sink) {
                    const std::string piece = offset < package.size() ? package.substr(offset) : std::string(65536, 'e');
                    return sink.write(piece.data(), piece.size());
                });
                return;
            }
            res.set_content(packages_[model], "application/zip");
        });
        server_.routes().Get("/slow.zip", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(200000, "application/zip", [](size_t, size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                const std::string piece(1000, 's');
                sink.write(piece.data(), piece.size());
                return true;
            });
        });
        server_.start();
    }
    void TearDown() override {
        SetDownloadCancel(false);
        if (oldTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp_.c_str(), 1);
    }

    COfferedModel Offer(const std::string& model) {
        COfferedModel m;
        m.model = model;
        m.softwareurl = server_.url("/pkg/" + model + ".zip");
        m.checksum = BytesMd5Text(packages_[model].data(), packages_[model].size());
        for (char& c : m.checksum) c = static_cast<char>(std::tolower(c)); // lower case matches too
        m.sha256 = BytesSha256Text(packages_[model]);
        m.size = std::to_string(packages_[model].size());
        return m;
    }
    std::string modelDir(const std::string& model) { return dir_.path() + "/Resource/" + model + "/"; }
    std::vector<std::string> resourceEntries() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path() + "/Resource"))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    void run(OfferedList& models, PageRecorder& page) {
        CancelPromptFlags prompt;
        InstallRun(models, page, prompt, dir_.path() + "/").run();
    }

    TempDir dir_;
    test::TestHttpServer server_;
    std::mutex mutex_;
    std::map<std::string, std::string> packages_;
    std::map<std::string, int> badDownloadsLeft_;
    std::set<std::string> endless_;
    std::shared_ptr<NamedMutex> cancelMutex_, promptMutex_;
    std::string oldTmp_;
};

TEST_F(InstallTest, InstallsTwoModelsFromTheServer) {
    OfferedList models = {Offer("N70"), Offer("E71")};
    PageRecorder page;
    run(models, page);
    EXPECT_EQ(models[0].installed, 1);
    EXPECT_EQ(models[1].installed, 1);
    EXPECT_EQ(models[0].sizeText, SizeText(packages_["N70"].size()));
    EXPECT_EQ(ReadText(modelDir("N70") + "N70.so"), "plugin-n70");
    EXPECT_EQ(ReadText(modelDir("N70") + "img/N70_1.png"), std::string(30000, 'p'));
    EXPECT_EQ(ReadText(modelDir("E71") + "help/E71.chm"), "help"); // a package made on Unix
    EXPECT_TRUE(page.errors().empty());
    const std::vector<unsigned> perModel = {kInstallModelNumber, kInstallCancelButtons, kInstallStatusText,
                                            kInstallCancelButtons, kInstallStatusText};
    std::vector<unsigned> expected = perModel;
    expected.insert(expected.end(), perModel.begin(), perModel.end());
    expected.push_back(kInstallFinished);
    EXPECT_EQ(page.codes(), expected);
    EXPECT_EQ(page.events[0].text, "1/2");
    EXPECT_EQ(page.events[2].text, "正在下载（N70）");
    ASSERT_FALSE(page.positions.empty());
    EXPECT_EQ(page.positions.back(), 100);
    // No staging directory is left beside the models.
    EXPECT_EQ(resourceEntries(), (std::vector<std::string>{"E71", "N70"}));
}

TEST_F(InstallTest, AModelListedTwiceIsInstalledOnce) {
    OfferedList models = {Offer("N70"), Offer("N70"), Offer("E71")};
    models[1].model = "n70";
    PageRecorder page;
    run(models, page);
    EXPECT_EQ(models[0].installed, 1);
    EXPECT_EQ(models[1].installed, 0); // never recorded, so never listed twice
    EXPECT_EQ(models[2].installed, 1);
    std::vector<std::string> numbers;
    for (const Event& e : page.events)
        if (e.code == kInstallModelNumber) numbers.push_back(e.text);
    EXPECT_EQ(numbers, (std::vector<std::string>{"1/2", "2/2"})); // two models, each downloaded once
}

TEST_F(InstallTest, ChecksumMismatchDownloadsTheSameModelAgain) {
    badDownloadsLeft_["N70"] = 1;
    OfferedList models = {Offer("N70")};
    PageRecorder page;
    run(models, page);
    EXPECT_EQ(models[0].installed, 1);
    ASSERT_EQ(page.errors().size(), 1u);
    EXPECT_EQ(page.errors()[0].code, kInstallChecksumError);
    EXPECT_EQ(page.errors()[0].value, kMessageChecksumFailed);
    EXPECT_EQ(ReadText(modelDir("N70") + "N70.so"), "plugin-n70");
}

TEST_F(InstallTest, ACancelBetweenChecksumTriesEndsTheRetries) {
    badDownloadsLeft_["N70"] = 1000; // a server that always sends it damaged
    OfferedList models = {Offer("N70")};
    PageRecorder page;
    page.cancelOnChecksumError = true;
    run(models, page);
    EXPECT_EQ(models[0].installed, 0);
    ASSERT_EQ(page.errors().size(), 1u);
    // The cancel button came back after the error, and nothing was downloaded again.
    const std::vector<unsigned> codes = page.codes();
    EXPECT_EQ(std::vector<unsigned>(codes.end() - 3, codes.end()),
              (std::vector<unsigned>{kInstallChecksumError, kInstallCancelButtons, kInstallFinished}));
    EXPECT_EQ(badDownloadsLeft_["N70"], 999);
}

TEST_F(InstallTest, CancelDuringTheDownloadStopsSilently) {
    COfferedModel slow = Offer("N70");
    slow.softwareurl = server_.url("/slow.zip");
    OfferedList models = {slow, Offer("E71")};
    PageRecorder page;
    page.cancelOnFirstProgress = true;
    run(models, page);
    EXPECT_EQ(models[0].installed, 0);
    EXPECT_EQ(models[1].installed, 0);
    EXPECT_TRUE(page.errors().empty());
    EXPECT_EQ(page.codes().back(), kInstallFinished);
    EXPECT_FALSE(test::FileExists(modelDir("E71")));
}

TEST_F(InstallTest, FailedDownloadStopsWithTheNetworkMessage) {
    COfferedModel gone = Offer("N70");
    gone.softwareurl = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/x.zip";
    OfferedList models = {Offer("E71"), gone, Offer("E71")};
    PageRecorder page;
    run(models, page);
    EXPECT_EQ(models[0].installed, 1);
    EXPECT_EQ(models[1].installed, 0);
    EXPECT_EQ(models[2].installed, 0);
    ASSERT_EQ(page.errors().size(), 1u);
    EXPECT_EQ(page.errors()[0].code, kInstallDownloadError);
    EXPECT_EQ(page.errors()[0].value, kMessageDownloadFailed);
}

TEST_F(InstallTest, FailingExtractionLeavesTheEarlierInstallationWhole) {
    OfferedList first = {Offer("N70")};
    PageRecorder page;
    run(first, page);
    ASSERT_EQ(first[0].installed, 1);
    // The server now offers a package that passes its checksum but cannot be inflated.
    test::WriteZip(dir_.file("bad.zip"), {test::FileEntry("N70.so", std::string(5000, 'x'))});
    test::DamageFirstEntryData(dir_.file("bad.zip"));
    const std::vector<uint8_t> bad = test::ReadBytes(dir_.file("bad.zip"));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        packages_["N70"].assign(bad.begin(), bad.end());
    }
    OfferedList again = {Offer("N70"), Offer("E71")};
    PageRecorder second;
    run(again, second);
    EXPECT_EQ(again[0].installed, 0);
    EXPECT_EQ(again[1].installed, 0); // the run stops at the failure
    ASSERT_EQ(second.errors().size(), 1u);
    EXPECT_EQ(second.errors()[0].code, kInstallExtractError);
    EXPECT_EQ(second.errors()[0].value, kMessageInstallFailed);
    EXPECT_EQ(ReadText(modelDir("N70") + "N70.so"), "plugin-n70");
    EXPECT_EQ(ReadText(modelDir("N70") + "img/N70_1.png"), std::string(30000, 'p'));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.file("tmp"))); // the package is deleted either way
}

// With a key in force a package is installed only as the signed catalogue names it. Every other
// one is deleted unopened, the run ends with the refusal, and the models stay byte for byte.
TEST_F(InstallTest, OnlyThePackageTheSignedCatalogueNamesIsInstalled) {
    const test::TestPublisher publisher;
    OfferedList installed = {Offer("E71")};
    PageRecorder first;
    run(installed, first);
    ASSERT_EQ(installed[0].installed, 1);
    const std::string genuine = packages_["N70"];
    const std::string altered = ZipBytes({test::FileEntry("N70.so", "an attacker's plug-in")});
    struct Case {
        const char* name;
        std::function<void(COfferedModel&)> attack;
    };
    const Case cases[] = {
        // The catalogue's MD5 is fixed up to the altered package; its signed SHA-256 and size are not.
        {"altered, MD5 fixed up", [&](COfferedModel& m) {
             packages_["N70"] = altered;
             m.checksum = BytesMd5Text(altered.data(), altered.size());
         }},
        {"the signed bytes and more", [&](COfferedModel&) { endless_.insert("N70"); }},
        {"no signed digest", [](COfferedModel& m) { m.sha256.clear(); }},
        {"a size that is not a number", [](COfferedModel& m) { m.size = "12abc"; }},
    };
    const test::TreeSnapshot before = test::SnapshotOf(dir_.path() + "/Resource");
    for (const Case& c : cases) {
        packages_["N70"] = genuine;
        endless_.clear();
        COfferedModel attacked = Offer("N70");
        c.attack(attacked);
        OfferedList models = {attacked, Offer("E71")};
        PageRecorder page;
        run(models, page);
        EXPECT_EQ(models[0].installed + models[1].installed, 0) << c.name;
        ASSERT_EQ(page.errors().size(), 1u) << c.name;
        EXPECT_EQ(page.errors()[0].value, kMessageNotFromPublisher) << c.name;
        EXPECT_EQ(page.codes().back(), kInstallFinished) << c.name;
        EXPECT_EQ(test::SnapshotOf(dir_.path() + "/Resource"), before) << c.name;
        EXPECT_TRUE(std::filesystem::is_empty(dir_.file("tmp"))) << c.name;
    }
    packages_["N70"] = genuine;
    endless_.clear();
    OfferedList genuineRun = {Offer("N70")};
    PageRecorder page;
    run(genuineRun, page);
    EXPECT_EQ(genuineRun[0].installed, 1);
    EXPECT_TRUE(page.errors().empty());
}

TEST_F(InstallTest, EmptyListOnlyFinishes) {
    OfferedList models;
    PageRecorder page;
    run(models, page);
    EXPECT_EQ(page.codes(), std::vector<unsigned>{kInstallFinished});
}

class ExtractTest : public InstallTest {
protected:
    bool extract(const std::vector<test::ZipEntrySpec>& entries, const std::string& model, PageRecorder& page) {
        test::WriteZip(dir_.file("p.zip"), entries);
        OfferedList none;
        CancelPromptFlags prompt;
        return InstallRun(none, page, prompt, dir_.path() + "/").extract(dir_.file("p.zip"), model);
    }
};

TEST_F(ExtractTest, HostileArchivesFailAndWriteNothingOutside) {
    const std::vector<std::pair<const char*, std::vector<test::ZipEntrySpec>>> hostile = {
        {"climbing out", {test::FileEntry("../evil.txt", "x")}},
        {"climbing deeper", {test::FileEntry("a/../../evil.txt", "x")}},
        {"symbolic link", {test::UnixSymlinkEntry("link", "/etc/passwd")}},
    };
    for (const auto& [name, entries] : hostile) {
        PageRecorder page;
        EXPECT_FALSE(extract(entries, "M1", page)) << name;
        ASSERT_EQ(page.errors().size(), 1u) << name;
        EXPECT_EQ(page.errors()[0].code, kInstallExtractError);
        EXPECT_EQ(page.errors()[0].value, kMessageInstallFailed);
        EXPECT_FALSE(test::FileExists(modelDir("M1"))) << name;
        EXPECT_FALSE(test::FileExists(dir_.path() + "/Resource/evil.txt")) << name;
        EXPECT_FALSE(test::FileExists(dir_.path() + "/evil.txt")) << name;
    }
    // Absolute and drive-letter names are made relative by the name rules and land inside.
    PageRecorder page;
    EXPECT_TRUE(extract({test::FileEntry("/abs.txt", "a"), test::FileEntry("C:\\drive.txt", "d")}, "M2", page));
    EXPECT_EQ(ReadText(modelDir("M2") + "abs.txt"), "a");
    EXPECT_EQ(ReadText(modelDir("M2") + "drive.txt"), "d");
}

// Archives that lie about an entry (its size, its checksum) fail like any damaged archive.
TEST_F(ExtractTest, LyingArchivesFromTheFixturesFail) {
    const std::string malformed = std::string(PAVOLINE_TEST_DATA) + "/malformed";
    int tried = 0;
    for (const auto& fixture : std::filesystem::directory_iterator(malformed)) {
        if (fixture.path().extension() != ".zip") continue;
        ++tried;
        PageRecorder page;
        OfferedList none;
        CancelPromptFlags prompt;
        EXPECT_FALSE(InstallRun(none, page, prompt, dir_.path() + "/").extract(fixture.path(), "L"))
            << fixture.path();
        ASSERT_EQ(page.errors().size(), 1u);
        EXPECT_EQ(page.errors()[0].value, kMessageInstallFailed);
        EXPECT_FALSE(test::FileExists(modelDir("L")));
    }
    EXPECT_GT(tried, 0);
}

TEST_F(ExtractTest, FailureKeepsTheEarlierInstallationWhole) {
    PageRecorder page;
    ASSERT_TRUE(extract({test::FileEntry("M.so", "version 1"), test::FileEntry("M_1.png", "picture")}, "M", page));
    test::WriteZip(dir_.file("p.zip"), {test::FileEntry("M.so", std::string(5000, 'n')), test::FileEntry("x", "y")});
    test::DamageFirstEntryData(dir_.file("p.zip"));
    OfferedList none;
    CancelPromptFlags prompt;
    EXPECT_FALSE(InstallRun(none, page, prompt, dir_.path() + "/").extract(dir_.file("p.zip"), "M"));
    EXPECT_EQ(ReadText(modelDir("M") + "M.so"), "version 1");
    EXPECT_EQ(ReadText(modelDir("M") + "M_1.png"), "picture");
    test::WriteBytes(dir_.file("p.zip"), {'j', 'u', 'n', 'k'});
    EXPECT_FALSE(InstallRun(none, page, prompt, dir_.path() + "/").extract(dir_.file("p.zip"), "M"));
    EXPECT_EQ(ReadText(modelDir("M") + "M.so"), "version 1");
    EXPECT_FALSE(InstallRun(none, page, prompt, dir_.path() + "/").extract(dir_.file("p.zip"), ""));
    EXPECT_TRUE(test::FileExists(modelDir("M") + "M.so"));
    EXPECT_EQ(resourceEntries(), std::vector<std::string>{"M"}); // no staging directory is left
}

TEST_F(ExtractTest, AFailedSwapInPutsTheOldTreeBack) {
    PageRecorder page;
    ASSERT_TRUE(extract({test::FileEntry("M.so", "version 1")}, "M", page));
    FailSwapInForTesting(true);
    const bool extracted = extract({test::FileEntry("M.so", "version 2")}, "M", page);
    FailSwapInForTesting(false);
    EXPECT_FALSE(extracted);
    ASSERT_EQ(page.errors().size(), 1u);
    EXPECT_EQ(page.errors()[0].value, kMessageInstallFailed);
    EXPECT_EQ(ReadText(modelDir("M") + "M.so"), "version 1");
    EXPECT_EQ(resourceEntries(), std::vector<std::string>{"M"});
}

TEST_F(ExtractTest, ReinstallReplacesTheTreeWithoutWritingIntoOldFiles) {
    PageRecorder page;
    ASSERT_TRUE(extract({test::FileEntry("M.so", "old library"), test::FileEntry("stale.png", "s")}, "M", page));
    const std::string mapped = modelDir("M") + "M.so";
    std::ifstream stillOpen(mapped); // a running editor keeps its library open
    ASSERT_TRUE(extract({test::FileEntry("M.so", "new library")}, "M", page));
    EXPECT_EQ(ReadText(mapped), "new library");
    EXPECT_FALSE(test::FileExists(modelDir("M") + "stale.png"));
    std::string old((std::istreambuf_iterator<char>(stillOpen)), std::istreambuf_iterator<char>());
    EXPECT_EQ(old, "old library");
}

// Model names compare without case; a model has one directory, whatever case the file system keeps.
TEST_F(ExtractTest, AModelKeepsItsOneDirectoryInAnyLetterCase) {
    PageRecorder page;
    ASSERT_TRUE(extract({test::FileEntry("N70.so", "old"), test::FileEntry("N70_S.png", "picture")}, "N70", page));
    EXPECT_EQ(*ModelPackageDir("n70", dir_.path()), modelDir("N70"));
    EXPECT_EQ(ModelFile(modelDir("N70"), "n70", "_S.png"), modelDir("N70") + "N70_S.png");
    EXPECT_EQ(ModelFile(modelDir("N70"), "n70", "_1.png"), modelDir("N70") + "n70_1.png"); // missing: its own name
    ASSERT_TRUE(extract({test::FileEntry("n70.so", "new")}, "n70", page));
    EXPECT_EQ(resourceEntries(), std::vector<std::string>{"N70"});
    EXPECT_EQ(ReadText(modelDir("N70") + "n70.so"), "new");
    EXPECT_TRUE(DeleteModelDirectory("n70", dir_.path()));
    EXPECT_TRUE(resourceEntries().empty());
}

TEST_F(ExtractTest, ModelDirectoriesGetTheUsualMode) {
    const mode_t oldMask = umask(027);
    PageRecorder page;
    const bool extracted = extract({test::FileEntry("M.so", "library")}, "M", page);
    umask(oldMask);
    ASSERT_TRUE(extracted);
    struct stat info {};
    ASSERT_EQ(stat(modelDir("M").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0750u);
}

TEST_F(ExtractTest, LargeEntriesAreWrittenInPiecesWithProgress) {
    std::string big(21 * 1024 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
    PageRecorder page;
    ASSERT_TRUE(extract({test::FileEntry("big.bin", big)}, "B", page));
    EXPECT_EQ(test::ReadBytes(modelDir("B") + "big.bin").size(), big.size());
    EXPECT_EQ(ReadText(modelDir("B") + "big.bin"), big);
    EXPECT_GT(page.positions.size(), 1000u);
    EXPECT_EQ(page.positions.back(), 100);
}

TEST(InstallLeftovers, OnlyOurOwnWorkIsRemoved) {
    TempDir dir;
    const auto make = [&](const std::string& file) {
        const size_t slash = file.find_last_of('/');
        if (slash != std::string::npos) {
            ASSERT_TRUE(MakeDirectories(dir.file(file.substr(0, slash))));
        }
        test::WriteBytes(dir.file(file), {'x'});
    };
    const std::vector<std::string> ours = {"Resource/.N70.staging-a1B2c3/img/N70_1.png",
                                           "Resource/.E7.1.old-Zz9Yy8/tree/E7.1.so", "InstalledModel.xml.Ab12Cd"};
    const std::vector<std::string> others = {
        "Resource/N70/N70.so",      "Resource/.hidden/f",        "Resource/.N70.staging-toolong/f",
        "Resource/.N70.old-abc/f",  "Resource/..staging-abcdef/f", "Resource/.N70.staging-ab_cde/f",
        "InstalledModel.xml",       "InstalledModel.xml.bak",    "InstalledModel.xml.abcdefg",
        "Resource/N70.staging-abcdef/f", "Resource/N70.old-abcdef/f", "outside/kept"};
    for (const std::string& file : ours) make(file);
    for (const std::string& file : others) make(file);
    // A link named like our work is not ours: neither it nor what it points to is touched.
    ASSERT_EQ(symlink(dir.file("outside").c_str(), dir.file("Resource/.X.old-abcdef").c_str()), 0);
    RemoveInstallLeftovers(dir.path());
    EXPECT_FALSE(test::FileExists(dir.file("Resource/.N70.staging-a1B2c3")));
    EXPECT_FALSE(test::FileExists(dir.file("Resource/.E7.1.old-Zz9Yy8")));
    EXPECT_FALSE(test::FileExists(dir.file("InstalledModel.xml.Ab12Cd")));
    for (const std::string& file : others) EXPECT_TRUE(test::FileExists(dir.file(file))) << file;
}

} // namespace
} // namespace pavoline
