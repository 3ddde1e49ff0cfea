// Colour profiles: phones store their photos in Display P3, cameras in
// Adobe RGB, print work in CMYK, each with an ICC profile. The copies this
// program writes carry no profile, so every viewer reads their numbers as
// sRGB; the pixels are therefore turned into sRGB before anything else
// looks at their colours.
//
// Design: a profile is untrusted input. Profiles above kMaxProfileBytes,
// ones LittleCMS cannot read and ones that do not suit the raster leave the
// pixels as they are. Profiles that describe sRGB (sRGB's primaries and
// white within a small tolerance and the sRGB curve within two levels, or
// within a fraction of a level on a set of test colours) are recognised and
// skipped, so untagged and sRGB pictures give bit-identical results. Transforms run with the
// perceptual intent on 8-bit rows and are kept in a small cache keyed by
// the profile's bytes (a batch of phone photos shares one profile); a
// cached transform is used by several engine threads at once, which
// LittleCMS allows for transforms made without the one-pixel cache.
//
// Fast path: the profiles of phones and cameras are matrix-shaper
// profiles, which LittleCMS renders as curves to linear light, a 3x3 matrix
// and the inverse sRGB curve. We do the same steps straight on the BGR rows:
// each level's linear light times each matrix entry is a table of integers
// (the matrix from the colorants), so a pixel costs nine lookups, three sums
// and three lookups in a 65536-step table back to sRGB levels; that is
// about three times as fast as LittleCMS's 8-bit transform with its
// per-pixel format callbacks. Its reference is
// LittleCMS's floating-point transform: a profile's fast path is used only
// when it lands within one level of that reference on every test colour,
// and the tests hold it to the same bound on a grid of all colours; any
// other profile goes through LittleCMS's own transform.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Raster.h"

namespace tovali {

// Larger profiles are ignored: real ones are far below a megabyte.
constexpr std::size_t kMaxProfileBytes = std::size_t(4) << 20;

// Turns the pixels (24-bit rows, or the palette of a paletted raster) from
// the raster's IccProfile into sRGB and clears the profile. Does nothing
// for an empty profile; a profile that is unusable or already sRGB is
// cleared and the pixels stay as they are. Raises nothing for any profile;
// gives up between rows once `cancel` is set (EStopped "colour stopped").
void ConvertToSrgb(TBitmap& bitmap, const std::atomic<bool>* cancel = nullptr);

// The colour space a profile's header names, for matching it to the
// picture it came with before anything else reads it.
enum class TProfileSpace { Other, Grey, Rgb, Cmyk };
TProfileSpace ProfileSpaceOf(const std::vector<std::uint8_t>& profile);

// True when the profile describes sRGB (see above; also for a grey profile
// with the sRGB tone curve). False for anything unusable.
bool IsSrgbProfile(const std::vector<std::uint8_t>& profile);

// Adobe RGB (1998) built from its published primaries, D65 white and gamma
// 563/256: for camera files that say so in EXIF instead of embedding it.
const std::vector<std::uint8_t>& AdobeRgbProfile();

// Turns CMYK rows, as a JPEG decoder delivers them, into sRGB BGR rows
// through the file's CMYK profile. Safe to use from several threads.
class TCmykToSrgb {
  public:
    // nullptr when the profile is not a usable CMYK profile. `inverted`:
    // the rows store 255 for no ink (as Adobe APP14 files do).
    static std::shared_ptr<const TCmykToSrgb> For(const std::vector<std::uint8_t>& profile,
                                                  bool inverted);
    void Row(const std::uint8_t* cmyk, std::uint8_t* bgr, int width) const;

    struct Transform;
    explicit TCmykToSrgb(std::shared_ptr<const Transform> transform);

  private:
    std::shared_ptr<const Transform> transform_;
};

}  // namespace tovali
