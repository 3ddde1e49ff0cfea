// The union of a text's coverage drawn at every point of its outline:
// what drawing the text at each of OutlinePoints in turn leaves, worked out
// once so that the outline is composited once. Two kernels do it, each
// faster for its own kind of text, and each has a plain reference that the
// tests hold it to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/Canvas.h"

namespace tovali {

// Rounded a * b / 255 for a product of two bytes.
inline std::uint32_t Div255(std::uint32_t t) {
    t += 128;
    return (t + (t >> 8)) >> 8;
}

// A text's coverage (0..255), width x height bytes row after row.
struct TMaskView {
    const std::uint8_t* coverage = nullptr;
    int width = 0;
    int height = 0;
    const std::uint8_t* Row(int y) const { return coverage + std::size_t(y) * std::size_t(width); }
};

// The coverage of the mask drawn at each of OutlinePoints({k, k}, k), on a
// grid grown by k on every side, by the kernel that costs less for it.
std::vector<std::uint8_t> OutlineUnion(const TMaskView& mask, int k);

namespace outline_union_detail {

// Runs of covered pixels in one mask row, [first, last): wholly covered
// ones (the inside of strokes) apart from partly covered ones (their edges).
struct TRun {
    int y;
    int first;
    int last;
    bool full;
};

struct TRunCounts {
    std::size_t fullRuns = 0;
    std::size_t partlyCovered = 0;  // pixels
};

std::vector<TRun> CoveredRuns(const TMaskView& mask, TRunCounts& counts);

// Each point over the covered runs, in 8 bits, exactly as the draws in turn
// multiply what shows through (width x height: the grown grid).
std::vector<std::uint8_t> UnionByPoint(const TMaskView& mask, const std::vector<TRun>& runs,
                                       const std::vector<TPoint>& offsets, int width, int height);
// Its reference: every point over every pixel of the mask.
std::vector<std::uint8_t> UnionByPointPlain(const TMaskView& mask,
                                            const std::vector<TPoint>& offsets, int width,
                                            int height);

// Products along four lines through each pixel, in floats, blocks at a time.
std::vector<std::uint8_t> UnionOfOutline(const TMaskView& mask, int k);
// Its reference: per pixel, the product over the outline's points, in
// doubles. The two round alike but at the last float bit.
std::vector<std::uint8_t> UnionOfOutlinePlain(const TMaskView& mask, int k);

bool RingIsCheaper(const TRunCounts& counts, std::size_t points, const TMaskView& mask, int k);

}  // namespace outline_union_detail

}  // namespace tovali
