#pragma once

namespace pavoline {

enum class DecodeStatus {
    Drawn,        // the image was drawn
    NothingDrawn, // the file carries no drawable image; the canvas is untouched
    Malformed,    // a section runs past the bytes, or the geometry is impossible; nothing was drawn
};

} // namespace pavoline
