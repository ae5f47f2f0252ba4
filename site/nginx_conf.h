#pragma once
// pavoline-site nginx-conf: an nginx configuration that serves a built site as serve answers it,
// with no program of ours on the server. Every answer is a static file except the version query,
// which a generated map answers from the asked version alone.

#include "version_text.h"

#include <string>
#include <vector>

namespace pavoline::site {

struct NginxConfOptions {
    std::string siteDir;
    std::string listen; // "ADDRESS:PORT"
    std::string prefix; // empty: a map and a server block to include in a system nginx's http block
};

// Anchored regular expressions (PCRE, and ECMAScript alike) that together match exactly the
// version texts the site's server takes (four numbers of 1 to 5 digits, at most 65535) that are
// older than latest.
std::vector<std::string> OlderVersionPatterns(const SuiteVersion& latest);

// False, with the fault in error, for a site that is not one or was built without --host (nginx
// serves the files as they stand), or an address or path nginx cannot take.
bool NginxConf(const NginxConfOptions& options, std::string& conf, std::string& error);

} // namespace pavoline::site
