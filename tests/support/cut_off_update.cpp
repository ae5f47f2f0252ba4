#include "cut_off_update.h"

#include "temp_dir.h"

#include <filesystem>

namespace pavoline::test {

std::string LeaveCutOffSwap(const std::string& suite, const std::string& fromVersion) {
    const std::string work = suite + ".novarel-update-AbC123/";
    std::filesystem::create_directories(work + "old");
    WriteText(work + "old/version.txt", "old");
    WriteText(suite + "version.txt", "new");
    WriteText(suite + "added.txt", "new");
    WriteText(work + "journal", "novarel-journal 1\nfrom " + fromVersion +
                                    "\nstate swapping\nreplace version.txt\nadd added.txt\nend\n");
    return work;
}

} // namespace pavoline::test
