#pragma once
// The journal of one swap of the suite's files: written into the swap's work directory (by rename,
// synced) before the first change to the suite, and rewritten once the swap is complete, so that
// the next start can undo a swap that was cut off, or finish the clean-up of one that was not.
//
// Text, one record a line; paths are relative to the suite directory, and every byte below '!',
// above '~' and '%' itself is written as %XX:
//   novarel-journal 1
//   from <version>       the suite's version before the swap ("-": unknown)
//   state swapping       or: state complete
//   mkdir <path>         a directory the swap makes
//   add <path>           a file the suite did not have
//   replace <path>       a file the swap replaces; its old copy is kept as old/<path>
//   end

#include <optional>
#include <string>
#include <vector>

namespace pavoline::updater {

enum class SwapAction { kMakeDirectory, kAddFile, kReplaceFile };

struct SwapStep {
    SwapAction action;
    std::string path;
    bool operator==(const SwapStep& other) const { return action == other.action && path == other.path; }
};

struct SwapJournal {
    std::string fromVersion;
    bool complete = false;
    std::vector<SwapStep> steps; // in the order they are taken
    bool operator==(const SwapJournal& other) const {
        return fromVersion == other.fromVersion && complete == other.complete && steps == other.steps;
    }
};

std::string JournalText(const SwapJournal& journal);

// Nothing unless the text is a whole journal whose every path stays below the suite directory
// (plain names only, no "..", no leading '/').
std::optional<SwapJournal> ParseJournal(const std::string& text);

} // namespace pavoline::updater
