#include "engine/codecs/JpegCodec.h"

#include "engine/ColourProfile.h"
#include "engine/codecs/JpegCoefficients.h"
#include "engine/codecs/Stoppable.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>
#include "engine/codecs/ErrorJump.h"

namespace tovali {

namespace {

// A progressive file may hold any number of scans, and each costs a pass
// over the whole picture; real files have a handful.
constexpr int kMaxScans = 500;
// Rows handed to the library per call.
constexpr int kRowBatch = 16;

// The library reports errors by calling error_exit, which must not return:
// it records the text and jumps back to the setjmp of the calling function.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    const std::atomic<bool>* cancel;  // seen by the progress monitors
    bool stopped;                     // the jump is theirs, for a stop
};

[[noreturn]] void JumpWith(j_common_ptr cinfo, const char* text) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "%s", text);
    std::longjmp(err->jump, 1);
}

[[noreturn]] void OnError(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    JumpWith(cinfo, text);
}

// Warnings (damaged but decodable data) are not printed.
void OnMessage(j_common_ptr) {}

void InitErrors(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.output_message = OnMessage;
    err.message[0] = '\0';
    err.cancel = nullptr;
    err.stopped = false;
}

// What a jump back to the setjmp raises: a stop as EStopped, anything else
// as a failure.
[[noreturn]] void ThrowJumped(const ErrorManager& err) {
    const std::string text = std::string("JPEG: ") + err.message;
    if (err.stopped) throw EStopped(text);
    throw ECodecError(text);
}

[[noreturn]] void JumpForStop(j_common_ptr cinfo, const char* text) {
    reinterpret_cast<ErrorManager*>(cinfo->err)->stopped = true;
    JumpWith(cinfo, text);
}

// Called as the library works through the file, also while it reads every
// scan of a progressive file before the first row: a stopped decode ends
// there too.
void LimitScans(j_common_ptr cinfo) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) JumpWith(cinfo, "too many scans");
    const auto* cancel = reinterpret_cast<ErrorManager*>(cinfo->err)->cancel;
    if (StopRequested(cancel)) JumpForStop(cinfo, "decode stopped");
}

// Called as the library encodes, also in the passes over every scan of a
// progressive file after the last row.
void WatchEncodeStop(j_common_ptr cinfo) {
    const auto* cancel = reinterpret_cast<ErrorManager*>(cinfo->err)->cancel;
    if (StopRequested(cancel)) JumpForStop(cinfo, "encode stopped");
}

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    bool created = false;
    Decompressor() = default;
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    ~Decompressor() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

// Output layout by the file's colour space: grey stays one channel, CMYK and
// YCCK come out as CMYK for our own conversion, everything else as BGR rows.
int ChooseOutput(jpeg_decompress_struct& cinfo) {
    switch (cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
            cinfo.out_color_space = JCS_GRAYSCALE;
            return 8;
        case JCS_CMYK:
        case JCS_YCCK:
            cinfo.out_color_space = JCS_CMYK;
            return 24;
        default:
            cinfo.out_color_space = JCS_EXT_BGR;
            return 24;
    }
}

std::vector<TColor> GreyPalette() {
    std::vector<TColor> palette(256);
    for (int i = 0; i < 256; ++i) palette[std::size_t(i)] = RGBColor(i, i, i);
    return palette;
}

// Adobe writes CMYK inverted (255 = no ink); plain CMYK stores the ink.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const int flip = inverted ? 0 : 255;
        const int c = cmyk[0] ^ flip, m = cmyk[1] ^ flip, y = cmyk[2] ^ flip, k = cmyk[3] ^ flip;
        bgr[0] = std::uint8_t((y * k + 127) / 255);
        bgr[1] = std::uint8_t((m * k + 127) / 255);
        bgr[2] = std::uint8_t((c * k + 127) / 255);
    }
}

// The profile of the APP2 "ICC_PROFILE" markers put together; empty when
// there is none, when its chunks do not fit together or when it is too big.
std::vector<std::uint8_t> ReadIccProfile(jpeg_decompress_struct& cinfo) {
    JOCTET* data = nullptr;
    unsigned int size = 0;
    // Called before any C++ object lives here: the library may jump out.
    const bool found = jpeg_read_icc_profile(&cinfo, &data, &size);
    std::vector<std::uint8_t> profile;
    if (found && size <= kMaxProfileBytes) profile.assign(data, data + size);
    std::free(data);
    return profile;
}

// A profile that suits the decoded rows: grey and RGB ones go with the
// picture for the colour step; a CMYK one converts the rows right here.
std::shared_ptr<const TCmykToSrgb> TakeProfile(jpeg_decompress_struct& cinfo, TBitmap& picture) {
    std::vector<std::uint8_t> profile = ReadIccProfile(cinfo);
    const TProfileSpace space = ProfileSpaceOf(profile);
    switch (cinfo.out_color_space) {
        case JCS_CMYK:
            if (space == TProfileSpace::Cmyk)
                return TCmykToSrgb::For(profile, cinfo.saw_Adobe_marker);
            break;
        case JCS_GRAYSCALE:
            if (space == TProfileSpace::Grey) picture.IccProfile = std::move(profile);
            break;
        default:
            if (space == TProfileSpace::Rgb) picture.IccProfile = std::move(profile);
    }
    return nullptr;
}

// Reads the header and chooses the output layout; the hooks that need the
// header run here, for the full-size and the fitted decode alike.
int ReadHeader(Decompressor& d, TInputSource& source) {
    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    d.progress.progress_monitor = LimitScans;
    d.cinfo.progress = &d.progress;
    if (source.File()) {
        jpeg_stdio_src(&d.cinfo, source.File());
    } else {
        jpeg_mem_src(&d.cinfo, source.Memory(), static_cast<unsigned long>(source.Size()));
    }
    jpeg_save_markers(&d.cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&d.cinfo, TRUE);
    return ChooseOutput(d.cinfo);
}

// Bytes of the coefficients a progressive decode keeps: two per sample of
// every component, in whole 8 x 8 blocks.
std::uint64_t CoefficientBlocks(const jpeg_decompress_struct& cinfo) {
    std::uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const std::uint64_t w = (std::uint64_t(cinfo.image_width) * comp.h_samp_factor +
                                 8 * cinfo.max_h_samp_factor - 1) /
                                (8 * cinfo.max_h_samp_factor);
        const std::uint64_t h = (std::uint64_t(cinfo.image_height) * comp.v_samp_factor +
                                 8 * cinfo.max_v_samp_factor - 1) /
                                (8 * cinfo.max_v_samp_factor);
        blocks += w * h;
    }
    return blocks;
}

// Packed, a block takes an 8-byte mask and two bytes a nonzero coefficient.
// A nonzero coefficient costs about four bits or more of the file in real
// photos, so four bytes of packed values a byte of file covers them (the
// store is never far past the library's own arrays, whatever the file).
std::uint64_t HeldCoefficientBytes(const jpeg_decompress_struct& cinfo, bool packed,
                                   std::uint64_t fileBytes) {
    const std::uint64_t blocks = CoefficientBlocks(cinfo);
    const std::uint64_t plain = blocks * 64 * sizeof(JCOEF);
    return packed ? std::min(plain + blocks * 8, blocks * 8 + 4 * fileBytes) : plain;
}

// What the decoder holds beside the rows it hands over: a progressive
// file's coefficients, the library's row groups of every component (three
// for its upsampling context) and the CMYK row it converts from.
std::uint64_t DecoderBytes(const jpeg_decompress_struct& cinfo, bool packed,
                           std::uint64_t fileBytes) {
    const std::uint64_t width = cinfo.image_width;
    std::uint64_t bytes = width * std::uint64_t(cinfo.num_components) *
                          std::uint64_t(cinfo.max_v_samp_factor) * 8 * 3;
    if (cinfo.progressive_mode) bytes += HeldCoefficientBytes(cinfo, packed, fileBytes);
    if (cinfo.out_color_space == JCS_CMYK) bytes += width * 4;
    return bytes;
}

TPictureHeader Header(TInputSource& source, bool compactCoefficients) {
    Decompressor d;
    InitErrors(d.err);
    d.cinfo.err = &d.err.pub;
    if (TOVALI_SETJMP(d.err.jump)) ThrowJumped(d.err);
    TPictureHeader header;
    header.BitsPerPixel = ReadHeader(d, source);
    header.Width = d.cinfo.image_width;
    header.Height = d.cinfo.image_height;
    CheckPictureSize(header.Width, header.Height, "JPEG");
    header.StreamsIntoFit = true;
    header.DecoderBytes = DecoderBytes(d.cinfo, compactCoefficients, source.Size());
    return header;
}

void Decode(TInputSource& source, TBitmap& picture, const TDecodeRequest& request) {
    Decompressor d;
    std::vector<std::uint8_t> cmykRow;
    std::unique_ptr<TRowWriter> rows;
    std::shared_ptr<const TCmykToSrgb> cmykProfile;  // before setjmp: the library jumps here
    TJpegCoefficientStore coefficients;
    InitErrors(d.err);
    d.err.cancel = request.Cancel;
    d.cinfo.err = &d.err.pub;
    if (TOVALI_SETJMP(d.err.jump)) ThrowJumped(d.err);
    const int bpp = ReadHeader(d, source);
    const int width = int(d.cinfo.image_width), height = int(d.cinfo.image_height);
    // Checked before the library allocates its own buffers for the picture.
    CheckPictureSize(d.cinfo.image_width, d.cinfo.image_height, "JPEG");
    const auto fit = request.Fit ? request.Fit(width, height) : std::nullopt;
    rows = std::make_unique<TRowWriter>(picture, width, height, bpp, fit, request.Cancel);
    cmykProfile = TakeProfile(d.cinfo, picture);
    if (bpp == 8) picture.SetPalette(GreyPalette());
    if (d.cinfo.progressive_mode && request.CompactCoefficients) coefficients.Install(d.cinfo);
    jpeg_start_decompress(&d.cinfo);
    const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
    if (cmyk) cmykRow.resize(std::size_t(width) * 4);
    // A fitted picture takes its rows one at a time.
    const int batch = cmyk || rows->Fitted() ? 1 : kRowBatch;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const int y = int(d.cinfo.output_scanline);
        JSAMPROW out[kRowBatch];
        const int count = std::min(batch, height - y);
        for (int i = 0; i < count; ++i) out[i] = cmyk ? cmykRow.data() : rows->Row(y + i);
        if (jpeg_read_scanlines(&d.cinfo, out, JDIMENSION(count)) == 0)
            throw ECodecError("JPEG: decoder stopped early");
        if (cmykProfile) {
            cmykProfile->Row(cmykRow.data(), rows->Row(y), width);
        } else if (cmyk) {
            CmykRowToBgr(cmykRow.data(), rows->Row(y), width, d.cinfo.saw_Adobe_marker);
        }
        for (int i = 0; i < count; ++i) rows->Done(y + i);
    }
    // No jpeg_finish_decompress: the picture is complete, and damage after
    // its last row must not cost the whole picture.
    rows->Finish();
}

void Load(TInputSource source, TBitmap& picture, const TDecodeRequest& request = {}) {
    TBitmap decoded;
    Decode(source, decoded, request);
    picture.Swap(decoded);
}

// Destination that grows one malloc'd block; freed here unless taken.
struct MemoryDestination {
    jpeg_destination_mgr pub;
    unsigned char* buffer;
    std::size_t capacity;
};

bool GrowDestination(MemoryDestination& dest, std::size_t capacity) {
    auto* grown = static_cast<unsigned char*>(std::realloc(dest.buffer, capacity));
    if (!grown) return false;
    const std::size_t used = dest.capacity - dest.pub.free_in_buffer;
    dest.buffer = grown;
    dest.capacity = capacity;
    dest.pub.next_output_byte = grown + used;
    dest.pub.free_in_buffer = capacity - used;
    return true;
}

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->pub.free_in_buffer = 0;
    if (!GrowDestination(*dest, 1 << 16))
        JumpWith(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
}

boolean EmptyDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->pub.free_in_buffer = 0;  // the library calls this only when the block is full
    if (!GrowDestination(*dest, dest->capacity * 2))
        JumpWith(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
    return TRUE;
}

void TermDestination(j_compress_ptr) {}

struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    MemoryDestination dest{};
    bool created = false;
    Compressor() {
        dest.pub.init_destination = InitDestination;
        dest.pub.empty_output_buffer = EmptyDestination;
        dest.pub.term_destination = TermDestination;
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
    ~Compressor() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(dest.buffer);
    }
};

void Encode(const TBitmap& picture, int quality, bool progressive, const std::atomic<bool>* cancel,
            Compressor& c) {
    InitErrors(c.err);
    c.err.cancel = cancel;
    c.cinfo.err = &c.err.pub;
    if (TOVALI_SETJMP(c.err.jump)) ThrowJumped(c.err);
    jpeg_create_compress(&c.cinfo);
    c.created = true;
    c.progress.progress_monitor = WatchEncodeStop;
    c.cinfo.progress = &c.progress;
    c.cinfo.dest = &c.dest.pub;
    c.cinfo.image_width = JDIMENSION(picture.Width());
    c.cinfo.image_height = JDIMENSION(picture.Height());
    c.cinfo.input_components = 3;
    c.cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c.cinfo);
    c.cinfo.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&c.cinfo, quality, TRUE);
    if (progressive) jpeg_simple_progression(&c.cinfo);
    jpeg_start_compress(&c.cinfo, TRUE);
    while (c.cinfo.next_scanline < c.cinfo.image_height) {
        const int y = int(c.cinfo.next_scanline);
        JSAMPROW rows[kRowBatch];
        const int count = std::min(kRowBatch, picture.Height() - y);
        for (int i = 0; i < count; ++i) rows[i] = const_cast<JSAMPROW>(picture.ScanLine(y + i));
        jpeg_write_scanlines(&c.cinfo, rows, JDIMENSION(count));
    }
    jpeg_finish_compress(&c.cinfo);
}

}  // namespace

void JpegLoad(const std::string& path, TBitmap& picture) {
    Load(TInputSource::OpenFile(path), picture);
}

void JpegLoadBuffer(const void* data, std::size_t size, TBitmap& picture) {
    Load(TInputSource(data, size), picture);
}

void JpegLoadFitted(const std::string& path, TBitmap& picture, const TDecodeRequest& request) {
    Load(TInputSource::OpenFile(path), picture, request);
}

void JpegLoadFittedBuffer(const void* data, std::size_t size, TBitmap& picture,
                          const TDecodeRequest& request) {
    Load(TInputSource(data, size), picture, request);
}

TPictureHeader JpegReadHeader(const std::string& path, bool compactCoefficients) {
    TInputSource source = TInputSource::OpenFile(path);
    return Header(source, compactCoefficients);
}

void TJpegImage::FreeDeleter::operator()(void* p) const {
    std::free(p);
}

TJpegImage::TJpegImage(const TBitmap& picture) : source_(&picture) {}

TJpegImage::~TJpegImage() = default;

void TJpegImage::Compress() {
    // 24-bit rows go to the library as they are: it converts BGR input to
    // YCbCr exactly as it converts RGB input. Other layouts are converted
    // once, by the first encode, which a stop may cut short.
    if (source_->BitsPerPixel() != 24 && !copy24_) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(*source_);
        copy->ConvertTo24(Cancel);
        copy24_ = std::move(copy);
    }
    const TBitmap& picture = copy24_ ? *copy24_ : *source_;
    if (picture.Empty()) throw ECodecError("JPEG: cannot write an empty picture");
    Compressor c;
    Encode(picture, CompressionQuality, ProgressiveEncoding, Cancel, c);
    size_ = c.dest.capacity - c.dest.pub.free_in_buffer;
    data_.reset(std::exchange(c.dest.buffer, nullptr));
}

}  // namespace tovali
