// Colour step: the input is an ICC profile as a picture file would carry
// it. It must convert or be ignored on a 24-bit picture, a paletted one
// with a transparent colour, and CMYK rows, and the sRGB test must answer,
// all without a fault.
#include <cstdint>
#include <vector>

#include "engine/ColourProfile.h"
#include "engine/Raster.h"

using namespace tovali;

namespace {

void ConvertColourPicture(const std::vector<std::uint8_t>& profile) {
    TBitmap picture(16, 16, 24);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16 * 3; ++x) picture.ScanLine(y)[x] = std::uint8_t(y * 16 + x * 5);
    picture.IccProfile = profile;
    ConvertToSrgb(picture);
}

void ConvertPalettePicture(const std::vector<std::uint8_t>& profile) {
    TBitmap picture(4, 4, 8);
    std::vector<TColor> palette;
    for (int i = 0; i < 256; ++i) palette.push_back(RGBColor(i, 255 - i, i * 7));
    picture.SetPalette(palette);
    picture.TransparentColor = palette[3];
    picture.IccProfile = profile;
    ConvertToSrgb(picture);
}

void ConvertCmykRows(const std::vector<std::uint8_t>& profile) {
    std::vector<std::uint8_t> cmyk(64 * 4), bgr(64 * 3);
    for (std::size_t i = 0; i < cmyk.size(); ++i) cmyk[i] = std::uint8_t(i * 13);
    for (const bool inverted : {false, true})
        if (const auto transform = TCmykToSrgb::For(profile, inverted))
            transform->Row(cmyk.data(), bgr.data(), 64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> profile(data, data + size);
    ProfileSpaceOf(profile);
    IsSrgbProfile(profile);
    ConvertColourPicture(profile);
    ConvertPalettePicture(profile);
    ConvertCmykRows(profile);
    return 0;
}
