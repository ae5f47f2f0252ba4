#include "picture_writers.h"

#include "bytes.h"
#include "file_io.h"

namespace pavoline {
namespace {

void AppendRowsBottomUp(const Canvas& canvas, std::vector<uint8_t>& out) {
    for (int y = canvas.height - 1; y >= 0; --y) {
        const uint32_t* row = canvas.row(y);
        for (int x = 0; x < canvas.width; ++x) PutLe32(out, row[x]);
    }
}

size_t PixelBytes(const Canvas& canvas) {
    return static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height) * 4;
}

} // namespace

std::vector<uint8_t> EncodeBmp32(const Canvas& canvas) {
    const uint32_t imageSize = static_cast<uint32_t>(PixelBytes(canvas));
    std::vector<uint8_t> out;
    out.reserve(kBmpHeaderSize + imageSize);
    out.push_back('B');
    out.push_back('M');
    PutLe32(out, static_cast<uint32_t>(kBmpHeaderSize) + imageSize);
    PutLe32(out, 0);
    PutLe32(out, static_cast<uint32_t>(kBmpHeaderSize));
    PutLe32(out, 40);
    PutLe32(out, static_cast<uint32_t>(canvas.width));
    PutLe32(out, static_cast<uint32_t>(canvas.height));
    PutLe16(out, 1);
    PutLe16(out, 32);
    PutLe32(out, 0);
    PutLe32(out, imageSize);
    for (int i = 0; i < 4; ++i) PutLe32(out, 0);
    AppendRowsBottomUp(canvas, out);
    return out;
}

std::vector<uint8_t> EncodeTga32(const Canvas& canvas) {
    std::vector<uint8_t> out(kTgaHeaderSize, 0);
    out.reserve(kTgaHeaderSize + PixelBytes(canvas));
    out[2] = 2;
    out[12] = static_cast<uint8_t>(canvas.width);
    out[13] = static_cast<uint8_t>(canvas.width >> 8);
    out[14] = static_cast<uint8_t>(canvas.height);
    out[15] = static_cast<uint8_t>(canvas.height >> 8);
    out[16] = 32;
    out[17] = 8;
    AppendRowsBottomUp(canvas, out);
    return out;
}

bool WriteBmp32(const std::string& path, const Canvas& canvas) { return WriteWholeFile(path, EncodeBmp32(canvas)); }
bool WriteTga32(const std::string& path, const Canvas& canvas) { return WriteWholeFile(path, EncodeTga32(canvas)); }

} // namespace pavoline
