#include "engine/codecs/NclxProfile.h"

#include <lcms2.h>

#include <memory>

namespace tovali {

namespace {

constexpr int kPrimariesBt709 = 1;
constexpr int kUnspecified = 2;
constexpr int kTransferSrgb = 13;

// Parametric curve type 4: Y = (aX + b)^g for X >= d, else cX.
struct TCurveParams {
    double g, a, b, c, d;
};

constexpr TCurveParams kSrgb{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
// The inverse of the BT.709 / BT.601 / BT.2020 camera curve.
constexpr TCurveParams kBt709{1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
constexpr TCurveParams kSmpte240{1 / 0.45, 1 / 1.1115, 0.1115 / 1.1115, 1 / 4.0, 0.0913};

constexpr TCurveParams Gamma(double g) {
    return {g, 1, 0, 0, 0};
}

TCurveParams CurveFor(int transfer) {
    switch (transfer) {
        case 1:   // BT.709
        case 6:   // BT.601
        case 14:  // BT.2020, 10 bits
        case 15:  // BT.2020, 12 bits
            return kBt709;
        case 4:  // BT.470 System M
            return Gamma(2.2);
        case 5:  // BT.470 System B, G
            return Gamma(2.8);
        case 7:
            return kSmpte240;
        case 8:  // linear
            return Gamma(1.0);
        default:
            return kSrgb;
    }
}

struct TCurveFree {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
struct TProfileClose {
    void operator()(cmsHPROFILE profile) const { cmsCloseProfile(profile); }
};

bool IsChromaticity(double x, double y) {
    return x > 0 && x < 1 && y > 0 && y < 1;
}

bool HasValidPrimaries(const TNclxColour& c) {
    return IsChromaticity(c.RedX, c.RedY) && IsChromaticity(c.GreenX, c.GreenY) &&
           IsChromaticity(c.BlueX, c.BlueY) && IsChromaticity(c.WhiteX, c.WhiteY);
}

}  // namespace

bool IsSrgbNclx(const TNclxColour& colour) {
    const bool primaries = colour.Primaries == kPrimariesBt709 || colour.Primaries == kUnspecified;
    const bool transfer = colour.Transfer == kTransferSrgb || colour.Transfer == kUnspecified;
    return primaries && transfer;
}

std::vector<std::uint8_t> NclxToIcc(const TNclxColour& colour) {
    if (!HasValidPrimaries(colour)) return {};
    const TCurveParams p = CurveFor(colour.Transfer);
    const double params[5] = {p.g, p.a, p.b, p.c, p.d};
    std::unique_ptr<cmsToneCurve, TCurveFree> curve(
        cmsBuildParametricToneCurve(nullptr, 4, params));
    if (!curve) return {};
    const cmsCIExyY white{colour.WhiteX, colour.WhiteY, 1.0};
    const cmsCIExyYTRIPLE primaries{{colour.RedX, colour.RedY, 1.0},
                                    {colour.GreenX, colour.GreenY, 1.0},
                                    {colour.BlueX, colour.BlueY, 1.0}};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    std::unique_ptr<void, TProfileClose> profile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return {};
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return {};
    return bytes;
}

}  // namespace tovali
