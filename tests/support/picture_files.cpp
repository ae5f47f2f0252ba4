#include "picture_files.h"

#include "bytes.h"

#include <png.h>
#include <zlib.h>
#include <stdexcept>

namespace pavoline::test {

std::vector<uint8_t> BuildBmp(const BmpSpec& s) {
    const size_t stride = (static_cast<size_t>(s.width) * s.bitsPerPixel + 31) / 32 * 4;
    const size_t pixelOffset = 14 + s.infoSize + 4 * s.table.size();
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PutLe32(out, static_cast<uint32_t>(pixelOffset + stride * s.height));
    PutLe32(out, 0);
    PutLe32(out, static_cast<uint32_t>(pixelOffset));
    PutLe32(out, s.infoSize);
    PutLe32(out, static_cast<uint32_t>(s.width));
    PutLe32(out, static_cast<uint32_t>(s.height));
    PutLe16(out, 1);
    PutLe16(out, static_cast<uint32_t>(s.bitsPerPixel));
    PutLe32(out, s.compression);
    PutLe32(out, static_cast<uint32_t>(stride * s.height));
    PutLe32(out, 0);
    PutLe32(out, 0);
    PutLe32(out, s.coloursUsed);
    PutLe32(out, 0);
    out.resize(14 + s.infoSize, 0);
    for (uint32_t entry : s.table) PutLe32(out, entry);
    for (int y = s.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < s.width; ++x) {
            const uint32_t v = s.pixels[static_cast<size_t>(y) * s.width + x];
            if (s.bitsPerPixel == 4)
                row[x / 2] |= static_cast<uint8_t>((v & 0x0F) << (x % 2 ? 0 : 4));
            else if (s.bitsPerPixel == 8)
                row[x] = static_cast<uint8_t>(v);
            else
                for (int b = 0; b < s.bitsPerPixel / 8; ++b) row[x * (s.bitsPerPixel / 8) + b] = uint8_t(v >> (8 * b));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> BuildBmp32(const Canvas& picture) {
    BmpSpec s;
    s.width = picture.width;
    s.height = picture.height;
    s.bitsPerPixel = 32;
    s.pixels = picture.pixels;
    return BuildBmp(s);
}

namespace {
void Append(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
} // namespace

std::vector<uint8_t> BuildPng(const PngSpec& s) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("cannot make the test PNG");
    }
    png_set_write_fn(png, &out, Append, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(s.width), static_cast<png_uint_32>(s.height), s.bitDepth,
                 s.colourType, s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < s.palette.size(); i += 3) palette.push_back({s.palette[i], s.palette[i + 1], s.palette[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 grey{};
    grey.gray = static_cast<png_uint_16>(s.transparentGrey);
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, s.paletteAlpha.data(), static_cast<int>(s.paletteAlpha.size()), nullptr);
    else if (s.transparentGrey >= 0)
        png_set_tRNS(png, info, nullptr, 0, &grey);
    if (s.filters != 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, s.filters);
    if (s.idatBytes != 0) png_set_compression_buffer_size(png, s.idatBytes);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (const auto& row : s.rows) rows.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> BuildPngRgba(const Canvas& picture) {
    PngSpec s;
    s.width = picture.width;
    s.height = picture.height;
    for (int y = 0; y < picture.height; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t p = picture.at(x, y);
            row.insert(row.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
        }
        s.rows.push_back(std::move(row));
    }
    return BuildPng(s);
}

std::vector<PngChunk> SplitPng(const std::vector<uint8_t>& png) {
    std::vector<PngChunk> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = Be32(png.data() + at);
        PngChunk c;
        c.type.assign(png.begin() + at + 4, png.begin() + at + 8);
        c.data.assign(png.begin() + at + 8, png.begin() + at + 8 + length);
        c.crc = Be32(png.data() + at + 8 + length);
        chunks.push_back(std::move(c));
        at += 12 + length;
    }
    return chunks;
}

std::vector<uint8_t> JoinPng(const std::vector<PngChunk>& chunks) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const PngChunk& c : chunks) {
        PutBe32(out, static_cast<uint32_t>(c.data.size()));
        const size_t typeAt = out.size();
        out.insert(out.end(), c.type.begin(), c.type.end());
        out.insert(out.end(), c.data.begin(), c.data.end());
        PutBe32(out, c.crc ? *c.crc
                           : static_cast<uint32_t>(crc32(0, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt))));
    }
    return out;
}

} // namespace pavoline::test
