#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>

#include "engine/codecs/GifCodec.h"
#include "engine/codecs/PaletteUtils.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace {

void LoadGif(const std::string& name, TBitmap& picture) {
    GifLoad(DataFile("gif/" + name), picture);
}

std::vector<std::uint8_t> Saved(const TBitmap& picture) {
    TMemorySink sink;
    GifSave(picture, sink);
    return sink.Bytes;
}

// A GIF file as giflib reads it, with every image and extension.
class Slurped {
  public:
    explicit Slurped(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {
        int error = 0;
        gif_ = DGifOpen(this, Read, &error);
        EXPECT_NE(gif_, nullptr);
        if (gif_) {
            EXPECT_EQ(DGifSlurp(gif_), GIF_OK);
        }
    }
    ~Slurped() {
        int error = 0;
        if (gif_) DGifCloseFile(gif_, &error);
    }
    Slurped(const Slurped&) = delete;
    Slurped& operator=(const Slurped&) = delete;
    GifFileType* operator->() const { return gif_; }

    // The transparent index of the first image, or -1.
    int TransparentIndex() const {
        GraphicsControlBlock gcb{};
        if (DGifSavedExtensionToGCB(gif_, 0, &gcb) != GIF_OK) return -1;
        return gcb.TransparentColor;
    }
    int Index(int x, int y) const {
        return gif_->SavedImages[0]
            .RasterBits[std::size_t(y) * std::size_t(gif_->SWidth) + std::size_t(x)];
    }

  private:
    static int Read(GifFileType* gif, GifByteType* out, int length) {
        auto* self = static_cast<Slurped*>(gif->UserData);
        const int n = std::min(length, int(self->bytes_.size() - self->at_));
        std::memcpy(out, self->bytes_.data() + self->at_, std::size_t(n));
        self->at_ += std::size_t(n);
        return n;
    }
    std::vector<std::uint8_t> bytes_;
    std::size_t at_ = 0;
    GifFileType* gif_ = nullptr;
};

}  // namespace

TEST(GifLoad, FirstImageIsAnEightBitRasterWithTheFilesPalette) {
    TBitmap b, reference;
    LoadGif("static_nontransparent.gif", b);
    EXPECT_EQ(b.BitsPerPixel(), 8);
    EXPECT_EQ(b.Palette().size(), 32u);
    EXPECT_FALSE(b.TransparentColor.has_value());
    QtReference(DataFile("gif/static_nontransparent.gif"), reference);
    EXPECT_TRUE(SameColours(b, reference));
}

TEST(GifLoad, TransparentPixelsShowWhiteAndStayMarked) {
    TBitmap b, reference;
    LoadGif("static_transparent.gif", b);
    QtReference(DataFile("gif/static_transparent.gif"), reference);
    EXPECT_TRUE(SameColours(b, reference));
    EXPECT_EQ(b.TransparentColor, RGBColor(255, 255, 255));
    const int t = TransparentPaletteIndex(b);
    ASSERT_GE(t, 0);
    const QImage image(QString::fromStdString(DataFile("gif/static_transparent.gif")));
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            ASSERT_EQ(b.ScanLine(y)[x] == t, qAlpha(image.pixel(x, y)) == 0) << x << "," << y;
}

TEST(GifLoad, AnimationsGiveTheirFirstImageOnTheLogicalScreen) {
    TBitmap plain, interlaced, reference;
    LoadGif("animated_loop.gif", plain);
    LoadGif("animated_loop_interlaced.gif", interlaced);
    QtReference(DataFile("gif/animated_loop.gif"), reference);
    EXPECT_TRUE(SameColours(plain, reference));
    EXPECT_TRUE(SameColours(interlaced, plain));
    // The first image lies wholly outside the screen: nothing but
    // transparent white remains.
    TBitmap outside;
    LoadGif("animated_transparent_loop_frames_out_of_bounds.gif", outside);
    ASSERT_EQ(outside.Width(), 100);
    const int t = TransparentPaletteIndex(outside);
    for (int y = 0; y < outside.Height(); ++y)
        for (int x = 0; x < outside.Width(); ++x) ASSERT_EQ(outside.ScanLine(y)[x], t);
}

TEST(GifLoad, ImageCountDecodesEveryImage) {
    EXPECT_EQ(GifImageCount(DataFile("gif/animated_loop.gif")), 4);
    EXPECT_EQ(GifImageCount(DataFile("gif/static_transparent.gif")), 1);
    const auto bytes = ReadBytes(DataFile("gif/animated_loop.gif"));
    // Cut inside the last image: the count fails rather than miscount.
    EXPECT_THROW(GifImageCountBuffer(bytes.data(), bytes.size() - 20), ECodecError);
    EXPECT_THROW(GifImageCount(DataFile("gif/missing.gif")), ECodecError);
}

TEST(GifLoad, DamagedFilesFailWithAMessage) {
    const auto good = ReadBytes(DataFile("gif/static_nontransparent.gif"));
    // Anything cut before the first image's data ends fails.
    for (std::size_t cut = 0; cut + 2 < good.size(); cut += 5) {
        TBitmap b;
        try {
            GifLoadBuffer(good.data(), cut, b);
            ADD_FAILURE() << "loaded a cut at " << cut;
        } catch (const ECodecError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("GIF: ", 0), 0u) << e.what();
        }
    }
    // A logical screen of 65535 x 65535 is larger than any raster we allow.
    std::vector<std::uint8_t> huge = good;
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    TBitmap b;
    EXPECT_THROW(GifLoadBuffer(huge.data(), huge.size(), b), ECodecError);
}

TEST(GifSave, PalettedRastersKeepTheirPalette) {
    TBitmap b(6, 3, 4);
    b.SetPalette({RGBColor(1, 2, 3), RGBColor(4, 5, 6), RGBColor(7, 8, 9)});
    b.SetPixel(5, 2, RGBColor(7, 8, 9));
    Slurped gif(Saved(b));
    ASSERT_NE(gif->SColorMap, nullptr);
    ASSERT_EQ(gif->SColorMap->ColorCount, 4);  // the next power of two
    EXPECT_EQ(gif->SColorMap->Colors[2].Red, 7);
    EXPECT_EQ(gif->SColorMap->Colors[2].Blue, 9);
    EXPECT_EQ(gif->ImageCount, 1);
    EXPECT_EQ(gif.Index(5, 2), 2);
    EXPECT_EQ(gif.Index(0, 0), 0);
    EXPECT_EQ(gif.TransparentIndex(), -1);
}

TEST(GifSave, OtherLayoutsUseTheFixedCubeWithoutDithering) {
    // Channel value -> level by (v + 3) div 51: the level boundaries.
    const std::pair<int, int> levels[] = {{0, 0},   {47, 0},  {48, 1},  {98, 1},
                                          {99, 2},  {149, 2}, {150, 3}, {200, 3},
                                          {201, 4}, {251, 4}, {252, 5}, {255, 5}};
    TBitmap b(int(std::size(levels)), 3, 24);
    for (int x = 0; x < b.Width(); ++x) {
        const std::uint8_t v = std::uint8_t(levels[x].first);
        b.SetPixel(x, 0, RGBColor(v, 0, 0));
        b.SetPixel(x, 1, RGBColor(0, v, 0));
        b.SetPixel(x, 2, RGBColor(0, 0, v));
    }
    Slurped gif(Saved(b));
    ASSERT_EQ(gif->SColorMap->ColorCount, 256);
    for (int i = 0; i < 216; ++i) {
        const GifColorType& c = gif->SColorMap->Colors[i];
        ASSERT_EQ(c.Red, i / 36 * 51);
        ASSERT_EQ(c.Green, i / 6 % 6 * 51);
        ASSERT_EQ(c.Blue, i % 6 * 51);
    }
    for (int x = 0; x < b.Width(); ++x) {
        const int level = levels[x].second;
        EXPECT_EQ(gif.Index(x, 0), level * 36) << levels[x].first;
        EXPECT_EQ(gif.Index(x, 1), level * 6) << levels[x].first;
        EXPECT_EQ(gif.Index(x, 2), level) << levels[x].first;
    }
    // Neighbouring pixels of one colour get one index: no dithering.
    TBitmap flat(8, 8, 32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) flat.SetPixel(x, y, RGBColor(120, 60, 200));
    Slurped flatGif(Saved(flat));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(flatGif.Index(x, y), 2 * 36 + 1 * 6 + 3);
}

TEST(GifSave, TransparencySurvivesALoadAndSaveAndNeverSpreadsToOpaqueWhite) {
    // Entry 0 is an opaque white, entry 2 (green) is transparent.
    TBitmap source(4, 2, 8);
    source.SetPalette({RGBColor(255, 255, 255), RGBColor(0, 0, 0), RGBColor(0, 255, 0)});
    source.SetPixel(1, 0, RGBColor(0, 255, 0));
    source.SetPixel(2, 1, RGBColor(0, 255, 0));
    source.SetPixel(3, 1, RGBColor(255, 255, 255));
    source.SetPixel(0, 0, RGBColor(255, 255, 255));
    source.TransparentColor = RGBColor(0, 255, 0);
    const auto first = Saved(source);
    EXPECT_EQ(Slurped(first).TransparentIndex(), 2);

    TBitmap loaded;
    GifLoadBuffer(first.data(), first.size(), loaded);
    EXPECT_EQ(loaded.GetPixel(1, 0), RGBColor(255, 255, 255));  // flattened onto white
    EXPECT_EQ(loaded.GetPixel(3, 1), RGBColor(255, 255, 255));

    Slurped again(Saved(loaded));
    const int t = again.TransparentIndex();
    ASSERT_GE(t, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(again.Index(x, y) == t, source.GetPixel(x, y) == RGBColor(0, 255, 0))
                << x << "," << y;
}

TEST(GifSave, TwentyFourBitTransparencyNamesItsCubeEntry) {
    TBitmap b(2, 1, 24);
    b.SetPixel(0, 0, RGBColor(255, 0, 255));
    b.TransparentColor = RGBColor(255, 0, 255);
    Slurped gif(Saved(b));
    EXPECT_EQ(gif.TransparentIndex(), 5 * 36 + 5);
    EXPECT_EQ(gif.Index(0, 0), 5 * 36 + 5);
}

TEST(GifSave, TooLargeEmptyAndFailedWritesAreReported) {
    TMemorySink sink;
    TBitmap wide(70000, 1, 8);
    EXPECT_THROW(GifSave(wide, sink), ECodecError);
    TBitmap empty;
    EXPECT_THROW(GifSave(empty, sink), ECodecError);
    class FailingSink : public TOutputSink {
      public:
        void Write(const void*, std::size_t) override { throw std::runtime_error("disk full"); }
    } failing;
    TBitmap b(3, 3, 24);
    try {
        GifSave(b, failing);
        ADD_FAILURE() << "saved";
    } catch (const ECodecError& e) {
        EXPECT_STREQ(e.what(), "disk full");
    }
}
