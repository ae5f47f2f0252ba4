#pragma once
// Installs an update package over the suite so that the suite is wholly the old version or the new
// one, whatever happens, a kill or a power cut included:
//   1. the archiver lists the package (an encrypted one is refused) and extracts it into a work
//      directory inside the suite directory, so that every later move is a rename on one file
//      system; it must report success;
//   2. the extracted tree may hold only directories and plain files, none of them linked;
//   3. the plan: the directories to make, the files to add and to replace. The user's own part of
//      the suite (IsUsersOwnPath) and the updater's own names are never taken from a package;
//   4. the new files are synced, the plan is written as the journal of the swap (swap_journal.h),
//      and each file to be replaced gets a second name in the work directory (a hard link), all
//      on the disk before the suite changes at all;
//   5. the steps: a directory made, or a file renamed into place over the old one, so that no name
//      is ever empty; the launcher comes last. The running updater is replaced like any file;
//   6. synced, the journal says the swap is complete, and the work directory goes.
// A failure undoes the steps (the old copies renamed back, new files and directories removed). A
// swap cut off by a kill or a power cut is undone by the next start of the launcher or the updater
// (RecoverCutOffUpdates), which comes before anything else.

#include <optional>
#include <string>

namespace pavoline::updater {

enum class InstallStep {
    kDone,
    kNoArchiver,       // neither 7zz nor 7z found
    kNoWorkDirectory,  // the suite directory takes no new folder or file
    kArchiverFailed,   // did not start, or ended with an error or a warning: a damaged package, a full disk
    kEncryptedPackage, // it would ask for a password
    kUnsafeEntry,      // a link, a device or the like in the package
    kMoveFailed,       // a file could not be put into place
};

struct InstallOutcome {
    InstallStep step = InstallStep::kDone;
    std::string detail;       // the path or program concerned, and why
    bool restored = true;     // false when undoing the steps failed somewhere
    std::string keptIn;       // then: the work directory that holds what was not put back
    bool ok() const { return step == InstallStep::kDone; }
};

struct InstallRequest {
    std::string package;
    std::string suiteDir;    // ends with '/'
    std::string ownPath;     // the running updater's program file
    std::string archiver;    // from FindArchiver
    std::string fromVersion; // the suite's version now, for the journal
    std::string launcher;    // the launcher, relative to the suite directory: replaced last
};

// "7z" in the updater's own folder, else "7zz" (7-Zip 22 and later) or an older "7z" on the PATH.
std::optional<std::string> FindArchiver(const std::string& ownDir);

InstallOutcome ApplyUpdate(const InstallRequest& request);

// What the user is told, in the interface's language.
std::string FailureMessage(const InstallOutcome& outcome);

// Undoes every swap that a journal shows was cut off, and removes what a complete one left; the
// line to tell the user, empty when there was nothing to do. Call it only while no updater runs.
std::string RecoverCutOffUpdates(const std::string& suiteDir);

// Work directories without a journal were cut off before the suite changed, and are removed (one
// that holds the old files of an updater that kept no journal stays: they may be the only copy).
void RemoveInstallLeftovers(const std::string& suiteDir);

// The copy of the updater that an earlier version set aside.
void RemoveSetAsideCopy(const std::string& ownPath);
std::string SetAsideName(const std::string& ownPath);

} // namespace pavoline::updater
