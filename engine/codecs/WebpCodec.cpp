#include "engine/codecs/WebpCodec.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

// The RIFF size field is 32 bits; real files are far smaller than this.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t(512) << 20;
// Bytes handed to the incremental decoder per step, between two looks at
// the stop request: a photo's slice is a few dozen rows, decoded in a few
// milliseconds (a flat picture's can be most of it).
constexpr std::size_t kSliceBytes = std::size_t(16) << 10;
// The headers sit at the start of a file.
constexpr std::size_t kHeaderBytes = 64 * 1024;

struct TDemuxFree {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct TIDecoderFree {
    void operator()(WebPIDecoder* d) const { WebPIDelete(d); }
};
struct TDecBufferFree {
    void operator()(WebPDecBuffer* b) const { WebPFreeDecBuffer(b); }
};
struct TPictureFree {
    void operator()(WebPPicture* p) const { WebPPictureFree(p); }
};
struct TMemoryWriterClear {
    void operator()(WebPMemoryWriter* w) const { WebPMemoryWriterClear(w); }
};
using TDemuxPtr = std::unique_ptr<WebPDemuxer, TDemuxFree>;

[[noreturn]] void Fail(const char* what) {
    throw ECodecError(std::string("WebP: ") + what);
}

WebPBitstreamFeatures FeaturesOf(const std::vector<std::uint8_t>& file) {
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK)
        Fail("not a WebP file or a damaged header");
    return features;
}

// Bytes of a metadata chunk ("ICCP", "EXIF"); empty when there is none.
std::vector<std::uint8_t> ChunkOf(const WebPDemuxer* demux, const char fourcc[4]) {
    WebPChunkIterator chunk{};
    std::vector<std::uint8_t> bytes;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &chunk))
        bytes.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    return bytes;
}

TDemuxPtr Demux(const std::vector<std::uint8_t>& file) {
    const WebPData data{file.data(), file.size()};
    return TDemuxPtr(WebPDemux(&data));
}

// Receives the rows of a still picture as the incremental decoder finishes
// them: RGBA rows are composited over white into the raster; BGR rows were
// written into the raster by the decoder itself.
class TWebpRowSink {
  public:
    TWebpRowSink(TBitmap& picture, bool alpha) : picture_(picture), alpha_(alpha) {}
    // Rows [done, lastY) of the decoder's output are ready.
    void RowsReady(const std::uint8_t* rgba, int stride, int lastY) {
        for (; alpha_ && done_ < lastY; ++done_)
            CompositeRgbaOverWhite(rgba + std::size_t(done_) * std::size_t(stride),
                                   picture_.ScanLine(done_), picture_.Width());
        done_ = std::max(done_, lastY);
    }
    bool Complete() const { return done_ == picture_.Height(); }

  private:
    TBitmap& picture_;
    bool alpha_;
    int done_ = 0;
};

// Feeds `size` bytes to the incremental decoder a slice at a time, calling
// `sliceDone` after each, until the picture is decoded or the data fails or
// runs out; gives up between slices once `cancel` is set.
template <typename SliceDone>
VP8StatusCode DecodeInSlices(WebPIDecoder* decoder, const std::uint8_t* data, std::size_t size,
                             const std::atomic<bool>* cancel, SliceDone sliceDone) {
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    for (std::size_t fed = 0; status == VP8_STATUS_SUSPENDED && fed < size;) {
        ThrowIfStopped(cancel, "decode stopped");
        fed = std::min(size, fed + kSliceBytes);
        status = WebPIUpdate(decoder, data, fed);
        sliceDone();
    }
    return status;
}

void DecodeStill(const std::vector<std::uint8_t>& file, bool alpha, const std::atomic<bool>* cancel,
                 TBitmap& picture) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) Fail("library version mismatch");
    WebPDecBuffer& out = config.output;
    out.colorspace = alpha ? MODE_RGBA : MODE_BGR;
    if (!alpha) {
        out.is_external_memory = 1;
        out.u.RGBA.rgba = picture.Bits();
        out.u.RGBA.stride = int(picture.Stride());
        out.u.RGBA.size = picture.Stride() * std::size_t(picture.Height());
    }
    // Declared first, so the decoder is gone before its output is freed.
    const std::unique_ptr<WebPDecBuffer, TDecBufferFree> output(&out);
    const std::unique_ptr<WebPIDecoder, TIDecoderFree> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder) Fail("out of memory");
    TWebpRowSink sink(picture, alpha);
    const VP8StatusCode status =
        DecodeInSlices(decoder.get(), file.data(), file.size(), cancel, [&] {
            int lastY = 0, width = 0, height = 0, stride = 0;
            const std::uint8_t* rows =
                WebPIDecGetRGB(decoder.get(), &lastY, &width, &height, &stride);
            if (rows && width == picture.Width() && height == picture.Height())
                sink.RowsReady(rows, stride, lastY);
        });
    if (status == VP8_STATUS_SUSPENDED) Fail("file is truncated");
    if (status != VP8_STATUS_OK || !sink.Complete()) Fail("damaged picture data");
}

// The first frame as the canvas shows it: drawn at its offset over the
// transparent (here white) canvas. Decoded on its own rather than through
// libwebp's animation decoder, which would keep two RGBA canvases of the
// size the header claims.
void DecodeFirstFrame(const WebPDemuxer* demux, const std::atomic<bool>* cancel, TBitmap& picture) {
    WebPIterator frame{};
    const bool found = WebPDemuxGetFrame(demux, 1, &frame) != 0;
    const WebPData fragment = frame.fragment;
    const int x0 = frame.x_offset, y0 = frame.y_offset, width = frame.width, height = frame.height;
    WebPDemuxReleaseIterator(&frame);
    if (!found || x0 < 0 || y0 < 0 || width <= 0 || height <= 0 || x0 + width > picture.Width() ||
        y0 + height > picture.Height())
        Fail("damaged animation");
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) Fail("library version mismatch");
    config.output.colorspace = MODE_RGBA;
    const std::unique_ptr<WebPDecBuffer, TDecBufferFree> output(&config.output);
    {
        const std::unique_ptr<WebPIDecoder, TIDecoderFree> decoder(
            WebPIDecode(nullptr, 0, &config));
        if (!decoder) Fail("out of memory");
        if (DecodeInSlices(decoder.get(), fragment.bytes, fragment.size, cancel, [] {}) !=
                VP8_STATUS_OK ||
            config.output.width != width || config.output.height != height)
            Fail("damaged first frame");
    }
    for (int y = 0; y < picture.Height(); ++y)
        std::memset(picture.ScanLine(y), 255, picture.Stride());
    const WebPRGBABuffer& rgba = config.output.u.RGBA;
    for (int y = 0; y < height; ++y)
        CompositeRgbaOverWhite(rgba.rgba + std::size_t(y) * std::size_t(rgba.stride),
                               picture.ScanLine(y0 + y) + std::size_t(x0) * 3, width);
}

void Decode(TInputSource& source, TBitmap& picture, const std::atomic<bool>* cancel) {
    const std::vector<std::uint8_t> file = ReadAll(source, kMaxFileBytes, "WebP");
    const WebPBitstreamFeatures features = FeaturesOf(file);
    const TDemuxPtr demux = Demux(file);
    if (!demux) Fail("damaged file structure");
    const std::uint64_t width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const std::uint64_t height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    SetPictureSize(picture, width, height, 24, "WebP");
    if (features.has_animation) {
        DecodeFirstFrame(demux.get(), cancel, picture);
    } else {
        if (std::uint64_t(features.width) != width || std::uint64_t(features.height) != height)
            Fail("picture and canvas sizes differ");
        DecodeStill(file, features.has_alpha != 0, cancel, picture);
    }
    picture.IccProfile = ChunkOf(demux.get(), "ICCP");
}

void Load(TInputSource source, TBitmap& picture, const std::atomic<bool>* cancel = nullptr) {
    TBitmap decoded;
    Decode(source, decoded, cancel);
    picture.Swap(decoded);
}

std::vector<std::uint8_t> ReadExif(TInputSource source) {
    try {
        const std::vector<std::uint8_t> file = ReadAll(source, kMaxFileBytes, "WebP");
        const TDemuxPtr demux = Demux(file);
        return demux ? ChunkOf(demux.get(), "EXIF") : std::vector<std::uint8_t>();
    } catch (const ECodecError&) {
        return {};
    }
}

// libwebp's effort, 0 (fastest) to 6, with its other settings as libwebp
// sets them (spatial noise shaping 50, filter strength 60, four segments, no
// sharp YUV). Measured on the wallpapers at the default level 80, each
// method with its own quality for JPEG's look (bench/web_formats_bench.cpp):
//   method  bytes / JPEG  encode time / JPEG
//        0         0.952                6.7
//        2         0.825               10.5
//      3, 4        0.770                 26
//        5         0.754                 32
//        6         0.737                 57
// 4 (libwebp's default; 3 gives the same files in the same time) is the
// fastest that makes copies at least a fifth smaller than JPEG's, about
// 90 ms for a photo in the 1280 box. Sharp YUV (0.855) and a single segment
// (0.794) cost bytes at the same look; the filter strength hardly matters.
// No setting comes near JPEG's encode time: libjpeg-turbo writes such a
// photo in about 3 ms.
constexpr int kEncodeMethod = 4;

// libwebp's quality for the JPEG quality steps 0, 10, ... 100: the lowest
// quality whose copies are at least as close to the picture, by the mean
// SSIM of the luma, as JPEG's at that step. Measured with
// `bench/web_formats.sh build --calibrate` on the nineteen wallpapers of
// /usr/share/backgrounds fitted into the 1280 box; SSIM over 8 x 8 windows
// every 4 pixels.
//   JPEG step  mean SSIM  WebP quality  WebP bytes / JPEG bytes
//           0     0.7315             0  0.459
//          10     0.8799             4  0.534
//          20     0.9280            22  0.678
//          30     0.9464            36  0.719
//          40     0.9560            47  0.736
//          50     0.9626            59  0.756
//          60     0.9677            68  0.750
//          70     0.9736            78  0.782
//          80     0.9801            83  0.770
//          90     0.9885            90  0.750
//         100     0.9988           100  0.509
// Step 100 takes libwebp's highest quality (the search's upper end).
constexpr int kQualityForJpegStep[11] = {0, 4, 22, 36, 47, 59, 68, 78, 83, 90, 100};

// libwebp asks this each time its share of the work done grows by a
// percent; 0 ends the encode. The picture's user data points at the flag.
int KeepEncoding(int, const WebPPicture* frame) {
    return StopRequested(*static_cast<const std::atomic<bool>* const*>(frame->user_data)) ? 0 : 1;
}

// The file of the picture, ended early once `abandoned` is set.
std::vector<std::uint8_t> Encode(const TBitmap& picture, int quality,
                                 const std::atomic<bool>& abandoned) {
    TBitmap copy;
    const TBitmap& rgb = AsRgb24(picture, copy);
    WebPConfig config;
    if (!WebPConfigInit(&config)) Fail("library version mismatch");
    config.quality = float(std::clamp(quality, 0, 100));
    config.method = kEncodeMethod;
    WebPPicture frame;
    if (!WebPPictureInit(&frame)) Fail("library version mismatch");
    const std::unique_ptr<WebPPicture, TPictureFree> frameOwner(&frame);
    if (rgb.Width() > WEBP_MAX_DIMENSION || rgb.Height() > WEBP_MAX_DIMENSION)
        Fail("picture too large (at most 16383 pixels a side)");
    frame.width = rgb.Width();
    frame.height = rgb.Height();
    if (!WebPPictureImportBGR(&frame, rgb.Bits(), int(rgb.Stride()))) Fail("out of memory");
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    const std::unique_ptr<WebPMemoryWriter, TMemoryWriterClear> writerOwner(&writer);
    frame.writer = WebPMemoryWrite;
    frame.custom_ptr = &writer;
    const std::atomic<bool>* watched = &abandoned;
    frame.progress_hook = KeepEncoding;
    frame.user_data = &watched;
    if (!WebPEncode(&config, &frame)) {
        if (frame.error_code == VP8_ENC_ERROR_USER_ABORT) throw EStopped("encode stopped");
        Fail("cannot encode the picture");
    }
    return std::vector<std::uint8_t>(writer.mem, writer.mem + writer.size);
}

}  // namespace

int WebpQualityForJpeg(int jpegQuality) {
    return QualityForJpegStep(kQualityForJpegStep, jpegQuality);
}

std::vector<std::uint8_t> WebpEncode(const TBitmap& picture, int quality,
                                     const std::atomic<bool>* cancel) {
    // libwebp looks for a stop only once a percent of its work, seconds
    // apart on a huge picture: the encode runs where a stop can leave it to
    // end alone at its next percent, on its own copy of the pixels.
    ThrowIfStopped(cancel, "encode stopped");
    std::shared_ptr<const TBitmap> pixels(&picture, [](const TBitmap*) {});
    if (cancel) pixels = Rgb24Copy(picture, cancel);
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    RunStoppable(
        [pixels, quality, bytes](const std::atomic<bool>& abandoned) {
            *bytes = Encode(*pixels, quality, abandoned);
        },
        cancel, "encode stopped");
    return std::move(*bytes);
}

void WebpLoad(const std::string& path, TBitmap& picture, const std::atomic<bool>* cancel) {
    // A slice of a flat picture can hold most of its rows, seconds of work
    // on a huge one: the decode runs where a stop can leave it to end alone
    // at its next slice, on its own file and raster.
    auto decoded = std::make_shared<TBitmap>();
    RunStoppable(
        [path, decoded](const std::atomic<bool>& abandoned) {
            Load(TInputSource::OpenFile(path), *decoded, &abandoned);
        },
        cancel, "decode stopped");
    picture.Swap(*decoded);
}

void WebpLoadBuffer(const void* data, std::size_t size, TBitmap& picture) {
    Load(TInputSource(data, size), picture);
}

std::vector<std::uint8_t> WebpReadExif(const std::string& path) {
    return ReadExif(TInputSource::OpenFile(path));
}

std::vector<std::uint8_t> WebpReadExifBuffer(const void* data, std::size_t size) {
    return ReadExif(TInputSource(data, size));
}

TPictureHeader WebpReadHeader(const std::string& path) {
    TInputSource source = TInputSource::OpenFile(path);
    std::vector<std::uint8_t> head(
        std::size_t(std::min<std::uint64_t>(source.Size(), kHeaderBytes)));
    head.resize(source.Read(head.data(), head.size()));
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(head.data(), head.size(), &features) != VP8_STATUS_OK)
        throw ECodecError("WebP: cannot read the header");
    const auto width = std::uint64_t(std::max(features.width, 0));
    const auto height = std::uint64_t(std::max(features.height, 0));
    CheckPictureSize(width, height, "WebP");
    // The whole file is held while it decodes, and a picture with alpha (or
    // an animation's canvas) decodes into an RGBA buffer first.
    const bool alpha = features.has_alpha != 0 || features.has_animation != 0;
    return {width, height, 24, false, source.Size() + (alpha ? width * height * 4 : 0)};
}

}  // namespace tovali
