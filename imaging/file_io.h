#pragma once
// File and text helpers shared by the console programs.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace pavoline {

// The three characters after the last '.' of the file name, or the whole name when it has no '.'
// and is exactly three characters long; otherwise empty.
std::string ThreeLetterExtension(const std::string& path);

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;
// Opens with fopen's modes; an empty pointer when the file cannot be opened.
FilePtr OpenFile(const std::string& path, const char* mode);

// Length in bytes of an open regular file; -1 for anything else.
int64_t OpenFileLength(FILE* file);

// Length in bytes of a regular file; 0 when it cannot be opened.
int64_t FileLength(const std::string& path);

// Reads at most maxBytes from the start of the file. False when the file cannot be opened.
bool ReadFilePrefix(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes);

// Creates or truncates the file and writes all bytes; on any failure removes what was written.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Removes a partly written output; leaves anything that is not a plain file alone.
void RemoveIfRegularFile(const std::string& path);

bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// printf-style formatting into a string, for the programs' exact console texts.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::vector<std::string> CollectArguments(int argc, char** argv);

} // namespace pavoline
