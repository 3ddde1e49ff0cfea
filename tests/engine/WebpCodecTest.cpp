// WebP pictures made with cwebp and img2webp from the four-patch picture of
// the HEIF tests (see tests/data/README.md).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/codecs/WebpCodec.h"
#include "exif/ExifInfo.h"
#include "tests/engine/PatchPicture.h"

using namespace tovali;

using namespace patch_picture;

namespace {

std::unique_ptr<TBitmap> Load(const std::string& name) {
    auto b = std::make_unique<TBitmap>();
    WebpLoad(DataFile("webp/" + name), *b);
    return b;
}

}  // namespace

TEST(WebpLoad, LossyLosslessAlphaAndAnimatedGiveTheirFirstPictureIn24Bits) {
    for (const char* name : {"lossy.webp", "lossless.webp", "animated.webp"}) {
        SCOPED_TRACE(name);
        const auto b = Load(name);
        EXPECT_EQ(b->Width(), 64);
        EXPECT_EQ(b->Height(), 48);
        ExpectPatches(*b, kRed, kGreen, kBlue, kGrey);
        EXPECT_TRUE(b->IccProfile.empty());
    }
    ExpectPatches(*Load("alpha.webp"), kWhite, kGreen, kWhite, kGrey);
    // Lossless is exact; the animation's second frame, the negative, is not shown.
    EXPECT_EQ(Load("lossless.webp")->GetPixel(0, 0), kRed);
    EXPECT_EQ(Load("animated.webp")->GetPixel(0, 0), kRed);
}

TEST(WebpLoad, TheIccChunkReachesTheRaster) {
    EXPECT_EQ(Load("display-p3.webp")->IccProfile, ReadBytes(DataFile("heif/display-p3.icc")));
}

TEST(WebpReadExif, GivesTheExifChunk) {
    const std::vector<std::uint8_t> exif = WebpReadExif(DataFile("webp/exif-date.webp"));
    TExifInfo reader;
    reader.LoadFromExifBlock(exif.data(), exif.size());
    EXPECT_EQ(reader.GetDateTimeText(), "2008:07:31 10:38:11");
    EXPECT_TRUE(WebpReadExif(DataFile("webp/lossy.webp")).empty());
    EXPECT_TRUE(WebpReadExif(DataFile("../crashers/webp/riff-only.webp")).empty());
    EXPECT_THROW(WebpReadExif(DataFile("webp/missing.webp")), ECodecError);
}

TEST(WebpLoad, DamagedFilesFailWithAMessage) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TOVALI_SOURCE_DIR) +
                                                                 "/tests/crashers/webp")) {
        TBitmap b;
        try {
            WebpLoad(entry.path().string(), b);
            ADD_FAILURE() << entry.path() << " loaded";
        } catch (const ECodecError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("WebP: ", 0), 0u) << e.what();
        }
        ++count;
    }
    EXPECT_GE(count, 5);
    for (const char* name : {"lossy.webp", "alpha.webp", "animated.webp"}) {
        const auto good = ReadBytes(DataFile(std::string("webp/") + name));
        for (std::size_t cut = 0; cut < good.size(); cut += 7) {
            TBitmap b;
            EXPECT_THROW(WebpLoadBuffer(good.data(), cut, b), ECodecError) << name << " " << cut;
        }
    }
}
