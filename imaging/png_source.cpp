#include "png_source.h"

#include "bmp_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <png.h>
#include <vector>

namespace pavoline {
namespace {

// Ancillary chunks (text, ICC profiles) above this size are refused rather than inflated.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

struct MemoryInput {
    const uint8_t* bytes;
    size_t size;
    size_t at = 0;
};

// Lives outside the function that calls setjmp, so nothing it holds is lost by a longjmp.
struct PngReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<png_bytep> rows;
    PngSource result;
};

void OnError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngReadState*>(png_get_error_ptr(png));
    state->result.reason = message;
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep data, size_t length) {
    auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (length > input->size - input->at) png_error(png, "unexpected end of data");
    std::memcpy(data, input->bytes + input->at, length);
    input->at += length;
}

void AskForEightBitBgra(png_structp png, png_infop info) {
    const png_byte colourType = png_get_color_type(png, info);
    png_set_expand(png); // palette to RGB, tRNS to alpha, low-depth grey to 8 bits
    png_set_scale_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!(colourType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// Returns with state.result filled in; every libpng error comes back here through the longjmp,
// so this function keeps no local that owns anything.
void Decode(PngReadState& state) {
    if (setjmp(png_jmpbuf(state.png))) {
        state.result.status = PngSource::Status::Broken;
        return;
    }
    png_set_chunk_malloc_max(state.png, kMaxChunkBytes);
    png_read_info(state.png, state.info);
    const png_uint_32 width = png_get_image_width(state.png, state.info);
    const png_uint_32 height = png_get_image_height(state.png, state.info);
    if (width < 1 || width > kMaxSourceSide || height < 1 || height > kMaxSourceSide) {
        state.result.status = PngSource::Status::SizeOutOfRange;
        return;
    }
    AskForEightBitBgra(state.png, state.info);
    if (png_get_rowbytes(state.png, state.info) != width * 4) png_error(state.png, "unexpected pixel layout");

    Canvas& picture = state.result.picture;
    picture = Canvas(static_cast<int>(width), static_cast<int>(height), 0);
    state.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        state.rows[y] = reinterpret_cast<png_bytep>(picture.row(static_cast<int>(y)));
    png_read_image(state.png, state.rows.data());
    png_read_end(state.png, nullptr);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (uint32_t& pixel : picture.pixels) pixel = __builtin_bswap32(pixel);
#endif
    state.result.status = PngSource::Status::Decoded;
}

PngSource DecodeWith(void (*attach)(png_structp, void*), void* source) {
    PngReadState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    if (state.png) state.info = png_create_info_struct(state.png);
    if (!state.png || !state.info) {
        png_destroy_read_struct(&state.png, nullptr, nullptr);
        state.result.reason = "out of memory";
        return state.result;
    }
    attach(state.png, source);
    Decode(state);
    png_destroy_read_struct(&state.png, &state.info, nullptr);
    if (state.result.status != PngSource::Status::Decoded) state.result.picture = Canvas();
    return std::move(state.result);
}

} // namespace

PngSource DecodePngSource(const uint8_t* bytes, size_t size) {
    MemoryInput input{bytes, size};
    return DecodeWith([](png_structp png, void* in) { png_set_read_fn(png, in, ReadFromMemory); }, &input);
}

PngSource ReadPngSource(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        PngSource result;
        result.status = PngSource::Status::CannotOpen;
        result.reason = std::strerror(errno);
        return result;
    }
    PngSource result = DecodeWith([](png_structp png, void* in) { png_init_io(png, static_cast<FILE*>(in)); }, file);
    std::fclose(file);
    return result;
}

} // namespace pavoline
