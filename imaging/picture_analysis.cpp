#include "picture_analysis.h"

#include <algorithm>
#include <functional>

namespace pavoline {
namespace {

constexpr int kMaxMargin = 255;
constexpr uint32_t kNoSlot = UINT32_MAX;

// Map from key to slot (the order keys were first seen). Opaque keys, the common case, are looked
// up directly by their 16 colour bits; the others in an open-addressing table with room for every
// key a palette can take. The last key is remembered, since neighbouring pixels repeat.
class KeySlots {
public:
    KeySlots() : opaque_(kOpaqueKeys, kNoSlot), entries_(kCapacity, Entry{0, kNoSlot}) {}

    // The key's slot, given on first sight; kNoSlot when the palette is full.
    uint32_t slotOf(uint32_t key) {
        if (key == lastKey_ && lastSlot_ != kNoSlot) return lastSlot_;
        uint32_t& slot = (key >> 24) == 0xFF ? opaque_[Rgb565Bits(key)] : translucentSlot(key);
        if (slot == kNoSlot) {
            if (order_.size() >= kMaxPaletteColours) return kNoSlot;
            slot = static_cast<uint32_t>(order_.size());
            order_.push_back(key);
        }
        lastKey_ = key;
        lastSlot_ = slot;
        return slot;
    }
    // Keys in the order their slots were given.
    const std::vector<uint32_t>& keys() const { return order_; }

private:
    struct Entry {
        uint32_t key;
        uint32_t slot;
    };
    static constexpr size_t kOpaqueKeys = size_t{1} << 16;
    static constexpr unsigned kBits = 17; // over twice the most keys, so probes stay short
    static constexpr size_t kCapacity = size_t{1} << kBits;
    static size_t Hash(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kBits); }
    static uint32_t Rgb565Bits(uint32_t key) { return (key >> 8 & 0xF800) | (key >> 5 & 0x07E0) | (key >> 3 & 0x1F); }

    // The slot field of the key's entry; a fresh entry holds kNoSlot.
    uint32_t& translucentSlot(uint32_t key) {
        size_t at = Hash(key);
        while (entries_[at].slot != kNoSlot && entries_[at].key != key) at = (at + 1) & (kCapacity - 1);
        entries_[at].key = key;
        return entries_[at].slot;
    }

    std::vector<uint32_t> opaque_;
    std::vector<Entry> entries_;
    std::vector<uint32_t> order_;
    uint32_t lastKey_ = 0;
    uint32_t lastSlot_ = kNoSlot;
};

void ClampMargins(PictureAnalysis& a, int width, int height) {
    CodedArea& box = a.area;
    box.minX = std::min(box.minX, kMaxMargin);
    box.minY = std::min(box.minY, kMaxMargin);
    if (width - box.maxX - 1 > kMaxMargin) box.maxX = width - kMaxMargin - 1;
    if (height - box.maxY - 1 > kMaxMargin) box.maxY = height - kMaxMargin - 1;
    a.left = static_cast<uint8_t>(box.minX);
    a.top = static_cast<uint8_t>(box.minY);
    a.right = static_cast<uint8_t>(width - box.maxX - 1);
    a.bottom = static_cast<uint8_t>(height - box.maxY - 1);
}

} // namespace

unsigned EncoderIndexWidth(size_t colours) {
    unsigned k = 1;
    while ((size_t{1} << k) < colours + 1) ++k;
    return k;
}

uint16_t PaletteRgb565(uint32_t key) {
    const uint32_t a = key >> 24;
    uint32_t b = key & 0xFF;
    if (b == 0xF8) b = 0xF0; // a 5-bit blue of 31 is written as 30
    auto premultiply = [a](uint32_t x) { return ((x * a + 128) * 257) >> 16; };
    const uint32_t r = premultiply((key >> 16) & 0xFF), g = premultiply((key >> 8) & 0xFF);
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (premultiply(b) >> 3));
}

std::optional<PictureAnalysis> AnalysePicture(const Canvas& picture) {
    const int w = picture.width, h = picture.height;
    PictureAnalysis a;
    // First pass: every visible key gets a slot, and the box grows to hold its pixel.
    KeySlots slots;
    CodedArea box{w, h, 0, 0};
    bool any = false;
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = picture.row(y);
        for (int x = 0; x < w; ++x) {
            if ((row[x] >> 24) == 0) continue;
            if (slots.slotOf(ColourKey(row[x])) == kNoSlot) return std::nullopt;
            box.minX = std::min(box.minX, x);
            box.maxX = std::max(box.maxX, x);
            box.minY = std::min(box.minY, y);
            box.maxY = y;
            any = true;
        }
    }
    if (!any) box = CodedArea{w / 2, h / 2, w / 2, h / 2};
    a.area = box;
    ClampMargins(a, w, h);

    // The table's order, and each slot's palette index.
    a.table.keys = slots.keys();
    std::sort(a.table.keys.begin(), a.table.keys.end(), std::greater<uint32_t>());
    a.table.opaqueCount = static_cast<size_t>(
        std::find_if(a.table.keys.begin(), a.table.keys.end(), [](uint32_t k) { return (k >> 24) != 0xFF; }) -
        a.table.keys.begin());
    std::vector<uint16_t> indexOfSlot(slots.keys().size());
    for (size_t i = 0; i < slots.keys().size(); ++i) {
        const uint32_t key = slots.keys()[i];
        const auto at = std::lower_bound(a.table.keys.begin(), a.table.keys.end(), key, std::greater<uint32_t>());
        indexOfSlot[i] = static_cast<uint16_t>(at - a.table.keys.begin() + 1);
    }

    // Second pass over the coded area: every key has its slot already.
    a.indices.resize(static_cast<size_t>(a.area.width()) * a.area.height());
    uint16_t* index = a.indices.data();
    for (int y = a.area.minY; y <= a.area.maxY; ++y) {
        const uint32_t* row = picture.row(y);
        for (int x = a.area.minX; x <= a.area.maxX; ++x)
            *index++ = (row[x] >> 24) == 0 ? 0 : indexOfSlot[slots.slotOf(ColourKey(row[x]))];
    }
    return a;
}

} // namespace pavoline
