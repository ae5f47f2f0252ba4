#pragma once
// What the suite needs of the operating system, without Qt: its own directory, the temporary
// directory, a millisecond clock, file attributes, recursive delete and starting programs.
// Directory paths end with '/'.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pavoline {

// Full path of the running program file itself (no override: the updater renames it).
std::string ProgramFilePath();
// Directory of the running program file; PAVOLINE_PROGRAM_DIR overrides it (tests, relocation).
std::string ProgramDir();

// A cross-process name with PAVOLINE_INSTANCE_SUFFIX appended, so that tests can run whole
// suites side by side without one seeing the other's locks.
std::string WithInstanceSuffix(const std::string& name);

// $TMPDIR, else /tmp.
std::string TempDir();

// Milliseconds from a monotonic clock; wraps like the 32-bit tick count it replaces.
uint32_t TickCount();
void SleepMs(uint32_t milliseconds);

// dir + prefix + "<tick>.<ext>". The name is reserved by creating the file empty (never through a
// link or over a file someone else planted); the tick is moved on past names already taken, so two
// calls within one millisecond, in this process or another, get different names.
std::string ReserveFileName(const std::string& dir, const std::string& prefix, const std::string& extension);
// ReserveFileName(TempDir(), "~tavix_", extension); just TempDir() for an empty extension.
std::string TempFileName(const std::string& extension);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsReadOnly(const std::string& path);
bool SetReadOnly(const std::string& path, bool readOnly);
std::optional<uint64_t> FileSize(const std::string& path);

// Writes every byte, going on after a partial write or an interruption.
bool WriteAll(int fd, const void* data, size_t size);

// Work names beside what they stand in for end in six letters or digits, made unique by creating
// them; the start-up clean-up recognises them by that suffix.
constexpr size_t kUniqueSuffixLength = 6;
bool IsUniqueSuffix(const std::string& text);
// prefix + a unique suffix, created as an empty directory with the usual mode (0755 less the
// umask); nothing when it cannot be made.
std::optional<std::string> MakeUniqueDirectory(const std::string& prefix);

// Replaces a file the suite owns: writes a new file beside it (path + "." + unique suffix)
// through writeTo, syncs it, renames it over path and syncs the directory, so that the old file
// stays whole until the new one is, a crash included. The new file keeps the old one's mode; a
// file that did not exist gets 0666 less the umask. A file that may not be written is left alone.
// Returns 0, or the errno of the failed step.
int ReplaceFile(const std::string& path, const std::function<bool(int fd)>& writeTo);

// Puts everything written to the file system that holds path on the disk (names, contents, renames);
// true when it could.
bool SyncFileSystemOf(const std::string& path);

// Deletes a directory with everything in it, making read-only files writable first. Failures are
// skipped; whatever could not be removed stays. True when everything is gone, the directory too.
// A symbolic link is removed itself, never followed.
bool DeleteTree(const std::string& path);

// Creates every missing directory of the path; true when it is a directory afterwards.
bool MakeDirectories(const std::string& path);

// True for a name that may stand as one directory entry: not empty, not "." or "..", no '/' and
// no backslash (a separator where the suite's names come from).
bool IsPlainName(const std::string& name);

// The user's own part of the suite directory, which belongs to no version of the suite, so that an
// update neither brings nor replaces it: "InstalledModel.xml", "test.flag", the installed models in
// "Resource/" and the updater's "Novarel/temp/". relative: a path below the suite directory.
bool IsUsersOwnPath(const std::string& relative);

// ProgramDir() + "Resource/", created when missing.
std::string ResourceDir(const std::string& programDir = ProgramDir());
// The entry of dir (ending in '/') whose name equals name without regard to letter case: the name
// itself when it is there or when no entry matches. Model names are compared without case, and
// the file system may keep a model's directory and files in another case than the catalogue.
std::string EntryNamedIgnoringCase(const std::string& dir, const std::string& name);
// ResourceDir + the model's directory + "/": the one whose name equals the model's without regard
// to letter case, else one of the model's name, created. Nothing for a model name that is not a
// plain name, so that no caller can ever address Resource/ itself or a path outside it.
std::optional<std::string> ModelPackageDir(const std::string& model, const std::string& programDir = ProgramDir());
// The model's directory without the trailing '/', as ModelPackageDir finds it, but never created.
std::optional<std::string> ExistingModelDir(const std::string& model, const std::string& programDir = ProgramDir());
// A file of the model in its directory dir: dir + the entry named model + suffix in any case.
std::string ModelFile(const std::string& dir, const std::string& model, const std::string& suffix);

// Starts a program with an argument list (no shell) and does not wait for it.
bool StartProgram(const std::string& program, const std::vector<std::string>& args);

// Runs a program with an argument list (no shell) and waits for it: its exit code, or nothing when
// it could not be started or did not exit normally. It reads nothing (standard input is /dev/null,
// so it can never wait for an answer); its standard output is discarded, or collected into output.
// It is killed when the calling thread ends, the caller killed included.
std::optional<int> RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                                     std::string* output = nullptr);

// The first directory of $PATH holding an executable file of that name; nothing when none does.
std::optional<std::string> FindProgramOnPath(const std::string& name);
bool IsExecutableFile(const std::string& path);

// Deletes the files (and links) directly in a directory; subdirectories stay.
void DeleteFilesIn(const std::string& dir);

} // namespace pavoline
