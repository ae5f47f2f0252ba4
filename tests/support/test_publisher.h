#pragma once
// A publisher key pair made for one test, trusted by the process while the test runs.

#include "signature.h"

#include <string>
#include <string_view>

namespace pavoline::test {

class TestPublisher {
public:
    TestPublisher() {
        MakeKeyPair(publicKey_, secretKey_);
        UsePublisherKeys({publicKey_});
    }
    ~TestPublisher() { UsePublisherKeys({}); }

    // The signature file of the bytes, as a site serves it.
    std::string sign(std::string_view bytes) const {
        const Signature signature = SignBytes(secretKey_, bytes);
        return Base64Text(signature.data(), signature.size()) + "\n";
    }
    // The secret key file's text, as keygen writes it.
    std::string secretKeyText() const { return Base64Text(secretKey_.data(), secretKey_.size()) + "\n"; }
    const PublicKey& publicKey() const { return publicKey_; }

private:
    PublicKey publicKey_{};
    SecretKey secretKey_{};
};

} // namespace pavoline::test
