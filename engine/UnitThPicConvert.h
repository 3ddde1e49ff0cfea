// The conversion engine: holds one batch's options and turns one source file
// into one output file (load, fit, effects, texts, save).
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Canvas.h"
#include "engine/Raster.h"
#include "engine/TextStamp.h"

namespace tovali {

class TExifInfo;
class TJpegImage;
struct TPictureExif;

// Engine failures carry short English texts ("invalid output file type").
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Each enumeration is one byte; the numbers are the contract between the
// option snapshot, the job and the engine, so values outside the named ones
// can occur and are reported by the step that uses them.
enum TOutputType : std::uint8_t {
    otJpeg = 0,
    otPng = 1,
    otBmp = 2,
    otGif = 3,
    otWebp = 4,
    otAvif = 5,
};

enum TDateSource : std::uint8_t { dsFromPicture = 0, dsInputDate = 1 };

// Every field the engine reads, made once per job by the option snapshot
// and read-only while the job runs. Texts are UTF-8 in memory. A new record
// is all zero, false and empty.
struct TConvertOptions {
    bool DecidesName = false;
    std::string DirName;
    bool UseFilter = false;
    bool UseContrast = false;
    bool UseVivid = false;
    bool UseBrightness = false;
    bool UseMonochrome = false;
    std::int32_t ContrastValue = 0;
    bool BrightnessDown = false;
    bool UsePicSize = false;
    std::int32_t PicWidth = 0;
    std::int32_t PicHeight = 0;
    bool UseProgressive = false;
    bool UseQuality = false;
    bool QualityByLevel = false;
    std::int32_t JpegQuality = 0;
    std::int64_t TargetFileSize = 0;
    bool NameBefore = false;
    std::string NameAffix;
    TOutputType OutputType = otJpeg;
    bool UseWhiteFrame = false;
    TDateSource DateSource = dsFromPicture;
    TTextStamp Date;
    TTextStamp Comment;
};

struct TOutputFormat;
// How the output type is written (PictureFormats.h); raises EConvertError
// "invalid output file type" for a type without a row.
const TOutputFormat& OutputFormatOf(TOutputType type);

// Whether the date step reads each file's own date (the date is drawn and
// not the one the user picked).
bool DateFromPicture(const TConvertOptions& options);

class TthPicConvert {
  public:
    TthPicConvert();
    ~TthPicConvert();
    TthPicConvert(const TthPicConvert&) = delete;
    TthPicConvert& operator=(const TthPicConvert&) = delete;

    // Set before the first file; no step changes them.
    TConvertOptions Options;
    // The engine's own EXIF reader, created and freed with the engine.
    std::unique_ptr<TExifInfo> ExifReader;
    // Keeps a progressive JPEG's coefficients packed while it decodes: a
    // quarter of the memory or less, for a little more time or less
    // (PackingSavesTime).
    bool CompactCoefficients = false;

    // --- per-file steps, in the job's order ---
    // The file's EXIF data as the steps below use it, read with ExifReader
    // (withDate: the capture date too). Each step given none reads its own.
    TPictureExif ReadExif(const std::string& sourceFile, bool withDate);
    // The date drawn on this file: when DateFromPicture, its EXIF capture
    // date, else its last-write time, else none (empty); otherwise the
    // entered date. A file that cannot be opened throws.
    std::string DateOf(const std::string& fileName);
    std::string DateOf(const std::string& fileName, const TPictureExif& exif);
    void LoadPicture(const std::string& sourceFile, TBitmap& bitmap);
    // The decode gives up when `cancel` is set.
    void LoadPicture(const std::string& sourceFile, TBitmap& bitmap, const TPictureExif& exif,
                     const std::atomic<bool>* cancel = nullptr);
    // Fits the picture into the box when FittedSize says so, then turns it
    // into sRGB (ConvertToSrgb) in either case. Gives up once `cancel` is set.
    void ResizePicture(TBitmap& bitmap, const std::atomic<bool>* cancel = nullptr);
    // LoadPicture and ResizePicture in one, with the same result; a picture
    // that is fitted is decoded row by row straight into the fit where its
    // decoder allows, so that it never exists at full size. `loaded` turns
    // true once the load has succeeded (a later failure is the fit's). The
    // decode gives up when `cancel` is set.
    void LoadResizedPicture(const std::string& sourceFile, TBitmap& bitmap, bool& loaded,
                            const std::atomic<bool>* cancel = nullptr);
    void LoadResizedPicture(const std::string& sourceFile, const TPictureExif& exif,
                            TBitmap& bitmap, bool& loaded, const std::atomic<bool>* cancel);
    // The size ResizePicture fits a picture of this size to; nothing when it
    // leaves the picture alone.
    std::optional<TSize> FittedSize(int width, int height) const;
    // Each step below gives up once `cancel` is set, leaving the picture
    // part done: effects between rows, texts before each drawing.
    void ApplyEffects(TBitmap& bitmap, const std::atomic<bool>* cancel = nullptr);
    // The date and the comment, the date with the text this file has (DateOf).
    void DrawTexts(TBitmap& bitmap, const std::string& date,
                   const std::atomic<bool>* cancel = nullptr);
    // Writes the file and gives the name it was written under. Gives up,
    // leaving nothing of the file, once `cancel` is set.
    std::string SavePicture(const std::string& outputName, TBitmap& bitmap,
                            const std::atomic<bool>* cancel = nullptr);

    // --- naming and JPEG quality ---
    void CompressJpeg(TJpegImage& jpeg);
    // WebP and AVIF take the JPEG quality settings: `encode` makes the file
    // at a JPEG quality step (0, 10, ... 100), mapped to its encoder's own
    // scale. Gives the file to write.
    std::vector<std::uint8_t> CompressByJpegQuality(
        const std::function<std::vector<std::uint8_t>(int)>& encode) const;

    // --- colour steps (each turns the raster into 24 bits first) ---
    void AdjustContrast(TBitmap& bitmap, int value, const std::atomic<bool>* cancel = nullptr);
    void MakeVivid(TBitmap& bitmap, const std::atomic<bool>* cancel = nullptr);
    void AdjustBrightness(TBitmap& bitmap, bool down, const std::atomic<bool>* cancel = nullptr);
    void MakeMonochrome(TBitmap& bitmap, const std::atomic<bool>* cancel = nullptr);
    void DrawWhiteFrame(TBitmap& bitmap);

    // --- text overlay ---
    // The stamp with this text, moved by offset; bounds gets the room it
    // takes (empty for an empty text). Measures only unless `draw`.
    void DrawOutlinedText(TBitmap& bitmap, TPoint offset, TRect& bounds, bool draw,
                          const TTextStamp& stamp, const std::string& text);
    int CalcFontSize(TBitmap& bitmap, TTextSizeLevel level);
    TPoint CalcTextPos(TBitmap& bitmap, TDrawPos pos, const std::string& text);

    // --- file date fallback: days since 1899-12-30, 0 when unknown ---
    double GetFileDate(const std::string& fileName);
    // A file time (UTC) as a local date-time value; 0 when it has none.
    static double FileTimeToLocalDateTime(const timespec& fileTime);
};

}  // namespace tovali
