#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "engine/UnitThPicConvert.h"
#include "tests/engine/ImageCompare.h"
#include "tests/engine/PixelTestUtils.h"

using namespace tovali;

namespace fs = std::filesystem;
using pixel_test::SameImage;

namespace {

// Every picture the tests hold that the batch can take, in each format.
std::vector<std::string> EveryPicture() {
    std::vector<std::string> paths;
    for (const char* dir : {"jpeg", "png", "bmp", "gif", "exif", "exif/orientation"}) {
        for (const auto& entry : fs::directory_iterator(DataFile(dir))) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && ext != ".md" && ext != ".txt")
                paths.push_back(entry.path().string());
        }
    }
    return paths;
}

// The picture LoadPicture and ResizePicture give, or nothing when they fail.
std::unique_ptr<TBitmap> InTwoSteps(TthPicConvert& engine, const std::string& path) {
    auto b = std::make_unique<TBitmap>();
    try {
        engine.LoadPicture(path, *b);
    } catch (const std::exception&) {
        return nullptr;
    }
    engine.ResizePicture(*b);
    return b;
}

}  // namespace

TEST(LoadResizedPicture, GivesTheBytesOfLoadThenFitForEveryDecoderAndBox) {
    TthPicConvert engine;
    int compared = 0;
    // Boxes that shrink every test picture, some, or none; and no fit at all.
    for (const auto& [use, box] :
         {std::pair{true, 7}, {true, 20}, {true, 50}, {true, 5000}, {false, 7}}) {
        engine.Options.UsePicSize = use;
        engine.Options.PicWidth = box;
        engine.Options.PicHeight = box * 3 / 4 + 1;
        for (const std::string& path : EveryPicture()) {
            const auto expected = InTwoSteps(engine, path);
            TBitmap actual;
            bool loaded = false;
            if (!expected) {
                EXPECT_THROW(engine.LoadResizedPicture(path, actual, loaded), std::exception)
                    << path;
                EXPECT_FALSE(loaded) << path;
                continue;
            }
            engine.LoadResizedPicture(path, actual, loaded);
            EXPECT_TRUE(loaded);
            EXPECT_TRUE(SameImage(*expected, actual)) << path << " into " << box;
            EXPECT_EQ(expected->Palette(), actual.Palette()) << path;
            EXPECT_EQ(expected->TransparentColor, actual.TransparentColor) << path;
            ++compared;
        }
    }
    EXPECT_GT(compared, 300);
}

TEST(LoadResizedPicture, EveryCrasherFailsCleanlyAndTheRasterStays) {
    TthPicConvert engine;
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = engine.Options.PicHeight = 16;
    for (const auto& entry :
         fs::recursive_directory_iterator(std::string(TOVALI_SOURCE_DIR) + "/tests/crashers")) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
        TBitmap b(3, 2, 24);
        bool loaded = false;
        EXPECT_THROW(engine.LoadResizedPicture(entry.path().string(), b, loaded),
                     std::runtime_error)
            << entry.path();
        EXPECT_EQ(b.Width(), 3) << entry.path();
    }
}

TEST(LoadResizedPicture, AStoppedDecodeGivesUp) {
    TthPicConvert engine;
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = engine.Options.PicHeight = 16;
    const std::atomic<bool> stop{true};
    for (const char* name : {"jpeg/colour.jpg", "jpeg/progressive.jpg", "png/basn2c08.png"}) {
        TBitmap b;
        bool loaded = false;
        try {
            engine.LoadResizedPicture(DataFile(name), b, loaded, &stop);
            ADD_FAILURE() << name << " was decoded after the stop";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find("decode stopped"), std::string::npos) << e.what();
        }
    }
}
