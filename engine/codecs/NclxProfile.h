// Colour descriptions of the video world (ITU-T H.273 code points, as HEIF
// and AVIF files carry them in an "nclx" box) turned into ICC profiles, so
// that the engine's one colour conversion handles every tagged picture.
#pragma once

#include <cstdint>
#include <vector>

namespace tovali {

struct TNclxColour {
    int Primaries = 2;  // H.273 ColourPrimaries; 2 = unspecified
    int Transfer = 2;   // H.273 TransferCharacteristics; 2 = unspecified
    // Chromaticities (x, y) of red, green, blue and white, as libheif
    // decodes them from Primaries.
    double RedX = 0, RedY = 0, GreenX = 0, GreenY = 0, BlueX = 0, BlueY = 0, WhiteX = 0, WhiteY = 0;
};

// True when the pixels are sRGB already: BT.709 (or unspecified) primaries
// with the sRGB (or an unspecified) transfer.
bool IsSrgbNclx(const TNclxColour& colour);

// An RGB display profile with the description's primaries, white point and
// tone curve. Transfer functions without an SDR tone curve (PQ, HLG and
// unknown code points) use the sRGB curve. Empty when the primaries make no
// valid profile.
std::vector<std::uint8_t> NclxToIcc(const TNclxColour& colour);

}  // namespace tovali
