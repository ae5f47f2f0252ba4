#pragma once
// The publisher's Ed25519 signatures (libsodium) over the update site's metadata, and the SHA-256
// digest and size by which that metadata binds each file it names.
//
// Keys and signatures are text: base64 (with padding), one item a line, a line ending in LF or
// CR LF, blank lines and lines beginning with '#' ignored.
//   public key file   one or more lines of 44 characters (32 bytes each): the keys a suite trusts
//   secret key file   one line of 88 characters (64 bytes, libsodium's seed and public key)
//   signature file    one or more lines of 88 characters (64 bytes each), one per signing key;
//                     it covers the exact bytes of the file whose name it carries plus ".sig"

#include "download.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pavoline {

using PublicKey = std::array<uint8_t, 32>;
using SecretKey = std::array<uint8_t, 64>;
using Signature = std::array<uint8_t, 64>;

// A signature file longer than this is not one.
constexpr size_t kMaxSignatureFileBytes = 4096;
constexpr TransferLimits kSignatureFileLimits{kMaxSignatureFileBytes, 30000};
// What a signed file names: its size and its SHA-256 (64 lower-case hexadecimal digits).
struct SignedFile {
    uint64_t size = 0;
    std::string sha256;
};

// Nothing unless every line that counts is one key and there is at least one.
std::optional<std::vector<PublicKey>> ParsePublicKeys(std::string_view text);
std::optional<SecretKey> ParseSecretKey(std::string_view text);
std::optional<std::vector<Signature>> ParseSignatureFile(std::string_view text);

std::string Base64Text(const uint8_t* bytes, size_t length);

// A key pair from the system's random source; false when libsodium cannot start.
bool MakeKeyPair(PublicKey& publicKey, SecretKey& secretKey);
Signature SignBytes(const SecretKey& key, std::string_view bytes);
PublicKey PublicKeyOf(const SecretKey& key);

// True when one of the file's signatures verifies over exactly these bytes with one of the keys.
bool SignatureVerifies(const std::vector<PublicKey>& keys, std::string_view signedBytes,
                       std::string_view signatureFile);

// The keys this process trusts, set once at start-up from the ones the build compiled in. An empty
// list is a build without keys: nothing is checked, as before signing existed. Until they are set,
// every check fails, so a program that forgets them trusts nothing.
void UsePublisherKeys(std::vector<PublicKey> keys);
bool SignaturesRequired();
std::vector<PublicKey> PublisherKeys();
// The compiled-in list (a file of PAVOLINE_PUBLISHER_KEYS, publisher_keys.cpp); nothing when a
// line of it is not a key, an empty list for a build without keys.
std::optional<std::vector<PublicKey>> CompiledPublisherKeys();
// Both programs' start-up: takes the compiled-in keys, and says on stderr (once) when there are
// none. False when they cannot be read, which the build prevents.
bool UseCompiledPublisherKeys(const char* program);

// What became of a downloaded file's signature.
enum class SignatureCheck {
    kVerified,    // it verifies, or no keys are in force (nothing to check)
    kUnavailable, // the signature could not be downloaded (a network failure)
    kRefused,     // it is missing on the server, damaged, or by another key: not the publisher's
};
// With keys in force, fetches the signature file at signatureUrl and checks it over bytes.
SignatureCheck CheckPublisherSignature(const std::string& signatureUrl, std::string_view bytes,
                                       const TransferVariant& variant);

// 64 lower-case hexadecimal digits.
std::string BytesSha256Text(std::string_view bytes);
// Nothing when the file cannot be read.
std::optional<std::string> FileSha256Text(const std::string& path);

// The metadata's own spelling: 64 hexadecimal digits (either case), given back in lower case.
std::optional<std::string> ParseSha256Text(std::string_view text);
// Decimal digits only, no sign, at most 2^53.
std::optional<uint64_t> ParseByteCount(std::string_view text);
std::optional<SignedFile> ParseSignedFile(std::string_view size, std::string_view sha256);

// The file holds exactly what the metadata names: its size first, then its digest.
bool FileMatchesSigned(const std::string& path, const SignedFile& expected);

} // namespace pavoline
