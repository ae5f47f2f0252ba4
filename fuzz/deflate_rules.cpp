// The DEFLATE rules zlib adds to libdeflate's, held against zlib itself: a stream both libdeflate
// and the rules accept must inflate with zlib to the same bytes, and one zlib inflates must pass
// the rules.
#include "deflate_rules.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <libdeflate.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr size_t kMaxOutput = 1 << 20;

// What zlib inflates the raw stream to, when it ends within the output's size.
bool ZlibInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t& produced) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    produced = z.total_out;
    inflateEnd(&z);
    return result == Z_STREAM_END;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static libdeflate_decompressor* const d = libdeflate_alloc_decompressor();
    static std::vector<uint8_t> libdeflateOut(kMaxOutput), zlibOut(kMaxOutput);
    const bool rules = pavoline::MeetsZlibDeflateRules(data, size);
    size_t zlibProduced = 0, produced = 0;
    const bool zlib = ZlibInflate(data, size, zlibOut, zlibProduced);
    const bool libdeflate = libdeflate_deflate_decompress(d, data, size, libdeflateOut.data(), libdeflateOut.size(),
                                                          &produced) == LIBDEFLATE_SUCCESS;
    if (zlib && !rules) __builtin_trap();
    if (rules && libdeflate &&
        (!zlib || zlibProduced != produced || std::memcmp(zlibOut.data(), libdeflateOut.data(), produced) != 0))
        __builtin_trap();
    return 0;
}
