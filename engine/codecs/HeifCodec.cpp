#include "engine/codecs/HeifCodec.h"

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <new>

#include "engine/codecs/NclxProfile.h"
#include "engine/codecs/Stoppable.h"

namespace tovali {

namespace {

// An Exif block is a few kilobytes; anything far larger is not one we read.
constexpr std::size_t kMaxExifBytes = std::size_t(16) << 20;
constexpr std::size_t kMaxIccBytes = std::size_t(16) << 20;

struct TContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct TOptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct TNclxFree {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
struct TEncoderRelease {
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct TEncodingOptionsFree {
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};
using TContextPtr = std::unique_ptr<heif_context, TContextFree>;
using THandlePtr = std::unique_ptr<heif_image_handle, THandleRelease>;

// libheif reads the file through these, so every open goes through
// TInputSource and only the boxes and data it needs are read.
int64_t GetPosition(void* source) {
    return int64_t(static_cast<TInputSource*>(source)->Size() -
                   static_cast<TInputSource*>(source)->Remaining());
}

int ReadBytes(void* data, std::size_t size, void* source) {
    return static_cast<TInputSource*>(source)->Read(data, size) == size ? 0 : -1;
}

int SeekTo(int64_t position, void* source) {
    try {
        if (position < 0) return -1;
        static_cast<TInputSource*>(source)->Seek(std::uint64_t(position));
        return 0;
    } catch (const ECodecError&) {
        return -1;
    }
}

heif_reader_grow_status WaitForSize(int64_t target, void* source) {
    return target >= 0 && std::uint64_t(target) <= static_cast<TInputSource*>(source)->Size()
               ? heif_reader_grow_status_size_reached
               : heif_reader_grow_status_size_beyond_eof;
}

const heif_reader kReader{1, GetPosition, ReadBytes, SeekTo, WaitForSize};

void Check(const heif_error& error) {
    if (error.code != heif_error_Ok) throw ECodecError(std::string("HEIF: ") + error.message);
}

// The context keeps reading from the source, which must outlive it.
struct TPrimaryImage {
    TContextPtr context;
    THandlePtr handle;
};

TPrimaryImage OpenPrimary(TInputSource& source) {
    TPrimaryImage image;
    image.context.reset(heif_context_alloc());
    if (!image.context) throw ECodecError("HEIF: out of memory");
    Check(heif_context_read_from_reader(image.context.get(), &kReader, &source, nullptr));
    // Each object libheif hands out is owned before its error is looked at:
    // it may hand one out with an error, as it does with a colour profile.
    heif_image_handle* handle = nullptr;
    const heif_error e = heif_context_get_primary_image_handle(image.context.get(), &handle);
    image.handle.reset(handle);
    Check(e);
    return image;
}

TNclxColour NclxOf(const heif_color_profile_nclx& n) {
    return {int(n.color_primaries), int(n.transfer_characteristics), n.color_primary_red_x,
            n.color_primary_red_y,  n.color_primary_green_x,         n.color_primary_green_y,
            n.color_primary_blue_x, n.color_primary_blue_y,          n.color_primary_white_x,
            n.color_primary_white_y};
}

// The profile the decoded RGB values are in; empty for sRGB.
std::vector<std::uint8_t> ColourProfile(const heif_image_handle* handle) {
    switch (heif_image_handle_get_color_profile_type(handle)) {
        case heif_color_profile_type_prof:
        case heif_color_profile_type_rICC: {
            const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
            if (size == 0 || size > kMaxIccBytes) return {};
            std::vector<std::uint8_t> icc(size);
            const heif_error e = heif_image_handle_get_raw_color_profile(handle, icc.data());
            return e.code == heif_error_Ok ? icc : std::vector<std::uint8_t>();
        }
        case heif_color_profile_type_nclx: {
            // libheif 1.15 hands the profile out even when it refuses one
            // of its values, so it is ours to free whatever the result.
            heif_color_profile_nclx* raw = nullptr;
            const heif_error e = heif_image_handle_get_nclx_color_profile(handle, &raw);
            const std::unique_ptr<heif_color_profile_nclx, TNclxFree> nclx(raw);
            if (e.code != heif_error_Ok || !nclx) return {};
            const TNclxColour colour = NclxOf(*nclx);
            return IsSrgbNclx(colour) ? std::vector<std::uint8_t>() : NclxToIcc(colour);
        }
        default:
            return {};
    }
}

// Premultiplied alpha over white: the colour already carries its share.
void CompositePremultipliedRow(const std::uint8_t* rgba, std::uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, rgba += 4, bgr += 3) {
        const int rest = 255 - rgba[3];
        bgr[0] = std::uint8_t(std::min(255, rgba[2] + rest));
        bgr[1] = std::uint8_t(std::min(255, rgba[1] + rest));
        bgr[2] = std::uint8_t(std::min(255, rgba[0] + rest));
    }
}

void RgbToBgrRow(const std::uint8_t* rgb, std::uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, rgb += 3, bgr += 3) {
        bgr[0] = rgb[2];
        bgr[1] = rgb[1];
        bgr[2] = rgb[0];
    }
}

std::unique_ptr<heif_image, TImageRelease> DecodeRgb(const heif_image_handle* handle, bool alpha) {
    const std::unique_ptr<heif_decoding_options, TOptionsFree> options(
        heif_decoding_options_alloc());
    if (!options) throw ECodecError("HEIF: out of memory");
    options->convert_hdr_to_8bit = 1;
    heif_image* raw = nullptr;
    const heif_error e = heif_decode_image(
        handle, &raw, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    std::unique_ptr<heif_image, TImageRelease> image(raw);
    Check(e);
    return image;
}

// How far a coded picture or a tile may reach beyond the size the file
// declares: codecs pad to whole blocks, and a grid's last tiles may stick
// out of its canvas.
constexpr int kCodedSizeSlack = 1024;

// A grid names its canvas size apart from the size the file declares, and
// libheif 1.15 allocates that canvas before it decodes a tile: a 5769-byte
// file declaring 60 x 80 pixels took 2 GB for a canvas of 15360 x 20480.
// Held to the declared size, a larger canvas fails before it is allocated.
void LimitToDeclaredSize(const TPrimaryImage& primary) {
    const heif_image_handle* handle = primary.handle.get();
    const int side = std::max(heif_image_handle_get_ispe_width(handle),
                              heif_image_handle_get_ispe_height(handle));
    heif_context_set_maximum_image_size_limit(primary.context.get(), side + kCodedSizeSlack);
}

void Decode(TInputSource& source, TBitmap& picture) {
    const TPrimaryImage primary = OpenPrimary(source);
    const heif_image_handle* handle = primary.handle.get();
    CheckPictureSize(std::uint64_t(std::max(heif_image_handle_get_width(handle), 0)),
                     std::uint64_t(std::max(heif_image_handle_get_height(handle), 0)), "HEIF");
    LimitToDeclaredSize(primary);
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    const auto image = DecodeRgb(handle, alpha);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0 ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
        throw ECodecError("HEIF: decoder gave no 8-bit picture");
    SetPictureSize(picture, std::uint64_t(width), std::uint64_t(height), 24, "HEIF");
    const bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(handle);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = plane + std::size_t(y) * std::size_t(stride);
        if (!alpha) {
            RgbToBgrRow(row, picture.ScanLine(y), width);
        } else if (premultiplied) {
            CompositePremultipliedRow(row, picture.ScanLine(y), width);
        } else {
            CompositeRgbaOverWhite(row, picture.ScanLine(y), width);
        }
    }
    picture.IccProfile = ColourProfile(handle);
}

void Load(TInputSource source, TBitmap& picture) {
    TBitmap decoded;
    Decode(source, decoded);
    picture.Swap(decoded);
}

// A HEIF Exif item starts with the big-endian offset of the TIFF header,
// counted from the end of that offset field.
std::vector<std::uint8_t> TiffOfExifItem(const std::vector<std::uint8_t>& item) {
    if (item.size() < 4) return {};
    const std::uint64_t offset = (std::uint64_t(item[0]) << 24) | (std::uint64_t(item[1]) << 16) |
                                 (std::uint64_t(item[2]) << 8) | item[3];
    if (offset > item.size() - 4) return {};
    return std::vector<std::uint8_t>(item.begin() + std::ptrdiff_t(4 + offset), item.end());
}

std::vector<std::uint8_t> ReadExif(TInputSource source) {
    try {
        const TPrimaryImage primary = OpenPrimary(source);
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_metadata_block_IDs(primary.handle.get(), "Exif", &id, 1) <
            1)
            return {};
        const std::size_t size = heif_image_handle_get_metadata_size(primary.handle.get(), id);
        if (size == 0 || size > kMaxExifBytes || size > source.Size()) return {};
        std::vector<std::uint8_t> item(size);
        Check(heif_image_handle_get_metadata(primary.handle.get(), id, item.data()));
        return TiffOfExifItem(item);
    } catch (const ECodecError&) {
        return {};
    }
}

// libaom's speed, 0 (slowest) to 9. Measured on the wallpapers at the
// default level 80, each speed with its own quality for JPEG's look
// (bench/web_formats_bench.cpp), on one core of a busy machine:
//   speed  bytes / JPEG  mean encode time
//       5         0.539           1.7 s
//       6         0.561           0.5 s
//       7         0.628           0.34 s
//       8         0.673           0.14 s
// 6 is the slowest within the budget of 1 s for a photo in the 1280 box (its
// slowest wallpaper takes about 0.9 s) and the only one besides 5 that makes
// copies 40 % smaller than JPEG's. libaom tunes for SSIM, as libheif sets
// it by default; tuning for PSNR costs 3 % more bytes at the same look.
constexpr int kAvifSpeed = 6;

// libheif's quality for the JPEG quality steps 0, 10, ... 100: the lowest
// quality whose copies are at least as close to the picture, by the mean
// SSIM of the luma, as JPEG's at that step. Measured with
// `bench/web_formats.sh build --calibrate` on the nineteen wallpapers of
// /usr/share/backgrounds fitted into the 1280 box; SSIM over 8 x 8 windows
// every 4 pixels.
//   JPEG step  mean SSIM  AVIF quality  AVIF bytes / JPEG bytes
//           0     0.7315             0  0.115
//          10     0.8799            16  0.270
//          20     0.9280            31  0.420
//          30     0.9464            39  0.491
//          40     0.9560            44  0.524
//          50     0.9626            49  0.561
//          60     0.9677            52  0.571
//          70     0.9736            57  0.564
//          80     0.9801            63  0.561
//          90     0.9885            81  0.604
//         100     0.9988           100  0.870
// Step 100 takes libheif's highest quality (the search's upper end).
constexpr int kAvifQualityForJpegStep[11] = {0, 16, 31, 39, 44, 49, 52, 57, 63, 81, 100};

heif_error WriteBytes(heif_context*, const void* data, std::size_t size, void* bytes) {
    try {
        const auto* begin = static_cast<const std::uint8_t*>(data);
        auto* out = static_cast<std::vector<std::uint8_t>*>(bytes);
        out->insert(out->end(), begin, begin + size);
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
    } catch (const std::bad_alloc&) {
        return heif_error{heif_error_Encoding_error, heif_suberror_Unspecified, "out of memory"};
    }
}

using TEncoderPtr = std::unique_ptr<heif_encoder, TEncoderRelease>;

TEncoderPtr Av1Encoder(heif_context* context, int quality) {
    heif_encoder* raw = nullptr;
    const heif_error e = heif_context_get_encoder_for_format(context, heif_compression_AV1, &raw);
    TEncoderPtr encoder(raw);
    Check(e);
    Check(heif_encoder_set_lossy_quality(encoder.get(), std::clamp(quality, 0, 100)));
    Check(heif_encoder_set_parameter_integer(encoder.get(), "speed", kAvifSpeed));
    // One thread: the same bytes on every machine, and the job's own
    // threads keep the other cores busy decoding.
    Check(heif_encoder_set_parameter_integer(encoder.get(), "threads", 1));
    Check(heif_encoder_set_parameter_string(encoder.get(), "chroma", "420"));
    Check(heif_encoder_set_parameter_string(encoder.get(), "tune", "ssim"));
    return encoder;
}

// The picture's pixels as libheif's interleaved 8-bit RGB, tagged sRGB.
std::unique_ptr<heif_image, TImageRelease> RgbImage(const TBitmap& rgb,
                                                    const heif_color_profile_nclx& srgb,
                                                    const std::atomic<bool>* cancel) {
    heif_image* raw = nullptr;
    const heif_error e = heif_image_create(rgb.Width(), rgb.Height(), heif_colorspace_RGB,
                                           heif_chroma_interleaved_RGB, &raw);
    std::unique_ptr<heif_image, TImageRelease> image(raw);
    Check(e);
    Check(
        heif_image_add_plane(image.get(), heif_channel_interleaved, rgb.Width(), rgb.Height(), 8));
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (!plane) throw ECodecError("HEIF: out of memory");
    for (int y = 0; y < rgb.Height(); ++y) {
        if (y % kRowsPerStopLook == kRowsPerStopLook - 1) ThrowIfStopped(cancel, "encode stopped");
        RgbToBgrRow(rgb.ScanLine(y), plane + std::size_t(y) * std::size_t(stride), rgb.Width());
    }
    Check(heif_image_set_nclx_color_profile(image.get(), &srgb));
    return image;
}

std::unique_ptr<heif_color_profile_nclx, TNclxFree> SrgbNclx() {
    std::unique_ptr<heif_color_profile_nclx, TNclxFree> nclx(heif_nclx_color_profile_alloc());
    if (!nclx) throw ECodecError("HEIF: out of memory");
    nclx->color_primaries = heif_color_primaries_ITU_R_BT_709_5;
    nclx->transfer_characteristics = heif_transfer_characteristic_IEC_61966_2_1;
    nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
    nclx->full_range_flag = 1;
    return nclx;
}

// One AVIF encode, owned by whichever of the caller and the encoding thread
// lets go last; freed in the reverse order of its members.
struct TAvifEncode {
    TContextPtr context;
    TEncoderPtr encoder;
    std::unique_ptr<heif_color_profile_nclx, TNclxFree> srgb;
    std::unique_ptr<heif_image, TImageRelease> image;
    std::unique_ptr<heif_encoding_options, TEncodingOptionsFree> options;
    std::vector<std::uint8_t> bytes;

    void Run() {
        Check(heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(),
                                        nullptr));
        heif_writer writer{1, WriteBytes};
        Check(heif_context_write(context.get(), &writer, &bytes));
    }
};

}  // namespace

int AvifQualityForJpeg(int jpegQuality) {
    return QualityForJpegStep(kAvifQualityForJpegStep, jpegQuality);
}

std::vector<std::uint8_t> AvifEncode(const TBitmap& picture, int quality,
                                     const std::atomic<bool>* cancel) {
    // The AV1 encoder cannot be told to stop, so it runs where a stop can
    // leave it to finish alone, on its own copy of the pixels.
    auto encode = std::make_shared<TAvifEncode>();
    std::shared_ptr<const TBitmap> converted;
    if (picture.BitsPerPixel() != 24) converted = Rgb24Copy(picture, cancel);
    const TBitmap& rgb = converted ? *converted : picture;
    encode->context.reset(heif_context_alloc());
    if (!encode->context) throw ECodecError("HEIF: out of memory");
    encode->encoder = Av1Encoder(encode->context.get(), quality);
    encode->srgb = SrgbNclx();
    encode->image = RgbImage(rgb, *encode->srgb, cancel);
    encode->options.reset(heif_encoding_options_alloc());
    if (!encode->options) throw ECodecError("HEIF: out of memory");
    encode->options->save_alpha_channel = 0;
    encode->options->output_nclx_profile = encode->srgb.get();
    // The colour box is written even though it says what readers assume.
    encode->options->macOS_compatibility_workaround_no_nclx_profile = 0;
    RunStoppable([encode](const std::atomic<bool>&) { encode->Run(); }, cancel, "encode stopped");
    return std::move(encode->bytes);
}

void HeifLoad(const std::string& path, TBitmap& picture, const std::atomic<bool>* cancel) {
    // libheif's decoders cannot be told to stop, so the decode runs where a
    // stop can leave it to finish alone, on its own file and raster.
    auto decoded = std::make_shared<TBitmap>();
    RunStoppable(
        [path, decoded](const std::atomic<bool>&) { Load(TInputSource::OpenFile(path), *decoded); },
        cancel, "decode stopped");
    picture.Swap(*decoded);
}

void HeifLoadBuffer(const void* data, std::size_t size, TBitmap& picture) {
    Load(TInputSource(data, size), picture);
}

std::vector<std::uint8_t> HeifReadExif(const std::string& path) {
    return ReadExif(TInputSource::OpenFile(path));
}

std::vector<std::uint8_t> HeifReadExifBuffer(const void* data, std::size_t size) {
    return ReadExif(TInputSource(data, size));
}

TPictureHeader HeifReadHeader(const std::string& path) {
    TInputSource source = TInputSource::OpenFile(path);
    const TPrimaryImage primary = OpenPrimary(source);
    const auto width =
        std::uint64_t(std::max(heif_image_handle_get_width(primary.handle.get()), 0));
    const auto height =
        std::uint64_t(std::max(heif_image_handle_get_height(primary.handle.get()), 0));
    CheckPictureSize(width, height, "HEIF");
    // libheif holds the decoded planes (at most two bytes a sample, alpha
    // included) and its interleaved 8-bit copy beside the raster.
    return {width, height, 24, false, width * height * (8 + 4)};
}

}  // namespace tovali
