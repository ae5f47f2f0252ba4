#include "signature.h"
#include "temp_dir.h"
#include "test_publisher.h"

#include <gtest/gtest.h>

namespace pavoline {
namespace {

// Rotation: a suite that trusts the old and the new key, or only one of them, takes a file
// signed with either key, or with both (one line each); a damaged line spoils nothing else.
TEST(Signature, VerifiesWithAnyTrustedKeyOverTheExactBytes) {
    const test::TestPublisher oldKey, newKey, stranger;
    const std::string bytes = "[UPDATE_INFO]\nVersion=1.0.0.2\n";
    const std::string both = oldKey.sign(bytes) + newKey.sign(bytes);
    struct Case {
        const char* name;
        std::vector<PublicKey> trusted;
        std::string signatureFile;
        bool verifies;
    };
    const Case cases[] = {
        {"old key, signed with it", {oldKey.publicKey()}, oldKey.sign(bytes), true},
        {"both keys, signed with the new", {oldKey.publicKey(), newKey.publicKey()}, newKey.sign(bytes), true},
        {"new key only, signed with both", {newKey.publicKey()}, both, true},
        {"CR LF, comments and blank lines", {newKey.publicKey()}, "# by the publisher\r\n\r\n" + newKey.sign(bytes), true},
        {"a stranger's key", {oldKey.publicKey()}, stranger.sign(bytes), false},
        {"no key trusted", {}, oldKey.sign(bytes), false},
        {"other bytes", {oldKey.publicKey()}, oldKey.sign(bytes + " "), false},
        {"a damaged line beside a good one", {oldKey.publicKey()}, "AAAA\n" + oldKey.sign(bytes), false},
        {"cut short", {oldKey.publicKey()}, oldKey.sign(bytes).substr(0, 80), false},
        {"empty", {oldKey.publicKey()}, "", false},
        {"longer than a signature file may be", {oldKey.publicKey()}, std::string(5000, '#') + "\n" + oldKey.sign(bytes), false},
    };
    for (const Case& c : cases) EXPECT_EQ(SignatureVerifies(c.trusted, bytes, c.signatureFile), c.verifies) << c.name;
}

TEST(Signature, KeyFilesAndDigestsReadOnlyTheirExactForm) {
    const test::TestPublisher publisher;
    const PublicKey& key = publisher.publicKey();
    const std::string line = Base64Text(key.data(), key.size());
    EXPECT_EQ(ParsePublicKeys(line + "\n" + line + "\n"), (std::vector<PublicKey>{key, key}));
    for (const std::string& bad : {std::string(), std::string("# only a comment\n"), line + "\nnot a key\n", line.substr(0, 43) + "\n",
                                   line + "=\n", line.substr(0, 42) + "!=\n"})
        EXPECT_FALSE(ParsePublicKeys(bad)) << bad;
    const std::optional<SecretKey> secret = ParseSecretKey(publisher.secretKeyText());
    ASSERT_TRUE(secret);
    EXPECT_EQ(PublicKeyOf(*secret), key);
    EXPECT_FALSE(ParseSecretKey(publisher.secretKeyText() + publisher.secretKeyText()));

    EXPECT_EQ(BytesSha256Text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    test::TempDir dir;
    test::WriteText(dir.file("f"), "abc");
    EXPECT_EQ(FileSha256Text(dir.file("f")), BytesSha256Text("abc"));
    EXPECT_TRUE(FileMatchesSigned(dir.file("f"), {3, BytesSha256Text("abc")}));
    EXPECT_FALSE(FileMatchesSigned(dir.file("f"), {4, BytesSha256Text("abc")}));
    EXPECT_FALSE(FileMatchesSigned(dir.file("missing"), {3, BytesSha256Text("abc")}));
    EXPECT_EQ(ParseSha256Text(std::string(64, 'A')), std::string(64, 'a'));
    for (const std::string& bad : {std::string(63, 'a'), std::string(65, 'a'), std::string(63, 'a') + "g"})
        EXPECT_FALSE(ParseSha256Text(bad)) << bad;
    EXPECT_EQ(ParseByteCount("9007199254740992"), uint64_t(1) << 53);
    for (const char* bad : {"", "-1", "+1", "1 ", "0x10", "9007199254740993", "99999999999999999999"})
        EXPECT_FALSE(ParseByteCount(bad)) << bad;
}

} // namespace
} // namespace pavoline
