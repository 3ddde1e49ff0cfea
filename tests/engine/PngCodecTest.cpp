#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>

#include "engine/codecs/PaletteUtils.h"
#include "engine/codecs/PngCodec.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace {

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           p[3];
}

// The chunks of a PNG file, in order; fails the test on a malformed file.
std::vector<Chunk> Chunks(const std::vector<std::uint8_t>& file) {
    std::vector<Chunk> chunks;
    EXPECT_GE(file.size(), 8u);
    for (std::size_t p = 8; p + 12 <= file.size();) {
        const std::uint32_t length = BigEndian32(&file[p]);
        EXPECT_LE(p + 12 + length, file.size());
        if (p + 12 + length > file.size()) break;
        chunks.push_back({std::string(file.begin() + long(p) + 4, file.begin() + long(p) + 8),
                          std::vector<std::uint8_t>(file.begin() + long(p) + 8,
                                                    file.begin() + long(p) + 8 + length)});
        p += 12 + length;
    }
    return chunks;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const std::string& type) {
    for (const Chunk& c : chunks)
        if (c.type == type) return &c;
    return nullptr;
}

std::vector<std::uint8_t> Saved(const TBitmap& picture) {
    TMemorySink sink;
    PngSave(picture, sink);
    return sink.Bytes;
}

void LoadPng(const std::string& name, TBitmap& picture) {
    PngLoad(DataFile("png/" + name), picture);
}

void Noise(TBitmap& b, unsigned seed) {
    std::mt19937 random(seed);
    for (int y = 0; y < b.Height(); ++y)
        for (std::size_t i = 0; i < b.Stride(); ++i) b.ScanLine(y)[i] = std::uint8_t(random());
}

std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& data, std::size_t expected) {
    std::vector<std::uint8_t> out(expected + 16);
    uLongf size = uLongf(out.size());
    EXPECT_EQ(uncompress(out.data(), &size, data.data(), uLong(data.size())), Z_OK);
    out.resize(size);
    return out;
}

}  // namespace

TEST(PngLoad, LayoutFollowsTheHeaderUnlessAlphaIsPartial) {
    struct Case {
        const char* file;
        int bpp;
        std::size_t paletteSize;
    };
    const Case cases[] = {
        {"basn0g01.png", 1, 2},  {"basn0g02.png", 4, 4},   {"basn0g04.png", 4, 16},
        {"basn0g08.png", 24, 0}, {"basn0g16.png", 24, 0},  {"basn2c08.png", 24, 0},
        {"basn2c16.png", 24, 0}, {"basn3p01.png", 1, 2},   {"basn3p02.png", 4, 4},
        {"basn3p04.png", 4, 15}, {"basn3p08.png", 8, 256}, {"basn4a08.png", 24, 0},
        {"basn4a16.png", 24, 0}, {"basn6a08.png", 24, 0},  {"basn6a16.png", 24, 0},
        {"tm3n3p02.png", 24, 0}, {"tp0n3p08.png", 8, 245}, {"s01n3p01.png", 1, 1},
    };
    for (const Case& c : cases) {
        TBitmap b;
        LoadPng(c.file, b);
        EXPECT_EQ(b.BitsPerPixel(), c.bpp) << c.file;
        EXPECT_EQ(b.Palette().size(), c.paletteSize) << c.file;
        EXPECT_FALSE(b.TransparentColor.has_value()) << c.file;
    }
    TBitmap grey;
    LoadPng("basn0g02.png", grey);
    EXPECT_EQ(grey.Palette(), (std::vector<TColor>{0, 0x555555, 0xAAAAAA, 0xFFFFFF}));
}

TEST(PngLoad, PixelsMatchAnIndependentReaderOverWhite) {
    for (const auto& entry : std::filesystem::directory_iterator(DataFile("png"))) {
        const std::string name = entry.path().filename().string();
        // Colour-keyed files keep their key colour here; Qt shows them over white.
        if (name == "tbrn2c08.png" || name == "tbbn0g04.png" || name == "tbwn0g16.png") continue;
        TBitmap ours, reference;
        PngLoad(entry.path().string(), ours);
        QtReference(entry.path().string(), reference);
        EXPECT_TRUE(SameColours(ours, reference)) << name;
    }
}

TEST(PngLoad, InterlacedFilesDecodeLikeTheirPlainTwins) {
    for (const char* kind : {"0g01", "0g02", "0g04", "0g08", "0g16", "2c08", "2c16", "3p01", "3p02",
                             "3p04", "3p08", "4a08", "4a16", "6a08", "6a16"}) {
        TBitmap interlaced, plain;
        LoadPng(std::string("basi") + kind + ".png", interlaced);
        LoadPng(std::string("basn") + kind + ".png", plain);
        EXPECT_EQ(interlaced.BitsPerPixel(), plain.BitsPerPixel()) << kind;
        EXPECT_TRUE(SameColours(interlaced, plain)) << kind;
    }
}

TEST(PngLoad, ASingleTransparentColourIsRecorded) {
    struct Case {
        const char* file;
        int bpp;
    };
    for (const Case& c :
         {Case{"tbrn2c08.png", 24}, Case{"tbbn0g04.png", 4}, Case{"tbwn0g16.png", 24}}) {
        TBitmap b;
        LoadPng(c.file, b);
        EXPECT_EQ(b.BitsPerPixel(), c.bpp) << c.file;
        const auto chunks = Chunks(ReadBytes(DataFile(std::string("png/") + c.file)));
        const Chunk* trns = Find(chunks, "tRNS");
        ASSERT_NE(trns, nullptr);
        ASSERT_TRUE(b.TransparentColor.has_value()) << c.file;
        // The key in the file is 16 bits per sample; 8-bit files use the low
        // byte, 16-bit files scale the sample.
        const auto sample = [&](std::size_t i) { return (trns->data[i] << 8) | trns->data[i + 1]; };
        if (c.bpp == 4) {
            const int v = sample(0) * 17;
            EXPECT_EQ(*b.TransparentColor, RGBColor(v, v, v));
        } else if (trns->data.size() == 6) {
            EXPECT_EQ(*b.TransparentColor, RGBColor(sample(0), sample(2), sample(4)));
        } else {
            const int v = (sample(0) * 255 + 32767) / 65535;
            EXPECT_EQ(*b.TransparentColor, RGBColor(v, v, v));
        }
    }
}

TEST(PngLoad, FullyTransparentPaletteEntriesBecomeOneWhiteTransparentEntry) {
    TBitmap b;
    LoadPng("tbbn3p08.png", b);
    ASSERT_EQ(b.BitsPerPixel(), 8);
    ASSERT_EQ(b.TransparentColor, RGBColor(255, 255, 255));
    const int t = TransparentPaletteIndex(b);
    ASSERT_GE(t, 0);
    // Exactly the pixels Qt reads as transparent use the transparent entry.
    const QImage image(QString::fromStdString(DataFile("png/tbbn3p08.png")));
    int transparent = 0;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            const bool clear = qAlpha(image.pixel(x, y)) == 0;
            EXPECT_EQ(b.ScanLine(y)[x] == t, clear) << x << "," << y;
            transparent += clear;
        }
    }
    EXPECT_GT(transparent, 0);
}

TEST(PngLoad, DamagedFilesFailWithAMessage) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TOVALI_SOURCE_DIR) +
                                                                 "/tests/crashers/png")) {
        TBitmap b;
        try {
            PngLoad(entry.path().string(), b);
            ADD_FAILURE() << entry.path() << " loaded";
        } catch (const ECodecError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("PNG: ", 0), 0u) << e.what();
        }
        ++count;
    }
    EXPECT_GE(count, 14);
    // Every cut of a good file fails cleanly.
    const auto good = ReadBytes(DataFile("png/basn2c08.png"));
    for (std::size_t cut = 0; cut < good.size(); cut += 7) {
        TBitmap b;
        EXPECT_THROW(PngLoadBuffer(good.data(), cut, b), ECodecError) << cut;
    }
}

TEST(PngSave, ColourTypeAndBitDepthFollowTheRasterLayout) {
    struct Case {
        int bpp;
        int colourType;
        int depth;
    };
    for (const Case& c : {Case{1, 3, 1}, Case{4, 3, 4}, Case{8, 3, 8}, Case{16, 2, 8},
                          Case{24, 2, 8}, Case{32, 2, 8}}) {
        TBitmap b(9, 4, c.bpp);
        if (c.bpp <= 8) b.SetPalette({RGBColor(1, 2, 3), RGBColor(200, 100, 50)});
        b.SetPixel(3, 2, RGBColor(200, 100, 50));
        const auto file = Saved(b);
        const auto chunks = Chunks(file);
        ASSERT_FALSE(chunks.empty());
        ASSERT_EQ(chunks[0].type, "IHDR");
        const auto& ihdr = chunks[0].data;
        EXPECT_EQ(BigEndian32(&ihdr[0]), 9u);
        EXPECT_EQ(BigEndian32(&ihdr[4]), 4u);
        EXPECT_EQ(ihdr[8], c.depth) << c.bpp;
        EXPECT_EQ(ihdr[9], c.colourType) << c.bpp;
        EXPECT_EQ(ihdr[12], 0) << "interlaced";
        const Chunk* plte = Find(chunks, "PLTE");
        EXPECT_EQ(plte != nullptr, c.bpp <= 8);
        if (plte) {
            EXPECT_EQ(plte->data, (std::vector<std::uint8_t>{1, 2, 3, 200, 100, 50}));
        }
        EXPECT_EQ(Find(chunks, "tRNS"), nullptr);
        std::vector<std::string> types;
        for (const Chunk& chunk : chunks) types.push_back(chunk.type);
        EXPECT_EQ(types.back(), "IEND");
        TBitmap back;
        PngLoadBuffer(file.data(), file.size(), back);
        EXPECT_TRUE(SameColours(back, b)) << c.bpp;
    }
}

TEST(PngSave, EveryRowUsesTheSubFilterAndChunksStayBelow64K) {
    TBitmap b(300, 200, 24);
    Noise(b, 1);
    const auto chunks = Chunks(Saved(b));
    std::vector<std::uint8_t> compressed;
    int dataChunks = 0;
    for (const Chunk& c : chunks) {
        if (c.type != "IDAT") continue;
        EXPECT_LE(c.data.size(), 65535u);
        compressed.insert(compressed.end(), c.data.begin(), c.data.end());
        ++dataChunks;
    }
    // Noise does not compress: the data spans several full chunks.
    ASSERT_GE(dataChunks, 3);
    EXPECT_EQ(Find(chunks, "IDAT")->data.size(), 65535u);
    // zlib header: level 7 is in the "maximum compression" band (FLEVEL 3).
    EXPECT_EQ(compressed[1] >> 6, 3);
    const std::size_t rowBytes = 1 + 300 * 3;
    const auto raw = Inflate(compressed, rowBytes * 200);
    ASSERT_EQ(raw.size(), rowBytes * 200);
    for (int y = 0; y < 200; ++y) ASSERT_EQ(raw[std::size_t(y) * rowBytes], 1) << "row " << y;
}

TEST(PngSave, TransparencyChunkOnlyForATransparentColour) {
    TBitmap rgb(4, 4, 24);
    rgb.SetPixel(1, 1, RGBColor(10, 20, 30));
    const auto opaque = Chunks(Saved(rgb));
    EXPECT_EQ(Find(opaque, "tRNS"), nullptr);
    rgb.TransparentColor = RGBColor(10, 20, 30);
    const auto file = Saved(rgb);
    const auto chunks = Chunks(file);
    const Chunk* trns = Find(chunks, "tRNS");
    ASSERT_NE(trns, nullptr);
    EXPECT_EQ(trns->data, (std::vector<std::uint8_t>{0, 10, 0, 20, 0, 30}));
    TBitmap back;
    PngLoadBuffer(file.data(), file.size(), back);
    EXPECT_EQ(back.TransparentColor, RGBColor(10, 20, 30));

    // Paletted: the lowest entry of the colour is the transparent one.
    TBitmap pal(4, 4, 8);
    pal.SetPalette(
        {RGBColor(0, 0, 0), RGBColor(9, 9, 9), RGBColor(255, 255, 255), RGBColor(9, 9, 9)});
    pal.TransparentColor = RGBColor(9, 9, 9);
    const auto palChunks = Chunks(Saved(pal));
    const Chunk* palTrns = Find(palChunks, "tRNS");
    ASSERT_NE(palTrns, nullptr);
    EXPECT_EQ(palTrns->data, (std::vector<std::uint8_t>{255, 0}));
}

TEST(PngSave, FailuresAreReported) {
    class FailingSink : public TOutputSink {
      public:
        void Write(const void*, std::size_t) override { throw std::runtime_error("disk full"); }
    } failing;
    TBitmap b(3, 3, 24);
    try {
        PngSave(b, failing);
        ADD_FAILURE() << "saved";
    } catch (const ECodecError& e) {
        EXPECT_NE(std::string(e.what()).find("disk full"), std::string::npos) << e.what();
    }
    TBitmap empty;
    TMemorySink sink;
    EXPECT_THROW(PngSave(empty, sink), ECodecError);
}
