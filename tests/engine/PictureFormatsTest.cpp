// The format table: each row's header reader agrees with what its decoder
// does, and the decode cost built on it covers what a decode takes.
#include <gtest/gtest.h>
#include <png.h>
#ifdef _WIN32
#include "exif/WinApi.h"
#else
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/DecodeCost.h"
#include "engine/PictureExif.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/BmpCodec.h"
#include "engine/codecs/GifCodec.h"
#include "engine/codecs/JpegCodec.h"
#include "engine/codecs/PictureFormats.h"
#include "engine/codecs/PngCodec.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

// Every picture the tests hold in a format of the table.
std::vector<std::string> EveryFixture() {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(DataFile(""))) {
        if (entry.is_regular_file() && FormatOfFile(entry.path().string()))
            paths.push_back(entry.path().string());
    }
    return paths;
}

// Boxes that shrink every picture, some, or none.
constexpr int kBoxes[] = {7, 50, 5000};

void SetBox(TthPicConvert& engine, int box) {
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = box;
    engine.Options.PicHeight = box * 3 / 4 + 1;
}

#ifndef _WIN32  // the peak is read from Linux's /proc: Windows cannot reset it
// A 1-bit grey PNG, as page scanners write them (our writer makes paletted
// files only).
void WriteGreyOneBitPng(const std::string& path, int width, int height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 1, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    std::vector<png_byte> row(std::size_t(width + 7) / 8);
    for (int y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = png_byte((y / 8 + i) & 1 ? 0xF0 : 0x0F);
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Pictures large enough that what their decode holds dwarfs the libraries'
// fixed state, in the layouts whose costs differ.
std::vector<std::string> LargePictures(const TTempDir& dir) {
    constexpr int kWidth = 2400, kHeight = 1600;
    TBitmap colour(kWidth, kHeight, 24);
    std::mt19937 random(7);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = colour.ScanLine(y);
        for (int i = 0; i < kWidth * 3; ++i) row[i] = std::uint8_t((i + y) / 9 + random() % 24);
    }
    TBitmap paletted(kWidth, kHeight, 8);
    std::vector<TColor> palette;
    for (int i = 0; i < 256; ++i) palette.push_back(RGBColor(i, 255 - i, i / 2));
    paletted.SetPalette(palette);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) paletted.ScanLine(y)[x] = std::uint8_t(x ^ y);
    std::vector<std::string> paths;
    const auto save = [&](const std::string& name, auto encode) {
        TMemorySink sink;
        encode(sink);
        WriteFile(dir / name, sink.Bytes);
        paths.push_back(dir / name);
    };
    for (const bool progressive : {false, true}) {
        TJpegImage jpeg(colour);
        jpeg.ProgressiveEncoding = progressive;
        jpeg.Compress();
        save(progressive ? "progressive.jpg" : "baseline.jpg",
             [&](TMemorySink& s) { s.Write(jpeg.Data(), jpeg.DataSize()); });
    }
    save("colour.png", [&](TMemorySink& s) { PngSave(colour, s); });
    save("paletted.png", [&](TMemorySink& s) { PngSave(paletted, s); });
    save("paletted.gif", [&](TMemorySink& s) { GifSave(paletted, s); });
    save("colour.bmp", [&](TMemorySink& s) { BmpSave(colour, s); });
    WriteGreyOneBitPng(dir / "page-scan.png", kWidth * 2, kHeight * 2);
    paths.push_back(dir / "page-scan.png");
    return paths;
}

// The kernel's figures for this process, in bytes: Linux clears the peak
// (VmHWM) down to the current resident set on "5" to clear_refs.
std::uint64_t StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1)) * 1024;
    }
    return 0;
}

// Freed heap memory goes back to the system first, so that memory the load
// reuses counts as it would in a fresh process.
bool ResetPeak() {
    malloc_trim(0);
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}
#endif

}  // namespace

// The header tells the size and layout of the raster the decoder makes, and
// the decoder asks for a fit exactly when the header says it streams.
TEST(PictureFormats, EveryHeaderTellsWhatItsDecoderDoes) {
    TthPicConvert engine;
    int checked = 0;
    for (const std::string& path : EveryFixture()) {
        const TPictureFormat& format = *FormatOfFile(path);
        for (const int box : kBoxes) {
            SetBox(engine, box);
            TPictureHeader header;
            bool readable = true;
            try {
                header = format.ReadHeader(path, false);
            } catch (const ECodecError&) {
                readable = false;
            }
            bool asked = false;
            TDecodeRequest request;
            request.Fit = [&](int width, int height) -> std::optional<TFitSize> {
                asked = true;
                EXPECT_EQ(std::uint64_t(width), header.Width) << path;
                EXPECT_EQ(std::uint64_t(height), header.Height) << path;
                const auto size = engine.FittedSize(width, height);
                if (!size) return std::nullopt;
                return TFitSize{size->cx, size->cy};
            };
            TBitmap picture;
            try {
                format.Load(path, picture, request);
            } catch (const std::exception&) {
                continue;  // a header may read where the pictures does not
            }
            ASSERT_TRUE(readable) << path << ": decoded without a readable header";
            EXPECT_EQ(asked, header.StreamsIntoFit) << path;
            const auto fitted = engine.FittedSize(int(header.Width), int(header.Height));
            if (asked && fitted) {
                EXPECT_EQ(picture.Width(), fitted->cx) << path;
                EXPECT_EQ(picture.BitsPerPixel(), 24) << path;
            } else {
                EXPECT_EQ(std::uint64_t(picture.Width()), header.Width) << path;
                EXPECT_EQ(std::uint64_t(picture.Height()), header.Height) << path;
                EXPECT_EQ(picture.BitsPerPixel(), header.BitsPerPixel) << path;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 300);
}

#ifndef _WIN32
// Measured by the resident set's peak, which sanitizers inflate with their
// own bookkeeping. Beside what the estimate counts, the libraries hold a
// fixed state (tables, contexts, threads) the allowance covers.
TEST(PictureFormats, TheCostCoversWhatTheLoadAndFitTake) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow and quarantine hold memory of their own";
#endif
    constexpr std::uint64_t kLibraryState = 3 << 20;
    ASSERT_TRUE(ResetPeak()) << "the kernel does not let the peak be measured";
    TTempDir dir;
    std::vector<std::string> paths = LargePictures(dir);
    for (const std::string& path : EveryFixture()) paths.push_back(path);
    TthPicConvert engine;
    for (const bool compact : {false, true}) {
        engine.CompactCoefficients = compact;
        for (const int box : {160, 1280, 5000}) {
            SetBox(engine, box);
            for (const std::string& path : paths) {
                const TDecodeCost cost = EstimateDecodeCost(path, &engine);
                auto picture = std::make_unique<TBitmap>();
                ResetPeak();
                const std::uint64_t before = StatusBytes("VmRSS");
                bool loaded = false;
                try {
                    engine.LoadResizedPicture(path, *picture, loaded);
                } catch (const std::exception&) {
                    continue;
                }
                const std::uint64_t taken = StatusBytes("VmHWM") - before;
                EXPECT_LE(taken, cost.PeakBytes + kLibraryState) << path << " into " << box;
                EXPECT_GE(cost.HeldBytes, picture->Stride() * std::uint64_t(picture->Height()))
                    << path << " into " << box;
            }
        }
    }
}
#endif

TEST(DecodeCost, HeadersTellTheRasterAndTheDecodersPeak) {
    const TDecodeCost baseline = EstimateDecodeCost(DataFile("jpeg/colour.jpg"));
    EXPECT_EQ(baseline.RasterBytes, 96u * 64 * 3);
    EXPECT_GE(baseline.PeakBytes, baseline.RasterBytes);
    // 4:4:4 progressive: three components of 12 x 8 blocks of 64 two-byte coefficients.
    const TDecodeCost progressive = EstimateDecodeCost(DataFile("jpeg/progressive.jpg"));
    EXPECT_EQ(progressive.RasterBytes, 96u * 64 * 3);
    EXPECT_EQ(progressive.PeakBytes - baseline.PeakBytes, 3u * 12 * 8 * 64 * 2);
    EXPECT_EQ(EstimateDecodeCost(DataFile("png/basn2c08.png")).RasterBytes, 32u * 32 * 3);
    // The new formats' sizes come from their headers; the decoders' buffers on top.
    for (const char* file : {"heif/patches.heic", "heif/alpha.avif", "webp/alpha.webp"}) {
        const TDecodeCost cost = EstimateDecodeCost(DataFile(file));
        EXPECT_EQ(cost.RasterBytes, 64u * 48 * 3) << file;
        EXPECT_GT(cost.PeakBytes, cost.RasterBytes) << file;
    }
    EXPECT_EQ(EstimateDecodeCost(DataFile("heif/rotated-irot1.avif")).RasterBytes, 48u * 64 * 3);
    EXPECT_EQ(EstimateDecodeCost(DataFile("../crashers/webp/riff-only.webp")).PeakBytes, 0u);
    EXPECT_EQ(EstimateDecodeCost(DataFile("no/such.jpg")).PeakBytes, 0u);
    EXPECT_EQ(EstimateDecodeCost(DataFile("png/basn2c08.png.jpg")).PeakBytes, 0u);
}

// Packed, the coefficients cost their masks and about four bytes a byte of
// the file, never more than the library's arrays and their masks.
TEST(DecodeCost, PackedCoefficientsAreCountedFromTheFileSize) {
    TthPicConvert engine;
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = engine.Options.PicHeight = 16;
    const std::string path = DataFile("jpeg/progressive.jpg");
    const TDecodeCost plain = EstimateDecodeCost(path, &engine);
    engine.CompactCoefficients = true;
    const TDecodeCost packed = EstimateDecodeCost(path, &engine);
    const std::uint64_t blocks = 3 * 12 * 8, file = fs::file_size(path);
    EXPECT_EQ(plain.PeakBytes - packed.PeakBytes,
              blocks * 128 - std::min(blocks * 136, blocks * 8 + 4 * file));
    EXPECT_EQ(packed.HeldBytes, plain.HeldBytes);
}

// The estimate runs before the load: a pipe named like a picture must not
// keep it waiting for a writer.
#ifdef _WIN32
TEST(DecodeCost, PipesAndDevicesCostNothingAndNeverWait) {
    std::vector<HANDLE> servers;
    for (const wchar_t* name : {L"p.jpg", L"p.png"}) {
        const std::wstring pipe =
            L"\\\\.\\pipe\\tovali-cost-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
        servers.push_back(CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4,
                                           4096, 4096, 0, nullptr));
        ASSERT_NE(servers.back(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(EstimateDecodeCost(fs::path(pipe).string()).PeakBytes, 0u) << fs::path(pipe);
    }
    EXPECT_EQ(EstimateDecodeCost("NUL.bmp").PeakBytes, 0u);  // the device, whatever follows
    for (const HANDLE server : servers) CloseHandle(server);
}
#else
TEST(DecodeCost, PipesAndDevicesCostNothingAndNeverWait) {
    TTempDir dir;
    for (const char* name : {"p.jpg", "p.png"}) ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "z.bmp");
    alarm(20);  // a hang ends the test program instead of the whole run
    for (const char* name : {"p.jpg", "p.png", "z.bmp"})
        EXPECT_EQ(EstimateDecodeCost(dir / name).PeakBytes, 0u) << name;
    alarm(0);
}
#endif
