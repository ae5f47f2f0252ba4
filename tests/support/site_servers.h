#pragma once
// The servers an update site is published with, as one table for the tests that must pass on
// each: pavoline-site serve, and Debian's nginx run by the test's own user with the configuration
// pavoline-site nginx-conf prints. Both listen on an ephemeral port of 127.0.0.1.

#include <string>
#include <vector>

namespace pavoline::test {

enum class SiteServerKind { kServe, kNginx };
constexpr SiteServerKind kSiteServerKinds[] = {SiteServerKind::kServe, SiteServerKind::kNginx};
const char* SiteServerName(SiteServerKind kind);

// What a site is built from: pavoline-site build's arguments but --host and --out.
using SiteRecipe = std::vector<std::string>;
// The recipe of the build's sample site (build/site), as its build wrote it down.
SiteRecipe SampleSiteRecipe(const std::string& buildDir);

// The one place a site is made ready for a server: built into out for the host the server is
// reached by (serve puts in the host of each request, so it gets the placeholder), signed with
// keyFile when one is given. Throws with the tool's message when the build fails.
void PrepareSite(SiteServerKind kind, const std::string& siteTool, const SiteRecipe& recipe, const std::string& host,
                 const std::string& out, const std::string& keyFile = "");

// A site prepared for a server and that server serving it, for as long as the object lives.
class RunningSite {
public:
    // The recipe built into workDir/site for the server, which keeps its files in workDir too. With
    // a key the site is signed for the server's address (serve's once it listens, as a signature
    // covers the addresses).
    RunningSite(SiteServerKind kind, const std::string& siteTool, const SiteRecipe& recipe, const std::string& workDir,
                const std::string& keyFile = "");
    // pavoline-site serve on a site as it stands, with more of serve's options; with a key, on a
    // copy in workDir/site signed for its address.
    RunningSite(const std::string& siteTool, const std::string& site, const std::string& workDir,
                const std::vector<std::string>& serveOptions = {}, const std::string& keyFile = "");
    ~RunningSite();
    RunningSite(const RunningSite&) = delete;
    RunningSite& operator=(const RunningSite&) = delete;

    const std::string& host() const { return host_; } // "127.0.0.1:PORT"
    std::string url(const std::string& path) const { return "http://" + host_ + path; }
    const std::string& site() const { return site_; }
    int pid() const { return pid_; } // nginx's master
    // How many requests so far had text in their request line (serve's log, nginx's access log).
    int requests(const std::string& text) const;

private:
    void startServe(const std::string& siteTool, const std::vector<std::string>& options);
    void startNginx(const std::string& siteTool, int listening);
    void signForHost(const std::string& siteTool, const std::string& keyFile);

    std::string work_, site_, host_, log_;
    int pid_ = -1;
};

} // namespace pavoline::test
