// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/codecs/JpegCodec.h"
#include "engine/codecs/JpegCoefficients.h"
#include "tests/engine/PixelTestUtils.h"

using namespace tovali;

namespace {

// Rows of blocks from empty to full, with the extreme values and the sparse
// low-frequency pattern of real photos.
std::vector<JBLOCK> SampleBlocks(std::mt19937& rng, std::size_t count) {
    std::vector<JBLOCK> blocks(count);
    std::uniform_int_distribution<int> value(-32768, 32767), position(0, 63);
    for (std::size_t b = 0; b < count; ++b) {
        std::memset(blocks[b], 0, sizeof(JBLOCK));
        switch (b % 4) {
            case 0:
                break;
            case 1:
                for (int i = 0; i < 64; ++i) blocks[b][i] = JCOEF(value(rng) | 1);
                blocks[b][0] = -32768;
                blocks[b][63] = -1;
                break;
            case 2:
                for (int n = position(rng) % 6; n >= 0; --n)
                    blocks[b][position(rng) % 12] = JCOEF(value(rng) % 50);
                break;
            default:
                for (int n = position(rng); n > 0; --n)
                    blocks[b][position(rng)] = JCOEF(value(rng));
        }
    }
    return blocks;
}

// A progressive encode of stripes with noise up to `noisy`, with the given
// sampling of the first component (0 for a grey picture).
std::vector<std::uint8_t> ProgressiveJpeg(int width, int height, int hSamp, int vSamp,
                                          std::mt19937& rng, int noisy = 40) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    const bool grey = hSamp == 0;
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (!grey) {
        c.comp_info[0].h_samp_factor = hSamp;
        c.comp_info[0].v_samp_factor = vSamp;
    }
    jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * std::size_t(c.input_components));
    std::uniform_int_distribution<int> noise(0, noisy);
    for (int y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = JSAMPLE((i / 3 + std::size_t(y)) % 200 + std::size_t(noise(rng)));
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(data, data + size);
    std::free(data);
    return bytes;
}

struct TOutcome {
    TBitmap picture;
    std::string error;
};

void Decode(const std::vector<std::uint8_t>& file, bool packed, bool fitted, TOutcome& outcome) {
    TDecodeRequest request;
    request.CompactCoefficients = packed;
    if (fitted)
        request.Fit = [](int w, int h) {
            return std::optional<TFitSize>({(w + 2) / 3, (h + 2) / 3});
        };
    try {
        JpegLoadFittedBuffer(file.data(), file.size(), outcome.picture, request);
    } catch (const std::exception& e) {
        outcome.error = e.what();
    }
}

}  // namespace

TEST(PackKernels, EveryKernelPacksThePlainBytesAndUnpacksTheBlocks) {
    std::mt19937 rng(7);
    for (const std::size_t count : {1u, 2u, 5u, 37u, 512u}) {
        const std::vector<JBLOCK> blocks = SampleBlocks(rng, count);
        std::vector<std::uint8_t> plain(PackedRowCapacity(count));
        const std::size_t size =
            PackRowWith(TPackKernel::Plain, blocks.data(), count, plain.data());
        ASSERT_LE(size + kPackSlack, plain.size());
        for (const TPackKernel kernel : SupportedPackKernels()) {
            SCOPED_TRACE(int(kernel));
            std::vector<std::uint8_t> packed(PackedRowCapacity(count));
            ASSERT_EQ(PackRowWith(kernel, blocks.data(), count, packed.data()), size);
            EXPECT_EQ(0, std::memcmp(packed.data(), plain.data(), size));
            std::vector<JBLOCK> unpacked(count);
            std::memset(unpacked.data(), 0x5A, count * sizeof(JBLOCK));  // stale rows
            UnpackRowWith(kernel, plain.data(), unpacked.data(), count);
            EXPECT_EQ(0, std::memcmp(unpacked.data(), blocks.data(), count * sizeof(JBLOCK)));
        }
    }
}

// Every sampling, sizes that end inside a block and inside an MCU, whole and
// cut-off files (a cut one leaves coefficients unrefined, which makes the
// library smooth blocks over five rows at a time), full size and fitted.
TEST(JpegCoefficientStore, DecodesAsTheLibraryArraysDo) {
    std::mt19937 rng(11);
    int compared = 0;
    for (const auto& [h, v] : {std::pair{1, 1}, {2, 1}, {2, 2}, {1, 2}, {0, 0}}) {
        for (const auto& [w, ht] : {std::pair{1, 1}, {17, 9}, {203, 67}, {64, 130}}) {
            const std::vector<std::uint8_t> whole = ProgressiveJpeg(w, ht, h, v, rng);
            for (const std::size_t keep :
                 {whole.size(), whole.size() * 9 / 10, whole.size() / 2, whole.size() / 4}) {
                const std::vector<std::uint8_t> file(whole.begin(), whole.begin() + long(keep));
                for (const bool fitted : {false, true}) {
                    SCOPED_TRACE(std::to_string(h) + "x" + std::to_string(v) + " " +
                                 std::to_string(w) + "x" + std::to_string(ht) + " " +
                                 std::to_string(keep) + (fitted ? " fitted" : ""));
                    TOutcome library, packed;
                    Decode(file, false, fitted, library);
                    Decode(file, true, fitted, packed);
                    EXPECT_EQ(packed.error, library.error);
                    if (library.error.empty() && packed.error.empty()) {
                        EXPECT_TRUE(pixel_test::SameImage(library.picture, packed.picture));
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 100);
}

TEST(JpegCoefficientStore, HoldsFarLessThanTheLibraryArrays) {
    std::mt19937 rng(3);
    const std::vector<std::uint8_t> file = ProgressiveJpeg(640, 480, 2, 2, rng, 2);
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), file.size());
    jpeg_read_header(&d, TRUE);
    TJpegCoefficientStore store;
    store.Install(d);
    jpeg_start_decompress(&d);  // reads every scan
    const std::size_t library = (80 * 60 + 2 * 40 * 30) * sizeof(JBLOCK);
    EXPECT_GT(store.PackedBytes(), 0u);
    EXPECT_LT(store.PackedBytes(), library / 4);
    jpeg_destroy_decompress(&d);
}
