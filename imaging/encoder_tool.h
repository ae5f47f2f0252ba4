#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pavoline {

// kelpa: a BMP or PNG picture to AB2, or to ABM with "-abm". Messages as the program prints them
// go to out; reasons the original never gave (a PNG that cannot be read, an output that cannot be
// written) go to err.
int RunKelpa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace pavoline
