#include "uninstall.h"

namespace pavoline {

bool DeleteModelDirectory(const std::string& model, const std::string& programDir) {
    const std::optional<std::string> dir = ExistingModelDir(model, programDir);
    if (!dir || !PathExists(*dir)) return false;
    return DeleteTree(*dir);
}

} // namespace pavoline
