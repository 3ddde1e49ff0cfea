#include "engine/codecs/GifCodec.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/codecs/PaletteUtils.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

constexpr TColor kWhite = RGBColor(255, 255, 255);
constexpr int kMaxSide = 65535;
constexpr int kCubeLevels = 6;
// Once a file is known to hold two images, counting stops after this many
// pixels in all, so that a hostile file cannot keep intake busy for minutes.
constexpr std::uint64_t kMaxCountedPixels = 4 * TBitmap::MaxPixels;

[[noreturn]] void Fail(const char* why) {
    throw ECodecError(std::string("GIF: ") + why);
}

[[noreturn]] void FailWithCode(int code) {
    // giflib reports a short read as a read failure: the data ran out.
    if (code == D_GIF_ERR_READ_FAILED) Fail("file is truncated or damaged");
    const char* text = GifErrorString(code);
    Fail(text ? text : "unknown error");
}

int ReadInput(GifFileType* gif, GifByteType* buffer, int length) {
    return int(static_cast<TInputSource*>(gif->UserData)->Read(buffer, std::size_t(length)));
}

struct GifReader {
    GifFileType* gif = nullptr;
    explicit GifReader(TInputSource& source) {
        int error = 0;
        gif = DGifOpen(&source, ReadInput, &error);
        if (!gif) FailWithCode(error);
    }
    GifReader(const GifReader&) = delete;
    GifReader& operator=(const GifReader&) = delete;
    ~GifReader() {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
    void Check(int result) const {
        if (result == GIF_ERROR) FailWithCode(gif->Error);
    }
};

// Reads one extension; a graphic control block sets the transparent index
// of the image that follows.
void ReadExtension(const GifReader& r, int& transparent) {
    int code = 0;
    GifByteType* block = nullptr;
    r.Check(DGifGetExtension(r.gif, &code, &block));
    GraphicsControlBlock gcb{};
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4 &&
        DGifExtensionToGCB(4, block + 1, &gcb) == GIF_OK) {
        transparent = gcb.TransparentColor;
    }
    while (block) r.Check(DGifGetExtensionNext(r.gif, &block));
}

// Decodes the lines of the image just described, in picture order; gives
// up between lines once `cancel` is set.
template <typename OnLine>
void ReadLines(const GifReader& r, const std::atomic<bool>* cancel, OnLine onLine) {
    const GifImageDesc& d = r.gif->Image;
    if (d.Width <= 0 || d.Height <= 0) Fail("empty image");
    if (std::uint64_t(d.Width) * std::uint64_t(d.Height) > TBitmap::MaxPixels)
        Fail("image too large");
    std::vector<GifByteType> line(std::size_t(d.Width));
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = d.Interlace ? 4 : 1;
    int lines = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
        for (int y = start; y < d.Height; y += step) {
            if (++lines % kRowsPerStopLook == 0) ThrowIfStopped(cancel, "decode stopped");
            r.Check(DGifGetLine(r.gif, line.data(), d.Width));
            onLine(y, line.data());
        }
    }
}

// Places the first image on a screen filled with `background`.
void PaintFrame(const GifReader& r, int background, const std::atomic<bool>* cancel,
                TBitmap& picture) {
    const GifImageDesc& d = r.gif->Image;
    for (int y = 0; y < picture.Height(); ++y)
        std::fill_n(picture.ScanLine(y), picture.Width(), background);
    const int left = std::min(d.Left, picture.Width());
    const int right = std::min(d.Left + d.Width, picture.Width());
    ReadLines(r, cancel, [&](int y, const GifByteType* line) {
        const int row = d.Top + y;
        if (row < picture.Height() && left < right)
            std::copy(line, line + (right - left), picture.ScanLine(row) + left);
    });
}

// The picture's size: the logical screen, where a screen of 0 x 0 is taken
// to be the size of the image just described.
std::pair<int, int> ScreenSize(const GifReader& r) {
    const GifImageDesc& d = r.gif->Image;
    const int width = r.gif->SWidth > 0 ? r.gif->SWidth : d.Left + d.Width;
    const int height = r.gif->SHeight > 0 ? r.gif->SHeight : d.Top + d.Height;
    return {std::max(width, 0), std::max(height, 0)};
}

void DecodeFirstImage(const GifReader& r, int transparent, const std::atomic<bool>* cancel,
                      TBitmap& picture) {
    r.Check(DGifGetImageDesc(r.gif));
    const GifImageDesc& d = r.gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : r.gif->SColorMap;
    if (!map) Fail("no colour table");
    const auto [width, height] = ScreenSize(r);
    SetPictureSize(picture, std::uint64_t(width), std::uint64_t(height), 8, "GIF");
    std::vector<TColor> palette;
    for (int i = 0; i < map->ColorCount; ++i) {
        const GifColorType& c = map->Colors[i];
        palette.push_back(RGBColor(c.Red, c.Green, c.Blue));
    }
    const bool covers = d.Left == 0 && d.Top == 0 && d.Width >= width && d.Height >= height;
    if (transparent < 0 && !covers && palette.size() < 256) {
        // The uncovered screen is transparent; it needs an entry of its own.
        transparent = int(palette.size());
    }
    if (transparent >= 0 && std::size_t(transparent) >= palette.size())
        palette.resize(std::size_t(transparent) + 1, RGBColor(0, 0, 0));
    picture.SetPalette(palette);
    const int background = transparent >= 0 ? transparent : picture.NearestPaletteIndex(kWhite);
    PaintFrame(r, background, cancel, picture);
    std::vector<bool> flags(palette.size());
    if (transparent >= 0) flags[std::size_t(transparent)] = true;
    FlattenTransparentEntries(picture, flags);
}

// Reads up to the first image's record; returns the transparent index its
// graphic control block set.
int SkipToFirstImage(const GifReader& r) {
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        r.Check(DGifGetRecordType(r.gif, &type));
        if (type == EXTENSION_RECORD_TYPE) {
            ReadExtension(r, transparent);
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            return transparent;
        } else if (type == TERMINATE_RECORD_TYPE) {
            Fail("the file holds no image");
        }
    }
}

void Decode(TInputSource& source, TBitmap& picture, const std::atomic<bool>* cancel) {
    GifReader r(source);
    DecodeFirstImage(r, SkipToFirstImage(r), cancel, picture);
}

// The first image's description sets the size of a 0 x 0 screen. The
// decoder holds one line and its code tables beside the raster.
TPictureHeader Header(TInputSource& source) {
    constexpr std::uint64_t kCodeTables = 16 * 1024;
    GifReader r(source);
    SkipToFirstImage(r);
    r.Check(DGifGetImageDesc(r.gif));
    const auto [width, height] = ScreenSize(r);
    CheckPictureSize(std::uint64_t(width), std::uint64_t(height), "GIF");
    return {std::uint64_t(width), std::uint64_t(height), 8, false,
            std::uint64_t(std::max(r.gif->Image.Width, 0)) + kCodeTables};
}

void Load(TInputSource source, TBitmap& picture, const std::atomic<bool>* cancel = nullptr) {
    TBitmap decoded;
    Decode(source, decoded, cancel);
    picture.Swap(decoded);
}

int CountImages(TInputSource source, const std::atomic<bool>* cancel) {
    GifReader r(source);
    int count = 0;
    std::uint64_t pixels = 0;
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        r.Check(DGifGetRecordType(r.gif, &type));
        if (type == EXTENSION_RECORD_TYPE) {
            ReadExtension(r, transparent);
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            r.Check(DGifGetImageDesc(r.gif));
            // giflib keeps a record of every image described; only the count
            // matters here, and a file of a million tiny images must not
            // grow memory.
            GifFreeSavedImages(r.gif);
            r.gif->ImageCount = 0;
            ReadLines(r, cancel, [](int, const GifByteType*) {});
            pixels += std::uint64_t(r.gif->Image.Width) * std::uint64_t(r.gif->Image.Height);
            ++count;
            if (count >= 2 && pixels > kMaxCountedPixels) return count;
        } else if (type == TERMINATE_RECORD_TYPE) {
            if (count == 0) Fail("the file holds no image");
            return count;
        }
    }
}

// --- writing ---

// giflib keeps no text for a failed write, so the sink's own is kept here.
struct GifWriter {
    TOutputSink& sink;
    std::string failure;
    GifFileType* gif = nullptr;
    ColorMapObject* map = nullptr;
    explicit GifWriter(TOutputSink& out) : sink(out) {}
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;
    ~GifWriter() {
        int error = 0;
        if (gif) EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
    }
    void Check(int result) const {
        if (!failure.empty()) throw ECodecError(failure);
        if (result == GIF_ERROR) FailWithCode(gif->Error);
    }
};

int WriteOutput(GifFileType* gif, const GifByteType* data, int length) {
    auto* w = static_cast<GifWriter*>(gif->UserData);
    try {
        w->sink.Write(data, std::size_t(length));
        return length;
    } catch (const std::exception& e) {
        w->failure = e.what();
        return 0;
    }
}

int CubeLevel(int v) {
    return (v + 3) / 51;
}

int CubeIndex(TColor c) {
    return CubeLevel(GetRValue(c)) * 36 + CubeLevel(GetGValue(c)) * 6 + CubeLevel(GetBValue(c));
}

std::vector<TColor> CubePalette() {
    std::vector<TColor> palette(256, RGBColor(0, 0, 0));
    for (int i = 0; i < kCubeLevels * kCubeLevels * kCubeLevels; ++i)
        palette[std::size_t(i)] = RGBColor(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51);
    return palette;
}

ColorMapObject* MakeMap(std::vector<TColor> palette) {
    std::size_t size = 2;
    while (size < palette.size()) size *= 2;
    palette.resize(size, RGBColor(0, 0, 0));
    std::vector<GifColorType> colours;
    for (const TColor c : palette) colours.push_back({GetRValue(c), GetGValue(c), GetBValue(c)});
    ColorMapObject* map = GifMakeMapObject(int(size), colours.data());
    if (!map) Fail("out of memory");
    return map;
}

void FillLine(const TBitmap& picture, int y, std::vector<GifByteType>& line) {
    const int bpp = picture.BitsPerPixel();
    const std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < picture.Width(); ++x) {
        std::size_t i = std::size_t(x);
        if (bpp <= 8) {
            line[i] = GifByteType(PaletteIndexAt(row, x, bpp));
        } else if (bpp == 24) {
            line[i] = GifByteType(CubeLevel(row[i * 3 + 2]) * 36 + CubeLevel(row[i * 3 + 1]) * 6 +
                                  CubeLevel(row[i * 3]));
        } else {
            line[i] = GifByteType(CubeIndex(picture.GetPixel(x, y)));
        }
    }
}

void PutTransparency(const GifWriter& w, int index) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, index};
    GifByteType block[4];
    EGifGCBToExtension(&gcb, block);
    w.Check(EGifPutExtension(w.gif, GRAPHICS_EXT_FUNC_CODE, 4, block));
}

}  // namespace

void GifLoad(const std::string& path, TBitmap& picture, const std::atomic<bool>* cancel) {
    Load(TInputSource::OpenFile(path), picture, cancel);
}

void GifLoadBuffer(const void* data, std::size_t size, TBitmap& picture) {
    Load(TInputSource(data, size), picture);
}

int GifImageCount(const std::string& path, const std::atomic<bool>* cancel) {
    return CountImages(TInputSource::OpenFile(path), cancel);
}

int GifImageCountBuffer(const void* data, std::size_t size) {
    return CountImages(TInputSource(data, size), nullptr);
}

TPictureHeader GifReadHeader(const std::string& path) {
    TInputSource source = TInputSource::OpenFile(path);
    return Header(source);
}

void GifSave(const TBitmap& picture, TOutputSink& sink) {
    if (picture.Empty()) Fail("cannot write an empty picture");
    if (picture.Width() > kMaxSide || picture.Height() > kMaxSide)
        Fail("picture too large for GIF");
    const bool paletted = picture.BitsPerPixel() <= 8;
    int transparent = NO_TRANSPARENT_COLOR;
    if (paletted) {
        transparent = TransparentPaletteIndex(picture);
    } else if (picture.TransparentColor) {
        transparent = CubeIndex(*picture.TransparentColor);
    }
    GifWriter w(sink);
    w.map = MakeMap(paletted ? CoveringPalette(picture) : CubePalette());
    int error = 0;
    w.gif = EGifOpen(&w, WriteOutput, &error);
    if (!w.gif) FailWithCode(error);
    EGifSetGifVersion(w.gif, transparent >= 0);
    w.Check(
        EGifPutScreenDesc(w.gif, picture.Width(), picture.Height(), w.map->BitsPerPixel, 0, w.map));
    if (transparent >= 0) PutTransparency(w, transparent);
    w.Check(EGifPutImageDesc(w.gif, 0, 0, picture.Width(), picture.Height(), false, nullptr));
    std::vector<GifByteType> line(std::size_t(picture.Width()));
    for (int y = 0; y < picture.Height(); ++y) {
        FillLine(picture, y, line);
        w.Check(EGifPutLine(w.gif, line.data(), picture.Width()));
    }
    const int closed = EGifCloseFile(std::exchange(w.gif, nullptr), &error);
    if (!w.failure.empty()) throw ECodecError(w.failure);
    if (closed == GIF_ERROR) FailWithCode(error);
}

}  // namespace tovali
