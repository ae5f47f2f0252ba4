#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pavoline {

// The sequence maker: packs ABM or PNG frames into one sequence file.
int RunPresk(const std::vector<std::string>& args, std::ostream& out);

} // namespace pavoline
