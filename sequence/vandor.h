#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pavoline {

// The sequence extractor: writes frames "0.ABM", "1.ABM", ... into frameDir (empty: the current
// directory) and the frame count into the info file.
int RunVandor(const std::vector<std::string>& args, std::ostream& out, const std::string& frameDir = "");

} // namespace pavoline
