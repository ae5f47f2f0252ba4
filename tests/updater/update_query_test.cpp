#include "http_server.h"
#include "startup.h"
#include "md5.h"
#include "platform.h"
#include "temp_dir.h"
#include "test_publisher.h"
#include "update_query.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace pavoline::updater {
namespace {

using namespace std::string_literals;

using test::WriteText;

TEST(UpdateInfo, ReadsTheThreeValues) {
    struct Values {
        std::string features, toolLink, md5;
    };
    struct Case {
        const char* name;
        std::string text;
        Values expected;
    };
    auto chinese = [](size_t characters) {
        std::string text;
        for (size_t i = 0; i < characters; ++i) text += "新";
        return text;
    };
    const Case cases[] = {
        {"plain", "[UPDATE_INFO]\nNewVersionFeatures=a##b\nToolLink=http://h/p.zip\nMd5=abc\n", {"a\nb", "http://h/p.zip", "abc"}},
        {"any letter case, CR LF", "[update_info]\r\nnewversionfeatures=x\r\nMD5=9F\r\n", {"x", "", "9F"}},
        {"odd hashes", "[UPDATE_INFO]\nNewVersionFeatures=###a####\n", {"\n#a\n\n", "", ""}},
        {"other sections", "[OTHER]\nToolLink=http://other/\n[UPDATE_INFO]\nMd5=1\n", {"", "", "1"}},
        {"a line the reader skips", "[UPDATE_INFO]\nnot a pair\nMd5=2\n", {"", "", "2"}},
        {"a key given twice: the first", "[UPDATE_INFO]\nToolLink=http://a/\nToolLink=http://b/\n  more\n", {"", "http://a/", ""}},
        {"release notes of 70 characters, 210 bytes", "[UPDATE_INFO]\nNewVersionFeatures=" + chinese(70) + "\nMd5=3\n",
         {chinese(70), "", "3"}},
        {"a value past the limit: its first 511 characters", "[UPDATE_INFO]\nNewVersionFeatures=" + chinese(600) + "\n",
         {chinese(511), "", ""}},
        {"no section", "ToolLink=http://h/\n", {"", "", ""}},
        {"a zero byte ends it", "[UPDATE_INFO]\nMd5=4\n\0ToolLink=http://h/\n"s, {"", "", "4"}},
    };
    for (const Case& c : cases) {
        const UpdateInfo info = ParseUpdateInfo(c.text);
        EXPECT_EQ(info.features, c.expected.features) << c.name;
        EXPECT_EQ(info.toolLink, c.expected.toolLink) << c.name;
        EXPECT_EQ(info.md5, c.expected.md5) << c.name;
    }
}

TEST(UpdateInfo, LauncherNameFromTheConfiguration) {
    test::TempDir dir;
    WriteText(dir.file("with.ini"), "[UPDATE_CFG]\nApp=Pavoline\n");
    WriteText(dir.file("without.ini"), "[UPDATE_CFG]\nOther=1\n");
    EXPECT_EQ(ReadLauncherName(dir.file("with.ini")), "Pavoline");
    EXPECT_EQ(ReadLauncherName(dir.file("without.ini")), "");
    EXPECT_EQ(ReadLauncherName(dir.file("missing.ini")), std::nullopt);
}

TEST(UpdateQuery, FollowsTheConfigurationAndTheReply) {
    test::TestHttpServer server;
    std::string reply, askedVersion;
    server.routes().Get("/port/themeEditor/", [&](const httplib::Request& request, httplib::Response& response) {
        askedVersion = request.get_param_value("vnum");
        response.set_content(reply, "text/plain");
    });
    server.start();
    setenv("PAVOLINE_UPDATE_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    test::TempDir dir;
    const std::string config = dir.file("UpdateInfo.ini");
    WriteText(config, "[UPDATE_CFG]\nApp=Pavoline\n");
    struct Case {
        std::string reply;
        UpdateCheckResult result;
        std::string infoUrl;
    };
    const std::string longReply = "http://h/" + std::string(3000, 'a');
    const Case cases[] = {
        {"http://h/update_info.ini", kNewerVersion, "http://h/update_info.ini"},
        {"http://h/update_info.ini\r\n \t", kNewerVersion, "http://h/update_info.ini"},
        {" http://h/update_info.ini", kUpToDate, ""},
        {"HTTP://h/update_info.ini", kUpToDate, ""},
        {"https://h/update_info.ini", kUpToDate, ""},
        {"", kUpToDate, ""},
        {longReply.substr(0, 2047), kNewerVersion, longReply.substr(0, 2047)},
        {longReply, kServerUnreachable, ""}, // no real reply is that long
    };
    for (const Case& c : cases) {
        reply = c.reply;
        const UpdateCheck check = QueryUpdate("1.0.0.1", config);
        EXPECT_EQ(check.result, c.result) << c.reply;
        EXPECT_EQ(check.infoUrl, c.infoUrl) << c.reply;
        EXPECT_EQ(askedVersion, "1.0.0.1");
    }
    const int asked = server.requestCount();
    EXPECT_EQ(QueryUpdate("1.0.0.1", dir.file("missing.ini")).result, kConfigMissing);
    EXPECT_EQ(server.requestCount(), asked); // nothing asked without a configuration
    server.stop();
    EXPECT_EQ(QueryUpdate("1.0.0.1", config).result, kServerUnreachable);
    unsetenv("PAVOLINE_UPDATE_HOST");
}

// A signed info file is used only when it is the publisher's, binds a package and brings a newer
// version; a refused one is deleted. Without keys every info file is taken as it stands.
TEST(UpdateInfo, OnlyASignedNewerInfoFileIsUsed) {
    const test::TestPublisher publisher, other;
    std::string info, signature;
    test::TestHttpServer server;
    server.routes().Get("/info.ini", [&](const httplib::Request&, httplib::Response& res) { res.set_content(info, "text/plain"); });
    server.routes().Get("/info.ini.sig", [&](const httplib::Request&, httplib::Response& res) {
        if (signature.empty()) res.status = 404;
        res.set_content(signature.empty() ? "not found" : signature, "text/plain");
    });
    server.start();
    const std::string sha = std::string(64, 'a');
    auto infoOf = [&](const std::string& version, bool withPackage) {
        return "[UPDATE_INFO]\nNewVersionFeatures=new\nToolLink=http://h/p.zip\nMd5=AB\nVersion=" + version +
               (withPackage ? "\nSha256=" + sha + "\nSize=10\n" : std::string("\n"));
    };
    struct Case {
        const char* name;
        std::string info, signature;
        bool keys;
        InfoVerdict verdict;
    };
    const std::string good = infoOf("1.0.0.2", true);
    const Case cases[] = {
        {"signed and newer", good, publisher.sign(good), true, InfoVerdict::kUsable},
        {"signature dropped", good, "", true, InfoVerdict::kNotFromPublisher},
        {"another key's", good, other.sign(good), true, InfoVerdict::kNotFromPublisher},
        {"altered after signing", good + "\n", publisher.sign(good), true, InfoVerdict::kNotFromPublisher},
        {"binds no package", infoOf("1.0.0.2", false), publisher.sign(infoOf("1.0.0.2", false)), true,
         InfoVerdict::kNotFromPublisher},
        {"the running version replayed", infoOf("1.0.0.1", true), publisher.sign(infoOf("1.0.0.1", true)), true,
         InfoVerdict::kNotNewer},
        {"an older one replayed", infoOf("1.0.0.0", true), publisher.sign(infoOf("1.0.0.0", true)), true,
         InfoVerdict::kNotNewer},
        {"no keys: taken as it is", infoOf("0.0.0.1", false), "", false, InfoVerdict::kUsable},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        UsePublisherKeys(c.keys ? std::vector<PublicKey>{publisher.publicKey()} : std::vector<PublicKey>{});
        info = c.info;
        signature = c.signature;
        const FetchedUpdateInfo fetched = FetchUpdateInfo(server.url("/info.ini"), dir.file("info.tmp"), "1.0.0.1");
        EXPECT_EQ(fetched.verdict, c.verdict) << c.name;
        const bool usable = c.verdict == InfoVerdict::kUsable;
        EXPECT_EQ(fetched.info.toolLink, usable ? "http://h/p.zip" : "") << c.name;
        EXPECT_EQ(PathExists(dir.file("info.tmp")), usable) << c.name; // a refused file is deleted
    }
    // An error page in its place cannot be read: nothing to offer, and not taken for an attack.
    UsePublisherKeys({publisher.publicKey()});
    info = "<html>not found</html>";
    const FetchedUpdateInfo page = FetchUpdateInfo(server.url("/info.ini"), dir.file("info.tmp"), "1.0.0.1");
    EXPECT_EQ(page.verdict, InfoVerdict::kUsable);
    EXPECT_EQ(page.info.toolLink, "");
    EXPECT_FALSE(PathExists(dir.file("info.tmp")));
}

TEST(UpdateInfo, OnlyThePackageTheSignedInfoFileNamesIsGenuine) {
    const test::TestPublisher publisher;
    test::TempDir dir;
    const std::string genuine = "the genuine package", altered = "an attacker's package";
    auto signedFor = [](const std::string& bytes, const std::string& md5Of) {
        UpdateInfo info;
        info.md5 = BytesMd5Text(md5Of.data(), md5Of.size());
        info.package = SignedFile{bytes.size(), BytesSha256Text(bytes)};
        return info;
    };
    struct Case {
        const char* name;
        std::string downloaded;
        UpdateInfo info;
        PackageVerdict verdict;
    };
    UpdateInfo unbound = signedFor(genuine, genuine);
    unbound.package.reset();
    const Case cases[] = {
        {"genuine", genuine, signedFor(genuine, genuine), PackageVerdict::kGenuine},
        {"altered, MD5 fixed up", altered, signedFor(genuine, altered), PackageVerdict::kNotFromPublisher},
        {"cut short", genuine.substr(1), signedFor(genuine, genuine.substr(1)), PackageVerdict::kNotFromPublisher},
        {"no package bound", genuine, unbound, PackageVerdict::kNotFromPublisher},
        {"signed, but its MD5 is wrong", genuine, signedFor(genuine, altered), PackageVerdict::kDigestMismatch},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("package.rar");
        WriteText(path, c.downloaded);
        EXPECT_EQ(CheckPackage(c.info, path), c.verdict) << c.name;
        EXPECT_EQ(PathExists(path), c.verdict != PackageVerdict::kNotFromPublisher) << c.name;
    }
    EXPECT_EQ(PackageLimits(signedFor(genuine, genuine)).maxBytes, genuine.size());
    UsePublisherKeys({});
    EXPECT_EQ(PackageLimits(signedFor(genuine, genuine)).maxBytes, 0u);
}

TEST(Startup, ArgumentsAndPaths) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(VersionHandedOver(Args{}), std::nullopt);
    EXPECT_EQ(VersionHandedOver(Args{"1.0.0.1"}), std::nullopt);
    EXPECT_EQ(VersionHandedOver(Args{"1.0.0.1", "other"}), std::nullopt);
    EXPECT_EQ(VersionHandedOver(Args{"1.0.0.1", "HSALDKRUE"}), "1.0.0.1");
    EXPECT_EQ(VersionHandedOver(Args{"1.0.0.1", "hsaldkrue", "more"}), "1.0.0.1");
    const UpdaterPaths paths = PathsOf("/opt/suite/Novarel/Novarel");
    EXPECT_EQ(paths.ownDir, "/opt/suite/Novarel/");
    EXPECT_EQ(paths.suiteDir, "/opt/suite/");
    EXPECT_EQ(paths.configPath(), "/opt/suite/Novarel/UpdateInfo.ini");
    EXPECT_EQ(paths.tempFolder(), "/opt/suite/Novarel/temp/");
}

} // namespace
} // namespace pavoline::updater
