#include "signature.h"

#include <cstdio>

namespace pavoline {

// Generated from the file PAVOLINE_PUBLISHER_KEYS names: its key lines, or nothing.
const char* CompiledPublisherKeysText();

std::optional<std::vector<PublicKey>> CompiledPublisherKeys() {
    const std::string_view text = CompiledPublisherKeysText();
    if (text.find_first_not_of(" \r\n") == std::string_view::npos) return std::vector<PublicKey>{};
    return ParsePublicKeys(text);
}

bool UseCompiledPublisherKeys(const char* program) {
    const std::optional<std::vector<PublicKey>> keys = CompiledPublisherKeys();
    if (!keys) {
        std::fprintf(stderr, "%s: the compiled-in publisher keys cannot be read; nothing downloaded is trusted\n", program);
        return false;
    }
    if (keys->empty())
        std::fprintf(stderr, "%s: built without publisher keys: downloads are checked by MD5 only, not signatures\n",
                     program);
    UsePublisherKeys(*keys);
    return true;
}

} // namespace pavoline
