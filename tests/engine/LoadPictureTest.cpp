#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Orientation.h"
#include "engine/UnitThPicConvert.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

void CopyAs(const std::string& from, const std::string& to) {
    fs::copy_file(DataFile(from), to, fs::copy_options::overwrite_existing);
}

}  // namespace

TEST(LoadPicture, JpegExtensionsInAnyLetterCaseDecodeAsJpeg) {
    TTempDir dir;
    TthPicConvert engine;
    for (const char* name : {"a.jpg", "b.JPG", "c.Jpg", "d.jpeg", "e.JPEG", "f.jPeG"}) {
        CopyAs("jpeg/colour.jpg", dir / name);
        TBitmap b;
        engine.LoadPicture(dir / name, b);
        EXPECT_EQ(b.Width(), 96) << name;
        EXPECT_EQ(b.BitsPerPixel(), 24) << name;
    }
}

TEST(LoadPicture, EachExtensionPicksItsDecoder) {
    TthPicConvert engine;
    TTempDir dir;
    struct Case {
        const char* source;
        const char* name;
        int bpp;
    };
    for (const Case& c :
         {Case{"bmp/pal4.bmp", "x.Bmp", 4}, Case{"png/basn3p08.png", "x.PNG", 8},
          Case{"gif/static_transparent.gif", "x.gif", 8}, Case{"jpeg/grey.jpg", "x.jpg", 8},
          Case{"heif/alpha.heic", "x.HeIc", 24}, Case{"heif/patches.heic", "x.heif", 24},
          Case{"heif/alpha.avif", "x.AVIF", 24}, Case{"webp/alpha.webp", "x.WebP", 24}}) {
        CopyAs(c.source, dir / c.name);
        TBitmap b(3, 3, 24);
        engine.LoadPicture(dir / c.name, b);
        EXPECT_EQ(b.BitsPerPixel(), c.bpp) << c.name;
    }
    // The extension decides, not the content: PNG data named .bmp fails.
    CopyAs("png/basn2c08.png", dir / "lies.bmp");
    TBitmap b;
    EXPECT_THROW(engine.LoadPicture(dir / "lies.bmp", b), std::runtime_error);
}

TEST(LoadPicture, WebpExifOrientationTurnsItUprightHeifKeepsItsOwnBoxes) {
    TthPicConvert engine;
    TBitmap webp, heif;
    engine.LoadPicture(DataFile("webp/exif-orientation-6.webp"), webp);
    EXPECT_EQ(webp.Width(), 80);  // stored 60 x 80
    EXPECT_EQ(webp.Height(), 60);
    engine.LoadPicture(DataFile("heif/exif-orientation-6.heic"), heif);
    EXPECT_EQ(heif.Width(), 60);
    EXPECT_EQ(heif.Height(), 80);
    // Both were made from one JPEG: the upright WebP is the HEIF turned.
    ApplyExifOrientation(heif, 6);
    int near = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) {
            const TColor a = webp.GetPixel(x, y), b = heif.GetPixel(x, y);
            near += std::abs(GetGValue(a) - GetGValue(b)) < 24;
        }
    EXPECT_GT(near, 80 * 60 * 9 / 10);
}

TEST(LoadPicture, OtherExtensionsGiveAnEmptyRaster) {
    TthPicConvert engine;
    TTempDir dir;
    CopyAs("jpeg/colour.jpg", dir / "photo.jpg.txt");
    CopyAs("jpeg/colour.jpg", dir / "noextension");
    CopyAs("jpeg/colour.jpg", dir / "photo.tif");
    for (const char* name : {"photo.jpg.txt", "noextension", "photo.tif"}) {
        TBitmap b(10, 10, 24);
        engine.LoadPicture(dir / name, b);
        EXPECT_EQ(b.Width(), 0) << name;
        EXPECT_EQ(b.Height(), 0) << name;
    }
    // A full stop in a folder name is no extension.
    fs::create_directory(dir / "album.jpg");
    CopyAs("jpeg/colour.jpg", dir / "album.jpg/cover");
    TBitmap b(10, 10, 24);
    engine.LoadPicture(dir / "album.jpg/cover", b);
    EXPECT_TRUE(b.Empty());
}

TEST(LoadPicture, AFailedLoadLeavesTheRasterAsItWas) {
    TthPicConvert engine;
    TTempDir dir;
    TBitmap b(7, 5, 24);
    b.SetPixel(1, 1, RGBColor(1, 2, 3));
    for (const std::string& path : {dir / "missing.png", dir / "folder.jpg"}) {
        if (path.ends_with("folder.jpg")) fs::create_directory(path);
        try {
            engine.LoadPicture(path, b);
            ADD_FAILURE() << path << " loaded";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        EXPECT_EQ(b.Width(), 7);
        EXPECT_EQ(b.GetPixel(1, 1), RGBColor(1, 2, 3));
    }
}

TEST(LoadPicture, EveryCrasherFailsCleanly) {
    TthPicConvert engine;
    int count = 0;
    for (const auto& entry :
         fs::recursive_directory_iterator(std::string(TOVALI_SOURCE_DIR) + "/tests/crashers")) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
        TBitmap b;
        EXPECT_THROW(engine.LoadPicture(entry.path().string(), b), std::runtime_error)
            << entry.path();
        ++count;
    }
    EXPECT_GT(count, 40);
}
