#include "signature.h"

#include <sodium.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace pavoline {
namespace {

constexpr size_t kPublicKeyChars = 44, kSixtyFourByteChars = 88;
constexpr uint64_t kMaxByteCount = uint64_t(1) << 53;
constexpr size_t kDigestPiece = 1 << 20;

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The lines that count: without their line end, neither blank nor a comment.
std::vector<std::string_view> ItemLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() != '#') lines.push_back(line);
    }
    return lines;
}

// Exactly N bytes in exactly the characters standard base64 gives them.
template <size_t N>
std::optional<std::array<uint8_t, N>> Decoded(std::string_view line, size_t chars) {
    if (line.size() != chars || !SodiumReady()) return std::nullopt;
    std::array<uint8_t, N> bytes{};
    size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), line.data(), line.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        length != N || end != line.data() + line.size())
        return std::nullopt;
    return bytes;
}

template <size_t N>
std::optional<std::vector<std::array<uint8_t, N>>> DecodedLines(std::string_view text, size_t chars) {
    std::vector<std::array<uint8_t, N>> items;
    for (std::string_view line : ItemLines(text)) {
        const auto item = Decoded<N>(line, chars);
        if (!item) return std::nullopt;
        items.push_back(*item);
    }
    if (items.empty()) return std::nullopt;
    return items;
}

std::string HexText(const uint8_t* bytes, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 15];
    }
    return text;
}

std::mutex gKeysMutex;
bool gKeysSet = false;
std::vector<PublicKey> gKeys;

} // namespace

std::optional<std::vector<PublicKey>> ParsePublicKeys(std::string_view text) {
    return DecodedLines<32>(text, kPublicKeyChars);
}

std::optional<SecretKey> ParseSecretKey(std::string_view text) {
    const std::vector<std::string_view> lines = ItemLines(text);
    if (lines.size() != 1) return std::nullopt;
    return Decoded<64>(lines[0], kSixtyFourByteChars);
}

std::optional<std::vector<Signature>> ParseSignatureFile(std::string_view text) {
    if (text.size() > kMaxSignatureFileBytes) return std::nullopt;
    return DecodedLines<64>(text, kSixtyFourByteChars);
}

std::string Base64Text(const uint8_t* bytes, size_t length) {
    if (!SodiumReady()) return "";
    std::string text(sodium_base64_encoded_len(length, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, length, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1); // the terminating zero
    return text;
}

bool MakeKeyPair(PublicKey& publicKey, SecretKey& secretKey) {
    return SodiumReady() && crypto_sign_keypair(publicKey.data(), secretKey.data()) == 0;
}

Signature SignBytes(const SecretKey& key, std::string_view bytes) {
    Signature signature{};
    if (SodiumReady())
        crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             key.data());
    return signature;
}

PublicKey PublicKeyOf(const SecretKey& key) {
    PublicKey publicKey{};
    crypto_sign_ed25519_sk_to_pk(publicKey.data(), key.data());
    return publicKey;
}

bool SignatureVerifies(const std::vector<PublicKey>& keys, std::string_view signedBytes, std::string_view signatureFile) {
    const std::optional<std::vector<Signature>> signatures = ParseSignatureFile(signatureFile);
    if (!signatures || !SodiumReady()) return false;
    for (const Signature& signature : *signatures)
        for (const PublicKey& key : keys)
            if (crypto_sign_verify_detached(signature.data(), reinterpret_cast<const uint8_t*>(signedBytes.data()),
                                            signedBytes.size(), key.data()) == 0)
                return true;
    return false;
}

void UsePublisherKeys(std::vector<PublicKey> keys) {
    std::lock_guard<std::mutex> lock(gKeysMutex);
    gKeys = std::move(keys);
    gKeysSet = true;
}

bool SignaturesRequired() {
    std::lock_guard<std::mutex> lock(gKeysMutex);
    return !gKeysSet || !gKeys.empty();
}

std::vector<PublicKey> PublisherKeys() {
    std::lock_guard<std::mutex> lock(gKeysMutex);
    return gKeys;
}

SignatureCheck CheckPublisherSignature(const std::string& signatureUrl, std::string_view bytes,
                                       const TransferVariant& variant) {
    if (!SignaturesRequired()) return SignatureCheck::kVerified;
    std::string signature;
    if (FetchText(signatureUrl, signature, variant, kSignatureFileLimits) != kDownloadComplete)
        return SignatureCheck::kUnavailable;
    return SignatureVerifies(PublisherKeys(), bytes, signature) ? SignatureCheck::kVerified : SignatureCheck::kRefused;
}

std::string BytesSha256Text(std::string_view bytes) {
    uint8_t digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return HexText(digest, sizeof digest);
}

std::optional<std::string> FileSha256Text(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file || !SodiumReady()) return std::nullopt;
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    std::vector<uint8_t> piece(kDigestPiece);
    size_t n;
    while ((n = std::fread(piece.data(), 1, piece.size(), file.get())) > 0) crypto_hash_sha256_update(&state, piece.data(), n);
    if (std::ferror(file.get())) return std::nullopt;
    uint8_t digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    return HexText(digest, sizeof digest);
}

std::optional<std::string> ParseSha256Text(std::string_view text) {
    if (text.size() != 2 * crypto_hash_sha256_BYTES) return std::nullopt;
    std::string lower;
    for (char c : text) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
        lower += c;
    }
    return lower;
}

std::optional<uint64_t> ParseByteCount(std::string_view text) {
    if (text.empty() || text.size() > 16) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > kMaxByteCount) return std::nullopt;
    return value;
}

std::optional<SignedFile> ParseSignedFile(std::string_view size, std::string_view sha256) {
    const std::optional<uint64_t> bytes = ParseByteCount(size);
    const std::optional<std::string> digest = ParseSha256Text(sha256);
    if (!bytes || !digest) return std::nullopt;
    return SignedFile{*bytes, *digest};
}

bool FileMatchesSigned(const std::string& path, const SignedFile& expected) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return false;
    const long size = std::ftell(file.get());
    if (size < 0 || static_cast<uint64_t>(size) != expected.size) return false;
    file.reset();
    const std::optional<std::string> digest = FileSha256Text(path);
    return digest && *digest == expected.sha256;
}

} // namespace pavoline
