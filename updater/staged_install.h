#pragma once
// Installs an update package over the suite so that the suite is either wholly updated or left as
// it was:
//   1. the archiver extracts the package into a work directory inside the suite directory (so
//      that every later move is a rename on one file system), and must report success;
//   2. the extracted tree may hold only directories and plain files, none of them linked, so
//      nothing in it can lead outside;
//   3. the running updater is set aside under its own name + ".old", freeing its name;
//   4. each extracted file is renamed into place; the file it replaces is kept in the work
//      directory until every file is in;
//   5. any failure undoes the moves in reverse order, set-aside updater included.
// Files of the suite that the package does not carry are never touched, nor are the user's own
// files (InstalledModel.xml, test.flag) even when a package carries them.

#include <optional>
#include <string>

namespace pavoline::updater {

enum class InstallStep {
    kDone,
    kNoArchiver,       // neither 7z nor 7zz found
    kNoWorkDirectory,  // the suite directory takes no new folder
    kArchiverFailed,   // did not start, or ended with an error: a damaged package, a full disk
    kUnsafeEntry,      // a link, a device or the like in the package
    kSetAsideFailed,   // the running updater could not be moved aside
    kMoveFailed,       // a file could not be moved into place
};

struct InstallOutcome {
    InstallStep step = InstallStep::kDone;
    std::string detail;       // the path or program concerned, and why
    bool restored = true;     // false when undoing the moves failed somewhere
    std::string keptIn;       // then: the work directory that holds what was not put back
    bool ok() const { return step == InstallStep::kDone; }
};

struct InstallRequest {
    std::string package;
    std::string suiteDir;   // ends with '/'
    std::string ownPath;    // the running updater's program file
    std::string archiver;   // from FindArchiver
};

// "7z" in the updater's own folder, else "7z" or "7zz" on the PATH.
std::optional<std::string> FindArchiver(const std::string& ownDir);

InstallOutcome ApplyUpdate(const InstallRequest& request);

// What the user is told, in the interface's language.
std::string FailureMessage(const InstallOutcome& outcome);

// Work directories of an update that was cut off before it moved any file are removed; one that
// holds replaced files is kept, for they are the only copy of the suite's old files.
void RemoveInstallLeftovers(const std::string& suiteDir);

// The copy of the updater that the last update set aside.
void RemoveSetAsideCopy(const std::string& ownPath);
std::string SetAsideName(const std::string& ownPath);

} // namespace pavoline::updater
