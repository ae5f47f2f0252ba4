#include "frame_copy.h"

#include <algorithm>

namespace pavoline {

CopyResult CopyFileBytes(FILE* from, FILE* to, uint64_t count) {
    unsigned char chunk[kFrameCopyChunk];
    while (count > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(count, sizeof chunk));
        if (std::fread(chunk, 1, want, from) != want) return CopyResult::ReadShort;
        if (std::fwrite(chunk, 1, want, to) != want) return CopyResult::WriteFailed;
        count -= want;
    }
    return CopyResult::Copied;
}

} // namespace pavoline
