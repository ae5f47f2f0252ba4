#include "picture_analysis.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace pavoline {
namespace {

constexpr int kMaxMargin = 255;
constexpr uint32_t kOpaqueAlpha = 0xFF;
constexpr size_t kOpaqueKeys = size_t{1} << 16;

// An opaque key's 16 colour bits, in the key's own order: a higher key has higher bits.
uint32_t Rgb565Bits(uint32_t pixel) { return (pixel >> 8 & 0xF800) | (pixel >> 5 & 0x07E0) | (pixel >> 3 & 0x1F); }
uint32_t OpaqueKey(uint32_t bits) {
    return kOpaqueAlpha << 24 | (bits >> 11) << 19 | (bits >> 5 & 0x3F) << 10 | (bits & 0x1F) << 3;
}

// The translucent keys of a picture, in an open-addressing table with room for every key a
// palette can take; each key gets a value, its palette index, once the keys are ordered.
// Neighbouring pixels repeat, so the last key is remembered. Key 0 (transparent) marks a free entry.
class TranslucentKeys {
public:
    // False when the key is new and the table already holds as many keys as a palette can take.
    bool add(uint32_t key) {
        if (key == lastKey_) return true;
        if (entries_.empty()) entries_.assign(kCapacity, Entry{});
        Entry& entry = find(key);
        if (entry.key == 0) {
            if (keys_.size() >= kMaxPaletteColours) return false;
            entry.key = key;
            keys_.push_back(key);
        }
        lastKey_ = key;
        lastEntry_ = &entry;
        return true;
    }
    // Sorts the keys descending and numbers them on from the opaque ones.
    const std::vector<uint32_t>& order(size_t opaqueCount) {
        std::sort(keys_.begin(), keys_.end(), std::greater<uint32_t>());
        for (size_t i = 0; i < keys_.size(); ++i) find(keys_[i]).index = static_cast<uint16_t>(opaqueCount + i + 1);
        return keys_;
    }
    // The palette index of a key that was added, once ordered.
    uint16_t indexOf(uint32_t key) {
        if (key != lastKey_) {
            lastKey_ = key;
            lastEntry_ = &find(key);
        }
        return lastEntry_->index;
    }
    size_t size() const { return keys_.size(); }

private:
    struct Entry {
        uint32_t key = 0;
        uint16_t index = 0;
    };
    static constexpr unsigned kBits = 17; // over twice the most keys, so probes stay short
    static constexpr size_t kCapacity = size_t{1} << kBits;
    static size_t Hash(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kBits); }

    // The key's entry, or the free entry where it belongs.
    Entry& find(uint32_t key) {
        size_t at = Hash(key);
        while (entries_[at].key != 0 && entries_[at].key != key) at = (at + 1) & (kCapacity - 1);
        return entries_[at];
    }

    std::vector<Entry> entries_;
    std::vector<uint32_t> keys_;
    uint32_t lastKey_ = 0;
    Entry* lastEntry_ = nullptr;
};

// x of the first and last pixel of a row that is not fully transparent; first > last when none is.
std::pair<int, int> VisibleSpan(const uint32_t* row, int width) {
    int first = 0, last = width - 1;
    while (first < width && (row[first] >> 24) == 0) ++first;
    while (last > first && (row[last] >> 24) == 0) --last;
    return {first, last};
}

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
    // One pass over the pixels: opaque keys are marked in a table indexed by their colour bits,
    // translucent ones collected, and the box grows row by row.
    std::vector<uint8_t> opaqueSeen(kOpaqueKeys, 0);
    TranslucentKeys translucent;
    CodedArea box{w, h, 0, 0};
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = picture.row(y);
        const auto [first, last] = VisibleSpan(row, w);
        if (first > last) continue;
        for (int x = first; x <= last; ++x) {
            const uint32_t alpha = row[x] >> 24;
            if (alpha == kOpaqueAlpha)
                opaqueSeen[Rgb565Bits(row[x])] = 1;
            else if (alpha != 0 && !translucent.add(ColourKey(row[x])))
                return std::nullopt;
        }
        box.minX = std::min(box.minX, first);
        box.maxX = std::max(box.maxX, last);
        box.minY = std::min(box.minY, y);
        box.maxY = y;
    }
    if (box.minX > box.maxX) box = CodedArea{w / 2, h / 2, w / 2, h / 2};

    // Opaque keys come first, highest first; their order is that of their colour bits.
    PictureAnalysis a;
    std::vector<uint16_t> opaqueIndex(kOpaqueKeys, 0);
    for (uint32_t bits = kOpaqueKeys; bits-- > 0;) {
        if (!opaqueSeen[bits]) continue;
        if (a.table.keys.size() >= kMaxPaletteColours) return std::nullopt;
        a.table.keys.push_back(OpaqueKey(bits));
        opaqueIndex[bits] = static_cast<uint16_t>(a.table.keys.size());
    }
    a.table.opaqueCount = a.table.keys.size();
    if (a.table.opaqueCount + translucent.size() > kMaxPaletteColours) return std::nullopt;
    const std::vector<uint32_t>& translucentKeys = translucent.order(a.table.opaqueCount);
    a.table.keys.insert(a.table.keys.end(), translucentKeys.begin(), translucentKeys.end());

    a.area = box;
    ClampMargins(a, w, h);
    a.indices.resize(static_cast<size_t>(a.area.width()) * a.area.height());
    uint16_t* index = a.indices.data();
    for (int y = a.area.minY; y <= a.area.maxY; ++y) {
        const uint32_t* row = picture.row(y);
        for (int x = a.area.minX; x <= a.area.maxX; ++x) {
            const uint32_t alpha = row[x] >> 24;
            *index++ = alpha == kOpaqueAlpha ? opaqueIndex[Rgb565Bits(row[x])]
                       : alpha == 0          ? 0
                                             : translucent.indexOf(ColourKey(row[x]));
        }
    }
    return a;
}

} // namespace pavoline
