// What a suite reads of the publisher's signing: signature files from the server, the key files of
// the build and the publisher, and the size and SHA-256 texts of the signed metadata.
#include "signature.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline;
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const std::vector<PublicKey> keys = [] {
        PublicKey publicKey{};
        SecretKey secretKey{};
        MakeKeyPair(publicKey, secretKey);
        return std::vector<PublicKey>{publicKey};
    }();
    if (const auto signatures = ParseSignatureFile(text))
        if (signatures->empty() || size > kMaxSignatureFileBytes) __builtin_trap();
    // A random key never signed these bytes: a signature that verifies would be a forgery.
    if (SignatureVerifies(keys, "signed bytes", text)) __builtin_trap();
    if (const auto publicKeys = ParsePublicKeys(text))
        for (const PublicKey& key : *publicKeys)
            if (ParsePublicKeys(Base64Text(key.data(), key.size())) != std::vector<PublicKey>{key}) __builtin_trap();
    if (const auto secret = ParseSecretKey(text))
        if (Base64Text(secret->data(), secret->size()).size() != 88) __builtin_trap();
    // "SIZE\nSHA256", as the two values stand in the metadata.
    const size_t cut = std::min(text.find('\n'), text.size());
    if (const auto signedFile = ParseSignedFile(text.substr(0, cut), text.substr(std::min(cut + 1, text.size())))) {
        if (signedFile->sha256.size() != 64 || signedFile->size > (uint64_t(1) << 53)) __builtin_trap();
        if (ParseSha256Text(signedFile->sha256) != signedFile->sha256) __builtin_trap();
    }
    return 0;
}
