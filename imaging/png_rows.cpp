#include "png_rows.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pavoline {
namespace {

// The plain forms, byte by byte: every pixel size, and every target.
uint8_t PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

void UnfilterSubPlain(uint8_t* row, size_t n, unsigned bpp) {
    for (size_t i = bpp; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
}

void UnfilterUpPlain(uint8_t* row, const uint8_t* above, size_t n) {
    for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + above[i]);
}

void UnfilterAveragePlain(uint8_t* row, const uint8_t* above, size_t n, unsigned bpp) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned a = i >= bpp ? row[i - bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + ((a + above[i]) >> 1));
    }
}

void UnfilterPaethPlain(uint8_t* row, const uint8_t* above, size_t n, unsigned bpp) {
    for (size_t i = 0; i < n; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0, c = i >= bpp ? above[i - bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + PaethPredictor(a, above[i], c));
    }
}

#if defined(__SSE2__)

// Sub, Average and Paeth chain from each pixel to the next, so these take one pixel per step in
// the low lanes of a register; Up has no chain and takes 16 bytes at a time.
template <unsigned Bpp> __m128i LoadPixel(const uint8_t* p) {
    uint32_t v = 0;
    std::memcpy(&v, p, Bpp);
    return _mm_cvtsi32_si128(static_cast<int>(v));
}

template <unsigned Bpp> void StorePixel(uint8_t* p, __m128i v) {
    const uint32_t word = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
    std::memcpy(p, &word, Bpp);
}

template <unsigned Bpp> void UnfilterSubSse2(uint8_t* row, size_t n) {
    __m128i a = _mm_setzero_si128();
    for (size_t i = 0; i < n; i += Bpp) {
        a = _mm_add_epi8(a, LoadPixel<Bpp>(row + i));
        StorePixel<Bpp>(row + i, a);
    }
}

void UnfilterUpSse2(uint8_t* row, const uint8_t* above, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_add_epi8(x, b));
    }
    UnfilterUpPlain(row + i, above + i, n - i);
}

template <unsigned Bpp> void UnfilterAverageSse2(uint8_t* row, const uint8_t* above, size_t n) {
    const __m128i one = _mm_set1_epi8(1);
    __m128i a = _mm_setzero_si128();
    for (size_t i = 0; i < n; i += Bpp) {
        const __m128i b = LoadPixel<Bpp>(above + i);
        // pavgb rounds up; the filter rounds down.
        const __m128i floorAverage = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        a = _mm_add_epi8(LoadPixel<Bpp>(row + i), floorAverage);
        StorePixel<Bpp>(row + i, a);
    }
}

__m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }
__m128i Select(__m128i mask, __m128i ifSet, __m128i otherwise) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, otherwise));
}

template <unsigned Bpp> void UnfilterPaethSse2(uint8_t* row, const uint8_t* above, size_t n) {
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero, c = zero; // 16-bit lanes
    for (size_t i = 0; i < n; i += Bpp) {
        const __m128i b = _mm_unpacklo_epi8(LoadPixel<Bpp>(above + i), zero);
        // With p = a + b - c: p - a = b - c, p - b = a - c, p - c = (b - c) + (a - c).
        const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
        const __m128i pa = Abs16(bc), pb = Abs16(ac), pc = Abs16(_mm_add_epi16(bc, ac));
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        const __m128i nearest =
            Select(_mm_cmpeq_epi16(smallest, pa), a, Select(_mm_cmpeq_epi16(smallest, pb), b, c));
        const __m128i pixel = _mm_add_epi8(LoadPixel<Bpp>(row + i), _mm_packus_epi16(nearest, zero));
        StorePixel<Bpp>(row + i, pixel);
        a = _mm_unpacklo_epi8(pixel, zero);
        c = b;
    }
}

template <unsigned Bpp> void UnfilterSized(uint8_t filter, uint8_t* row, const uint8_t* above, size_t n) {
    switch (filter) {
    case 1: UnfilterSubSse2<Bpp>(row, n); break;
    case 2: UnfilterUpSse2(row, above, n); break;
    case 3: UnfilterAverageSse2<Bpp>(row, above, n); break;
    case 4: UnfilterPaethSse2<Bpp>(row, above, n); break;
    default: break;
    }
}

#endif

void UnfilterPlain(uint8_t filter, uint8_t* row, const uint8_t* above, size_t n, unsigned bpp) {
    switch (filter) {
    case 1: UnfilterSubPlain(row, n, bpp); break;
    case 2: UnfilterUpPlain(row, above, n); break;
    case 3: UnfilterAveragePlain(row, above, n, bpp); break;
    case 4: UnfilterPaethPlain(row, above, n, bpp); break;
    default: break;
    }
}

uint32_t Argb(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }

} // namespace

void UnfilterPngRow(uint8_t filter, uint8_t* row, const uint8_t* above, size_t rowBytes, unsigned pixelBytes) {
#if defined(__SSE2__)
    if (pixelBytes == 4) return UnfilterSized<4>(filter, row, above, rowBytes);
    if (pixelBytes == 3) return UnfilterSized<3>(filter, row, above, rowBytes);
#endif
    UnfilterPlain(filter, row, above, rowBytes, pixelBytes);
}

void RgbaRowToArgb(const uint8_t* samples, uint32_t* out, size_t pixels) {
    size_t i = 0;
#if defined(__SSE2__)
    // Little-endian words of R,G,B,A bytes are 0xAABBGGRR: swap the red and blue bytes.
    const __m128i alphaGreen = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
    for (; i + 4 <= pixels; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 4 * i));
        const __m128i redBlue = _mm_andnot_si128(alphaGreen, v);
        const __m128i swapped = _mm_or_si128(_mm_slli_epi32(redBlue, 16), _mm_srli_epi32(redBlue, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_or_si128(_mm_and_si128(v, alphaGreen), swapped));
    }
#endif
    for (; i < pixels; ++i) {
        const uint8_t* s = samples + 4 * i;
        out[i] = Argb(s[0], s[1], s[2], s[3]);
    }
}

void RgbRowToArgb(const uint8_t* samples, uint32_t* out, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* s = samples + 3 * i;
        out[i] = Argb(s[0], s[1], s[2], 0xFF);
    }
}

void PaletteRowToArgb(const uint8_t* indices, const uint32_t palette[256], uint32_t* out, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) out[i] = palette[indices[i]];
}

} // namespace pavoline
