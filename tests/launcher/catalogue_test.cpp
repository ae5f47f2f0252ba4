#include "catalogue.h"
#include "notifier.h"
#include "temp_dir.h"
#include "unprivileged.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace pavoline {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// Collects what would have been shown in message boxes.
class MessageLog {
public:
    MessageLog() {
        SetMessageSink([this](const UserMessage& m) { messages.push_back(m); });
    }
    ~MessageLog() { SetMessageSink(nullptr); }
    std::vector<UserMessage> messages;
};

void WriteText(const std::string& path, const std::string& text) { WriteBytes(path, {text.begin(), text.end()}); }
std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

const char* kCatalogue = R"(<?xml version="1.0" encoding="UTF-8"?>
<Models>
  <Series name="x">
    <Phone model="N70" family="N" version="1.2" style="bar" lcdsize="176x208" softwareurl="http://h/n70.zip"
           checksum="ABC" imageurl="http://h/n70.png" isbeta="0"/>
    <Phone model="Beta1" family="B" isbeta="1"/>
  </Series>
  <Phone model="NoFlag" family="B"/>
  <Phone model="abc" isbeta="0"/>
</Models>)";

TEST(InstalledModelFile, FirstStartWritesTheDefault140Bytes) {
    TempDir dir;
    ModelCatalogue catalogue(dir.path());
    ASSERT_TRUE(catalogue.EnsureInstalledModelFile());
    const std::vector<uint8_t> bytes = ReadBytes(dir.file(kInstalledModelFile));
    ASSERT_EQ(bytes.size(), 140u);
    const std::string text(bytes.begin(), bytes.begin() + 135);
    EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<INSTALLEDMODEL>\r\n\t<PHONEIMAGESIZE width=\"219\" "
                    "height=\"312\" image_gap=\"96\"/>\r\n</INSTALLEDMODEL>");
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 135, bytes.end()), std::vector<uint8_t>(5, 0));

    MessageLog log;
    ASSERT_TRUE(catalogue.LoadInstalled());
    EXPECT_TRUE(catalogue.installed().empty());
    const PhoneImageSize size = catalogue.phoneImageSize();
    EXPECT_EQ(size.height, 312);
    EXPECT_EQ(size.width, 219);
    EXPECT_EQ(size.image_gap, 96);
    EXPECT_EQ(size.img_ext, "");
    EXPECT_TRUE(log.messages.empty());

    // An existing file is left as it is.
    WriteText(dir.file(kInstalledModelFile), "<INSTALLEDMODEL/>");
    EXPECT_TRUE(catalogue.EnsureInstalledModelFile());
    EXPECT_EQ(ReadText(dir.file(kInstalledModelFile)), "<INSTALLEDMODEL/>");
    EXPECT_FALSE(ModelCatalogue(dir.file("missing-dir")).EnsureInstalledModelFile());
}

TEST(ModelXmlFile, BetaModelsNeedTheMarkerFile) {
    TempDir dir;
    WriteText(dir.file("cat.xml"), kCatalogue);
    CModelXmlFile file;
    ASSERT_EQ(file.Load(dir.file("cat.xml")), 0);
    OfferedList offered = file.ReadOfferedModels(dir.path() + "/");
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].model, "N70");
    EXPECT_EQ(offered[0].lcdsize, "176x208");
    EXPECT_EQ(offered[0].softwareurl, "http://h/n70.zip");
    EXPECT_EQ(offered[0].installed, 0);
    EXPECT_EQ(offered[1].model, "abc");
    EXPECT_EQ(offered[1].family, ""); // missing attributes read as empty
    WriteText(dir.file(kBetaMarkerFile), "");
    offered = file.ReadOfferedModels(dir.path() + "/");
    ASSERT_EQ(offered.size(), 4u);
    EXPECT_EQ(offered[1].model, "Beta1");
    EXPECT_EQ(offered[2].model, "NoFlag");
}

TEST(ModelXmlFile, LoadProblemsAreShownAndKeepNoDocument) {
    TempDir dir;
    MessageLog log;
    CModelXmlFile missing;
    EXPECT_EQ(missing.Load(dir.file("none.xml")), 1);
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].caption, "Pavoline");
    EXPECT_EQ(log.messages[0].text, "No such file or directory");
    EXPECT_EQ(log.messages[0].icon, MessageIcon::Information);

    WriteText(dir.file("bad.xml"), "<INSTALLEDMODEL>\n<PHONEMODEL model=\"a\">\n<oops>\n</INSTALLEDMODEL>");
    CModelXmlFile bad;
    EXPECT_EQ(bad.Load(dir.file("bad.xml")), 1);
    EXPECT_FALSE(bad.HasDocument());
    ASSERT_EQ(log.messages.size(), 2u);
    EXPECT_EQ(log.messages[1].text.rfind("Syntax Error in XML Document\nLine No 4:", 0), 0u) << log.messages[1].text;
    EXPECT_EQ(log.messages[1].icon, MessageIcon::Error);
    EXPECT_TRUE(bad.ReadInstalledModels().empty());
    EXPECT_NE(bad.AddInstalledModels({}), 0);
    EXPECT_NE(bad.RemoveInstalledModels({"a"}), 0);
}

TEST(ModelXmlFile, OnlyTheFirst20480000BytesAreParsed) {
    TempDir dir;
    std::string text = "<INSTALLEDMODEL><PHONEMODEL model=\"big\"/></INSTALLEDMODEL><!--";
    text += std::string(kMaxXmlFileBytes - text.size() - 3, 'x') + "-->";
    ASSERT_EQ(text.size(), kMaxXmlFileBytes);
    text += "<not closed"; // beyond the limit: never read
    WriteText(dir.file("big.xml"), text);
    CModelXmlFile file;
    ASSERT_EQ(file.Load(dir.file("big.xml")), 0);
    EXPECT_EQ(file.ReadInstalledModels().at(0).model, "big");
}

TEST(ModelXmlFile, NumbersThatAreNotNumbersReadAsZero) {
    TempDir dir;
    WriteText(dir.file("i.xml"), "<INSTALLEDMODEL><PHONEIMAGESIZE width=\"abc\" height=\"12px\" img_ext=\"_b\"/>"
                                 "</INSTALLEDMODEL>");
    CModelXmlFile file;
    ASSERT_EQ(file.Load(dir.file("i.xml")), 0);
    const PhoneImageSize size = file.ReadPhoneImageSize();
    EXPECT_EQ(size.width, 0);
    EXPECT_EQ(size.height, 12);
    EXPECT_EQ(size.image_gap, 0);
    EXPECT_EQ(size.img_ext, "_b");
}

// Elements nested that deep, around the inner text.
std::string Nested(size_t depth, const std::string& inner) {
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += "<a>";
    text += inner;
    for (size_t i = 0; i < depth; ++i) text += "</a>";
    return text;
}

InstalledList Models(std::initializer_list<const char*> names);

// A catalogue comes from the server: nesting deeper than any stack must be read, not crash.
TEST(ModelXmlFile, ElementsNestedDeeperThanAStackAreWalked) {
    constexpr size_t kDepth = 300000;
    CModelXmlFile catalogue;
    ASSERT_EQ(catalogue.LoadText("<Models>" + Nested(kDepth, "<Phone model=\"deep\" isbeta=\"0\"/>") + "</Models>"), 0);
    const OfferedList offered = catalogue.ReadOfferedModels("/nonexistent/");
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].model, "deep");
    // Edits of a document as deep (this one has no file, so its saves fail) leave it whole.
    MessageLog quiet;
    CModelXmlFile installed;
    ASSERT_EQ(installed.LoadText("<INSTALLEDMODEL><PHONEMODEL model=\"deep\">" + Nested(kDepth, "") +
                                 "</PHONEMODEL></INSTALLEDMODEL>"),
              0);
    EXPECT_EQ(installed.AddInstalledModels(Models({"N70"})), kXmlSaveFailed);
    EXPECT_EQ(installed.RemoveInstalledModels({"deep"}), kXmlSaveFailed);
    ASSERT_EQ(installed.ReadInstalledModels().size(), 1u);
    EXPECT_EQ(installed.ReadInstalledModels()[0].model, "deep");
}

InstalledList Models(std::initializer_list<const char*> names) {
    InstalledList list;
    for (const char* name : names) {
        CInstalledModel m;
        m.model = name;
        m.lcdsize = "240x320";
        m.version = "2.0";
        m.space = "1.50M";
        list.push_back(m);
    }
    return list;
}

TEST(ModelXmlFile, AddAppendsAndRemoveTakesEveryMatch) {
    TempDir dir;
    const std::string path = dir.file("InstalledModel.xml");
    WriteText(path, "<INSTALLEDMODEL><PHONEIMAGESIZE width=\"1\"/><PHONEMODEL model=\"old\" version=\"0.9\"/>"
                    "</INSTALLEDMODEL>");
    CModelXmlFile file;
    ASSERT_EQ(file.Load(path), 0);
    ASSERT_EQ(file.AddInstalledModels(Models({"N70", "x1"})), 0);
    const std::string saved = ReadText(path);
    EXPECT_NE(saved.find("<PHONEMODEL model=\"old\" version=\"0.9\" />"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<PHONEMODEL model=\"N70\" lcdsize=\"240x320\" version=\"2.0\" space=\"1.50M\" />"),
              std::string::npos)
        << saved;
    EXPECT_LT(saved.find("\"N70\""), saved.find("\"x1\""));

    // After a restart the version is not read back, though it stays in the file.
    CModelXmlFile again;
    ASSERT_EQ(again.Load(path), 0);
    const InstalledList installed = again.ReadInstalledModels();
    ASSERT_EQ(installed.size(), 3u);
    EXPECT_EQ(installed[1].model, "N70");
    EXPECT_EQ(installed[1].space, "1.50M");
    EXPECT_EQ(installed[1].version, "");

    // Names are compared whole: removing N70 keeps N7 and N700.
    ASSERT_EQ(again.AddInstalledModels(Models({"n70", "N7", "N700"})), 0);
    ASSERT_EQ(again.RemoveInstalledModels({"N70"}), 0);
    const InstalledList left = again.ReadInstalledModels();
    ASSERT_EQ(left.size(), 4u);
    EXPECT_EQ(left[0].model, "old");
    EXPECT_EQ(left[1].model, "x1");
    EXPECT_EQ(left[2].model, "N7");
    EXPECT_EQ(left[3].model, "N700");
}

TEST(ModelXmlFile, SavingKeepsCommentsInstructionsAndTheDoctype) {
    TempDir dir;
    const std::string path = dir.file("InstalledModel.xml");
    const std::string kept[] = {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<!DOCTYPE INSTALLEDMODEL>",
                                "<?editor keep-me?>", "<!-- the designer's own note -->", "<!--inside-->"};
    WriteText(path, kept[0] + kept[1] + kept[2] + kept[3] + "<INSTALLEDMODEL>" + kept[4] +
                        "<PHONEIMAGESIZE width=\"1\"/></INSTALLEDMODEL>");
    CModelXmlFile file;
    ASSERT_EQ(file.Load(path), 0);
    ASSERT_EQ(file.AddInstalledModels(Models({"N70"})), 0);
    const std::string saved = ReadText(path);
    size_t at = 0;
    for (const std::string& part : kept) {
        at = saved.find(part, at);
        ASSERT_NE(at, std::string::npos) << part << " in\n" << saved;
    }
    EXPECT_LT(at, saved.find("N70"));
}

TEST(ModelXmlFile, SavingKeepsTheFilesMode) {
    TempDir dir;
    const std::string path = dir.file("InstalledModel.xml");
    WriteText(path, "<INSTALLEDMODEL/>");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    CModelXmlFile file;
    ASSERT_EQ(file.Load(path), 0);
    ASSERT_EQ(file.AddInstalledModels(Models({"N70"})), 0);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(ModelXmlFile, FailedSaveLeavesFileAndDocumentAsTheyWere) {
    TempDir dir;
    const std::string path = dir.file("InstalledModel.xml");
    WriteText(path, "<INSTALLEDMODEL><PHONEMODEL model=\"keep\"/></INSTALLEDMODEL>");
    CModelXmlFile file;
    ASSERT_EQ(file.Load(path), 0);
    const std::string before = ReadText(path);
    // No file may grow past 8 bytes for a moment: writing the new file fails.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = old;
    tiny.rlim_cur = 8;
    setrlimit(RLIMIT_FSIZE, &tiny);
    const int added = file.AddInstalledModels(Models({"new"}));
    const int removed = file.RemoveInstalledModels({"keep"});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(added, kXmlSaveFailed);
    EXPECT_EQ(removed, kXmlSaveFailed);
    EXPECT_EQ(ReadText(path), before);
    const InstalledList installed = file.ReadInstalledModels();
    ASSERT_EQ(installed.size(), 1u);
    EXPECT_EQ(installed[0].model, "keep");
}

TEST(ModelXmlFile, AReadOnlyFileIsReadAndItsSavesFailWithAMessageNamingIt) {
    TempDir dir;
    const std::string path = dir.file("InstalledModel.xml");
    const std::string text = "<INSTALLEDMODEL><PHONEMODEL model=\"N70\"/></INSTALLEDMODEL>";
    WriteText(path, text);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    enum { kRead = 0, kNotRead, kSaved, kDocumentChanged, kNoMessage };
    const int outcome = test::RunUnprivileged(
        [&] {
            MessageLog log;
            CModelXmlFile file;
            if (file.Load(path) != kXmlOk) return kNotRead;
            if (file.AddInstalledModels(Models({"E71"})) != kXmlSaveFailed) return kSaved;
            if (file.ReadInstalledModels().size() != 1) return kDocumentChanged;
            const bool told = log.messages.size() == 1 && log.messages[0].caption == "Pavoline" &&
                              log.messages[0].text == path + ": " + std::strerror(EACCES);
            return told ? kRead : kNoMessage;
        },
        {dir.path()});
    EXPECT_EQ(outcome, kRead);
    EXPECT_EQ(ReadText(path), text);
}

TEST(ModelXmlFile, FileWithoutRootElementCannotBeEdited) {
    TempDir dir;
    WriteText(dir.file("x.xml"), "<OTHER/>");
    CModelXmlFile file;
    ASSERT_EQ(file.Load(dir.file("x.xml")), 0);
    EXPECT_NE(file.AddInstalledModels(Models({"a"})), 0);
    EXPECT_EQ(ReadText(dir.file("x.xml")), "<OTHER/>");
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteText(dir_.file(kInstalledModelFile),
                  "<INSTALLEDMODEL><PHONEIMAGESIZE width=\"219\"/><PHONEMODEL model=\"ABC\" space=\"1M\"/>"
                  "</INSTALLEDMODEL>");
        WriteText(dir_.file("cat.xml"), kCatalogue);
        ASSERT_TRUE(catalogue_.LoadInstalled());
    }
    TempDir dir_;
    ModelCatalogue catalogue_{dir_.path()};
};

TEST_F(CatalogueTest, MergeFlagsInstalledNamesInAnyCase) {
    EXPECT_EQ(catalogue_.LoadOfferedCatalogue(""), nullptr);
    OfferedList* offered = catalogue_.LoadOfferedCatalogue(dir_.file("cat.xml"));
    ASSERT_NE(offered, nullptr);
    catalogue_.MergeInstalledFlags();
    EXPECT_EQ((*offered)[0].installed, 0);
    EXPECT_EQ((*offered)[1].model, "abc");
    EXPECT_EQ((*offered)[1].installed, 1);
    EXPECT_EQ(catalogue_.LoadOfferedCatalogue(""), offered);
    // Names are compared whole: an installed ABC marks neither AB nor ABCD.
    WriteText(dir_.file("near.xml"), "<Models><Phone model=\"AB\" isbeta=\"0\"/><Phone model=\"abcd\" isbeta=\"0\"/></Models>");
    offered = catalogue_.LoadOfferedCatalogue(dir_.file("near.xml"));
    ASSERT_NE(offered, nullptr);
    catalogue_.MergeInstalledFlags();
    EXPECT_EQ((*offered)[0].installed, 0);
    EXPECT_EQ((*offered)[1].installed, 0);
}

TEST_F(CatalogueTest, EachFetchedCatalogueIsReadAndABrokenOneChangesNothing) {
    MessageLog log;
    OfferedList* offered = catalogue_.LoadOfferedCatalogue(dir_.file("cat.xml"));
    ASSERT_NE(offered, nullptr);
    WriteText(dir_.file("broken.xml"), "<Models><Phone model=\"x\"></Models>");
    EXPECT_EQ(catalogue_.LoadOfferedCatalogue(dir_.file("broken.xml")), nullptr);
    EXPECT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(catalogue_.offered(), offered);
    EXPECT_EQ(offered->size(), 2u);
    WriteText(dir_.file("next.xml"), "<Models><Phone model=\"E71\" isbeta=\"0\"/></Models>");
    offered = catalogue_.LoadOfferedCatalogue(dir_.file("next.xml"));
    ASSERT_NE(offered, nullptr);
    ASSERT_EQ(offered->size(), 1u);
    EXPECT_EQ((*offered)[0].model, "E71");
}

TEST_F(CatalogueTest, RecordingInstallsAndUninstallsKeepsListsAndFileInStep) {
    OfferedList* offered = catalogue_.LoadOfferedCatalogue(dir_.file("cat.xml"));
    ASSERT_NE(offered, nullptr);
    OfferedList copies = *offered;
    copies[0].installed = 1;
    copies[0].sizeText = "2.25M";
    copies[1].installed = 0; // not installed by this run
    catalogue_.RecordInstalledModels(copies);
    EXPECT_EQ((*offered)[0].installed, 1);
    ASSERT_EQ(catalogue_.installed().size(), 2u);
    EXPECT_EQ(catalogue_.installed()[1].model, "N70");
    EXPECT_EQ(catalogue_.installed()[1].space, "2.25M");
    EXPECT_NE(ReadText(dir_.file(kInstalledModelFile)).find("version=\"1.2\""), std::string::npos);

    catalogue_.RecordUninstalledModels({catalogue_.installed()[1]});
    EXPECT_EQ((*offered)[0].installed, 0);
    ASSERT_EQ(catalogue_.installed().size(), 1u);
    EXPECT_EQ(catalogue_.installed()[0].model, "ABC");
}

TEST_F(CatalogueTest, AModelListedTwiceIsRecordedOnce) {
    WriteText(dir_.file("twice.xml"), "<Models><Phone model=\"N95\" isbeta=\"0\"/><Phone model=\"n95\" isbeta=\"0\"/>"
                                      "<Phone model=\"N95\" isbeta=\"0\"/></Models>");
    OfferedList* offered = catalogue_.LoadOfferedCatalogue(dir_.file("twice.xml"));
    ASSERT_NE(offered, nullptr);
    OfferedList copies = *offered;
    for (COfferedModel& m : copies) m.installed = 1;
    catalogue_.RecordInstalledModels(copies);
    catalogue_.RecordInstalledModels({copies[1]}); // and again, later in the run
    ASSERT_EQ(catalogue_.installed().size(), 2u);
    EXPECT_EQ(catalogue_.installed()[1].model, "N95");
    for (const COfferedModel& m : *offered) EXPECT_EQ(m.installed, 1) << m.model; // no row offers it again
    catalogue_.RecordUninstalledModels({catalogue_.installed()[1]});
    for (const COfferedModel& m : *offered) EXPECT_EQ(m.installed, 0) << m.model;
}

TEST(OfferedModel, CopiesLeaveTheSizeTextBehindButMovesKeepIt) {
    COfferedModel m;
    m.model = "N70";
    m.installed = 1;
    m.sizeText = "1.00M";
    const COfferedModel copy = m;
    EXPECT_EQ(copy.model, "N70");
    EXPECT_EQ(copy.installed, 1);
    EXPECT_EQ(copy.sizeText, "");
    // Dropping a record that was not installed shifts the others; they keep what the install wrote.
    OfferedList list(3, m);
    for (size_t i = 0; i < list.size(); ++i) list[i].sizeText = std::to_string(i) + ".00M";
    list[0].installed = 0;
    list.erase(std::remove_if(list.begin(), list.end(), [](const COfferedModel& r) { return !r.installed; }), list.end());
    EXPECT_EQ(list[0].sizeText, "1.00M");
    EXPECT_EQ(list[1].sizeText, "2.00M");
}

TEST_F(CatalogueTest, ModelsWhoseNameIsNoPlainFileNameAreNotOffered) {
    WriteText(dir_.file("names.xml"), R"(<Models><Phone model="ok" isbeta="0"/><Phone model="" isbeta="0"/>
        <Phone model="." isbeta="0"/><Phone model=".." isbeta="0"/><Phone model="a/b" isbeta="0"/>
        <Phone model="a\b" isbeta="0"/><Phone model="../../etc" isbeta="0"/></Models>)");
    const OfferedList* offered = catalogue_.LoadOfferedCatalogue(dir_.file("names.xml"));
    ASSERT_NE(offered, nullptr);
    ASSERT_EQ(offered->size(), 1u);
    EXPECT_EQ((*offered)[0].model, "ok");
}

} // namespace
} // namespace pavoline
