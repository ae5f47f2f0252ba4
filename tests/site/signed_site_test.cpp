// Signed sites: the publisher's keys, building and signing, and what the launcher's and the
// updater's engines take from a real pavoline-site serve, with and without someone on the way.
#include "catalogue_fetch.h"
#include "install_run.h"
#include "md5.h"
#include "named_mutex.h"
#include "served_copy.h"
#include "site_fixture.h"
#include "site_signing.h"
#include "test_publisher.h"
#include "tree_snapshot.h"
#include "update_query.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace pavoline::site {
namespace {

using pavoline::test::RunProgram;
using pavoline::test::TempDir;
using test::ReadText;
using test::WriteText;

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

// The publisher's key pair, made by the tool as a publisher makes it.
struct Keys {
    TempDir dir;
    std::string secret = dir.file("keys/publisher.key");
    PublicKey publicKey{};
    Keys() {
        const auto made = RunProgram(PAVOLINE_SITE_TOOL, {"keygen", dir.file("keys")});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        publicKey = ParsePublicKeys(ReadText(dir.file("keys/publisher.pub"))).value_or(std::vector<PublicKey>{{}})[0];
    }
};

TEST(PublisherKeys, KeygenMakesAPrivateSecretKeyAndNeverReplacesOne) {
    Keys keys;
    EXPECT_EQ(ModeOf(keys.secret), 0600u);
    EXPECT_EQ(ModeOf(keys.dir.file("keys/publisher.pub")), 0644u);
    std::string error;
    const std::optional<SecretKey> secret = ReadSecretKeyFile(keys.secret, error);
    ASSERT_TRUE(secret) << error;
    EXPECT_EQ(PublicKeyOf(*secret), keys.publicKey);
    const std::string before = ReadText(keys.secret);
    const auto again = RunProgram(PAVOLINE_SITE_TOOL, {"keygen", keys.dir.file("keys")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, "pavoline-site: " + keys.secret + ": exists; a key is never replaced (move it away first)\n");
    EXPECT_EQ(ReadText(keys.secret), before);
}

class SignedBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::MakeModelFolders(dir_.file("models"), test::SampleModels());
        test::MakeSuiteDirectory(dir_.file("suite"), "1.0.0.2");
    }
    bool build(const std::string& out, const std::string& host, const std::vector<std::string>& keys) {
        std::ostringstream report;
        return BuildSite({dir_.file("models"), dir_.file("suite"), "1.0.0.2", "new", dir_.file(out), host, keys}, report,
                         error_);
    }
    TempDir dir_;
    Keys keys_;
    std::string error_;
};

// A key that others may read, or that would be packed or published with the site, is refused.
TEST_F(SignedBuildTest, RefusesKeysOthersMayReadOrThatWouldBePublished) {
    const std::string open = dir_.file("open.key");
    pavoline::test::WriteText(open, ReadText(keys_.secret), 0644);
    std::filesystem::copy_file(keys_.secret, dir_.file("models/N70/publisher.key"));
    std::filesystem::copy_file(keys_.secret, dir_.file("suite/publisher.key"));
    struct Case {
        std::string key, host, error;
    };
    const Case cases[] = {
        {open, "h", open + ": others may read or write this secret key (mode 0644); chmod 600 it"},
        {dir_.file("models/N70/publisher.key"), "h",
         dir_.file("models/N70/publisher.key") + ": the secret key lies inside " + dir_.file("models") + ", which is published"},
        {dir_.file("suite/publisher.key"), "h",
         dir_.file("suite/publisher.key") + ": the secret key lies inside " + dir_.file("suite") + ", which is published"},
        {keys_.secret, "", "--key: a signed site names its host: add --host HOST[:PORT]"},
        {dir_.file("missing.key"), "h", dir_.file("missing.key") + ": not a readable secret key file"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(build("site", c.host, {c.key})) << c.key;
        EXPECT_EQ(error_, c.error);
        EXPECT_FALSE(pavoline::test::FileExists(dir_.file("site")));
    }
}

// Signing a built site for another host gives byte for byte what building it for that host gives,
// signatures included (Ed25519 signs deterministically); what is signed binds every package.
TEST_F(SignedBuildTest, SigningForAHostGivesWhatBuildingForItGives) {
    ASSERT_TRUE(build("for-b", "b.example:81", {keys_.secret})) << error_;
    ASSERT_TRUE(build("unsigned", "", {})) << error_;
    const auto signedLater = RunProgram(PAVOLINE_SITE_TOOL, {"sign", dir_.file("unsigned"), "--key", keys_.secret, "--host", "b.example:81"});
    ASSERT_EQ(signedLater.exitCode, 0) << signedLater.err;
    for (const char* file : {"catalogue.xml", "catalogue.xml.sig", "update/update_info.ini", "update/update_info.ini.sig", "site.ini"})
        EXPECT_EQ(ReadText(dir_.file(std::string("unsigned/") + file)), ReadText(dir_.file(std::string("for-b/") + file))) << file;

    const std::string catalogue = ReadText(dir_.file("for-b/catalogue.xml"));
    EXPECT_TRUE(SignatureVerifies({keys_.publicKey}, catalogue, ReadText(dir_.file("for-b/catalogue.xml.sig"))));
    for (const test::SampleModel& m : test::SampleModels()) {
        const std::string package = ReadText(dir_.file("for-b/models/" + m.model + ".zip"));
        EXPECT_NE(catalogue.find("size=\"" + std::to_string(package.size()) + "\" sha256=\"" + BytesSha256Text(package) + "\""),
                  std::string::npos) << m.model;
    }
    const std::string info = ReadText(dir_.file("for-b/update/update_info.ini"));
    EXPECT_TRUE(SignatureVerifies({keys_.publicKey}, info, ReadText(dir_.file("for-b/update/update_info.ini.sig"))));
    const updater::UpdateInfo read = updater::ParseUpdateInfo(info);
    const std::string package = dir_.file("for-b/update/Pavoline-1.0.0.2.zip");
    ASSERT_TRUE(read.package && read.version);
    EXPECT_EQ(*read.version, (SuiteVersion{1, 0, 0, 2}));
    EXPECT_TRUE(FileMatchesSigned(package, *read.package));
    EXPECT_EQ(read.toolLink, "http://b.example:81/update/Pavoline-1.0.0.2.zip");

    // Re-hosting without a key leaves an unsigned site, its old signatures gone.
    ASSERT_EQ(RunProgram(PAVOLINE_SITE_TOOL, {"sign", dir_.file("for-b"), "--host", "c.example"}).exitCode, 0);
    EXPECT_FALSE(pavoline::test::FileExists(dir_.file("for-b/catalogue.xml.sig")));
    EXPECT_NE(ReadText(dir_.file("for-b/catalogue.xml")).find("http://c.example/models/N70.zip"), std::string::npos);
}

// The engines against a real serve behind a proxy: the genuine site passes, and each thing the
// proxy does to it is refused with nothing of the suite changed.
class ServedSignedSite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::BuildTestSite(dir_, error_)) << error_;
        site_ = std::make_unique<pavoline::test::ServedCopy>(PAVOLINE_SITE_TOOL, dir_.file("site"), keys_.secret);
        UsePublisherKeys({keys_.publicKey});
        ASSERT_TRUE(MakeDirectories(dir_.file("tmp")));
        setenv("TMPDIR", dir_.file("tmp").c_str(), 1);
        setenv("PAVOLINE_UPDATE_HOST", site_->host().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        unsetenv("PAVOLINE_UPDATE_HOST");
        UsePublisherKeys({});
    }
    std::string url(const std::string& path) const { return "http://" + site_->host() + path; }

    TempDir dir_;
    Keys keys_;
    std::string error_;
    std::unique_ptr<pavoline::test::ServedCopy> site_;
};

class SilentPage : public InstallObserver {
public:
    void send(unsigned code, intptr_t lParam) override {
        if (code >= kInstallDownloadError && code <= kInstallExtractError) errors.push_back(lParam);
    }
    void post(unsigned, intptr_t) override {}
    void setProgressPosition(int) override {}
    std::vector<intptr_t> errors;
};

TEST_F(ServedSignedSite, TheLauncherTakesOnlyThePublishersCatalogueAndPackages) {
    const std::string programDir = dir_.file("suite/");
    test::MakeSuiteDirectory(programDir, "1.0.0.9");
    ModelCatalogue catalogue(programDir);
    ASSERT_TRUE(catalogue.EnsureInstalledModelFile() && catalogue.LoadInstalled());
    auto cancelMutex = NamedMutex::Create(kDownloadCancelMutex), promptMutex = NamedMutex::Create(kPromptMutex);
    auto install = [&](const std::string& model, SilentPage& page) {
        OfferedList chosen;
        for (const COfferedModel& m : *catalogue.offered())
            if (m.model == model) chosen.push_back(m);
        CancelPromptFlags prompt;
        InstallRun(chosen, page, prompt, programDir).run();
        return !chosen.empty() && chosen[0].installed == 1;
    };
    auto fetch = [&] { return FetchCatalogue(catalogue, url("/port/themeModel/"), url("/port/themeModel.sig")); };

    // Someone who alters a package and fixes up its MD5 must change the catalogue, which then no
    // longer verifies; a dropped signature is refused the same way.
    const std::string altered = "PK an attacker's plug-in";
    site_->proxy().setTamper([&](const std::string& target, int& status, std::string& body) {
        if (target == "/models/N70.zip") body = altered;
        if (target == "/port/themeModel/") {
            const size_t at = body.find("checksum=\"") + 10;
            body.replace(at, 32, BytesMd5Text(altered.data(), altered.size()));
        }
        (void)status;
    });
    EXPECT_EQ(fetch(), FetchOutcome::kCatalogueUnverified);
    site_->proxy().setTamper([](const std::string& target, int& status, std::string& body) {
        if (target == "/port/themeModel.sig") status = 404, body = "not found";
    });
    EXPECT_EQ(fetch(), FetchOutcome::kCatalogueUnverified);
    EXPECT_EQ(catalogue.offered(), nullptr);

    site_->proxy().setTamper(nullptr);
    ASSERT_EQ(fetch(), FetchOutcome::kFetched);
    const pavoline::test::TreeSnapshot before = pavoline::test::SnapshotOf(programDir);
    site_->proxy().setTamper([&](const std::string& target, int&, std::string& body) {
        if (target == "/models/N70.zip") body = altered;
    });
    SilentPage refused;
    EXPECT_FALSE(install("N70", refused));
    EXPECT_EQ(refused.errors, std::vector<intptr_t>{kMessageNotFromPublisher});
    EXPECT_EQ(pavoline::test::SnapshotOf(programDir), before);
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("tmp")))
        EXPECT_EQ(entry.path().extension(), ".png") << entry.path(); // only the thumbnails' cache

    site_->proxy().setTamper(nullptr);
    SilentPage genuine;
    EXPECT_TRUE(install("N70", genuine));
    EXPECT_TRUE(genuine.errors.empty());
    EXPECT_EQ(ReadText(programDir + "Resource/N70/N70.so"), test::PluginBytes("N70"));
}

TEST_F(ServedSignedSite, TheUpdaterTakesOnlyTheNewestSignedUpdate) {
    std::string reply;
    ASSERT_EQ(FetchText(url("/port/themeEditor/?vnum=1.0.0.9"), reply, kUpdaterTransfer), kDownloadComplete);
    ASSERT_EQ(reply, url("/update/update_info.ini"));
    const std::string infoPath = dir_.file("tmp/info.tmp");
    const updater::FetchedUpdateInfo genuine = updater::FetchUpdateInfo(reply, infoPath, "1.0.0.9");
    ASSERT_EQ(genuine.verdict, updater::InfoVerdict::kUsable);
    const std::string package = dir_.file("tmp/package.rar");
    ASSERT_EQ(DownloadToFile(genuine.info.toolLink, package, "", nullptr, kUpdaterTransfer, updater::PackageLimits(genuine.info)),
              kDownloadComplete);
    EXPECT_EQ(updater::CheckPackage(genuine.info, package), updater::PackageVerdict::kGenuine);

    // The signed info file of 1.0.0.10, replayed to a suite that already has it, is a rollback.
    EXPECT_EQ(updater::FetchUpdateInfo(reply, infoPath, "1.0.0.10").verdict, updater::InfoVerdict::kNotNewer);
    EXPECT_FALSE(pavoline::test::FileExists(infoPath));
    struct Case {
        const char* name;
        pavoline::test::TamperingProxy::Tamper tamper;
    };
    const Case cases[] = {
        {"signature dropped", [](const std::string& target, int& status, std::string& body) {
             if (target.size() > 4 && target.compare(target.size() - 4, 4, ".sig") == 0) status = 404, body = "not found";
         }},
        {"another package with its MD5 fixed up", [](const std::string& target, int&, std::string& body) {
             if (target == "/update/update_info.ini") body.replace(body.find("Md5=") + 4, 32, std::string(32, 'A'));
         }},
    };
    for (const Case& c : cases) {
        site_->proxy().setTamper(c.tamper);
        EXPECT_EQ(updater::FetchUpdateInfo(reply, infoPath, "1.0.0.9").verdict, updater::InfoVerdict::kNotFromPublisher) << c.name;
        EXPECT_FALSE(pavoline::test::FileExists(infoPath)) << c.name;
    }
    // A package that goes on past its signed size is cut there and refused.
    site_->proxy().setTamper([](const std::string& target, int&, std::string& body) {
        if (target.find("/update/Pavoline-") == 0) body += std::string(100000, 'x');
    });
    const int cut = DownloadToFile(genuine.info.toolLink, package, "", nullptr, kUpdaterTransfer, updater::PackageLimits(genuine.info));
    EXPECT_EQ(cut, kTooLarge);
    EXPECT_LE(FileSize(package).value_or(0), genuine.info.package->size);
}

} // namespace
} // namespace pavoline::site
