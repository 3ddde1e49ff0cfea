// A stop request reaches every decoder, encoder and step of the engine: each
// gives up with EStopped once the flag is raised, also where the library
// cannot be told to stop and the work runs on a thread of its own; a flag
// that stays clear changes no byte of any result.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "engine/ColourProfile.h"
#include "engine/Orientation.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/BmpCodec.h"
#include "engine/codecs/GifCodec.h"
#include "engine/codecs/HeifCodec.h"
#include "engine/codecs/JpegCodec.h"
#include "engine/codecs/PictureFormats.h"
#include "engine/codecs/PngCodec.h"
#include "engine/codecs/Stoppable.h"
#include "engine/codecs/WebpCodec.h"
#include "tests/engine/ImageCompare.h"
#include "tests/engine/PixelTestUtils.h"

using namespace tovali;

namespace {

using TBytes = std::vector<std::uint8_t>;

// Taller than the rows a loop does between two looks at the flag.
void Photo(TBitmap& b) {
    b.SetSize(64, 48, 24);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.SetPixel(x, y, RGBColor(std::uint8_t(4 * x), std::uint8_t(5 * y), 90));
}

void Write(const std::string& path, const TBytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

template <class Work>
void ExpectStopped(Work work, const std::string& what) {
    try {
        work();
        ADD_FAILURE() << what << " went on after the stop";
    } catch (const EStopped&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << " failed otherwise: " << e.what();
    }
}

// The photo in every format the engine reads, beside pictures the tests
// hold (plain and interlaced PNG, lossless and animated WebP, HEVC-coded
// HEIF).
std::vector<std::string> EveryFormat(const TTempDir& dir, const TBitmap& photo) {
    TMemorySink bmp, gif;
    BmpSave(photo, bmp);
    GifSave(photo, gif);
    TJpegImage jpeg(photo);
    jpeg.Compress();
    Write(dir / "a.bmp", bmp.Bytes);
    Write(dir / "a.gif", gif.Bytes);
    Write(dir / "a.jpg", TBytes(jpeg.Data(), jpeg.Data() + jpeg.DataSize()));
    Write(dir / "a.webp", WebpEncode(photo, 80));
    Write(dir / "a.avif", AvifEncode(photo, 50));
    return {dir / "a.bmp",
            dir / "a.gif",
            dir / "a.jpg",
            dir / "a.webp",
            dir / "a.avif",
            DataFile("png/basn2c08.png"),
            DataFile("png/basi0g08.png"),
            DataFile("webp/lossless.webp"),
            DataFile("webp/animated.webp"),
            DataFile("heif/patches.heic")};
}

}  // namespace

TEST(Stop, EveryDecoderEncoderAndStepGivesUpOnceRaised) {
    TTempDir dir;
    TBitmap photo;
    Photo(photo);
    const std::atomic<bool> stop{true};
    TDecodeRequest request;
    request.Cancel = &stop;
    for (const std::string& path : EveryFormat(dir, photo)) {
        ExpectStopped(
            [&] {
                TBitmap b;
                FormatOfFile(path)->Load(path, b, request);
            },
            path);
    }
    ExpectStopped([&] { GifImageCount(dir / "a.gif", &stop); }, "GIF image count");

    ExpectStopped(
        [&] {
            TMemorySink png;
            PngSave(photo, png, &stop);
        },
        "PNG encode");
    ExpectStopped([&] { WebpEncode(photo, 80, &stop); }, "WebP encode");
    ExpectStopped([&] { AvifEncode(photo, 50, &stop); }, "AVIF encode");
    TBitmap paletted;
    GifLoad(dir / "a.gif", paletted);
    ExpectStopped([&] { Rgb24Copy(paletted, &stop); }, "24-bit copy");
    TJpegImage jpeg(paletted);
    jpeg.Cancel = &stop;
    ExpectStopped([&] { jpeg.Compress(); }, "JPEG of a paletted picture");

    TthPicConvert engine;
    TBitmap b;
    const auto step = [&](const char* what, auto run) {
        b.Assign(photo);
        ExpectStopped(run, what);
    };
    step("contrast", [&] { engine.AdjustContrast(b, 30, &stop); });
    step("vivid", [&] { engine.MakeVivid(b, &stop); });
    step("brightness", [&] { engine.AdjustBrightness(b, true, &stop); });
    step("monochrome", [&] { engine.MakeMonochrome(b, &stop); });
    engine.Options.UseFilter = engine.Options.UseVivid = true;
    step("effects", [&] { engine.ApplyEffects(b, &stop); });
    engine.Options.Date.Use = true;
    step("texts", [&] { engine.DrawTexts(b, "2026/12/10", &stop); });
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = engine.Options.PicHeight = 16;
    step("fit", [&] { engine.ResizePicture(b, &stop); });
    step("upright turn", [&] { ApplyExifOrientation(b, 6, &stop); });
    step("colour step", [&] {
        b.IccProfile = AdobeRgbProfile();
        ConvertToSrgb(b, &stop);
    });
    b.Assign(paletted);
    ExpectStopped([&] { b.ConvertTo24(&stop); }, "24-bit conversion");
    EXPECT_EQ(b.BitsPerPixel(), 8) << "a stopped conversion leaves the raster as it was";
}

// The flag is watched, never read into the result: the decodes and encodes
// that run on a thread of their own while a flag is given give the bytes
// of those that run without one.
TEST(Stop, AClearFlagChangesNoByte) {
    TTempDir dir;
    TBitmap photo;
    Photo(photo);
    const std::atomic<bool> clear{false};
    EXPECT_EQ(WebpEncode(photo, 80, &clear), WebpEncode(photo, 80));
    EXPECT_EQ(AvifEncode(photo, 50, &clear), AvifEncode(photo, 50));
    TDecodeRequest watched;
    watched.Cancel = &clear;
    for (const std::string& path : EveryFormat(dir, photo)) {
        TBitmap plain, seen;
        FormatOfFile(path)->Load(path, plain, {});
        FormatOfFile(path)->Load(path, seen, watched);
        EXPECT_TRUE(pixel_test::SameImage(plain, seen)) << path;
        EXPECT_EQ(plain.IccProfile, seen.IccProfile) << path;
    }
    TthPicConvert engine;
    engine.Options.UseFilter = engine.Options.UseContrast = engine.Options.UseMonochrome = true;
    engine.Options.ContrastValue = 40;
    TBitmap plain, seen;
    plain.Assign(photo);
    seen.Assign(photo);
    engine.ApplyEffects(plain);
    engine.ApplyEffects(seen, &clear);
    EXPECT_TRUE(pixel_test::SameImage(plain, seen));
}

// A stop while the work of a library that cannot stop runs: the caller
// returns at once, the work goes on alone with `abandoned` set, ends, and
// frees what it holds. Without a flag the work runs on the caller's thread,
// and its errors reach the caller. New work waits for abandoned work to end.
TEST(RunStoppable, AStopLeavesTheWorkToEndAlone) {
    std::atomic<bool> cancel{false};
    std::promise<void> started;
    std::promise<void> release;
    auto held = std::make_shared<int>(7);
    std::weak_ptr<int> watch = held;
    auto sawAbandoned = std::make_shared<std::atomic<bool>>(false);
    std::thread raiser([&, begun = started.get_future()] {
        begun.wait();
        cancel.store(true);
    });
    EXPECT_THROW(RunStoppable(
                     [&started, released = release.get_future().share(), held = std::move(held),
                      sawAbandoned](const std::atomic<bool>& abandoned) {
                         started.set_value();
                         released.wait();
                         sawAbandoned->store(abandoned.load());
                     },
                     &cancel, "work stopped"),
                 EStopped);
    raiser.join();
    EXPECT_FALSE(watch.expired()) << "the work still holds its share";
    // Until it ends, new work waits, and a stop ends that wait.
    std::atomic<bool> nextStop{false};
    std::atomic<int> nextRuns{0};
    auto next = [&] {
        RunStoppable([&](const std::atomic<bool>&) { ++nextRuns; }, &nextStop, "next stopped");
    };
    std::thread waiting([&] { EXPECT_THROW(next(), EStopped); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    nextStop.store(true);
    waiting.join();
    nextStop.store(false);
    std::thread after(next);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(nextRuns.load(), 0) << "new work waits for the abandoned work";
    release.set_value();
    after.join();
    EXPECT_EQ(nextRuns.load(), 1);
    for (int i = 0; i < 10000 && !watch.expired(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(watch.expired()) << "the abandoned work ended and let go";
    EXPECT_TRUE(sawAbandoned->load());

    std::thread::id ranOn;
    RunStoppable([&](const std::atomic<bool>&) { ranOn = std::this_thread::get_id(); }, nullptr,
                 "unused");
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    cancel.store(false);
    EXPECT_THROW(RunStoppable([](const std::atomic<bool>&) { throw ECodecError("HEIF: damaged"); },
                              &cancel, "work stopped"),
                 ECodecError);
}
