#pragma once
// Removing an installed model's directory, as the uninstall worker does for each ticked model.

#include "platform.h"

#include <string>

namespace pavoline {

// Deletes Resource/<model> below the program directory, links removed and never followed. False
// when anything could not be deleted, the directory was missing, or the name is not a plain name
// (which would address "Resource/" itself or something outside it: nothing is deleted then).
bool DeleteModelDirectory(const std::string& model, const std::string& programDir = ProgramDir());

} // namespace pavoline
