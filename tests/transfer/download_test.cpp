#include "deadline.h"
#include "download.h"
#include "http_server.h"
#include "named_mutex.h"
#include "platform.h"
#include "silent_server.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

namespace pavoline {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::TestHttpServer;

std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + i % 26);
    return body;
}

struct Report {
    unsigned code;
    DownloadProgress progress;
    uint32_t at;
};

class RecordingReceiver : public DownloadProgressReceiver {
public:
    void onDownloadProgress(unsigned code, const DownloadProgress& progress) override {
        reports.push_back({code, progress, TickCount()});
        if (cancelAfter && reports.size() == cancelAfter) SetDownloadCancel(true);
    }
    std::vector<Report> reports;
    size_t cancelAfter = 0;
};

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        cancelMutex_ = NamedMutex::Create(kDownloadCancelMutex); // the page makes it
        SetDownloadCancel(false);
        auto& r = server_.routes();
        r.Get("/fixed", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(Body(200000), "application/zip");
        });
        r.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/zip", [](size_t offset, httplib::DataSink& sink) {
                if (offset >= 100000) {
                    sink.done();
                    return true;
                }
                const std::string piece = Body(100000).substr(offset, 10000);
                sink.write(piece.data(), piece.size());
                return true;
            });
        });
        r.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(40 * 1000, "application/zip", [](size_t offset, size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(30)); // the server's pace
                sink.write(Body(40000).data() + offset, 1000);
                return true;
            });
        });
        r.Get("/drop", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(100000, "application/zip", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset >= 5000) return false; // the connection goes down mid-body
                sink.write(Body(5000).data(), 5000);
                return true;
            });
        });
        r.Get("/headers", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            agent_ = req.get_header_value("User-Agent");
            accept_ = req.get_header_value("Accept");
            pragma_ = req.get_header_value("Pragma");
            res.set_content("1.0.0.2", "text/plain");
        });
        // /hop/N redirects N times before the body.
        r.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const int left = std::stoi(req.matches[1]);
            res.set_redirect(left <= 1 ? "/fixed" : "/hop/" + std::to_string(left - 1));
        });
        r.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
        r.Get(R"(/to/(.+))", [](const httplib::Request& req, httplib::Response& res) { res.set_redirect(req.matches[1]); });
        // Bytes without end, fast or a few a second, and a length no real body has.
        r.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
                const std::string piece(16384, 'e');
                return sink.write(piece.data(), piece.size());
            });
        });
        r.Get("/trickle", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return sink.write("t", 1);
            });
        });
        r.Get("/huge", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(size_t(1) << 40, "application/zip", [](size_t, size_t, httplib::DataSink& sink) {
                const std::string piece(16384, 'h');
                return sink.write(piece.data(), piece.size());
            });
        });
        server_.start();
    }
    void TearDown() override {
        SetDownloadCancel(false);
        SetStallSecondsForTesting(30);
        SetPauseForTesting(nullptr);
    }

    TestHttpServer server_;
    TempDir dir_;
    std::shared_ptr<NamedMutex> cancelMutex_;
    std::mutex mutex_;
    std::string agent_, accept_, pragma_;
};

TEST_F(DownloadTest, BodyWithLengthIsWrittenAndTheLastPieceReports) {
    RecordingReceiver receiver;
    const std::string path = dir_.file("p.zip");
    EXPECT_EQ(DownloadToFile(server_.url("/fixed"), path, "", &receiver), kDownloadComplete);
    EXPECT_EQ(ReadBytes(path).size(), 200000u);
    ASSERT_FALSE(receiver.reports.empty());
    EXPECT_EQ(receiver.reports.back().code, 1u);
    EXPECT_EQ(receiver.reports.back().progress.total, 200000u);
    EXPECT_EQ(receiver.reports.back().progress.received, 200000u);
    // The read that finds the end reports the full count once more.
    ASSERT_GE(receiver.reports.size(), 2u);
    EXPECT_EQ(receiver.reports[receiver.reports.size() - 2].progress.received, 200000u);
}

TEST_F(DownloadTest, BodyWithoutLengthSendsNoProgress) {
    RecordingReceiver receiver;
    const std::string path = dir_.file("p.zip");
    EXPECT_EQ(DownloadToFile(server_.url("/chunked"), path, "", &receiver), kDownloadComplete);
    const std::vector<uint8_t> written = ReadBytes(path);
    EXPECT_TRUE(std::string(written.begin(), written.end()) == Body(100000));
    EXPECT_TRUE(receiver.reports.empty());
}

TEST_F(DownloadTest, ErrorPagesAreWrittenLikeAnyBody) {
    EXPECT_EQ(DownloadToFile(server_.url("/missing"), dir_.file("p.zip"), "", nullptr), kDownloadComplete);
    EXPECT_TRUE(test::FileExists(dir_.file("p.zip")));
}

TEST_F(DownloadTest, RedirectsReportTheFinalLengthAndStopAfterTen) {
    RecordingReceiver receiver;
    EXPECT_EQ(DownloadToFile(server_.url("/hop/10"), dir_.file("r.zip"), "", &receiver), kDownloadComplete);
    EXPECT_EQ(ReadBytes(dir_.file("r.zip")).size(), 200000u);
    ASSERT_FALSE(receiver.reports.empty());
    EXPECT_EQ(receiver.reports.back().progress.total, 200000u);
    // Too many redirects: the URL could not be opened.
    EXPECT_EQ(DownloadToFile(server_.url("/hop/11"), dir_.file("r.zip"), "", nullptr), kUrlNotOpened);
    EXPECT_EQ(DownloadToFile(server_.url("/loop"), dir_.file("r.zip"), "", nullptr), kUrlNotOpened);
    std::string body;
    EXPECT_EQ(FetchText(server_.url("/loop"), body), kUrlNotOpened);
}

TEST_F(DownloadTest, PausesAfterEachBusyStretchForAsLongAsItLasted) {
    std::vector<uint32_t> pauses;
    SetPauseForTesting([&](uint32_t ms) { pauses.push_back(ms); });
    EXPECT_EQ(DownloadToFile(server_.url("/slow"), dir_.file("p.zip"), "", nullptr), kDownloadComplete);
    ASSERT_FALSE(pauses.empty()); // the body trickles in over more than a second
    for (uint32_t ms : pauses) EXPECT_GT(ms, 50u);
}

TEST_F(DownloadTest, SlowBodyReportsAboutFourTimesASecond) {
    RecordingReceiver receiver;
    const uint32_t start = TickCount();
    EXPECT_EQ(DownloadToFile(server_.url("/slow"), dir_.file("p.zip"), "", &receiver, kUpdaterTransfer),
              kDownloadComplete);
    const uint32_t elapsed = TickCount() - start;
    ASSERT_GE(receiver.reports.size(), 3u);
    EXPECT_EQ(receiver.reports.front().code, 1003u);
    // Every report but the closing ones comes more than 250 ms after the one before.
    for (size_t i = 1; i + 2 < receiver.reports.size(); ++i)
        EXPECT_GT(receiver.reports[i].at - receiver.reports[i - 1].at, 250u);
    EXPECT_LE(receiver.reports.size(), elapsed / 250 + 3);
}

TEST_F(DownloadTest, CancelMidwayStopsWithTheVariantsCode) {
    for (const TransferVariant* variant : {&kLauncherTransfer, &kUpdaterTransfer}) {
        SetDownloadCancel(false);
        RecordingReceiver receiver;
        receiver.cancelAfter = 2;
        const int result = DownloadToFile(server_.url("/slow"), dir_.file("p.zip"), "", &receiver, *variant);
        EXPECT_EQ(result, variant == &kLauncherTransfer ? 6 : 5);
        EXPECT_EQ(receiver.reports.size(), 2u); // nothing is reported once the flag is set
        EXPECT_LT(ReadBytes(dir_.file("p.zip")).size(), 40000u);
    }
}

const std::string kHeadersThenSilence = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nthe first bytes";

TEST_F(DownloadTest, SilentServersCountAsADroppedConnection) {
    SetStallSecondsForTesting(1);
    test::SilentServer silent, stalling(kHeadersThenSilence);
    std::vector<std::future<int>> transfers;
    for (const test::SilentServer* server : {&silent, &stalling}) {
        const std::string url = server->url("/p.zip");
        const std::string path = dir_.file(std::to_string(transfers.size()));
        transfers.push_back(std::async(std::launch::async, [=] { return DownloadToFile(url, path, "", nullptr); }));
        transfers.push_back(std::async(std::launch::async, [=] {
            std::string body;
            return FetchText(url, body);
        }));
    }
    for (auto& transfer : transfers) EXPECT_EQ(transfer.get(), kReadFailed);
}

// Plays the UI thread's half of a report: the download's send waits until the UI serves it.
class ReportsServedByTheUi : public DownloadProgressReceiver {
public:
    void onDownloadProgress(unsigned, const DownloadProgress&) override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++sent_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return serving_; });
    }
    // False when no report came within seconds.
    bool waitForAReportInFlight() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return sent_ > 0; });
    }
    void serveFromNowOn() {
        std::lock_guard<std::mutex> lock(mutex_);
        serving_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int sent_ = 0;
    bool serving_ = false;
};

// Cancel reaches a download in every phase; the stall limit stays at 30 s, so only the cancel
// can end these in time.
TEST_F(DownloadTest, CancelEndsADownloadInEveryPhase) {
    test::UnansweredConnectPort unanswered;
    test::SilentServer silent, stalling(kHeadersThenSilence);
    std::unique_ptr<ReportsServedByTheUi> reports;
    struct Phase {
        const char* name;
        std::string url;
        std::function<bool()> reached;
    };
    const std::vector<Phase> phases = {
        {"connecting", unanswered.url("/p.zip"), [] { return SleepMs(200), true; }}, // nothing to wait for there
        {"waiting for headers", silent.url("/p.zip"), [&] { return silent.waitForAnswered(1); }},
        {"stalled after headers", stalling.url("/p.zip"), [&] { return stalling.waitForAnswered(1); }},
        {"mid-body", server_.url("/slow"), [&] { return reports->waitForAReportInFlight(); }},
    };
    for (const TransferVariant* variant : {&kLauncherTransfer, &kUpdaterTransfer}) {
        for (const Phase& phase : phases) {
            SetDownloadCancel(false);
            reports = std::make_unique<ReportsServedByTheUi>();
            reports->serveFromNowOn();
            // Only the cancel can end the download soon; without it, the 30 s stall limit would.
            const test::Deadline deadline(std::string("the download cancelled while ") + phase.name,
                                          std::chrono::seconds(15));
            std::future<int> result = std::async(std::launch::async, [&] {
                return DownloadToFile(phase.url, dir_.file("p.zip"), "", reports.get(), *variant);
            });
            const bool reached = phase.reached();
            SetDownloadCancel(true);
            EXPECT_TRUE(reached) << phase.name;
            EXPECT_EQ(result.get(), variant->cancelledResult) << phase.name;
        }
    }
}

TEST_F(DownloadTest, CancelWhileAReportIsInFlightNeverDeadlocks) {
    for (int round = 0; round < 20; ++round) {
        SetDownloadCancel(false);
        ReportsServedByTheUi ui;
        std::future<int> download = std::async(std::launch::async, [&] {
            return DownloadToFile(server_.url("/fixed"), dir_.file("p.zip"), "", &ui);
        });
        // The user confirms cancel while the report waits to be served.
        const bool inFlight = ui.waitForAReportInFlight();
        std::future<void> cancel = std::async(std::launch::async, [] { SetDownloadCancel(true); });
        const bool cancelGotThrough = cancel.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        ui.serveFromNowOn(); // the UI's wait for the worker serves its sends
        EXPECT_EQ(download.get(), kLauncherCancelled);
        ASSERT_TRUE(inFlight);
        ASSERT_TRUE(cancelGotThrough) << "the cancel waited for a send only the UI could serve";
    }
}

TEST_F(DownloadTest, CancelBeforeTheFirstReadLeavesAnEmptyFile) {
    SetDownloadCancel(true);
    EXPECT_EQ(DownloadToFile(server_.url("/fixed"), dir_.file("p.zip"), "", nullptr), 6);
    EXPECT_TRUE(test::FileExists(dir_.file("p.zip")));
    EXPECT_TRUE(ReadBytes(dir_.file("p.zip")).empty());
}

TEST_F(DownloadTest, FailuresHaveTheirCodes) {
    EXPECT_EQ(DownloadToFile(server_.url("/drop"), dir_.file("d.zip"), "", nullptr), kReadFailed);
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/x";
    EXPECT_EQ(DownloadToFile(unreachable, dir_.file("u.zip"), "", nullptr), kUrlNotOpened);
    EXPECT_FALSE(test::FileExists(dir_.file("u.zip")));
    EXPECT_EQ(DownloadToFile(server_.url("/fixed"), dir_.file("no/dir/p.zip"), "", nullptr), kFileNotCreated);
    EXPECT_EQ(DownloadToFile(server_.url("/fixed"), "/dev/full", "", nullptr), kShortWrite);
    EXPECT_EQ(DownloadToFile(server_.url("/fixed"), "/dev/full", "", nullptr, kUpdaterTransfer), kUpdaterShortWrite);
}

TEST_F(DownloadTest, OfflineMakesNoConnection) {
    SetOfflineForTesting(true);
    const int before = server_.requestCount();
    EXPECT_EQ(DownloadToFile(server_.url("/fixed"), dir_.file("p.zip"), "", nullptr), kNotConnected);
    std::string body;
    EXPECT_EQ(FetchText(server_.url("/headers"), body), kNotConnected);
    EXPECT_EQ(server_.requestCount(), before);
    // The updater's version query does not ask about the connection.
    EXPECT_EQ(FetchText(server_.url("/headers"), body, kUpdaterTransfer), kDownloadComplete);
    SetOfflineForTesting(false);
}

TEST_F(DownloadTest, FetchTextReturnsTheBodyAndSendsTheSuitesHeaders) {
    std::string body;
    EXPECT_EQ(FetchText(server_.url("/headers"), body), kDownloadComplete);
    EXPECT_EQ(body, "1.0.0.2");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        EXPECT_EQ(agent_.rfind("Tavix_Agent", 0), 0u);
        EXPECT_EQ(accept_, "*/*");
        EXPECT_EQ(pragma_, "no-cache");
    }
    EXPECT_EQ(FetchText(server_.url("/headers"), body, kUpdaterTransfer), kDownloadComplete);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        EXPECT_EQ(agent_.rfind("Agent", 0), 0u);
    }
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/";
    EXPECT_EQ(FetchText(unreachable, body), kUrlNotOpened);
    EXPECT_EQ(FetchText(unreachable, body, kUpdaterTransfer), kReadFailed);
    EXPECT_EQ(FetchText(server_.url("/drop"), body), kReadFailed);
}

// An address, or a redirect, to any other scheme is never followed, so a server cannot make the
// suite read local files or talk to local services.
TEST_F(DownloadTest, OnlyHttpAndHttpsAreFollowed) {
    const std::string port = std::to_string(server_.port());
    const std::string refused[] = {"file:///etc/passwd", "ftp://127.0.0.1:" + port + "/", "gopher://127.0.0.1:" + port + "/",
                                   "dict://127.0.0.1:" + port + "/d", "telnet://127.0.0.1:" + port + "/",
                                   server_.url("/to/file:///etc/passwd"), server_.url("/to/gopher://127.0.0.1:" + port + "/")};
    for (const std::string& url : refused) {
        EXPECT_EQ(DownloadToFile(url, dir_.file("p"), "", nullptr, kUpdaterTransfer), kUrlNotOpened) << url;
        EXPECT_FALSE(test::FileExists(dir_.file("p"))) << url;
        std::string body;
        EXPECT_NE(FetchText(url, body), kDownloadComplete) << url;
        EXPECT_EQ(body, "") << url;
    }
}

// A body past its bound is cut off there and fails; a trickle ends at the time limit.
TEST_F(DownloadTest, BoundsStopEndlessAndTricklingBodies) {
    EXPECT_EQ(DownloadToFile(server_.url("/endless"), dir_.file("e"), "", nullptr, kLauncherTransfer, {100000, 0}), kTooLarge);
    EXPECT_LE(test::ReadBytes(dir_.file("e")).size(), 100000u);
    EXPECT_EQ(DownloadToFile(server_.url("/huge"), dir_.file("h"), "", nullptr, kLauncherTransfer, {100000, 0}), kTooLarge);
    EXPECT_FALSE(test::FileExists(dir_.file("h"))); // refused by its announced length, before a byte
    EXPECT_EQ(DownloadToFile(server_.url("/fixed"), dir_.file("f"), "", nullptr, kLauncherTransfer, {200000, 0}),
              kDownloadComplete); // exactly the bound
    EXPECT_EQ(DownloadToFile(server_.url("/trickle"), dir_.file("t"), "", nullptr, kLauncherTransfer, {0, 500}), kReadFailed);
    for (const TransferVariant* variant : {&kLauncherTransfer, &kUpdaterTransfer}) {
        std::string body;
        EXPECT_EQ(FetchText(server_.url("/endless"), body, *variant), kReadFailed); // the version reply's bound
        EXPECT_EQ(body, "");
        EXPECT_EQ(FetchText(server_.url("/trickle"), body, *variant, {0, 500}), kReadFailed);
    }
}

TEST_F(DownloadTest, DownloadAgentCountsSeconds) {
    EXPECT_EQ(DownloadUserAgent(), "Agent" + std::to_string(TickCount() / 1000));
}

} // namespace
} // namespace pavoline
