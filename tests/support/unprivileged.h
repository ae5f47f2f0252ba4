#pragma once
// Permission tests that hold as root too. Root passes every permission bit, and CI runs as root,
// so such a test runs its body in a child process that has dropped to "nobody" first.

#include <functional>
#include <string>
#include <vector>

namespace pavoline::test {

// Runs body in a child process without privileges (as nobody when this process is root) and
// returns what body returned, or -1 when the child did not get to return. The paths are handed
// to that user first, so that the child can work in them.
int RunUnprivileged(const std::function<int()>& body, const std::vector<std::string>& pathsToHandOver = {});

} // namespace pavoline::test
