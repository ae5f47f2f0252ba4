#pragma once

#include <cstdint>
#include <cstdio>

namespace pavoline {

constexpr size_t kFrameCopyChunk = 1024;

enum class CopyResult { Copied, ReadShort, WriteFailed };

// Copies count bytes from the current position of one file to the other in chunks of at most 1024.
CopyResult CopyFileBytes(FILE* from, FILE* to, uint64_t count);

} // namespace pavoline
