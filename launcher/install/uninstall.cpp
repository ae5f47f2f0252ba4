#include "uninstall.h"

namespace pavoline {

bool DeleteModelDirectory(const std::string& model, const std::string& programDir) {
    if (!IsPlainName(model)) return false;
    const std::string dir = ResourceDir(programDir) + model;
    if (!PathExists(dir)) return false;
    return DeleteTree(dir);
}

} // namespace pavoline
