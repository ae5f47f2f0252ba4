#pragma once
// libdeflate inflates some DEFLATE streams that zlib refuses, so a picture kelpa's fast path reads
// could be one that libspng (on zlib) would not. This walks a stream's blocks and codes without
// producing output and holds it to the rules zlib adds; the tests and the fuzz targets use it to
// tell that leniency from a real difference between the two readers:
//
//   rule                                                          zlib's message
//   a dynamic block defines at most 286 length and 30 distance    too many length or distance symbols
//   codes
//   the code-length code is complete                              invalid code lengths set
//   a repeat neither starts the lengths nor runs past their end   invalid bit length repeat
//   the end-of-block code has a length                            invalid code -- missing end-of-block
//   an incomplete code has one codeword of one bit, and the       invalid literal/lengths set,
//   unused codeword never appears                                 invalid ... code
//   fixed codes 286, 287 and distance codes 30, 31 never appear   invalid literal/length code,
//                                                                 invalid distance code
//
// It is meant for streams libdeflate has inflated: block types, stored lengths and over-subscribed
// codes are checked here too, but a distance reaching before the start of the output is left to
// libdeflate. About as costly as inflating, since every codeword must be walked to find the
// blocks.

#include <cstddef>
#include <cstdint>

namespace pavoline {

// `stream` is raw DEFLATE data (a zlib stream without its 2-byte header); bytes after the final
// block are not read.
bool MeetsZlibDeflateRules(const uint8_t* stream, size_t size);

} // namespace pavoline
