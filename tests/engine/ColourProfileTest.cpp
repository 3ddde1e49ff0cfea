// Embedded colour profiles: pictures in Display P3, Adobe RGB or a CMYK
// press space come out in sRGB; sRGB and bad profiles change nothing.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <zlib.h>

#include <cmath>

#include "engine/ColourProfile.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/JpegCodec.h"
#include "engine/codecs/PngCodec.h"
#include "tests/engine/ImageCompare.h"
#include "tests/exif/ExifBuilder.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>

using namespace tovali;
// clang-format on

using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Save(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// An RGB profile from primaries and D65 white; `tableEntries` > 0 gives it
// tabulated sRGB curves that long, so that it spans several JPEG chunks.
Bytes RgbProfile(const cmsCIExyYTRIPLE& primaries, double gamma, int tableEntries = 0) {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    const cmsFloat64Number srgb[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve =
        gamma > 0 ? cmsBuildGamma(nullptr, gamma) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    if (tableEntries > 0) {
        // Each channel gets its own table (one level apart at the top), so
        // that the profile stores all three.
        std::vector<cmsUInt16Number> table(static_cast<std::size_t>(tableEntries));
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < tableEntries; ++i)
                table[std::size_t(i)] = cmsEvalToneCurve16(
                    curve, cmsUInt16Number(std::max(0, i * 65535 / (tableEntries - 1) - c)));
            curves[c] =
                cmsBuildTabulatedToneCurve16(nullptr, cmsUInt32Number(tableEntries), table.data());
        }
        cmsFreeToneCurve(curve);
    }
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    for (int c = 0; c < (tableEntries > 0 ? 3 : 1); ++c) cmsFreeToneCurve(curves[c]);
    return Save(profile);
}

const cmsCIExyYTRIPLE kP3 = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
const cmsCIExyYTRIPLE kAdobe = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};

// A press-like CMYK profile: ink darkens along a curve that the plain
// conversion of profile-less files does not follow.
Bytes CmykProfile() {
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(p, 4.3);
    cmsSetDeviceClass(p, cmsSigOutputClass);
    cmsSetColorSpace(p, cmsSigCmykData);
    cmsSetPCS(p, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        clut,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
            double rgb[3];
            const double k = in[3] / 65535.0;
            for (int i = 0; i < 3; ++i) rgb[i] = std::pow((1 - in[i] / 65535.0) * (1 - k), 1.6);
            cmsCIELab l;
            cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), rgb, &l, 1);
            cmsFloat2LabEncoded(out, &l);
            return TRUE;
        },
        toLab, 0);
    // The stored form wants curves on both sides of the table.
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, clut);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(p, cmsSigAToB0Tag, lut);
    cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(lut);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return Save(p);
}

// Saturated hues at every lightness: where wide-gamut colours differ most.
void Colourful(TBitmap& b, int w = 48, int h = 32) {
    b.SetSize(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int r = x * 255 / (w - 1), g = y * 255 / (h - 1), bl = (x * 7 + y * 13) % 256;
            b.SetPixel(x, y, RGBColor(std::uint8_t(r), std::uint8_t(g), std::uint8_t(bl)));
        }
}

Bytes EncodeJpeg(const TBitmap& b) {
    TJpegImage jpeg(b);
    jpeg.CompressionQuality = 95;
    jpeg.Compress();
    return Bytes(jpeg.Data(), jpeg.Data() + jpeg.DataSize());
}

// Puts segments right behind the start-of-image marker.
Bytes WithSegments(Bytes jpeg, const Bytes& segments) {
    jpeg.insert(jpeg.begin() + 2, segments.begin(), segments.end());
    return jpeg;
}

// The profile as APP2 "ICC_PROFILE" chunks of at most `chunk` bytes.
Bytes IccSegments(const Bytes& profile, std::size_t chunk = 65519) {
    Bytes out;
    const std::size_t count = (profile.size() + chunk - 1) / chunk;
    for (std::size_t i = 0; i < count; ++i) {
        Bytes payload{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
        payload.push_back(std::uint8_t(i + 1));
        payload.push_back(std::uint8_t(count));
        const auto from = profile.begin() + std::ptrdiff_t(i * chunk);
        payload.insert(payload.end(), from,
                       from + std::ptrdiff_t(std::min(chunk, profile.size() - i * chunk)));
        const Bytes segment = exiftest::Segment(0xFFE2, payload);
        out.insert(out.end(), segment.begin(), segment.end());
    }
    return out;
}

// A PNG of the raster with an iCCP chunk behind its header.
Bytes PngWithProfile(const TBitmap& b, const Bytes& profile) {
    TMemorySink sink;
    PngSave(b, sink);
    uLongf packedSize = compressBound(uLong(profile.size()));
    Bytes packed(packedSize);
    compress(packed.data(), &packedSize, profile.data(), uLong(profile.size()));
    Bytes chunk{'i', 'C', 'C', 'P', 'p', 0, 0};
    chunk.insert(chunk.end(), packed.begin(), packed.begin() + std::ptrdiff_t(packedSize));
    Bytes out;
    exiftest::PutBigEndian(out, std::uint32_t(chunk.size() - 4), 4);
    out.insert(out.end(), chunk.begin(), chunk.end());
    exiftest::PutBigEndian(out, std::uint32_t(crc32(0, chunk.data(), uInt(chunk.size()))), 4);
    Bytes png = sink.Bytes;
    png.insert(png.begin() + 33, out.begin(), out.end());  // signature 8 + IHDR 25
    return png;
}

// LittleCMS in floating point: the sRGB the picture's pixels stand for.
void Reference(const TBitmap& source, const Bytes& profile, cmsUInt32Number format, int bytes,
               TBitmap& out) {
    cmsHPROFILE from = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(from, format, srgb, TYPE_RGB_DBL, INTENT_PERCEPTUAL, 0);
    ASSERT_NE(t, nullptr);
    out.SetSize(source.Width(), source.Height(), 24);
    for (int y = 0; y < source.Height(); ++y)
        for (int x = 0; x < source.Width(); ++x) {
            double rgb[3];
            cmsDoTransform(t, source.ScanLine(y) + x * bytes, rgb, 1);
            auto level = [](double v) {
                return std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255));
            };
            out.SetPixel(x, y, RGBColor(level(rgb[0]), level(rgb[1]), level(rgb[2])));
        }
    cmsDeleteTransform(t);
    cmsCloseProfile(from);
    cmsCloseProfile(srgb);
}

// Decodes, keeps the pixels as decoded, converts, and holds the result to
// LittleCMS's floating-point rendering of the decoded pixels.
void ExpectConvertedLikeLittleCms(TBitmap& picture, const Bytes& profile) {
    ASSERT_EQ(picture.IccProfile, profile);
    TBitmap decoded, expected;
    decoded.Assign(picture);
    Reference(decoded, profile, TYPE_BGR_8, 3, expected);
    ConvertToSrgb(picture);
    EXPECT_TRUE(picture.IccProfile.empty());
    EXPECT_TRUE(SameColours(picture, expected, 1));
}

}  // namespace

TEST(ColourProfile, WideGamutPicturesTurnIntoSrgb) {
    TBitmap source;
    Colourful(source);
    // Display P3 in a JPEG whose long tables need several APP2 chunks.
    const Bytes p3 = RgbProfile(kP3, 0, 30000);
    ASSERT_GT(p3.size(), 2 * 65519u);
    const Bytes file = WithSegments(EncodeJpeg(source), IccSegments(p3));
    TBitmap jpeg;
    JpegLoadBuffer(file.data(), file.size(), jpeg);
    ExpectConvertedLikeLittleCms(jpeg, p3);
    // Adobe RGB in a PNG iCCP chunk.
    const Bytes adobe = RgbProfile(kAdobe, 563.0 / 256.0);
    const Bytes png = PngWithProfile(source, adobe);
    TBitmap fromPng;
    PngLoadBuffer(png.data(), png.size(), fromPng);
    ExpectConvertedLikeLittleCms(fromPng, adobe);
    // Every colour of a grid with 4 levels' spacing, straight through the
    // colour step, for both profiles and one gamma 1.8 profile.
    TBitmap grid(512, 512, 24);
    for (int i = 0; i < 512 * 512; ++i) {
        const auto level = [i](int shift) {
            return std::uint8_t(std::min(255, ((i >> shift) & 63) * 4 + 3 * (i & 1)));
        };
        grid.SetPixel(i % 512, i / 512, RGBColor(level(0), level(6), level(12)));
    }
    for (const Bytes& profile : {p3, adobe, RgbProfile(kP3, 1.8)}) {
        TBitmap picture;
        picture.Assign(grid);
        picture.IccProfile = profile;
        ExpectConvertedLikeLittleCms(picture, profile);
    }
}

namespace {

// A CMYK JPEG as Adobe writes them (APP14 marker, 255 = no ink) with the
// profile embedded by the library.
Bytes CmykJpeg(int w, int h, const Bytes& profile) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    jpeg_write_icc_profile(&c, profile.data(), unsigned(profile.size()));
    std::vector<std::uint8_t> row(std::size_t(w) * 4);
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            const int ink[4] = {x * 255 / (w - 1), y * 255 / (h - 1), (x + y) * 4 % 256,
                                (x * y) % 200};
            for (int i = 0; i < 4; ++i) row[std::size_t(x * 4 + i)] = std::uint8_t(255 - ink[i]);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(data, data + size);
    std::free(data);
    return out;
}

// The file's CMYK samples as the library decodes them, four bytes a pixel.
void RawCmyk(const Bytes& file, TBitmap& out) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&d);
    out.SetSize(int(d.output_width), int(d.output_height), 32);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[1] = {out.ScanLine(int(d.output_scanline))};
        jpeg_read_scanlines(&d, rows, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

}  // namespace

TEST(ColourProfile, ProfiledCmykJpegsAreConvertedWhileDecoding) {
    const Bytes profile = CmykProfile();
    const Bytes file = CmykJpeg(40, 24, profile);
    TBitmap picture, raw, expected;
    JpegLoadBuffer(file.data(), file.size(), picture);
    EXPECT_EQ(picture.BitsPerPixel(), 24);
    EXPECT_TRUE(picture.IccProfile.empty()) << "the rows are sRGB already";
    RawCmyk(file, raw);
    // LittleCMS takes floating-point output only with plain (ink) samples.
    for (int y = 0; y < raw.Height(); ++y)
        for (std::size_t i = 0; i < raw.Stride(); ++i) raw.ScanLine(y)[i] ^= 0xFF;
    Reference(raw, profile, TYPE_CMYK_8, 4, expected);
    EXPECT_TRUE(SameColours(picture, expected, 2));
}

namespace {

const cmsCIExyYTRIPLE kSrgbPrimaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};

struct TLoaded {
    TBitmap loose, fitted, streamed;
};

// LoadPicture + ResizePicture without a box and into the 160 box, and the
// streamed load and fit into that box, which must give the same pixels.
void LoadBoth(const std::string& path, TLoaded& out) {
    TthPicConvert engine;
    engine.LoadPicture(path, out.loose);
    engine.ResizePicture(out.loose);
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = engine.Options.PicHeight = 160;
    engine.LoadPicture(path, out.fitted);
    engine.ResizePicture(out.fitted);
    bool loaded = false;
    engine.LoadResizedPicture(path, out.streamed, loaded);
    EXPECT_TRUE(out.streamed.IccProfile.empty());
    EXPECT_TRUE(SameColours(out.streamed, out.fitted)) << path;
}

}  // namespace

TEST(ColourProfile, SrgbProfilesChangeNoPixel) {
    TBitmap source;
    Colourful(source, 400, 300);
    const Bytes jpeg = EncodeJpeg(source);
    exiftest::TempDir dir;
    TLoaded plain;
    LoadBoth(dir.File("plain.jpg", jpeg), plain);
    // LittleCMS's own, one with long tabulated curves, colord's v4 profile
    // (which Linux tools embed) and Ghostscript's v2 one: each rounds the
    // same primaries, white and curve its own way.
    const Bytes profiles[] = {Save(cmsCreate_sRGBProfile()), RgbProfile(kSrgbPrimaries, 0, 1024),
                              ReadBytes(DataFile("icc/colord-srgb.icc")),
                              ReadBytes(DataFile("icc/ghostscript-srgb.icc"))};
    for (const Bytes& profile : profiles) {
        EXPECT_TRUE(IsSrgbProfile(profile));
        TLoaded tagged;
        LoadBoth(dir.File("tagged.jpg", WithSegments(jpeg, IccSegments(profile))), tagged);
        EXPECT_TRUE(SameColours(tagged.loose, plain.loose));
        EXPECT_TRUE(SameColours(tagged.fitted, plain.fitted));
        EXPECT_EQ(tagged.fitted.Width(), 160);
    }
    EXPECT_FALSE(IsSrgbProfile(RgbProfile(kP3, 0)));
    EXPECT_FALSE(IsSrgbProfile(RgbProfile(kSrgbPrimaries, 2.2)));
    // Other spaces are still converted: Adobe RGB, Display P3 with the sRGB
    // curve, and the sRGB primaries with Rec. 709's own curve.
    for (const char* other :
         {"icc/colord-adobergb1998.icc", "icc/display-p3.icc", "icc/colord-rec709.icc"}) {
        const Bytes profile = ReadBytes(DataFile(other));
        EXPECT_FALSE(IsSrgbProfile(profile)) << other;
        TLoaded tagged;
        LoadBoth(dir.File("other.jpg", WithSegments(jpeg, IccSegments(profile))), tagged);
        EXPECT_GT(MeanDifference(tagged.fitted, plain.fitted), 1.0) << other;
    }
    // A P3 photo is converted after the fit, and the result carries no profile.
    TLoaded p3;
    LoadBoth(dir.File("p3.jpg", WithSegments(jpeg, IccSegments(RgbProfile(kP3, 0)))), p3);
    EXPECT_TRUE(p3.fitted.IccProfile.empty());
    EXPECT_GT(MeanDifference(p3.fitted, plain.fitted), 2.0);
}

namespace {

// EXIF with ColorSpace (Exif directory) and InteroperabilityIndex.
Bytes ColourSpaceExif(std::uint16_t colourSpace, const std::string& interop) {
    exiftest::TiffBuilder tiff(true);
    const int ifd0 = tiff.AddIfd(), exif = tiff.AddIfd(), inter = tiff.AddIfd();
    tiff.Pointer(ifd0, 0x8769, exif);
    tiff.Shorts(exif, 0xA001, {colourSpace});
    tiff.Pointer(exif, 0xA005, inter);
    tiff.Ascii(inter, 0x0001, interop);
    return exiftest::Segment(0xFFE1, exiftest::App1Payload(tiff.Build()));
}

}  // namespace

TEST(ColourProfile, CamerasMarkingAdobeRgbInExifAreConvertedAsAdobeRgb) {
    TBitmap source;
    Colourful(source);
    const Bytes jpeg = EncodeJpeg(source);
    exiftest::TempDir dir;
    TthPicConvert engine;
    TBitmap plain, adobe, marked, srgb;
    engine.LoadPicture(dir.File("plain.jpg", jpeg), plain);
    engine.LoadPicture(dir.File("r03.jpg", WithSegments(jpeg, ColourSpaceExif(0xFFFF, "R03"))),
                       marked);
    Reference(plain, AdobeRgbProfile(), TYPE_BGR_8, 3, adobe);
    EXPECT_TRUE(SameColours(marked, adobe, 1));
    engine.LoadPicture(dir.File("r98.jpg", WithSegments(jpeg, ColourSpaceExif(1, "R98"))), srgb);
    EXPECT_TRUE(SameColours(srgb, plain));
}

TEST(ColourProfile, BadProfilesLeaveThePictureAsItIs) {
    TBitmap source;
    Colourful(source);
    const Bytes p3 = RgbProfile(kP3, 0);
    Bytes huge = p3;
    huge.resize(kMaxProfileBytes + 1);
    Bytes garbage(600);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = std::uint8_t(i * 131 + 7);
    const Bytes bad[] = {Bytes(p3.begin(), p3.begin() + 200), garbage, huge, CmykProfile(), {}};
    for (const Bytes& profile : bad) {
        TBitmap picture;
        picture.Assign(source);
        picture.IccProfile = profile;
        ConvertToSrgb(picture);
        EXPECT_TRUE(SameColours(picture, source));
        EXPECT_TRUE(picture.IccProfile.empty());
    }
    // Chunks that do not add up: the file loads as if it had no profile.
    const Bytes jpeg = EncodeJpeg(source);
    Bytes chunks = IccSegments(p3);
    chunks[2 + 2 + 12] = 2;  // "chunk 2 of 1"
    const Bytes file = WithSegments(jpeg, chunks);
    TBitmap plain, broken;
    JpegLoadBuffer(jpeg.data(), jpeg.size(), plain);
    JpegLoadBuffer(file.data(), file.size(), broken);
    EXPECT_TRUE(broken.IccProfile.empty());
    EXPECT_TRUE(SameColours(broken, plain));
}

TEST(ColourProfile, GreyJpegsStayEightBitGrey) {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    const Bytes profile = Save(cmsCreateGrayProfile(cmsD50_xyY(), linear));
    cmsFreeToneCurve(linear);
    const Bytes file = WithSegments(ReadBytes(DataFile("jpeg/grey.jpg")), IccSegments(profile));
    TBitmap picture;
    JpegLoadBuffer(file.data(), file.size(), picture);
    ASSERT_EQ(picture.IccProfile, profile);
    ConvertToSrgb(picture);
    ASSERT_EQ(picture.BitsPerPixel(), 8);
    const TColor mid = picture.Palette()[128];
    EXPECT_NEAR(GetRValue(mid), 188, 1) << "linear 50% is sRGB level 188";
    EXPECT_EQ(GetRValue(mid), GetGValue(mid));
    EXPECT_EQ(GetRValue(mid), GetBValue(mid));
}
