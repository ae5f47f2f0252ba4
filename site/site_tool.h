#pragma once
// The command line of pavoline-site:
//   pavoline-site build --models DIR [--update DIR --version V --features TEXT] [--host H [--key K]...] --out SITE
//   pavoline-site keygen DIR
//   pavoline-site sign SITE [--key K]... [--host H]
//   pavoline-site serve SITE [--port N] [--bind ADDR] [--rate BYTES_PER_SECOND]
//   pavoline-site nginx-conf SITE --listen ADDRESS:PORT [--prefix DIR]

#include <ostream>
#include <string>
#include <vector>

namespace pavoline::site {

constexpr int kDefaultPort = 8480;

// Exit code 0 or 1. serve runs until SIGINT or SIGTERM; its first line on out is
// "serving SITE on http://ADDR:PORT", then one line per request.
int RunSiteTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace pavoline::site
