// HEIF and AVIF pictures made with heif-enc and avifenc from one picture of
// four colour patches (see tests/data/README.md).
#include <gtest/gtest.h>
#include <lcms2.h>

#include <filesystem>
#include <memory>

#include "engine/UnitThPicConvert.h"
#include "engine/codecs/HeifCodec.h"
#include "exif/ExifInfo.h"
#include "tests/engine/PatchPicture.h"

using namespace tovali;

using namespace patch_picture;

namespace {

std::unique_ptr<TBitmap> Load(const std::string& name) {
    auto b = std::make_unique<TBitmap>();
    HeifLoad(DataFile("heif/" + name), *b);
    return b;
}

cmsCIEXYZ Colorant(const std::vector<std::uint8_t>& icc, cmsTagSignature tag) {
    cmsHPROFILE p = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    if (!p) return {};
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(p, tag));
    const cmsCIEXYZ value = xyz ? *xyz : cmsCIEXYZ{};
    cmsCloseProfile(p);
    return value;
}

}  // namespace

TEST(HeifLoad, DeepAndAlphaPicturesGiveTrueColoursIn24Bits) {
    for (const char* name : {"patches.heic", "patches.avif", "deep-10bit.heic", "deep-10bit.avif",
                             "deep-12bit.avif", "burst-two-images.heic"}) {
        SCOPED_TRACE(name);
        const auto b = Load(name);
        EXPECT_EQ(b->Width(), 64);
        EXPECT_EQ(b->Height(), 48);
        ExpectPatches(*b, kRed, kGreen, kBlue, kGrey);
        EXPECT_TRUE(b->IccProfile.empty());  // untagged, or sRGB nclx
    }
    for (const char* name : {"alpha.heic", "alpha.avif"}) {
        SCOPED_TRACE(name);
        ExpectPatches(*Load(name), kWhite, kGreen, kWhite, kGrey);
    }
}

TEST(HeifLoad, RotationAndMirrorBoxesAreAppliedAndExifOrientationIgnored) {
    const auto turned = Load("rotated-irot1.avif");  // a quarter turn anticlockwise
    EXPECT_EQ(turned->Width(), 48);
    ExpectPatches(*turned, kGreen, kGrey, kRed, kBlue);
    ExpectPatches(*Load("mirrored-imir1.avif"), kGreen, kRed, kGrey, kBlue);
    // Stored 60 x 80 with EXIF orientation 6 and no rotation box.
    const auto stored = Load("exif-orientation-6.heic");
    EXPECT_EQ(stored->Width(), 60);
    EXPECT_EQ(stored->Height(), 80);
}

TEST(HeifLoad, ColourProfilesAndNonSrgbDescriptionsReachTheRaster) {
    const auto p3 = ReadBytes(DataFile("heif/display-p3.icc"));
    EXPECT_EQ(Load("display-p3.heic")->IccProfile, p3);
    // P3 primaries with the sRGB curve, as an nclx box: an equivalent profile.
    const std::vector<std::uint8_t> built = Load("p3-nclx.avif")->IccProfile;
    ASSERT_FALSE(built.empty());
    for (const cmsTagSignature tag :
         {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag}) {
        const cmsCIEXYZ a = Colorant(built, tag), b = Colorant(p3, tag);
        EXPECT_NEAR(a.X, b.X, 2e-3);
        EXPECT_NEAR(a.Y, b.Y, 2e-3);
        EXPECT_NEAR(a.Z, b.Z, 2e-3);
    }
}

TEST(HeifReadExif, GivesTheTiffDataOfTheExifItem) {
    const std::vector<std::uint8_t> tiff = HeifReadExif(DataFile("heif/exif-date.heic"));
    TExifInfo reader;
    reader.LoadFromExifBlock(tiff.data(), tiff.size());
    EXPECT_EQ(reader.GetDateTimeText(), "2008:07:31 10:38:11");
    EXPECT_TRUE(HeifReadExif(DataFile("heif/patches.heic")).empty());
    EXPECT_TRUE(HeifReadExif(DataFile("../crashers/heif/text.avif")).empty());
    EXPECT_THROW(HeifReadExif(DataFile("heif/missing.heic")), ECodecError);
}

TEST(HeifLoad, DamagedFilesFailWithAMessage) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TOVALI_SOURCE_DIR) +
                                                                 "/tests/crashers/heif")) {
        TBitmap b;
        try {
            HeifLoad(entry.path().string(), b);
            ADD_FAILURE() << entry.path() << " loaded";
        } catch (const ECodecError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("HEIF: ", 0), 0u) << e.what();
        }
        ++count;
    }
    EXPECT_GE(count, 5);
    // Every cut of a good file fails cleanly.
    const auto good = ReadBytes(DataFile("heif/alpha.avif"));
    for (std::size_t cut = 0; cut < good.size(); cut += 13) {
        TBitmap b;
        EXPECT_THROW(HeifLoadBuffer(good.data(), cut, b), ECodecError) << cut;
    }
}

// Phone pictures in Display P3, by ICC profile or by nclx description, come
// out of the engine in sRGB: each patch (its numbers tagged as P3) has the
// colour LittleCMS gives it in sRGB.
TEST(PhonePictures, DisplayP3ComesOutAsLittleCmsRendersItInSrgb) {
    const auto icc = ReadBytes(DataFile("heif/display-p3.icc"));
    cmsHPROFILE p3 = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM toSrgb =
        cmsCreateTransform(p3, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    const auto inSrgb = [&](TColor c) {
        const std::uint8_t in[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
        std::uint8_t out[3];
        cmsDoTransform(toSrgb, in, out, 1);
        return RGBColor(out[0], out[1], out[2]);
    };
    for (const char* name : {"heif/display-p3.heic", "heif/p3-nclx.avif", "webp/display-p3.webp"}) {
        SCOPED_TRACE(name);
        TthPicConvert engine;
        TBitmap b;
        engine.LoadPicture(DataFile(name), b);
        ExpectPatches(b, inSrgb(kRed), inSrgb(kGreen), inSrgb(kBlue), inSrgb(kGrey));
        EXPECT_TRUE(b.IccProfile.empty());
    }
    cmsDeleteTransform(toSrgb);
    cmsCloseProfile(srgb);
    cmsCloseProfile(p3);
}
