#include "catalogue.h"
#include "download.h"
#include "install_run.h"
#include "md5.h"
#include "named_mutex.h"
#include "process.h"
#include "site_fixture.h"
#include "signature.h"
#include "site_server.h"
#include "site_servers.h"
#include "temp_dir.h"
#include "zip_layer.h"

#include <INIReader.h>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace pavoline::site {
namespace {

using pavoline::test::TempDir;
using test::ReadText;
using test::WriteText;

struct RawReply {
    int status = 0;
    std::string headers, body;
};

int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit{10, 0}; // a server that keeps the request waiting fails it, never hangs it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

RawReply ReadReply(int fd) {
    std::string bytes;
    char piece[4096];
    for (ssize_t n; (n = recv(fd, piece, sizeof piece, 0)) > 0;) bytes.append(piece, static_cast<size_t>(n));
    RawReply reply;
    const size_t split = bytes.find("\r\n\r\n");
    reply.headers = bytes.substr(0, split);
    reply.body = split == std::string::npos ? "" : bytes.substr(split + 4);
    if (bytes.size() > 12) reply.status = std::atoi(bytes.c_str() + 9);
    return reply;
}

// Sends the request bytes exactly as given, so that nothing on the way normalises the path.
RawReply RawRequest(int port, const std::string& request) {
    const int fd = Connect(port);
    RawReply reply;
    if (fd >= 0 && send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()))
        reply = ReadReply(fd);
    if (fd >= 0) close(fd);
    return reply;
}

RawReply Get(int port, const std::string& target, const std::string& method = "GET", const std::string& host = "x") {
    return RawRequest(port, method + " " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n");
}

// Plays the progress page of an install: only failures matter here.
class InstallPage : public InstallObserver {
public:
    void send(unsigned code, intptr_t) override {
        if (code >= kInstallDownloadError && code <= kInstallExtractError) ++errors;
    }
    void post(unsigned, intptr_t) override {}
    void setProgressPosition(int) override {}
    std::atomic<int> errors{0};
};

// A client of a site, as the launcher and the updater are: downloads into the test's own folder.
class SiteClient : public ::testing::Test {
protected:
    void SetUp() override {
        UsePublisherKeys({}); // unsigned sites (tests/site/signed_site_test.cpp has the signed)
        const char* tmp = std::getenv("TMPDIR");
        oldTmp_ = tmp ? tmp : "";
        std::filesystem::create_directory(dir_.file("tmp"));
        setenv("TMPDIR", dir_.file("tmp").c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp_.c_str(), 1);
    }
    virtual std::string url(const std::string& path) const = 0;
    std::string download(const std::string& address) {
        const std::string file = dir_.file("tmp/download-" + std::to_string(downloads_++));
        EXPECT_EQ(DownloadToFile(address, file, "", nullptr), kDownloadComplete) << address;
        return file;
    }
    // The launcher's offered list, as its model manager gets it from the site.
    std::unique_ptr<ModelCatalogue> fetchCatalogue(const std::string& programDir, bool betaVisible) {
        std::filesystem::create_directories(programDir);
        if (betaVisible) WriteText(programDir + "/" + kBetaMarkerFile, "");
        auto catalogue = std::make_unique<ModelCatalogue>(programDir);
        EXPECT_NE(catalogue->LoadOfferedCatalogue(download(url(kCatalogueRequestPath))), nullptr);
        return catalogue;
    }

    TempDir dir_;
    int downloads_ = 0;
    std::string oldTmp_;
};

// The flows a user meets, on each server a site is published with.
class EachServer : public SiteClient, public ::testing::WithParamInterface<pavoline::test::SiteServerKind> {
protected:
    void SetUp() override {
        SiteClient::SetUp();
        test::MakeModelFolders(dir_.file("models"), test::SampleModels());
        test::MakeSuiteDirectory(dir_.file("suite"), "1.0.0.10");
        site_ = std::make_unique<pavoline::test::RunningSite>(
            GetParam(), PAVOLINE_SITE_TOOL,
            pavoline::test::SiteRecipe{"--models", dir_.file("models"), "--update", dir_.file("suite"), "--version",
                                       "1.0.0.10", "--features", "first\nsecond"},
            dir_.file("server"));
    }
    void TearDown() override {
        site_.reset();
        SiteClient::TearDown();
    }
    std::string url(const std::string& path) const override { return site_->url(path); }

    std::unique_ptr<pavoline::test::RunningSite> site_;
};

INSTANTIATE_TEST_SUITE_P(Servers, EachServer, ::testing::ValuesIn(pavoline::test::kSiteServerKinds),
                         [](const auto& info) { return std::string(pavoline::test::SiteServerName(info.param)); });

// pavoline-site serve in the test's process, for what only it does.
class ServedSite : public SiteClient {
protected:
    void SetUp() override {
        SiteClient::SetUp();
        std::string error;
        ASSERT_TRUE(test::BuildTestSite(dir_, error)) << error;
        server_ = std::make_unique<SiteServer>(dir_.file("site"));
        port_ = server_->bind("127.0.0.1", 0);
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { server_->listen(); });
        while (!server_->isRunning()) std::this_thread::yield();
    }
    void TearDown() override {
        if (server_) server_->stop();
        if (thread_.joinable()) thread_.join();
        SiteClient::TearDown();
    }
    std::string url(const std::string& path) const override {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    std::unique_ptr<SiteServer> server_;
    std::thread thread_;
    int port_ = 0;
};

TEST_P(EachServer, CatalogueReadsBackWithEveryFieldAndEveryChecksumIsThatOfThePackageServed) {
    const auto plain = fetchCatalogue(dir_.file("plain"), false);
    ASSERT_NE(plain->offered(), nullptr);
    EXPECT_EQ(plain->offered()->size(), 2u); // X6 is beta

    const auto tester = fetchCatalogue(dir_.file("tester"), true);
    ASSERT_NE(tester->offered(), nullptr);
    const OfferedList& offered = *tester->offered();
    ASSERT_EQ(offered.size(), test::SampleModels().size());
    for (size_t i = 0; i < offered.size(); ++i) {
        const test::SampleModel& m = test::SampleModels()[i];
        const COfferedModel& o = offered[i];
        EXPECT_EQ(o.model, m.model);
        EXPECT_EQ(o.family, m.family);
        EXPECT_EQ(o.style, m.style);
        EXPECT_EQ(o.version, "1.0");
        EXPECT_EQ(o.lcdsize, "240x320");
        EXPECT_EQ(o.softwareurl, url("/models/" + m.model + ".zip"));
        EXPECT_EQ(o.imageurl, url("/thumbnails/" + m.model + "_S.png"));
        EXPECT_EQ(o.checksum, FileMd5Text(download(o.softwareurl)));
        EXPECT_EQ(ReadText(download(o.imageurl)), m.model + "_S");
    }
}

TEST_P(EachServer, PackagesInstallWithTheLaunchersInstallRunIntoModelsTheLauncherLists) {
    const std::string programDir = dir_.file("suite-run") + "/";
    const auto launcher = fetchCatalogue(programDir, true);
    ASSERT_NE(launcher->offered(), nullptr);
    ASSERT_TRUE(launcher->EnsureInstalledModelFile() && launcher->LoadInstalled());
    auto cancelMutex = NamedMutex::Create(kDownloadCancelMutex), promptMutex = NamedMutex::Create(kPromptMutex);
    OfferedList chosen = *launcher->offered();
    InstallPage page;
    CancelPromptFlags prompt;
    InstallRun(chosen, page, prompt, programDir).run();
    EXPECT_EQ(page.errors, 0);
    for (const COfferedModel& m : chosen) {
        EXPECT_EQ(m.installed, 1) << m.model;
        EXPECT_EQ(ReadText(programDir + "Resource/" + m.model + "/" + m.model + ".so"), test::PluginBytes(m.model));
        EXPECT_EQ(ReadText(programDir + "Resource/" + m.model + "/" + m.model + "_1.png"), m.model + "_1");
    }
    EXPECT_EQ(ReadText(programDir + "Resource/N70/skins/movie.bin"), test::MovieBytes());

    launcher->RecordInstalledModels(chosen);
    std::vector<std::string> listed;
    for (const CInstalledModel& m : launcher->installed()) listed.push_back(m.model);
    EXPECT_EQ(listed, (std::vector<std::string>{"N70", "E71", "X6"}));

    // Even a reader that makes folders only from directory entries (exactly 0x10, listed first) gets skins/.
    std::unique_ptr<ZipReader> zip = ZipReader::Open(download(url("/models/N70.zip")));
    ASSERT_TRUE(zip);
    std::vector<std::string> names;
    for (const ZipEntryInfo& e : zip->entries()) {
        names.push_back(e.name);
        if (e.name == "skins/") {
            EXPECT_EQ(e.attributes, 0x10u);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"N70.so", "N70_1.png", "N70_2.png", "N70_3.png", "N70_S.png", "skins/",
                                               "skins/blue.txt", "skins/movie.bin"}));
}

TEST_P(EachServer, AnOlderVersionIsLedToAnUpdateThat7ZipExtractsWithItsProgramsRunnable) {
    std::string reply;
    ASSERT_EQ(FetchText(url("/port/themeEditor/?vnum=1.0.0.9"), reply), 0);
    EXPECT_EQ(reply, url("/update/update_info.ini"));
    for (const char* current : {"1.0.0.10", "1.0.0.11", "1.0.0", "x"}) {
        ASSERT_EQ(FetchText(url("/port/themeEditor/?vnum=") + current, reply), 0);
        EXPECT_EQ(reply, "") << current;
    }
    ASSERT_EQ(FetchText(url("/port/themeEditor/"), reply), 0);
    EXPECT_EQ(reply, "");

    const INIReader info(download(url("/update/update_info.ini")));
    EXPECT_EQ(info.Get("UPDATE_INFO", "NewVersionFeatures", ""), "first##second");
    EXPECT_EQ(info.Get("UPDATE_INFO", "ToolLink", ""), url("/update/Pavoline-1.0.0.10.zip"));
    const std::string package = download(info.Get("UPDATE_INFO", "ToolLink", ""));
    EXPECT_EQ(info.Get("UPDATE_INFO", "Md5", ""), FileMd5Text(package));

    // Extracted over an older suite whose user installed models of their own.
    const std::string suite = dir_.file("installed");
    test::MakeSuiteDirectory(suite, "1.0.0.9");
    WriteText(suite + "/InstalledModel.xml", "<mine/>");
    const auto extracted = test::ExtractWith7Zip(package, suite);
    ASSERT_EQ(extracted.exitCode, 0) << extracted.out;
    EXPECT_EQ(pavoline::test::RunProgram(suite + "/Pavoline", {}).out, "1.0.0.10\n");
    EXPECT_EQ(ReadText(suite + "/version.txt"), "Pavoline 1.0.0.10\n");
    struct stat updater {};
    ASSERT_EQ(stat((suite + "/Novarel/Novarel").c_str(), &updater), 0);
    EXPECT_EQ(updater.st_mode & 0777, 0755u);
    EXPECT_EQ(ReadText(suite + "/InstalledModel.xml"), "<mine/>");
}

// The address is the one the site was reached by; a Host that is not a host gives the bound one.
TEST_F(ServedSite, TheVersionReplyNamesTheHostTheSiteWasReachedBy) {
    EXPECT_EQ(Get(port_, "/port/themeEditor/?vnum=1.0.0.1", "GET", "example.org:8080").body,
              "http://example.org:8080/update/update_info.ini");
    EXPECT_EQ(Get(port_, "/port/themeEditor/?vnum=1.0.0.1", "GET", "evil.org/x?").body, url("/update/update_info.ini"));
}

TEST_F(ServedSite, HostilePathsDirectoriesAndMissingFilesAre404) {
    WriteText(dir_.file("outside.txt"), "secret");
    std::filesystem::create_symlink(dir_.file("outside.txt"), dir_.file("site/link_out.txt"));
    // A folder beside the site whose name begins with the site's is outside it too.
    std::filesystem::create_directory(dir_.file("site-old"));
    WriteText(dir_.file("site-old/outside.txt"), "secret");
    std::filesystem::create_symlink(dir_.file("site-old/outside.txt"), dir_.file("site/link_sibling.txt"));
    std::filesystem::create_symlink("thumbnails/N70_S.png", dir_.file("site/link_in.png"));
    for (const std::string& target : std::vector<std::string>{"/../outside.txt", "/%2e%2e/outside.txt", "/%2E%2E/outside.txt", "/.%2e/outside.txt",
          "/models/%2e%2e/%2e%2e/outside.txt", "/..%2foutside.txt", "/models/..%2F..%2Foutside.txt",
          "/..\\outside.txt", "/..%5coutside.txt", "//" + dir_.file("outside.txt"), "/" + dir_.file("outside.txt"),
          "/link_out.txt", "/link_sibling.txt", "/models/", "/models", "/", "/models/Z9.zip", "/port/themeModel/../../outside.txt"}) {
        const RawReply reply = Get(port_, target);
        EXPECT_EQ(reply.status, 404) << target;
        EXPECT_EQ(reply.body.find("secret"), std::string::npos) << target;
        EXPECT_EQ(reply.body.find("N70"), std::string::npos) << target; // no listing
    }
    EXPECT_EQ(Get(port_, "/link_in.png").body, "N70_S");
    EXPECT_EQ(Get(port_, "/thumbnails/N70_S.png").body, "N70_S");
}

TEST_F(ServedSite, HeadGivesTheLengthWithoutTheBody) {
    const RawReply head = Get(port_, "/models/N70.zip", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_NE(head.headers.find("Content-Length: " + std::to_string(std::filesystem::file_size(dir_.file("site/models/N70.zip")))),
              std::string::npos)
        << head.headers;
    EXPECT_EQ(head.body, "");
    EXPECT_EQ(Get(port_, "/models/Z9.zip", "HEAD").status, 404);
}

TEST_F(ServedSite, FiftyConcurrentDownloadsOfOnePackageAllCompleteIdentical) {
    const std::string expected = ReadText(dir_.file("site/models/N70.zip"));
    ASSERT_GT(expected.size(), 1000000u);
    constexpr int kClients = 50;
    std::vector<std::string> bodies(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&, i] {
            httplib::Client client("127.0.0.1", port_);
            client.set_read_timeout(60, 0); // clients beyond the server's workers wait their turn
            if (auto result = client.Get("/models/N70.zip")) bodies[i] = result->body;
        });
    for (std::thread& t : clients) t.join();
    for (int i = 0; i < kClients; ++i) EXPECT_TRUE(bodies[i] == expected) << "client " << i << " got " << bodies[i].size();
}

// A slowed file goes out a tenth of a second at a time, so that a download can be watched.
TEST(SiteServerPacing, PiecesHoldATenthOfASecondsWorth) {
    const std::pair<uint64_t, size_t> rules[] = {{0, 65536}, {200000, 20000}, {100000, 10000}, {5, 1}, {1, 1},
                                                 {655360, 65536}, {1u << 30, 65536}};
    for (const auto& [rate, bytes] : rules) EXPECT_EQ(PacedPieceBytes(rate), bytes) << rate;
}

// Connections that send their request a byte at a time, or nothing, wait without a worker.
TEST_F(ServedSite, TricklingAndIdleConnectionsLeaveTheCatalogueToOthers) {
    constexpr int kTrickling = 100;
    std::vector<int> slow;
    for (int i = 0; i < 2 * kTrickling; ++i) slow.push_back(Connect(port_));
    ASSERT_EQ(std::count(slow.begin(), slow.end(), -1), 0);
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        const std::string request = "GET /port/themeModel/ HTTP/1.1\r\nHost: x\r\nX-Slow: ";
        for (size_t at = 0; !done; at = (at + 1) % request.size()) {
            for (int i = 0; i < kTrickling; ++i) send(slow[i], &request[at], 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(5, 0); // the slow ones trickle on for as long as the test waits
    const auto result = client.Get(kCatalogueRequestPath);
    done = true;
    trickle.join();
    for (int fd : slow) close(fd);
    ASSERT_TRUE(result) << "no answer while slow connections were open";
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->body, WithHost(ReadText(dir_.file("site/catalogue.xml")), "127.0.0.1:" + std::to_string(port_)));
}

TEST(SiteServerDeadline, ARequestHeaderNotWholeInTimeEndsItsConnection) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(test::BuildTestSite(dir, error)) << error;
    SiteServer server(dir.file("site"), std::chrono::milliseconds(300));
    const int port = server.bind("127.0.0.1", 0);
    std::thread thread([&] { server.listen(); });
    while (!server.isRunning()) std::this_thread::yield();
    // Still sending, but never the end of the header: told so, and closed.
    const int fd = Connect(port);
    std::atomic<bool> answered{false};
    std::thread trickle([&] {
        const std::string start = "GET / HTTP/1.1\r\nHost: x\r\nX-Slow: ";
        for (size_t i = 0; !answered; ++i) {
            send(fd, i < start.size() ? &start[i] : "a", 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const RawReply reply = ReadReply(fd);
    answered = true;
    trickle.join();
    close(fd);
    EXPECT_EQ(reply.headers.rfind("HTTP/1.1 408 Request Timeout", 0), 0u) << reply.headers;
    // A connection that sends nothing is closed without a word.
    EXPECT_EQ(RawRequest(port, "").status, 0);
    EXPECT_EQ(Get(port, "/thumbnails/N70_S.png").body, "N70_S");
    server.stop();
    thread.join();
}

// Only GET and HEAD, never with a body: answered at once, the body never read, the connection closed.
TEST_F(ServedSite, OtherMethodsAndBodiesAreRefusedUnread) {
    struct Case {
        std::string request;
        int status;
    };
    const std::string host = " HTTP/1.1\r\nHost: x\r\n";
    for (const Case& c : {Case{"POST /port/themeModel/" + host + "Content-Length: 1073741824\r\n\r\n", 405},
                          Case{"PUT /models/N70.zip" + host + "Content-Length: 5\r\n\r\n", 405},
                          Case{"DELETE /models/N70.zip" + host + "\r\n", 405}, Case{"OPTIONS *" + host + "\r\n", 405},
                          Case{"GET /models/N70.zip" + host + "Content-Length: 1073741824\r\n\r\n", 413},
                          Case{"GET /models/N70.zip" + host + "Transfer-Encoding: chunked\r\n\r\n", 413},
                          Case{"GET /models/N70.zip" + host + "Content-Length: 9\r\nExpect: 100-continue\r\n\r\n", 413}}) {
        const RawReply reply = RawRequest(port_, c.request); // ends only when the server closes
        EXPECT_EQ(reply.status, c.status) << c.request;
        EXPECT_NE(reply.headers.find("Connection: close"), std::string::npos) << reply.headers;
        if (c.status == 405) {
            EXPECT_NE(reply.headers.find("Allow: GET, HEAD"), std::string::npos) << reply.headers;
        }
    }
    // Two requests in one go are both answered, the second on the same connection.
    const RawReply both = RawRequest(port_, "GET /thumbnails/N70_S.png" + host + "\r\nGET /thumbnails/E71_S.png" + host +
                                                "Connection: close\r\n\r\n");
    EXPECT_EQ(both.status, 200);
    EXPECT_NE(both.body.find("N70_S"), std::string::npos);
    EXPECT_NE(both.body.find("E71_S"), std::string::npos) << both.body;
}

TEST(SiteProgram, ServePrintsItsAddressThenALinePerRequestAndEndsOnSigintOrSigterm) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(test::BuildTestSite(dir, error)) << error;
    for (int signal : {SIGINT, SIGTERM}) {
        pavoline::test::RunningProgram serve(PAVOLINE_SITE_TOOL, {"serve", dir.file("site"), "--port", "0"});
        const std::string first = serve.readLine();
        const std::string prefix = "serving " + dir.file("site") + " on http://127.0.0.1:";
        ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
        const int port = std::atoi(first.c_str() + prefix.size());
        EXPECT_EQ(first, prefix + std::to_string(port));
        const RawReply reply = Get(port, "/thumbnails/E71_S.png");
        EXPECT_EQ(reply.body, "E71_S");
        EXPECT_EQ(serve.readLine(), "GET /thumbnails/E71_S.png 200 5");
        Get(port, "/%2e%2e/site.ini", "HEAD");
        EXPECT_EQ(serve.readLine(), "HEAD /%2e%2e/site.ini 404 0");
        serve.signal(signal);
        EXPECT_EQ(serve.wait(), 0) << signal;
    }
}

// A slow line for benchmarks: every answer, whatever it is, waits its latency.
TEST(SiteProgram, ServeWithALatencyHoldsEveryAnswerBack) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(test::BuildTestSite(dir, error)) << error;
    pavoline::test::RunningProgram serve(PAVOLINE_SITE_TOOL, {"serve", dir.file("site"), "--port", "0", "--latency", "400"});
    const std::string first = serve.readLine();
    const int port = std::atoi(first.c_str() + first.rfind(':') + 1);
    for (const char* path : {"/thumbnails/E71_S.png", "/port/themeEditor/?vnum=1.0.0.1", "/missing"}) {
        const auto start = std::chrono::steady_clock::now();
        const RawReply reply = Get(port, path);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400)) << path;
        EXPECT_NE(reply.status, 0) << path;
    }
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.wait(), 0);
}

TEST(SiteProgram, RefusalsGoToStandardErrorWithExitCode1) {
    TempDir dir;
    test::MakeModelFolders(dir.file("models"), test::SampleModels());
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    for (const Case& c :
         {Case{{"build", "--models", dir.file("models"), "--update", dir.file("models"), "--version", "1.0", "--out",
                dir.file("site")},
               "pavoline-site: --version \"1.0\": not four numbers such as 1.0.0.2\n"},
          Case{{"serve", dir.file("models")},
               "pavoline-site: " + dir.file("models") + ": not a site (no site.ini); make one with pavoline-site build\n"},
          Case{{"serve", dir.file("models"), "--port", "65536"}, "pavoline-site: --port 65536: not a port number\n"},
          Case{{"serve", dir.file("models"), "--latency", "-5"},
               "pavoline-site: --latency -5: not a number of milliseconds from 1 to 60000\n"},
          Case{{"publish"},
               "usage: pavoline-site build --models DIR [--update DIR --version V --features TEXT] [--host HOST[:PORT] [--key SECRET]...] --out SITE\n"
               "       pavoline-site keygen DIR\n"
               "       pavoline-site sign SITE [--key SECRET]... [--host HOST[:PORT]]\n"
               "       pavoline-site serve SITE [--port N] [--bind ADDR] [--rate BYTES_PER_SECOND] [--latency MS]\n"
               "       pavoline-site nginx-conf SITE --listen ADDRESS:PORT [--prefix DIR]\n"}}) {
        const auto result = pavoline::test::RunProgram(PAVOLINE_SITE_TOOL, c.args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_FALSE(pavoline::test::FileExists(dir.file("site")));
}

} // namespace
} // namespace pavoline::site
