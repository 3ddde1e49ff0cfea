// WebP and AVIF output: files read back by libwebp's and libheif's own
// decoders, their colour description and lack of metadata, and the
// quality settings they share with JPEG.
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <webp/decode.h>

#include <cstring>
#include <memory>
#include <random>

#include "engine/UnitThPicConvert.h"
#include "engine/codecs/HeifCodec.h"
#include "engine/codecs/WebpCodec.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace {

using TBytes = std::vector<std::uint8_t>;

// Soft colour areas, as in a photo, that lossy coding keeps close.
void Smooth(TBitmap& b, int width, int height) {
    b.SetSize(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(
                x, y,
                RGBColor(std::uint8_t(40 + x), std::uint8_t(200 - y), std::uint8_t(90 + x / 2)));
}

// Noise over a gradient: every quality step gives a clearly larger file.
void Noisy(TBitmap& b) {
    b.SetSize(160, 120, 24);
    std::mt19937 random(9);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.SetPixel(x, y,
                       RGBColor(std::uint8_t((x + y) / 2 + random() % 48), std::uint8_t(x ^ y),
                                std::uint8_t(random() % 96 + 80)));
}

double MeanError(const TBitmap& a, const std::uint8_t* rgb, int stride) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            const TColor c = a.GetPixel(x, y);
            const std::uint8_t* p = rgb + std::size_t(y) * std::size_t(stride) + std::size_t(x) * 3;
            sum += std::abs(GetRValue(c) - p[0]) + std::abs(GetGValue(c) - p[1]) +
                   std::abs(GetBValue(c) - p[2]);
        }
    }
    return sum / (3.0 * a.Width() * a.Height());
}

struct THeifRead {
    std::unique_ptr<heif_context, void (*)(heif_context*)> Context{heif_context_alloc(),
                                                                   heif_context_free};
    heif_image_handle* Handle = nullptr;
    ~THeifRead() { heif_image_handle_release(Handle); }
};

}  // namespace

TEST(WebpEncode, LibwebpReadsItBackCloseAtEveryLevelWithoutMetadataChunks) {
    TBitmap picture;
    Smooth(picture, 96, 64);
    picture.IccProfile = {1, 2, 3};  // never written: the pixels are sRGB
    double lastError = 1e9;
    for (const int level : {10, 30, 60, 80, 100}) {
        const TBytes file = WebpEncode(picture, WebpQualityForJpeg(level));
        ASSERT_GT(file.size(), 20u);
        // A plain lossy file: the VP8 chunk straight after the header, no
        // VP8X chunk that could announce ICC, EXIF or XMP.
        EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
        EXPECT_EQ(std::memcmp(file.data() + 8, "WEBPVP8 ", 8), 0) << level;
        int width = 0, height = 0;
        std::unique_ptr<std::uint8_t, void (*)(void*)> rgb(
            WebPDecodeRGB(file.data(), file.size(), &width, &height), WebPFree);
        ASSERT_TRUE(rgb) << level;
        ASSERT_EQ(width, 96);
        ASSERT_EQ(height, 64);
        const double error = MeanError(picture, rgb.get(), width * 3);
        EXPECT_LT(error, level >= 60 ? 2.0 : 6.0) << level;
        EXPECT_LE(error, lastError + 0.5) << "a higher level looks no worse: " << level;
        lastError = error;
    }
}

TEST(AvifEncode, LibheifReadsBackAnSrgbPictureWithNoAlphaOrMetadata) {
    TBitmap picture;
    Smooth(picture, 90, 61);  // odd height: 4:2:0 rounds the chroma up
    picture.ConvertTo24();
    const TBytes file = AvifEncode(picture, AvifQualityForJpeg(80));
    THeifRead read;
    ASSERT_EQ(heif_context_read_from_memory_without_copy(read.Context.get(), file.data(),
                                                         file.size(), nullptr)
                  .code,
              heif_error_Ok);
    ASSERT_EQ(heif_context_get_primary_image_handle(read.Context.get(), &read.Handle).code,
              heif_error_Ok);
    EXPECT_EQ(heif_image_handle_get_width(read.Handle), 90);
    EXPECT_EQ(heif_image_handle_get_height(read.Handle), 61);
    EXPECT_FALSE(heif_image_handle_has_alpha_channel(read.Handle));
    EXPECT_EQ(heif_image_handle_get_number_of_metadata_blocks(read.Handle, nullptr), 0);
    EXPECT_EQ(heif_image_handle_get_luma_bits_per_pixel(read.Handle), 8);
    ASSERT_EQ(heif_image_handle_get_color_profile_type(read.Handle), heif_color_profile_type_nclx);
    heif_color_profile_nclx* nclx = nullptr;
    ASSERT_EQ(heif_image_handle_get_nclx_color_profile(read.Handle, &nclx).code, heif_error_Ok);
    EXPECT_EQ(nclx->color_primaries, heif_color_primaries_ITU_R_BT_709_5);
    EXPECT_EQ(nclx->transfer_characteristics, heif_transfer_characteristic_IEC_61966_2_1);
    EXPECT_EQ(nclx->matrix_coefficients, heif_matrix_coefficients_ITU_R_BT_601_6);
    EXPECT_TRUE(nclx->full_range_flag);
    heif_nclx_color_profile_free(nclx);

    // The AV1 configuration box: main profile, 8 bits, chroma halved both ways.
    const std::size_t av1c = std::string(file.begin(), file.end()).find("av1C");
    ASSERT_LT(av1c + 8, file.size());
    EXPECT_EQ(file[av1c + 5] >> 5, 0) << "main profile";
    EXPECT_EQ(file[av1c + 6] & 0x7C, 0x0C) << "8 bits, colour, 4:2:0";
    TBitmap back;
    HeifLoadBuffer(file.data(), file.size(), back);
    EXPECT_TRUE(back.IccProfile.empty()) << "read as sRGB";
    EXPECT_TRUE(SameColours(back, picture, 12));
}

TEST(CompressByJpegQuality, LevelsAndTheTargetSizeSearch) {
    // Step q gives a file of 1000 + 100 q bytes, tagged with q.
    std::vector<int> asked;
    const auto encode = [&](int quality) {
        asked.push_back(quality);
        return TBytes(std::size_t(1000 + 100 * quality), std::uint8_t(quality));
    };
    TthPicConvert engine;
    engine.Options.JpegQuality = 30;
    EXPECT_EQ(engine.CompressByJpegQuality(encode).front(), 80) << "quality off: 80";
    engine.Options.UseQuality = engine.Options.QualityByLevel = true;
    EXPECT_EQ(engine.CompressByJpegQuality(encode).front(), 30);
    EXPECT_EQ(asked.size(), 2u);

    engine.Options.QualityByLevel = false;
    for (int kilobytes = 0; kilobytes <= 12; ++kilobytes) {
        engine.Options.TargetFileSize = kilobytes;
        asked.clear();
        const TBytes file = engine.CompressByJpegQuality(encode);
        // The highest step strictly below the limit; none: step 0.
        int expected = 0;
        for (int q = 100; q > 0; q -= 10) {
            if (1000 + 100 * q < kilobytes * 1024) {
                expected = q;
                break;
            }
        }
        EXPECT_EQ(file.size(), std::size_t(1000 + 100 * expected)) << kilobytes;
        EXPECT_EQ(file.front(), expected) << kilobytes;
        EXPECT_LE(asked.size(), 4u) << kilobytes;
    }
    engine.Options.TargetFileSize = 9;  // 9216 bytes: step 80 gives 9000, 90 gives 10000
    EXPECT_EQ(engine.CompressByJpegQuality(encode).front(), 80);
}

TEST(SavePicture, WebpAndAvifUnderATargetSizeOnANoisyPicture) {
    TBitmap picture;
    Noisy(picture);
    TTempDir dir;
    TthPicConvert engine;
    engine.Options.DecidesName = true;
    engine.Options.NameAffix = "_s";
    engine.Options.UseQuality = true;
    for (const TOutputType type : {otWebp, otAvif}) {
        const auto encode = [&](int step) {
            return type == otWebp ? WebpEncode(picture, WebpQualityForJpeg(step))
                                  : AvifEncode(picture, AvifQualityForJpeg(step));
        };
        const std::string ext = type == otWebp ? ".webp" : ".avif";
        // The highest step whose size a whole number of kilobytes separates
        // from the step above: the limit just above it lets only it and
        // the steps below through.
        int step = 90;
        while (step > 0 && encode(step).size() / 1024 + 1 > encode(step + 10).size() / 1024)
            step -= 10;
        ASSERT_GT(step, 0) << ext << ": no two steps a kilobyte apart";
        engine.Options.OutputType = type;
        engine.Options.TargetFileSize = std::int64_t(encode(step).size() / 1024 + 1);
        engine.SavePicture(dir / ("a" + ext), picture);
        EXPECT_EQ(ReadBytes(dir / ("a_s" + ext)), encode(step)) << ext;
        engine.Options.TargetFileSize = 0;  // nothing fits: the lowest step stands
        engine.SavePicture(dir / ("a" + ext), picture);
        EXPECT_EQ(ReadBytes(dir / ("a_s(1)" + ext)), encode(0)) << ext;
    }
}
