// The date and the comment stamped on a picture: one kind of text, held as
// one type by the engine's options, the settings and the window.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Raster.h"

namespace tovali {

// One byte each, like the other option enumerations: values outside the
// named ones can occur and are reported by the step that uses them.
enum TDrawPos : std::uint8_t {
    dpLeftTop = 0,
    dpTop = 1,
    dpRightTop = 2,
    dpLeft = 3,
    dpCenter = 4,
    dpRight = 5,
    dpLeftBottom = 6,
    dpBottom = 7,
    dpRightBottom = 8,
};

enum TTextSizeLevel : std::uint8_t {
    tsExtraLarge = 0,
    tsLarge = 1,
    tsMedium = 2,
    tsSmall = 3,
    tsExtraSmall = 4,
};

// A text stamped on the picture, the date or the comment: both are drawn the
// same way, in a face, size and two colours at one of nine places. The
// settings, the window's two text pages and the options each hold the date
// and the comment as one of these.
struct TTextStamp {
    bool Use = false;
    // The comment; for the date, the entered date, which a picture's own
    // date replaces when the date comes from the picture (DateOf).
    std::string Text;
    TColor ColorOuter = 0;
    TColor ColorInner = 0;
    std::string FontName;
    TTextSizeLevel FontSize = tsExtraLarge;
    TDrawPos Pos = dpLeftTop;

    friend bool operator==(const TTextStamp&, const TTextStamp&) = default;
};

}  // namespace tovali
