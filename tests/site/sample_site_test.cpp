// The sample site that the build makes in build/site/ from the sample plug-in and its own suite.
#include "catalogue.h"
#include "md5.h"
#include "process.h"
#include "site_fixture.h"
#include "temp_dir.h"

#include <INIReader.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace pavoline::site {
namespace {

const std::string kSite = PAVOLINE_SAMPLE_SITE;

TEST(SampleSite, OffersADozenModelsToFilterAndSearch) {
    pavoline::test::TempDir programDir;
    test::WriteText(programDir.file(kBetaMarkerFile), "");
    ModelCatalogue catalogue(programDir.path());
    const OfferedList* offered = catalogue.LoadOfferedCatalogue(kSite + "/catalogue.xml");
    ASSERT_NE(offered, nullptr);
    EXPECT_GE(offered->size(), 12u);
    std::set<std::string> families, styles, models;
    for (const COfferedModel& m : *offered) {
        families.insert(m.family);
        styles.insert(m.style);
        models.insert(m.model);
        EXPECT_EQ(m.checksum, FileMd5Text(kSite + "/models/" + m.model + ".zip")) << m.model;
        EXPECT_TRUE(pavoline::test::FileExists(kSite + "/thumbnails/" + m.model + "_S.png")) << m.model;
    }
    EXPECT_GE(families.size(), 3u);
    EXPECT_GE(styles.size(), 3u);
    for (const char* installed : {"N70", "E71", "X6"}) EXPECT_TRUE(models.count(installed)) << installed;

    ModelCatalogue withoutBeta(kSite); // no test.flag there
    ASSERT_NE(withoutBeta.LoadOfferedCatalogue(kSite + "/catalogue.xml"), nullptr);
    EXPECT_EQ(withoutBeta.offered()->size(), offered->size() - 1);
}

TEST(SampleSite, UpdateCarriesTheNextVersionsLauncherAndVersionFile) {
    const INIReader record(kSite + "/site.ini");
    EXPECT_EQ(record.Get("SITE", "LatestVersion", ""), PAVOLINE_NEXT_VERSION_TEXT);
    const INIReader info(kSite + "/update/update_info.ini");
    const std::string package = kSite + "/update/Pavoline-" PAVOLINE_NEXT_VERSION_TEXT ".zip";
    EXPECT_EQ(info.Get("UPDATE_INFO", "Md5", ""), FileMd5Text(package));

    pavoline::test::TempDir out;
    ASSERT_EQ(test::ExtractWith7Zip(package, out.path()).exitCode, 0);
    EXPECT_EQ(test::ReadText(out.file("version.txt")), "Pavoline " PAVOLINE_NEXT_VERSION_TEXT "\n");
    EXPECT_EQ(test::ReadText(pavoline::test::SuiteProgram("version.txt")), "Pavoline " PAVOLINE_VERSION_TEXT "\n");
    // The about box shows the text that the launcher carries.
    const std::string launcher = test::ReadText(out.file("Pavoline"));
    EXPECT_NE(launcher.find(std::string(PAVOLINE_NEXT_VERSION_TEXT) + '\0'), std::string::npos);
    EXPECT_EQ(test::ReadText(pavoline::test::SuiteProgram("Pavoline")).find(std::string(PAVOLINE_NEXT_VERSION_TEXT) + '\0'),
              std::string::npos);
    EXPECT_NE(std::filesystem::status(out.file("Pavoline")).permissions() & std::filesystem::perms::owner_exec,
              std::filesystem::perms::none);
    EXPECT_FALSE(pavoline::test::FileExists(out.file("InstalledModel.xml")));
    EXPECT_FALSE(pavoline::test::FileExists(out.file("Resource"))); // the user's models stay as installed
    // The updater comes along, with the name of the launcher it starts again.
    EXPECT_NE(std::filesystem::status(out.file("Novarel/Novarel")).permissions() & std::filesystem::perms::owner_exec,
              std::filesystem::perms::none);
    EXPECT_EQ(INIReader(out.file("Novarel/UpdateInfo.ini")).Get("UPDATE_CFG", "App", ""), "Pavoline");
}

} // namespace
} // namespace pavoline::site
