// Every picture format the program reads, one row each, found by the file's
// extension. Intake, the decode cost, loading and the picture date all ask
// this table, so a format is added as one codec and one row. Beside it, the
// formats a picture is written in, one row per output type.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Raster.h"
#include "engine/codecs/CodecIO.h"
#include "engine/codecs/RowWriter.h"

namespace tovali {

class TExifInfo;

// What a format's EXIF reader made of a file.
enum class TExifLoad {
    None,     // the file holds no EXIF data; the reader is untouched
    Loaded,   // the reader holds the file's directories
    Damaged,  // reading stopped part way; the reader holds what it read
};

struct TPictureFormat {
    // The name people know the format by ("JPEG").
    std::string_view Name;
    // Upper case, with the full stop.
    std::vector<std::string_view> Extensions;
    // The header as the decode reads it; raises ECodecError when it cannot
    // be read. A progressive JPEG's coefficients are counted packed when
    // compactCoefficients says the decode packs them.
    TPictureHeader (*ReadHeader)(const std::string& path, bool compactCoefficients);
    // Decodes the picture at full size; a format whose header says it
    // streams asks the request's Fit and, given a size, decodes straight
    // into the fit. Raises ECodecError for a picture it cannot read.
    void (*Load)(const std::string& path, TBitmap& picture, const TDecodeRequest& request);
    // Loads the file's EXIF data into the reader; nullptr for a format that
    // has none. Raises only when the file cannot be opened.
    TExifLoad (*ReadExif)(TExifInfo& reader, const std::string& path);
    // The EXIF Orientation turns the decoded picture upright (libheif turns
    // HEIF pictures by their own boxes instead).
    bool ExifOrientation;
    // A picture without an embedded profile that EXIF marks as Adobe RGB
    // (the way cameras say so) is taken to be Adobe RGB.
    bool ExifColourSpace;
    // How many images the file holds, for a format whose animations intake
    // refuses; nullptr for the others. Raises when an image cannot be read,
    // and EStopped once `cancel` is set.
    int (*ImageCount)(const std::string& path, const std::atomic<bool>* cancel);
};

// The row of an extension (".jpg", any letter case), or nullptr.
const TPictureFormat* FindFormat(std::string_view extension);
// The row of a file by the extension of its name, or nullptr.
const TPictureFormat* FormatOfFile(const std::string& path);
// Every row, in the order of the table.
const std::vector<TPictureFormat>& PictureFormats();

// How one output type is written. The numbers of the output types index the
// rows; a type without a row is not a valid output type.
struct TOutputFormat {
    std::string_view Name;
    // Lower case, with the full stop: what the output name ends in.
    std::string_view Extension;
    // Encodes the picture; nullptr for the formats below and for JPEG,
    // whose quality rule (a level or a target file size) is the engine's.
    // Gives up once `cancel` is set, at the latest at the sink's next write.
    void (*Save)(const TBitmap& picture, TOutputSink& sink, const std::atomic<bool>* cancel);
    // The formats that take JPEG's quality rule: the file at a JPEG quality
    // step (0, 10, ... 100), mapped to the encoder's own scale. Gives up once
    // `cancel` is set ("encode stopped").
    std::vector<std::uint8_t> (*EncodeAtJpegQuality)(const TBitmap& picture, int jpegQuality,
                                                     const std::atomic<bool>* cancel);
};

// The row of an output type's number, or nullptr for an invalid type.
const TOutputFormat* FindOutputFormat(int type);

}  // namespace tovali
