#include "catalogue.h"
#include "model_ini.h"
#include "site_builder.h"
#include "site_fixture.h"
#include "site_server.h"
#include "temp_dir.h"
#include "version_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>
#include <sys/stat.h>

namespace pavoline::site {
namespace {

using pavoline::test::TempDir;
using test::ReadText;
using test::WriteText;

TEST(SuiteVersion, ParsesExactlyFourNumbersAndComparesThemOneByOne) {
    struct Case {
        const char *older, *newer;
    };
    for (const Case& c : {Case{"1.0.0.9", "1.0.0.10"}, Case{"1.0.0.1", "1.0.0.2"}, Case{"1.9.9.9", "2.0.0.0"},
                          Case{"0.0.0.0", "0.0.0.1"}, Case{"1.2.3.4", "1.2.4.0"}, Case{"65535.0.0.0", "65535.0.0.1"}}) {
        const auto a = ParseSuiteVersion(c.older), b = ParseSuiteVersion(c.newer);
        ASSERT_TRUE(a && b) << c.older << " " << c.newer;
        EXPECT_TRUE(IsOlder(*a, *b)) << c.older << " < " << c.newer;
        EXPECT_FALSE(IsOlder(*b, *a)) << c.newer << " < " << c.older;
        EXPECT_FALSE(IsOlder(*a, *a));
        EXPECT_EQ(VersionText(*a), c.older);
    }
    for (const char* malformed : {"", "1", "1.0.0", "1.0.0.0.0", "1.0.0.", ".1.0.0", "1..0.0", "1.0.0.x", "a.b.c.d",
                                  " 1.0.0.1", "1.0.0.1 ", "+1.0.0.1", "1.0.0.-1", "1.0.0.65536", "1.0.0.000001",
                                  "1,0,0,1", "1.0.0.1\n"})
        EXPECT_FALSE(ParseSuiteVersion(malformed)) << '"' << malformed << '"';
}

TEST(VersionQuery, OnlyAnOlderVersionGetsTheInfoAddress) {
    const SiteRecord site{ParseSuiteVersion("1.0.0.10"), "update/update_info.ini", ""};
    const std::string address = "http://h:1/update/update_info.ini";
    for (const char* older : {"1.0.0.9", "1.0.0.1", "0.9.9.99"})
        EXPECT_EQ(VersionQueryReply(site, older, "h:1"), address) << older;
    for (const char* notOlder : {"1.0.0.10", "1.0.0.11", "2.0.0.0", "", "1.0.0", "1.0.0.9x", "9"})
        EXPECT_EQ(VersionQueryReply(site, notOlder, "h:1"), "") << notOlder;
    EXPECT_EQ(VersionQueryReply(SiteRecord{}, "0.0.0.0", "h:1"), ""); // a site without an update
}

TEST(ReplyHost, TakesHostNamesAndAddressesWithAPortAndNothingElse) {
    for (const char* good : {"127.0.0.1:8480", "localhost", "update.example.org:80", "[::1]:8480", "[fe80::1]",
                             "10.0.0.2", "a-b.c"})
        EXPECT_EQ(ReplyHost(good, "fallback"), good);
    for (const char* bad : {"", "evil.org/path", "a b", "a:b", "a:123456", "[::1", "[::1]x", "[g::1]", "x:",
                            "host\r\nX: y", "user@host", "a:80:80", "\"quoted\""})
        EXPECT_EQ(ReplyHost(bad, "fallback"), "fallback") << bad;
    EXPECT_EQ(ReplyHost(std::string(200, 'a'), "fallback"), "fallback");
}

TEST(ModelDescriptions, ReadsEverySectionAndRefusesWhatTheCatalogueCannotCarry) {
    std::vector<ModelDescription> models;
    std::string error;
    ASSERT_TRUE(ReadModelDescriptions(test::IniSection({"N70", "N系列", "直板", false}) +
                                          test::IniSection({"X6", "X系列", "触屏", true}),
                                      models, error))
        << error;
    ASSERT_EQ(models.size(), 2u);
    EXPECT_EQ(models[0].model, "N70");
    EXPECT_EQ(models[0].family, "N系列");
    EXPECT_EQ(models[0].style, "直板");
    EXPECT_EQ(models[0].lcdsize, "240x320");
    EXPECT_FALSE(models[0].beta);
    EXPECT_TRUE(models[1].beta);

    const std::string good = "family=f\nstyle=s\nversion=1\nlcdsize=1x1\n";
    struct Case {
        std::string text, fault;
    };
    for (const Case& c : {Case{"", "describes no model"}, Case{"family=f\n[N70]\n" + good, "before the first"},
                          Case{"[N70]\nfamily=f\nstyle=s\nversion=1\n", "[N70] has no lcdsize"},
                          Case{"[N70]\n" + good + "family=g\n", "[N70] family is given twice"},
                          Case{"[N70]\n" + good + "colour=red\n", "[N70] colour is not a key"},
                          Case{"[N70]\n" + good + "isbeta=yes\n", "must be 0 or 1"},
                          Case{"[N70]\n" + good + "[n70]\n" + good, "[n70] describes N70 again"},
                          Case{"[../x]\n" + good, "[../x] is not a plain file name"},
                          Case{"[a\\b]\n" + good, "is not a plain file name"},
                          Case{"[N70]\n" + good + "no equals sign\n", "line 6"},
                          Case{"[N70]\nfamily=" + std::string(300, 'v') + "\nstyle=s\nversion=1\nlcdsize=1\n",
                               "longer than the reader takes"},
                          Case{"[N70]\n" + good + std::string("isbeta=0\0", 9), "zero byte"},
                          Case{"[N70]\nfamily=a\x01\nstyle=s\nversion=1\nlcdsize=1\n", "control character"},
                          Case{"[N70]\n" + good + "package=X9\n", "[N70] package = X9: not a model described here"},
                          Case{"[N70]\n" + good + "package=N70\n", "[N70] package = N70: not a model"},
                          Case{"[N70]\n" + good + "[E71]\n" + good + "package=n70\n", "[E71] package = n70: not"},
                          Case{"[N70]\n" + good + "[E71]\n" + good + "package=N70\n[X6]\n" + good + "package=E71\n",
                               "[X6] package = E71: not a model described here with a folder of its own"}}) {
        EXPECT_FALSE(ReadModelDescriptions(c.text, models, error)) << c.text;
        EXPECT_NE(error.find(c.fault), std::string::npos) << error;
    }
}

TEST(UpdateInfo, FeatureLinesAreJoinedWithDoubleHashes) {
    EXPECT_EQ(FeaturesValue("  a\nb\r\nc\rd \n"), "a##b##c##d");
    EXPECT_EQ(FeaturesValue("a##b"), "a##b");
}

class SiteBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::MakeModelFolders(dir_.file("models"), test::SampleModels());
        test::MakeSuiteDirectory(dir_.file("suite"), "1.0.0.2");
    }
    bool build(const std::string& version = "1.0.0.2", const std::string& host = "") {
        report_.str("");
        return BuildSite({dir_.file("models"), dir_.file("suite"), version, "", dir_.file("site"), host, {}}, report_,
                         error_);
    }
    std::vector<std::string> topLevel() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir_;
    std::ostringstream report_;
    std::string error_;
};

TEST_F(SiteBuildTest, RefusesBadInputNamingTheFileAndLeavesTheSiteAsItWas) {
    ASSERT_TRUE(build()) << error_;
    const std::string catalogue = ReadText(dir_.file("site/catalogue.xml"));
    const std::vector<std::string> before = topLevel();
    const std::string models = dir_.file("models");
    const std::string ini = models + "/models.ini";
    auto appendIni = [&](const std::string& text) { WriteText(ini, ReadText(ini) + text); };
    struct Case {
        const char* name;
        std::function<void()> spoil;
        std::string version, named;
    };
    const std::vector<Case> cases = {
        {"no plug-in", [&] { std::filesystem::remove(models + "/N70/N70.so"); }, "1.0.0.2", models + "/N70/N70.so"},
        {"no thumbnail", [&] { std::filesystem::remove(models + "/E71/E71_S.png"); }, "1.0.0.2",
         models + "/E71/E71_S.png"},
        {"name not plain", [&] { appendIni("[..]\nfamily=f\nstyle=s\nversion=1\nlcdsize=1\n"); }, "1.0.0.2", ini},
        {"described without folder", [&] { appendIni("[X9]\nfamily=f\nstyle=s\nversion=1\nlcdsize=1\n"); }, "1.0.0.2",
         ini + ": [X9] has no folder " + models + "/X9"},
        {"folder not described", [&] { std::filesystem::create_directory(models + "/Z1"); }, "1.0.0.2", models + "/Z1"},
        {"folder of a model that shares a package",
         [&] {
             std::filesystem::create_directory(models + "/Z1");
             appendIni("[Z1]\nfamily=f\nstyle=s\nversion=1\nlcdsize=1\npackage=N70\n");
         },
         "1.0.0.2", models + "/Z1: belongs to a model that names another's package"},
        {"described twice in other case", [&] { appendIni("[x6]\nfamily=f\nstyle=s\nversion=1\nlcdsize=1\n"); },
         "1.0.0.2", ini},
        {"folders differing in case", [&] { std::filesystem::create_directory(models + "/e71"); }, "1.0.0.2",
         models + "/e71"},
        {"no ini", [&] { std::filesystem::remove(ini); }, "1.0.0.2", models},
        {"two ini files", [&] { WriteText(models + "/more.ini", ""); }, "1.0.0.2", models},
        {"three numbers", [] {}, "1.0.0", "--version \"1.0.0\""},
        {"not numbers", [] {}, "1.0.0.x", "--version \"1.0.0.x\""},
        {"not a suite", [&] { std::filesystem::remove(dir_.file("suite/Pavoline")); }, "1.0.0.2", dir_.file("suite")},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(models);
        test::MakeModelFolders(models, test::SampleModels());
        test::MakeSuiteDirectory(dir_.file("suite"), "1.0.0.2");
        c.spoil();
        EXPECT_FALSE(build(c.version)) << c.name;
        EXPECT_EQ(error_.rfind(c.named, 0), 0u) << c.name << ": " << error_;
        EXPECT_EQ(ReadText(dir_.file("site/catalogue.xml")), catalogue) << c.name;
        EXPECT_EQ(topLevel(), before) << c.name; // no staging folder left behind
    }
}

// What a static web server sends as it stands: every address names the public host, whoever asks.
TEST_F(SiteBuildTest, ASiteForAPublicHostNamesItInEveryAddressAndTheVersionReply) {
    EXPECT_FALSE(build("1.0.0.2", "updates.example.org/x"));
    EXPECT_EQ(error_, "--host updates.example.org/x: not a host name or address with an optional port");
    const mode_t mask = umask(022);
    ASSERT_TRUE(build("1.0.0.2", "updates.example.org:8080")) << error_;
    umask(mask);
    // The web server's own user reads it.
    EXPECT_EQ(std::filesystem::status(dir_.file("site")).permissions(), std::filesystem::perms(0755));
    for (const char* file : {"site/catalogue.xml", "site/update/update_info.ini"}) {
        const std::string text = ReadText(dir_.file(file));
        EXPECT_EQ(text.find(kHostPlaceholder), std::string::npos) << file;
        EXPECT_NE(text.find("http://updates.example.org:8080/"), std::string::npos) << file;
    }
    const std::optional<SiteRecord> record = ReadSiteRecord(ReadText(dir_.file("site/site.ini")));
    ASSERT_TRUE(record);
    EXPECT_EQ(VersionQueryReply(*record, "1.0.0.1", "127.0.0.1:1"),
              "http://updates.example.org:8080/update/update_info.ini");
}

// A test catalogue of thousands of models from one folder: its package and thumbnail are made once
// and every model that names it is offered with them.
TEST_F(SiteBuildTest, ModelsSharingAPackageAreOfferedWithItsFilesMadeOnce) {
    const std::string ini = dir_.file("models/models.ini");
    std::string text = ReadText(ini);
    for (int i = 0; i < 3000; ++i)
        text += "[T" + std::to_string(i) + "]\nfamily=F" + std::to_string(i % 7) + "\nstyle=s\nversion=2\nlcdsize=1x1\n" +
                "package=" + (i % 2 ? "N70" : "E71") + "\n";
    WriteText(ini, text);
    ASSERT_TRUE(build()) << error_;
    EXPECT_NE(report_.str().find("3000 models offered with another's package"), std::string::npos) << report_.str();
    for (const char* dir : {"site/models", "site/thumbnails"})
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.file(dir)), {}), 3) << dir;

    const std::string programDir = dir_.file("launcher/");
    ASSERT_TRUE(MakeDirectories(programDir));
    ModelCatalogue launcher(programDir);
    const OfferedList* offered = launcher.LoadOfferedCatalogue(dir_.file("site/catalogue.xml"));
    ASSERT_TRUE(offered);
    ASSERT_EQ(offered->size(), 3002u); // X6 is beta
    std::map<std::string, const COfferedModel*> owners;
    for (const COfferedModel& m : *offered) owners[m.model] = &m;
    for (int i : {0, 1, 2998, 2999}) {
        const COfferedModel& sharer = *owners.at("T" + std::to_string(i));
        const COfferedModel& owner = *owners.at(i % 2 ? "N70" : "E71");
        EXPECT_EQ(sharer.family, "F" + std::to_string(i % 7));
        EXPECT_EQ(sharer.version, "2");
        EXPECT_EQ(std::tie(sharer.softwareurl, sharer.checksum, sharer.sha256, sharer.size, sharer.imageurl),
                  std::tie(owner.softwareurl, owner.checksum, owner.sha256, owner.size, owner.imageurl))
            << sharer.model;
    }
}

TEST_F(SiteBuildTest, ReplacesASiteWholeButNeverAnotherFolder) {
    ASSERT_TRUE(build()) << error_;
    std::filesystem::remove_all(dir_.file("models/E71"));
    const std::string ini = dir_.file("models/models.ini");
    WriteText(ini, test::IniSection(test::SampleModels()[0]) + test::IniSection(test::SampleModels()[2]));
    ASSERT_TRUE(build()) << error_;
    EXPECT_TRUE(pavoline::test::FileExists(dir_.file("site/models/N70.zip")));
    EXPECT_FALSE(pavoline::test::FileExists(dir_.file("site/models/E71.zip")));
    EXPECT_EQ(report_.str().find("E71.zip"), std::string::npos); // a digest may hold "E71" by chance

    std::filesystem::create_directory(dir_.file("mine"));
    WriteText(dir_.file("mine/notes.txt"), "keep");
    EXPECT_FALSE(BuildSite({dir_.file("models"), "", "", "", dir_.file("mine"), "", {}}, report_, error_));
    EXPECT_EQ(error_, dir_.file("mine") + ": exists and is not a site, so it is not replaced");
    EXPECT_EQ(ReadText(dir_.file("mine/notes.txt")), "keep");
}

} // namespace
} // namespace pavoline::site
