#pragma once
// A 32-bit picture: 0xAARRGGBB per pixel, row-major, top row first, stride = width.
// In memory and on disk the bytes of a pixel are blue, green, red, alpha.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pavoline {

constexpr uint32_t kBlankPixel = 0x00FFFFFF; // white, fully transparent

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    Canvas() = default;
    Canvas(int w, int h, uint32_t fill = kBlankPixel)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}

    uint32_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width); }
    const uint32_t* row(int y) const {
        return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    }
    uint32_t at(int x, int y) const { return row(y)[x]; }
    // True when a w x h picture placed at (x, y) lies wholly inside this canvas.
    bool holds(int x, int y, int w, int h) const {
        return x >= 0 && y >= 0 && w >= 0 && h >= 0 && x <= width - w && y <= height - h;
    }
};

} // namespace pavoline
