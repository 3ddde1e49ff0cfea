// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <gtest/gtest.h>

#include <array>
#include <csetjmp>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "engine/codecs/JpegCodec.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace {

// libjpeg jumps here on an error instead of ending the test program.
struct Jump {
    jpeg_error_mgr pub;
    std::jmp_buf buffer;
};

[[noreturn]] void JumpOut(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<Jump*>(cinfo->err)->buffer, 1);
}

struct Encoded {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~Encoded() { std::free(data); }
    std::vector<std::uint8_t> Bytes() const { return {data, data + size}; }
};

// A plain libjpeg encode from red-green-blue rows with the settings the
// encoder promises: what TJpegImage must reproduce byte for byte.
void ReferenceEncode(const TBitmap& b24, int quality, bool progressive, Encoded& out) {
    jpeg_compress_struct c{};
    Jump err{};
    std::vector<std::uint8_t> row(std::size_t(b24.Width()) * 3);
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpOut;
    if (setjmp(err.buffer)) {
        jpeg_destroy_compress(&c);
        FAIL() << "reference encode failed";
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out.data, &out.size);
    c.image_width = JDIMENSION(b24.Width());
    c.image_height = JDIMENSION(b24.Height());
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    c.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < b24.Height(); ++y) {
        const std::uint8_t* bgr = b24.ScanLine(y);
        for (int x = 0; x < b24.Width(); ++x) {
            row[std::size_t(x) * 3] = bgr[x * 3 + 2];
            row[std::size_t(x) * 3 + 1] = bgr[x * 3 + 1];
            row[std::size_t(x) * 3 + 2] = bgr[x * 3];
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
}

using QuantTable = std::array<unsigned, 64>;

// The luminance and chrominance tables jpeg_set_quality makes.
void ExpectedTables(int quality, QuantTable& luma, QuantTable& chroma) {
    jpeg_compress_struct c{};
    Jump err{};
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpOut;
    if (setjmp(err.buffer)) {
        jpeg_destroy_compress(&c);
        FAIL() << "library failed";
    }
    jpeg_create_compress(&c);
    c.in_color_space = JCS_RGB;
    c.input_components = 3;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    for (int i = 0; i < 64; ++i) {
        luma[std::size_t(i)] = c.quant_tbl_ptrs[0]->quantval[i];
        chroma[std::size_t(i)] = c.quant_tbl_ptrs[1]->quantval[i];
    }
    jpeg_destroy_compress(&c);
}

// The tables a JPEG file carries, as the library reads them.
void FileTables(const std::vector<std::uint8_t>& file, QuantTable& luma, QuantTable& chroma) {
    jpeg_decompress_struct d{};
    Jump err{};
    d.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpOut;
    if (setjmp(err.buffer)) {
        jpeg_destroy_decompress(&d);
        FAIL() << "cannot read the header";
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), file.size());
    jpeg_read_header(&d, TRUE);
    for (int i = 0; i < 64; ++i) {
        luma[std::size_t(i)] = d.quant_tbl_ptrs[0]->quantval[i];
        chroma[std::size_t(i)] = d.quant_tbl_ptrs[1]->quantval[i];
    }
    jpeg_destroy_decompress(&d);
}

// A 32 x 16 CMYK file of two flat halves, stored as given (Adobe files
// store inverted values; the library writes what it is handed).
void CmykFile(const std::array<std::uint8_t, 4>& left, const std::array<std::uint8_t, 4>& right,
              bool adobe, Encoded& out) {
    jpeg_compress_struct c{};
    Jump err{};
    std::vector<std::uint8_t> row(32 * 4);
    for (int x = 0; x < 32; ++x)
        for (int i = 0; i < 4; ++i)
            row[std::size_t(x * 4 + i)] = (x < 16 ? left : right)[std::size_t(i)];
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpOut;
    if (setjmp(err.buffer)) {
        jpeg_destroy_compress(&c);
        FAIL() << "CMYK encode failed";
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out.data, &out.size);
    c.image_width = 32;
    c.image_height = 16;
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, JCS_CMYK);
    c.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < 16; ++y) {
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
}

void Noise(TBitmap& b, unsigned seed) {
    std::mt19937 random(seed);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.SetPixel(x, y,
                       RGBColor(std::uint8_t(x * 3 + random() % 40), std::uint8_t(y * 5),
                                std::uint8_t(random())));
}

std::vector<std::uint8_t> Compressed(TJpegImage& jpeg) {
    return {jpeg.Data(), jpeg.Data() + jpeg.DataSize()};
}

bool HasMarker(const std::vector<std::uint8_t>& file, std::uint8_t marker) {
    // Markers before the first scan: walk the segments.
    for (std::size_t p = 2; p + 4 <= file.size() && file[p] == 0xFF;) {
        if (file[p + 1] == marker) return true;
        if (file[p + 1] == 0xDA) break;
        p += 2 + ((std::size_t(file[p + 2]) << 8) | file[p + 3]);
    }
    return false;
}

}  // namespace

TEST(JpegLoad, ColourFilesGiveTwentyFourBitsAsTheLibraryDecodesThem) {
    for (const char* name : {"colour.jpg", "progressive.jpg"}) {
        TBitmap ours, reference;
        JpegLoad(DataFile(std::string("jpeg/") + name), ours);
        EXPECT_EQ(ours.BitsPerPixel(), 24);
        EXPECT_TRUE(ours.Palette().empty());
        QtReference(DataFile(std::string("jpeg/") + name), reference);
        EXPECT_TRUE(SameColours(ours, reference)) << name;
    }
}

TEST(JpegLoad, GreyFilesGiveEightBitsWithA256StepGreyPalette) {
    TBitmap grey, reference;
    JpegLoad(DataFile("jpeg/grey.jpg"), grey);
    ASSERT_EQ(grey.BitsPerPixel(), 8);
    ASSERT_EQ(grey.Palette().size(), 256u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(grey.Palette()[std::size_t(i)], RGBColor(i, i, i));
    QtReference(DataFile("jpeg/grey.jpg"), reference);
    EXPECT_TRUE(SameColours(grey, reference));
}

TEST(JpegLoad, CmykAndYcckFilesBecomeTwentyFourBitColour) {
    // Ink C=0 M=255 Y=255 K=0 is red, whichever way the file stores it.
    for (const bool adobe : {false, true}) {
        const std::uint8_t on = adobe ? 0 : 255, off = adobe ? 255 : 0;
        Encoded file;
        CmykFile({off, on, on, off}, {off, off, off, std::uint8_t(adobe ? 128 : 127)}, adobe, file);
        TBitmap b;
        JpegLoadBuffer(file.data, file.size, b);
        ASSERT_EQ(b.BitsPerPixel(), 24);
        TBitmap expected(32, 16, 24);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x)
                expected.SetPixel(x, y, x < 16 ? RGBColor(255, 0, 0) : RGBColor(128, 128, 128));
        EXPECT_TRUE(SameColours(b, expected, 2)) << (adobe ? "Adobe" : "plain");
    }
    // A YCCK file from another encoder looks like its RGB original.
    TBitmap ycck, rgb;
    JpegLoad(DataFile("jpeg/cmyk.jpg"), ycck);
    JpegLoad(DataFile("jpeg/colour.jpg"), rgb);
    EXPECT_TRUE(SameColours(ycck, rgb, 24));
}

TEST(JpegLoad, DamagedDataGivesWhatTheLibraryRecovers) {
    TBitmap b;
    JpegLoad(DataFile("jpeg/truncated.jpg"), b);
    EXPECT_EQ(b.Width(), 96);
    EXPECT_EQ(b.Height(), 64);
}

TEST(JpegLoad, BrokenFilesFailWithAMessage) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TOVALI_SOURCE_DIR) +
                                                                 "/tests/crashers/jpeg")) {
        TBitmap b;
        try {
            JpegLoad(entry.path().string(), b);
            ADD_FAILURE() << entry.path() << " loaded";
        } catch (const ECodecError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("JPEG: ", 0), 0u) << e.what();
        }
        ++count;
    }
    EXPECT_GE(count, 8);
}

TEST(JpegImage, EncodesLikeAPlainRgbEncodeWithTheFixedSettings) {
    TBitmap b(75, 41, 24);
    Noise(b, 3);
    for (const int quality : {0, 37, 80, 100}) {
        for (const bool progressive : {false, true}) {
            TJpegImage jpeg(b);
            jpeg.CompressionQuality = quality;
            jpeg.ProgressiveEncoding = progressive;
            jpeg.Compress();
            Encoded reference;
            ReferenceEncode(b, quality, progressive, reference);
            EXPECT_EQ(Compressed(jpeg), reference.Bytes())
                << quality << (progressive ? " progressive" : "");
        }
    }
}

TEST(JpegImage, QuantisationTablesAreTheBaselineScaledOnes) {
    TBitmap b(16, 16, 24);
    Noise(b, 4);
    for (const int quality : {1, 10, 30, 60, 80, 100}) {
        TJpegImage jpeg(b);
        jpeg.CompressionQuality = quality;
        jpeg.Compress();
        QuantTable fileLuma{}, fileChroma{}, luma{}, chroma{};
        FileTables(Compressed(jpeg), fileLuma, fileChroma);
        ExpectedTables(quality, luma, chroma);
        EXPECT_EQ(fileLuma, luma) << quality;
        EXPECT_EQ(fileChroma, chroma) << quality;
        for (const unsigned v : fileLuma) EXPECT_LE(v, 255u);  // baseline-limited
    }
}

TEST(JpegImage, FrameTypeHeadersAndNothingElse) {
    TBitmap b(20, 20, 24);
    Noise(b, 5);
    TJpegImage jpeg(b);
    jpeg.Compress();
    const auto baseline = Compressed(jpeg);
    EXPECT_TRUE(HasMarker(baseline, 0xC0));
    EXPECT_FALSE(HasMarker(baseline, 0xC2));
    EXPECT_TRUE(HasMarker(baseline, 0xE0));   // JFIF
    EXPECT_FALSE(HasMarker(baseline, 0xE1));  // no EXIF or other metadata
    EXPECT_FALSE(HasMarker(baseline, 0xFE));
    jpeg.ProgressiveEncoding = true;
    jpeg.Compress();
    const auto progressive = Compressed(jpeg);
    EXPECT_TRUE(HasMarker(progressive, 0xC2));
    EXPECT_FALSE(HasMarker(progressive, 0xC0));
}

TEST(JpegImage, OtherLayoutsEncodeFromATwentyFourBitCopy) {
    TBitmap grey;
    JpegLoad(DataFile("jpeg/grey.jpg"), grey);
    TBitmap copy;
    copy.Assign(grey);
    copy.ConvertTo24();
    TJpegImage fromGrey(grey), fromCopy(copy);
    fromGrey.Compress();
    fromCopy.Compress();
    EXPECT_EQ(Compressed(fromGrey), Compressed(fromCopy));
    EXPECT_EQ(grey.BitsPerPixel(), 8);  // the raster itself is untouched
}

TEST(JpegImage, EmptyRastersAreRefused) {
    TBitmap empty;
    TJpegImage jpeg(empty);
    EXPECT_THROW(jpeg.Compress(), ECodecError);
    EXPECT_EQ(jpeg.DataSize(), 0u);
}
