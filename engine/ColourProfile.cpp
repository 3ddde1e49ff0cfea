#include "engine/ColourProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

// A profile whose test colours all land within this many levels of where
// sRGB puts them counts as sRGB.
constexpr double kSameAsSrgb = 1.0;
// How far a matrix-shaper profile's colorants (XYZ) may lie from sRGB's and
// still be sRGB: sRGB profiles differ by a few ten-thousandths, the nearest
// other spaces (EBU, SMPTE-C) by a hundredth and more.
constexpr double kSrgbColorants = 0.003;
// How many levels its tone curves may lie from the sRGB curve: a plain
// gamma 2.2 is four levels off near black, Rec. 709's curve fifteen.
constexpr double kSrgbCurveLevels = 2.0;
// Distinct profiles kept converted; a batch rarely has more than two.
constexpr std::size_t kCachedProfiles = 8;
// An ICC header is 128 bytes and a tag count follows it.
constexpr std::size_t kMinProfileBytes = 132;

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using TProfile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using TTransformHandle = std::unique_ptr<void, TransformDeleter>;

TProfile OpenProfile(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < kMinProfileBytes || bytes.size() > kMaxProfileBytes) return nullptr;
    return TProfile(cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size())));
}

TProfile SrgbProfile() {
    return TProfile(cmsCreate_sRGBProfile());
}

// Grey with the sRGB tone curve: where a grey picture's levels belong.
TProfile SrgbGreyProfile() {
    const cmsFloat64Number params[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
    if (!curve) return nullptr;
    TProfile grey(cmsCreateGrayProfile(cmsD50_xyY(), curve));
    cmsFreeToneCurve(curve);
    return grey;
}

TTransformHandle MakeTransform(const TProfile& from, cmsUInt32Number inFormat, const TProfile& to,
                               cmsUInt32Number outFormat, cmsUInt32Number intent) {
    if (!from || !to) return nullptr;
    // No one-pixel cache: a cached transform is shared by the engine threads.
    return TTransformHandle(
        cmsCreateTransform(from.get(), inFormat, to.get(), outFormat, intent, cmsFLAGS_NOCACHE));
}

// The test colours of the sRGB check: the ramps of the primaries, the
// secondaries and grey at every level, and a coarse cube.
std::vector<double> SrgbTestColours() {
    std::vector<double> rgb;
    auto add = [&rgb](int r, int g, int b) {
        rgb.insert(rgb.end(), {r / 255.0, g / 255.0, b / 255.0});
    };
    for (int v = 0; v < 256; ++v) {
        add(v, 0, 0), add(0, v, 0), add(0, 0, v), add(v, v, 0), add(v, 0, v), add(0, v, v);
        add(v, v, v);
    }
    constexpr int kSteps[] = {0, 32, 64, 96, 128, 160, 192, 224, 255};
    for (int r : kSteps)
        for (int g : kSteps)
            for (int b : kSteps) add(r, g, b);
    return rgb;
}

// Whether the profile puts every test colour where sRGB has it, measured in
// floating point with the colorimetric intent (an sRGB profile's perceptual
// tables may differ from its colorimetric ones, yet it is still sRGB).
bool MatchesSrgb(const TProfile& profile, bool grey) {
    const TProfile target = grey ? SrgbGreyProfile() : SrgbProfile();
    const TTransformHandle t =
        MakeTransform(profile, grey ? TYPE_GRAY_DBL : TYPE_RGB_DBL, target,
                      grey ? TYPE_GRAY_DBL : TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC);
    if (!t) return false;
    std::vector<double> in = SrgbTestColours();
    if (grey) {
        in.resize(256);
        for (int v = 0; v < 256; ++v) in[std::size_t(v)] = v / 255.0;
    }
    const std::size_t channels = grey ? 1 : 3;
    std::vector<double> out(in.size());
    cmsDoTransform(t.get(), in.data(), out.data(), cmsUInt32Number(in.size() / channels));
    for (std::size_t i = 0; i < in.size(); ++i)
        if (!(std::fabs(out[i] - in[i]) * 255 < kSameAsSrgb)) return false;
    return true;
}

// Linear light in this many steps on the way back to sRGB levels: near
// black one step is a twentieth of a level.
constexpr int kEncodeSteps = 65535;

// A matrix-shaper RGB profile as three curves to linear light, one matrix
// into linear sRGB and a table back to sRGB levels (see the header).
struct TMatrixShaper {
    // terms[(row * 3 + channel) * 256 + level]: the matrix entry of that sRGB
    // row and source channel times the level's linear light, in steps of the
    // encode table, rounded. A pixel's three sums index the encode table.
    std::vector<std::int32_t> terms;
    std::vector<std::uint8_t> encode;  // kEncodeSteps + 1 sRGB levels
};

using TMatrix3 = std::array<double, 9>;

// The profile's colorants (PCS XYZ) as the columns of a matrix.
std::optional<TMatrix3> Colorants(void* profile) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    TMatrix3 m{};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz) return std::nullopt;
        m[std::size_t(c)] = xyz->X, m[std::size_t(3 + c)] = xyz->Y, m[std::size_t(6 + c)] = xyz->Z;
    }
    return m;
}

std::optional<TMatrix3> Inverse(const TMatrix3& m) {
    const TMatrix3 cof = {
        m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
        m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
        m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
    const double det = m[0] * cof[0] + m[1] * cof[3] + m[2] * cof[6];
    if (!(std::fabs(det) > 1e-12)) return std::nullopt;
    TMatrix3 inv;
    for (std::size_t i = 0; i < 9; ++i) inv[i] = cof[i] / det;
    return inv;
}

// Linear light to the sRGB curve's value, both 0 to 1.
double SrgbEncode(double linear) {
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

std::uint8_t SrgbLevel(double linear) {
    return std::uint8_t(std::lround(std::clamp(SrgbEncode(linear), 0.0, 1.0) * 255));
}

// A matrix-shaper profile with sRGB's colorants (its primaries and white,
// as the profile connection space sees them) within kSrgbColorants and tone
// curves within kSrgbCurveLevels of the sRGB curve at every level: sRGB,
// however its maker rounded the numbers (colord's v4 profile, Ghostscript's
// v2 one, LittleCMS's own).
bool IsSrgbMatrixShaper(void* profile) {
    if (!cmsIsMatrixShaper(profile)) return false;
    const TProfile srgb = SrgbProfile();
    const auto colorants = Colorants(profile);
    const auto srgbColorants = srgb ? Colorants(srgb.get()) : std::nullopt;
    if (!colorants || !srgbColorants) return false;
    for (std::size_t i = 0; i < 9; ++i)
        if (!(std::fabs((*colorants)[i] - (*srgbColorants)[i]) <= kSrgbColorants)) return false;
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (const cmsTagSignature tag : curves) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tag));
        if (!curve) return false;
        for (int v = 0; v < 256; ++v) {
            const double linear = cmsEvalToneCurveFloat(curve, cmsFloat32Number(v / 255.0));
            if (!(std::fabs(SrgbEncode(linear) * 255 - v) <= kSrgbCurveLevels)) return false;
        }
    }
    return true;
}

// An RGB profile that converts nothing: sRGB by its numbers, or by where it
// puts the test colours.
bool IsSrgbRgb(const TProfile& profile) {
    return IsSrgbMatrixShaper(profile.get()) || MatchesSrgb(profile, false);
}

// The matrix from the profile's linear light to linear sRGB.
std::optional<TMatrix3> ToSrgbMatrix(void* profile) {
    const TProfile srgb = SrgbProfile();
    const auto from = Colorants(profile);
    const auto to = srgb ? Colorants(srgb.get()) : std::nullopt;
    const auto back = to ? Inverse(*to) : std::nullopt;
    if (!from || !back) return std::nullopt;
    TMatrix3 m{};
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 3; ++c)
            for (std::size_t k = 0; k < 3; ++k)
                m[r * 3 + c] += (*back)[r * 3 + k] * (*from)[k * 3 + c];
    return m;
}

// Only for profiles LittleCMS renders by curves and matrix: no table for
// the perceptual intent, and the three colorants and curves present.
std::optional<TMatrixShaper> BuildMatrixShaper(const TProfile& profile) {
    void* p = profile.get();
    if (!cmsIsMatrixShaper(p) || cmsIsCLUT(p, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT))
        return std::nullopt;
    const auto matrix = ToSrgbMatrix(p);
    if (!matrix) return std::nullopt;
    // Terms beyond this could overflow a sum; no sane profile comes near
    // it, and the test also turns away NaN from a damaged curve.
    constexpr double kMaxTerm = 1 << 24;
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    TMatrixShaper m;
    m.terms.resize(9 * 256);
    for (std::size_t c = 0; c < 3; ++c) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(p, curves[c]));
        if (!curve) return std::nullopt;
        for (std::size_t v = 0; v < 256; ++v) {
            const double linear = cmsEvalToneCurveFloat(curve, cmsFloat32Number(v / 255.0));
            for (std::size_t row = 0; row < 3; ++row) {
                const double term = (*matrix)[row * 3 + c] * linear * kEncodeSteps;
                if (!(std::fabs(term) < kMaxTerm)) return std::nullopt;
                m.terms[(row * 3 + c) * 256 + v] = std::int32_t(std::lround(term));
            }
        }
    }
    m.encode.resize(kEncodeSteps + 1);
    for (int i = 0; i <= kEncodeSteps; ++i)
        m.encode[std::size_t(i)] = SrgbLevel(double(i) / kEncodeSteps);
    return m;
}

void ApplyMatrixShaper(const TMatrixShaper& m, std::uint8_t* bgr, int width) {
    const std::int32_t* t = m.terms.data();
    const std::uint8_t* encode = m.encode.data();
    auto level = [encode](std::int32_t sum) {
        return encode[std::clamp(sum, std::int32_t(0), std::int32_t(kEncodeSteps))];
    };
    for (int x = 0; x < width; ++x) {
        std::uint8_t* px = bgr + 3 * std::size_t(x);
        const int r = px[2], g = px[1] + 256, b = px[0] + 512;
        px[2] = level(t[r] + t[g] + t[b]);
        px[1] = level(t[768 + r] + t[768 + g] + t[768 + b]);
        px[0] = level(t[1536 + r] + t[1536 + g] + t[1536 + b]);
    }
}

// Whether the fast path lands within a level of LittleCMS's floating-point
// rendering on every test colour; if not, LittleCMS's own transform serves.
bool AgreesWithLittleCms(const TMatrixShaper& m, const TProfile& profile) {
    const TTransformHandle exact =
        MakeTransform(profile, TYPE_RGB_DBL, SrgbProfile(), TYPE_RGB_DBL, INTENT_PERCEPTUAL);
    if (!exact) return false;
    const std::vector<double> rgb = SrgbTestColours();
    const std::size_t count = rgb.size() / 3;
    std::vector<double> expected(rgb.size());
    cmsDoTransform(exact.get(), rgb.data(), expected.data(), cmsUInt32Number(count));
    std::vector<std::uint8_t> bgr(rgb.size());
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            bgr[i * 3 + 2 - c] = std::uint8_t(std::lround(rgb[i * 3 + c] * 255));
    ApplyMatrixShaper(m, bgr.data(), int(count));
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t c = 0; c < 3; ++c) {
            const double want = std::clamp(expected[i * 3 + c], 0.0, 1.0) * 255;
            if (!(std::fabs(bgr[i * 3 + 2 - c] - want) <= 1.0)) return false;
        }
    return true;
}

enum class TMode { Auto, Cmyk, CmykInverted };

// What a profile does to a picture: nothing (sRGB or unusable), a level
// table (grey), or a transform of BGR or CMYK rows.
struct TConversion {
    std::optional<std::array<std::uint8_t, 256>> greyLevels;
    std::optional<TMatrixShaper> matrixShaper;
    TTransformHandle transform;
    bool Converts() const { return greyLevels || matrixShaper || transform; }
};

std::optional<std::array<std::uint8_t, 256>> GreyLevels(const TProfile& profile) {
    const TTransformHandle t =
        MakeTransform(profile, TYPE_GRAY_8, SrgbGreyProfile(), TYPE_GRAY_8, INTENT_PERCEPTUAL);
    if (!t) return std::nullopt;
    std::array<std::uint8_t, 256> in{}, out{};
    for (int v = 0; v < 256; ++v) in[std::size_t(v)] = std::uint8_t(v);
    cmsDoTransform(t.get(), in.data(), out.data(), 256);
    return out;
}

TConversion Build(const std::vector<std::uint8_t>& bytes, TMode mode) {
    TConversion c;
    const TProfile profile = OpenProfile(bytes);
    if (!profile) return c;
    // The header's own bytes, not LittleCMS's enumeration: a damaged profile
    // may name any 32-bit value there.
    const TProfileSpace space = ProfileSpaceOf(bytes);
    if (mode != TMode::Auto) {
        if (space != TProfileSpace::Cmyk) return c;
        const cmsUInt32Number format = mode == TMode::Cmyk ? TYPE_CMYK_8 : TYPE_CMYK_8_REV;
        c.transform = MakeTransform(profile, format, SrgbProfile(), TYPE_BGR_8, INTENT_PERCEPTUAL);
    } else if (space == TProfileSpace::Grey) {
        if (!MatchesSrgb(profile, true)) c.greyLevels = GreyLevels(profile);
    } else if (space == TProfileSpace::Rgb && !IsSrgbRgb(profile)) {
        c.matrixShaper = BuildMatrixShaper(profile);
        if (c.matrixShaper && !AgreesWithLittleCms(*c.matrixShaper, profile))
            c.matrixShaper.reset();
        if (!c.matrixShaper)
            c.transform =
                MakeTransform(profile, TYPE_BGR_8, SrgbProfile(), TYPE_BGR_8, INTENT_PERCEPTUAL);
    }
    return c;
}

// The conversions of the profiles seen lately, shared by every engine.
std::shared_ptr<const TConversion> ConversionFor(const std::vector<std::uint8_t>& bytes,
                                                 TMode mode) {
    static std::mutex mutex;
    static std::map<std::pair<TMode, std::vector<std::uint8_t>>, std::shared_ptr<const TConversion>>
        cache;
    if (bytes.size() > kMaxProfileBytes) return std::make_shared<const TConversion>();
    std::lock_guard<std::mutex> lock(mutex);
    auto key = std::make_pair(mode, bytes);
    const auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    if (cache.size() >= kCachedProfiles) cache.erase(cache.begin());
    auto built = std::make_shared<const TConversion>(Build(bytes, mode));
    cache.emplace(std::move(key), built);
    return built;
}

TColor MapColour(const TConversion& c, TColor colour) {
    std::uint8_t bgr[3] = {GetBValue(colour), GetGValue(colour), GetRValue(colour)};
    if (c.greyLevels) {
        for (std::uint8_t& v : bgr) v = (*c.greyLevels)[v];
    } else if (c.matrixShaper) {
        ApplyMatrixShaper(*c.matrixShaper, bgr, 1);
    } else {
        cmsDoTransform(c.transform.get(), bgr, bgr, 1);
    }
    return RGBColor(bgr[2], bgr[1], bgr[0]);
}

void MapRows(const TConversion& c, TBitmap& bitmap, const std::atomic<bool>* cancel) {
    const int width = bitmap.Width();
    for (int y = 0; y < bitmap.Height(); ++y) {
        if (y % kRowsPerStopLook == kRowsPerStopLook - 1) ThrowIfStopped(cancel, "colour stopped");
        std::uint8_t* row = bitmap.ScanLine(y);
        if (c.greyLevels) {
            for (int i = 0; i < width * 3; ++i) row[i] = (*c.greyLevels)[row[i]];
        } else if (c.matrixShaper) {
            ApplyMatrixShaper(*c.matrixShaper, row, width);
        } else {
            cmsDoTransform(c.transform.get(), row, row, cmsUInt32Number(width));
        }
    }
}

}  // namespace

struct TCmykToSrgb::Transform {
    std::shared_ptr<const TConversion> conversion;
};

void ConvertToSrgb(TBitmap& bitmap, const std::atomic<bool>* cancel) {
    if (bitmap.IccProfile.empty()) return;
    const std::shared_ptr<const TConversion> c = ConversionFor(bitmap.IccProfile, TMode::Auto);
    bitmap.IccProfile.clear();
    if (!c->Converts()) return;
    if (bitmap.BitsPerPixel() <= 8) {
        std::vector<TColor> palette = bitmap.Palette();
        for (TColor& colour : palette) colour = MapColour(*c, colour);
        bitmap.SetPalette(std::move(palette));
    } else {
        if (bitmap.BitsPerPixel() != 24) bitmap.ConvertTo24();
        MapRows(*c, bitmap, cancel);
    }
    if (bitmap.TransparentColor) bitmap.TransparentColor = MapColour(*c, *bitmap.TransparentColor);
}

TProfileSpace ProfileSpaceOf(const std::vector<std::uint8_t>& profile) {
    if (profile.size() < kMinProfileBytes) return TProfileSpace::Other;
    const std::string space(profile.begin() + 16, profile.begin() + 20);
    if (space == "GRAY") return TProfileSpace::Grey;
    if (space == "RGB ") return TProfileSpace::Rgb;
    if (space == "CMYK") return TProfileSpace::Cmyk;
    return TProfileSpace::Other;
}

bool IsSrgbProfile(const std::vector<std::uint8_t>& profile) {
    const TProfile p = OpenProfile(profile);
    if (!p) return false;
    const TProfileSpace space = ProfileSpaceOf(profile);
    if (space == TProfileSpace::Grey) return MatchesSrgb(p, true);
    return space == TProfileSpace::Rgb && IsSrgbRgb(p);
}

const std::vector<std::uint8_t>& AdobeRgbProfile() {
    static const std::vector<std::uint8_t> bytes = [] {
        const cmsCIExyY white = {0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE primaries = {
            {0.6400, 0.3300, 1.0}, {0.2100, 0.7100, 1.0}, {0.1500, 0.0600, 1.0}};
        std::vector<std::uint8_t> out;
        cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
        if (!gamma) return out;
        cmsToneCurve* curves[3] = {gamma, gamma, gamma};
        const TProfile profile(cmsCreateRGBProfile(&white, &primaries, curves));
        cmsFreeToneCurve(gamma);
        cmsUInt32Number size = 0;
        if (profile && cmsSaveProfileToMem(profile.get(), nullptr, &size)) {
            out.resize(size);
            if (!cmsSaveProfileToMem(profile.get(), out.data(), &size)) out.clear();
        }
        return out;
    }();
    return bytes;
}

TCmykToSrgb::TCmykToSrgb(std::shared_ptr<const Transform> transform)
    : transform_(std::move(transform)) {}

std::shared_ptr<const TCmykToSrgb> TCmykToSrgb::For(const std::vector<std::uint8_t>& profile,
                                                    bool inverted) {
    auto c = ConversionFor(profile, inverted ? TMode::CmykInverted : TMode::Cmyk);
    if (!c->transform) return nullptr;
    return std::make_shared<const TCmykToSrgb>(
        std::make_shared<const Transform>(Transform{std::move(c)}));
}

void TCmykToSrgb::Row(const std::uint8_t* cmyk, std::uint8_t* bgr, int width) const {
    cmsDoTransform(transform_->conversion->transform.get(), cmyk, bgr, cmsUInt32Number(width));
}

}  // namespace tovali
