#include "http_server.h"
#include "startup.h"
#include "temp_dir.h"
#include "update_query.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace pavoline::updater {
namespace {

using namespace std::string_literals;

using test::WriteText;

TEST(UpdateInfo, ReadsTheThreeValues) {
    struct Case {
        const char* name;
        std::string text;
        UpdateInfo expected;
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
        {longReply, kNewerVersion, longReply.substr(0, 2047)},
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
