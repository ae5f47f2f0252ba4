#include "nginx_conf.h"
#include "site_fixture.h"
#include "site_layout.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

namespace pavoline::site {
namespace {

// The asked texts around a latest version that tell a wrong pattern: each number one up and one
// down, written with leading zeros, too long or too large, and texts that are no version at all.
std::set<std::string> AskedAround(const SuiteVersion& latest) {
    std::set<std::string> asked = {"", "x", "1.0.0", "1.0.0.0.0", "1..0.0", ".1.0.0", "1.0.0.", "1.0.0.1 ", "+1.0.0.1",
                                   "1.0.0.-1", "0.0.0.000000", "0.0.0.65536", "0.0.0.99999", "00000.0.0.0"};
    for (size_t i = 0; i < latest.size(); ++i)
        for (int step : {-1, 0, 1}) {
            const int value = latest[i] + step;
            if (value < 0) continue;
            std::string numbers[4];
            for (size_t j = 0; j < latest.size(); ++j) numbers[j] = std::to_string(j == i ? value : latest[j]);
            for (const char* zeros : {"", "0", "0000"}) {
                std::string text;
                for (size_t j = 0; j < latest.size(); ++j) text += (j ? "." : "") + (j == i ? std::string(zeros) : "") + numbers[j];
                asked.insert(text);
                asked.insert(text.substr(0, text.rfind('.')) + ".65535");
                asked.insert(text.substr(0, text.find('.')) + ".9.9.9");
            }
        }
    return asked;
}

TEST(NginxVersionMap, MatchesExactlyTheVersionsOlderThanTheLatest) {
    for (const char* latestText : {"1.0.0.2", "1.0.0.10", "2.5.0.0", "0.0.0.1", "0.0.0.0", "10.200.3000.40000",
                                   "65535.65535.65535.65535", "9.99.999.9999", "1.0.10000.0"}) {
        const SuiteVersion latest = *ParseSuiteVersion(latestText);
        std::vector<std::regex> patterns;
        for (const std::string& p : OlderVersionPatterns(latest)) patterns.emplace_back(p);
        for (const std::string& asked : AskedAround(latest)) {
            bool matched = false;
            for (const std::regex& p : patterns) matched = matched || std::regex_match(asked, p);
            const std::optional<SuiteVersion> version = ParseSuiteVersion(asked);
            EXPECT_EQ(matched, version && IsOlder(*version, latest)) << latestText << " asked " << asked;
        }
    }
}

TEST(NginxConf, RefusesASiteWithoutItsPublicHostAndWhatNginxCannotTake) {
    pavoline::test::TempDir dir;
    test::MakeModelFolders(dir.file("models"), test::SampleModels());
    std::ostringstream report;
    std::string error, conf;
    ASSERT_TRUE(BuildSite({dir.file("models"), "", "", "", dir.file("site"), "", {}}, report, error)) << error;
    EXPECT_FALSE(NginxConf({dir.file("site"), "127.0.0.1:8480", ""}, conf, error));
    EXPECT_EQ(error, dir.file("site") + ": built without --host; nginx serves the files as they stand, so build the "
                                        "site with --host and the public host it is reached by");
    ASSERT_TRUE(BuildSite({dir.file("models"), "", "", "", dir.file("site"), "updates.example.org", {}}, report, error));
    for (const char* listen : {"127.0.0.1", "[::1]", "127.0.0.1:99999", "127.0.0.1:80;", "a b:80"}) {
        EXPECT_FALSE(NginxConf({dir.file("site"), listen, ""}, conf, error)) << listen;
        EXPECT_EQ(error, std::string("--listen ") + listen + ": not ADDRESS:PORT");
    }
    EXPECT_FALSE(NginxConf({dir.file("models"), "127.0.0.1:80", ""}, conf, error));
    EXPECT_EQ(error, dir.file("models") + ": not a site (no site.ini); make one with pavoline-site build");
    EXPECT_FALSE(NginxConf({dir.file("site"), "127.0.0.1:80", dir.file("none")}, conf, error));
    EXPECT_EQ(error, "--prefix " + dir.file("none") + ": no such folder");

    // Without an update there is nothing newer for anyone; without --prefix, only what an http block includes.
    ASSERT_TRUE(NginxConf({dir.file("site"), "[::1]:8480", ""}, conf, error)) << error;
    EXPECT_NE(conf.find("map $arg_vnum $pavoline_update_info {\n    default \"\";\n}\n"), std::string::npos) << conf;
    EXPECT_NE(conf.find("listen [::1]:8480;"), std::string::npos);
    EXPECT_EQ(conf.find("http {"), std::string::npos);
    EXPECT_EQ(conf.find("daemon"), std::string::npos);
}

} // namespace
} // namespace pavoline::site
