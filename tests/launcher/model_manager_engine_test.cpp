// What the model manager does without windows: the catalogue fetch with its thumbnail cache, and
// removing a model's directory.
#include "catalogue_fetch.h"
#include "deadline.h"
#include "http_server.h"
#include "named_mutex.h"
#include "notifier.h"
#include "silent_server.h"
#include "temp_dir.h"
#include "test_publisher.h"
#include "uninstall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline {
namespace {

using test::TempDir;

// A PNG signature and an IHDR chunk naming width x height, then filler to the size asked for.
std::string PngHead(uint32_t width, uint32_t height, size_t size = 64) {
    std::string head("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) head += static_cast<char>((value >> shift) & 0xFF);
    return head + std::string(size > head.size() ? size - head.size() : 0, 'p');
}
const std::string kPng = PngHead(48, 48);

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class CatalogueFetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDirectories(dir_.file("tmp")));
        setenv("TMPDIR", dir_.file("tmp").c_str(), 1);
        SetMessageSink([](const UserMessage&) {});
        UsePublisherKeys({}); // a build without keys; the signed tests bring their own
        WriteText(dir_.file(kInstalledModelFile),
                  "<INSTALLEDMODEL><PHONEIMAGESIZE/><PHONEMODEL model=\"n70\"/></INSTALLEDMODEL>");
        ASSERT_TRUE(catalogue_.LoadInstalled());
        auto& r = server_.routes();
        r.Get("/port/themeModel/", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(catalogueText_, "text/xml");
        });
        r.Get("/port/themeModel.sig", [this](const httplib::Request&, httplib::Response& res) {
            if (signatureText_.empty()) res.status = 404;
            res.set_content(signatureText_.empty() ? "not found" : signatureText_, "text/plain");
        });
        r.Get(R"(/img/(\w+)\.png)", [this](const httplib::Request& req, httplib::Response& res) {
            ++pictureRequests_;
            if (req.matches[1] == "Missing") res.status = 404;
            const auto other = pictures_.find(req.matches[1]);
            res.set_content(req.matches[1] == "Missing" ? std::string("not found") : other != pictures_.end() ? other->second : kPng,
                            "image/png");
        });
        r.Get("/cut.png", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(kPng.size() + 100, "image/png", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset > 0) return false; // the connection drops after the picture's first bytes
                sink.write(kPng.data(), kPng.size());
                return true;
            });
        });
        // A set of thumbnails of every kind, named by kind: a short wait on each, so several are
        // under way at once when the fetch runs them side by side.
        server_.routes().set_keep_alive_max_count(1000);
        r.Get(R"(/many/([a-z]+)\d+\.png)", [this](const httplib::Request& req, httplib::Response& res) {
            ++manyRequests_;
            const int now = ++underWay_;
            for (int seen = mostUnderWay_; now > seen && !mostUnderWay_.compare_exchange_weak(seen, now);) {}
            {
                std::lock_guard<std::mutex> lock(connectionsMutex_);
                connections_.insert(req.remote_port);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const std::string kind = req.matches[1];
            if (kind == "missing") res.status = 404;
            if (kind == "big") res.set_content(PngHead(48, 48, kSmallCap + 1), "image/png");
            else if (kind == "endless")
                res.set_chunked_content_provider("image/png", [](size_t, httplib::DataSink& sink) {
                    return sink.write(kPng.data(), kPng.size());
                });
            else if (kind == "huge") res.set_content(PngHead(2000, 2000), "image/png");
            else res.set_content(kind == "empty" ? "" : kind == "missing" ? "not found" : kPng, "image/png");
            --underWay_;
        });
        server_.start();
        catalogueText_ = "<Models>";
        for (const char* model : {"N70", "E71", "Missing"})
            catalogueText_ += std::string("<Phone model=\"") + model + "\" isbeta=\"0\" imageurl=\"" +
                              server_.url(std::string("/img/") + model + ".png") + "\"/>";
        catalogueText_ += "</Models>";
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        SetMessageSink(nullptr);
    }
    FetchOutcome fetch() {
        return FetchCatalogue(catalogue_, server_.url("/port/themeModel/"), server_.url("/port/themeModel.sig"));
    }

    TempDir dir_;
    ModelCatalogue catalogue_{dir_.path()};
    test::TestHttpServer server_;
    std::string catalogueText_, signatureText_;
    std::map<std::string, std::string> pictures_; // by model; others get kPng
    std::atomic<int> pictureRequests_{0};
    static constexpr uint64_t kSmallCap = 4096; // the per-thumbnail cap the set below is fetched with
    std::atomic<int> manyRequests_{0}, underWay_{0}, mostUnderWay_{0};
    std::mutex connectionsMutex_;
    std::set<int> connections_; // by the client's port
};

TEST_F(CatalogueFetchTest, ThumbnailsAreCachedWholeAndInstalledModelsFlagged) {
    ASSERT_EQ(fetch(), FetchOutcome::kFetched);
    const OfferedList& offered = *catalogue_.offered();
    ASSERT_EQ(offered.size(), 3u);
    EXPECT_EQ(offered[0].installed, 1);
    EXPECT_EQ(offered[1].installed, 0);
    for (const COfferedModel& m : offered) EXPECT_EQ(m.imageurl, ThumbnailCachePath(m.model));
    EXPECT_EQ(ReadText(ThumbnailCachePath("E71")), kPng);
    EXPECT_FALSE(test::FileExists(ThumbnailCachePath("Missing"))); // an error page is never a picture
    EXPECT_EQ(pictureRequests_.load(), 3);

    // Cached pictures are kept; an empty one and a missing one are fetched again.
    WriteText(ThumbnailCachePath("N70"), "");
    ASSERT_EQ(fetch(), FetchOutcome::kFetched);
    EXPECT_EQ(pictureRequests_.load(), 5);
    EXPECT_EQ(ReadText(ThumbnailCachePath("N70")), kPng);
    // Nothing but the cached pictures is left in the temporary directory.
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("tmp"))) left.insert(entry.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"~TAVIX_E71.png", "~TAVIX_N70.png"}));
}

// Fetched side by side, a set of thumbnails ends as fetching them one after another would: kept
// when cached with content, refetched when empty, cached only when whole and showable.
TEST_F(CatalogueFetchTest, ManyThumbnailsComeSideBySideOverKeptConnections) {
    struct Kind {
        const char* name;
        const char* cachedBefore; // nullptr: no cache file
        std::optional<std::string> cachedAfter;
        bool requested;
    };
    const Kind kinds[] = {
        {"ok", nullptr, kPng, true},          {"kept", "old", "old", false}, {"empty", nullptr, std::nullopt, true},
        {"refetched", "", kPng, true},        {"missing", nullptr, std::nullopt, true},
        {"big", nullptr, std::nullopt, true}, {"endless", nullptr, std::nullopt, true},
        {"huge", nullptr, std::nullopt, true},
    };
    const std::string local = dir_.file("local.png");
    WriteText(local, kPng);
    std::vector<ThumbnailSource> thumbnails{{"file://" + local, ThumbnailCachePath("local")}}; // never fetched
    for (int i = 0; i < 12; ++i)
        for (const Kind& k : kinds) {
            const std::string name = k.name + std::to_string(i);
            // "refetched" asks the empty kind's address but has a picture to fetch
            const std::string path = std::string(k.name) == "refetched" ? "ok" + std::to_string(i) : name;
            thumbnails.push_back({server_.url("/many/" + path + ".png"), ThumbnailCachePath(name)});
            if (k.cachedBefore) WriteText(ThumbnailCachePath(name), k.cachedBefore);
        }
    thumbnails.push_back(thumbnails.back()); // listed twice, fetched once

    CacheThumbnails(thumbnails, {{kSmallCap, 15000}, 60000, kThumbnailConnections});
    int requested = 0, aborted = 0;
    for (int i = 0; i < 12; ++i)
        for (const Kind& k : kinds) {
            const std::string path = ThumbnailCachePath(k.name + std::to_string(i));
            EXPECT_EQ(test::FileExists(path) ? std::optional<std::string>(ReadText(path)) : std::nullopt, k.cachedAfter)
                << k.name << i;
            requested += k.requested;
            aborted += std::string(k.name) == "big" || std::string(k.name) == "endless";
        }
    EXPECT_FALSE(test::FileExists(ThumbnailCachePath("local")));
    EXPECT_EQ(manyRequests_.load(), requested);
    EXPECT_GT(mostUnderWay_.load(), 1);
    EXPECT_LE(mostUnderWay_.load(), static_cast<int>(kThumbnailConnections));
    // A connection is given up only where a transfer was cut off; every other is used again.
    EXPECT_LE(connections_.size(), kThumbnailConnections + aborted);
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("tmp")))
        EXPECT_EQ(entry.path().filename().string().rfind("~TAVIX_", 0), 0u) << entry.path(); // no partial file
}

// Thumbnails from a server that has gone silent end with the set's time, or at once on a cancel.
TEST_F(CatalogueFetchTest, AStalledSetOfThumbnailsEndsAtItsTimeOrItsCancel) {
    test::SilentServer silent;
    std::vector<ThumbnailSource> thumbnails;
    for (int i = 0; i < 20; ++i)
        thumbnails.push_back({silent.url("/" + std::to_string(i) + ".png"), ThumbnailCachePath("S" + std::to_string(i))});
    {
        const test::Deadline deadline("a stalled set with a time limit", std::chrono::seconds(20));
        CacheThumbnails(thumbnails, {{kSmallCap, 0}, 300, kThumbnailConnections});
    }
    {
        const test::Deadline deadline("a cancelled stalled set", std::chrono::seconds(20));
        std::thread cancel([&, before = silent.answered()] {
            silent.waitForAnswered(before + static_cast<int>(kThumbnailConnections));
            SetDownloadCancel(true);
        });
        CacheThumbnails(thumbnails, {{kSmallCap, 0}, 0, kThumbnailConnections});
        cancel.join();
        SetDownloadCancel(false);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("tmp"))) ADD_FAILURE() << entry.path();
}

TEST_F(CatalogueFetchTest, AThumbnailCutOffHalfWayIsNotCached) {
    CacheThumbnails({{server_.url("/cut.png"), ThumbnailCachePath("Cut")}});
    EXPECT_FALSE(test::FileExists(ThumbnailCachePath("Cut")));
}

TEST_F(CatalogueFetchTest, FailuresLeaveTheOfferedListAsItWas) {
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/port/themeModel/";
    EXPECT_EQ(FetchCatalogue(catalogue_, unreachable, unreachable), FetchOutcome::kDownloadFailed);
    EXPECT_EQ(catalogue_.offered(), nullptr);
    catalogueText_ = "<Models><Phone model=\"x\"></Models>";
    EXPECT_EQ(fetch(), FetchOutcome::kCatalogueUnusable);
    EXPECT_EQ(catalogue_.offered(), nullptr);
}

// With a key in force only the catalogue the key signed is shown; every other one leaves the
// offered list as it was.
TEST_F(CatalogueFetchTest, OnlyACatalogueSignedByThePublisherIsShown) {
    const test::TestPublisher publisher, other;
    UsePublisherKeys({publisher.publicKey()});
    const std::string genuine = catalogueText_;
    struct Case {
        const char* name;
        std::string catalogue, signature;
        FetchOutcome outcome;
    };
    const Case cases[] = {
        {"no signature", genuine, "", FetchOutcome::kCatalogueUnverified},
        {"another key's", genuine, other.sign(genuine), FetchOutcome::kCatalogueUnverified},
        {"altered after signing", genuine + " ", publisher.sign(genuine), FetchOutcome::kCatalogueUnverified},
        {"a damaged signature file", genuine, "not base64\n", FetchOutcome::kCatalogueUnverified},
        {"signed", genuine, publisher.sign(genuine), FetchOutcome::kFetched},
    };
    for (const Case& c : cases) {
        catalogueText_ = c.catalogue;
        signatureText_ = c.signature;
        EXPECT_EQ(fetch(), c.outcome) << c.name;
        EXPECT_EQ(catalogue_.offered() != nullptr, c.outcome == FetchOutcome::kFetched) << c.name;
    }
    // Nothing is left of the refused downloads.
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("tmp"))) left.insert(entry.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"~TAVIX_E71.png", "~TAVIX_N70.png"}));
}

// A picture too large to show without holding up the window is never cached, nor one cached
// earlier kept.
TEST_F(CatalogueFetchTest, ThumbnailsTooLargeToShowAreNotCached) {
    pictures_["N70"] = PngHead(1025, 10);
    pictures_["E71"] = PngHead(1024, 1024, kThumbnailLimits.maxBytes + 1);
    WriteText(ThumbnailCachePath("E71"), PngHead(5000, 5000)); // from before the bound
    ASSERT_EQ(fetch(), FetchOutcome::kFetched);
    for (const char* model : {"N70", "E71"}) EXPECT_FALSE(test::FileExists(ThumbnailCachePath(model))) << model;
    pictures_["N70"] = PngHead(1024, 1024, kThumbnailLimits.maxBytes);
    ASSERT_EQ(fetch(), FetchOutcome::kFetched);
    EXPECT_EQ(ReadText(ThumbnailCachePath("N70")), pictures_["N70"]);
}

TEST(DeleteModelDirectory, RemovesOnlyTheModelAndNeverFollowsLinks) {
    TempDir dir;
    const std::string resource = ResourceDir(dir.path());
    ASSERT_TRUE(MakeDirectories(resource + "N70/help"));
    ASSERT_TRUE(MakeDirectories(resource + "E71"));
    ASSERT_TRUE(MakeDirectories(dir.file("outside")));
    WriteText(dir.file("outside/keep.txt"), "keep");
    WriteText(resource + "N70/help/N70.chm", "help");
    WriteText(resource + "N70/N70.so", "lib");
    chmod((resource + "N70/N70.so").c_str(), 0444); // read-only files go too
    ASSERT_EQ(symlink(dir.file("outside").c_str(), (resource + "N70/link").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("outside").c_str(), (resource + "Linked").c_str()), 0);

    for (const char* unsafe : {"", ".", "..", "../outside", "a\\b"}) EXPECT_FALSE(DeleteModelDirectory(unsafe, dir.path()));
    EXPECT_TRUE(DeleteModelDirectory("N70", dir.path()));
    EXPECT_FALSE(test::FileExists(resource + "N70"));
    EXPECT_TRUE(DeleteModelDirectory("Linked", dir.path())); // the link goes, not what it points at
    EXPECT_FALSE(test::FileExists(resource + "Linked"));
    EXPECT_EQ(ReadText(dir.file("outside/keep.txt")), "keep");
    EXPECT_TRUE(test::FileExists(resource + "E71"));
    EXPECT_FALSE(DeleteModelDirectory("Gone", dir.path())); // nothing to delete counts as a failure
}

} // namespace
} // namespace pavoline
