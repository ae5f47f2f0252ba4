// What pavoline-site reads from outside: the publisher's model INI (shared packages included), a site record, and the parts of
// a request it interprets (the version of the version query, the Host header, the path).
#include "model_ini.h"
#include "model_records.h"
#include "site_layout.h"
#include "site_server.h"
#include "site_signing.h"
#include "version_text.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline;
    using namespace pavoline::site;
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::vector<ModelDescription> models;
    std::string error;
    if (ReadModelDescriptions(text, models, error)) {
        for (size_t i = 0; i < models.size(); ++i) {
            if (!IsPlainModelName(models[i].model)) __builtin_trap();
            for (size_t j = 0; j < i; ++j)
                if (SameModelName(models[i].model, models[j].model)) __builtin_trap();
            // A shared package is always that of a model with a folder of its own.
            if (!models[i].package.empty()) {
                const auto owner = std::find_if(models.begin(), models.end(),
                                                [&](const ModelDescription& m) { return m.model == models[i].package; });
                if (owner == models.end() || !owner->package.empty()) __builtin_trap();
            }
        }
    }

    if (const std::optional<SiteRecord> record = ReadSiteRecord(text)) {
        if (record->latestVersion && !SitePathOf("/" + record->updateInfoFile)) __builtin_trap();
        VersionQueryReply(*record, text, "h");
    }

    if (const std::optional<SuiteVersion> version = ParseSuiteVersion(text))
        if (VersionText(*version) != text && ParseSuiteVersion(VersionText(*version)) != version) __builtin_trap();

    // Re-hosting for signing changes addresses only: a text without them comes back as it was.
    if (text.find(kHostPlaceholder) == std::string::npos && RehostedUpdateInfo(text, kHostPlaceholder, "http://h") != text)
        __builtin_trap();
    RehostedCatalogue(text, kHostPlaceholder, "http://h");

    const std::string host = ReplyHost(text, "fallback");
    if (host != "fallback" && host != text) __builtin_trap();
    if (const std::optional<std::string> path = SitePathOf(text))
        if (path->empty() || path->front() == '/' || ("/" + *path + "/").find("/../") != std::string::npos)
            __builtin_trap();
    return 0;
}
