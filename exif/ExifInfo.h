// Reader of the EXIF directories of a JPEG file: finds the APP1 segment,
// reads IFD0 with its Exif, GPS and interoperability directories and IFD1
// with its own, and answers lookups by tag. It never writes to the file.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "exif/DateTimeUtils.h"
#include "exif/Stream.h"

namespace tovali {

// Every error of the reader; the message is "TExifInfo: " + the text.
class EExifError : public std::runtime_error {
  public:
    explicit EExifError(const std::string& message) : std::runtime_error("TExifInfo: " + message) {}
};

// The directory an entry came from.
enum TExifDir : std::uint8_t { dkMain = 0, dkExif = 1, dkGps = 2, dkInterop = 3 };

// TIFF value types by their type code.
enum TExifType : std::uint8_t {
    etByte = 1,
    etAscii = 2,
    etShort = 3,
    etLong = 4,
    etRational = 5,
    etSByte = 6,
    etUndefined = 7,
    etSShort = 8,
    etSLong = 9,
    etSRational = 10,
    etFloat = 11,
    etDouble = 12,
};

// Bytes per value by type code; 0 for code 0.
extern const std::array<std::uint8_t, 13> TypeSize;

// Byte-order readers: the mark 0x4949 ("II") reads little-endian, any other
// mark big-endian. Each raises EReadError at the end of the stream.
std::uint16_t ReadWord(TStream& stream, std::uint16_t byteOrder);
std::int16_t ReadSmallInt(TStream& stream, std::uint16_t byteOrder);
std::uint32_t ReadLongWord(TStream& stream, std::uint16_t byteOrder);
std::int32_t ReadLongInt(TStream& stream, std::uint16_t byteOrder);
float ReadSingle(TStream& stream, std::uint16_t byteOrder);
double ReadDouble(TStream& stream, std::uint16_t byteOrder);

// An unsigned numerator/denominator pair (RATIONAL values).
struct TExifRational {
    std::uint32_t Numerator = 0;
    std::uint32_t Denominator = 0;
    void Assign(const TExifRational& source) { *this = source; }
    bool operator==(const TExifRational&) const = default;
};

// A signed pair (SRATIONAL values).
struct TExifSRational {
    std::int32_t Numerator = 0;
    std::int32_t Denominator = 0;
    bool operator==(const TExifSRational&) const = default;
};

// The decoded values of an entry. The alternative's index is the type code:
// ASCII holds one text cell (UTF-8), UNDEFINED one block cell, every other
// type one cell per value. Nothing read, or an unknown type: monostate.
using TExifValues = std::variant<std::monostate,               // 0
                                 std::vector<std::uint8_t>,    // 1 BYTE
                                 std::string,                  // 2 ASCII
                                 std::vector<std::uint16_t>,   // 3 SHORT
                                 std::vector<std::uint32_t>,   // 4 LONG
                                 std::vector<TExifRational>,   // 5 RATIONAL
                                 std::vector<std::int8_t>,     // 6 SBYTE
                                 std::vector<std::uint8_t>,    // 7 UNDEFINED
                                 std::vector<std::int16_t>,    // 8 SSHORT
                                 std::vector<std::int32_t>,    // 9 SLONG
                                 std::vector<TExifSRational>,  // 10 SRATIONAL
                                 std::vector<float>,           // 11 FLOAT
                                 std::vector<double>>;         // 12 DOUBLE

class TEntryItems;
class TExifInfo;

// One directory entry with its decoded values.
class TEntryItem {
  public:
    explicit TEntryItem(TEntryItems* collection) : collection_(collection) {}

    std::uint32_t Count = 0;        // the entry's count field
    std::uint8_t DataType = 0;      // low byte of the entry's type field
    TExifDir Dir = dkMain;          // directory the entry came from
    std::uint32_t ValueOffset = 0;  // offset of out-of-line values, 0 when inline
    std::uint16_t Tag = 0;

    const TExifValues& Values() const { return values_; }
    // Number of cells held.
    std::uint32_t ValueCount() const;
    void ClearValues() { values_ = std::monostate{}; }

    // The text of an ASCII entry; empty for any other type.
    std::string AsText() const;
    // Value Index of a LONG entry; 0 for any other type or index.
    std::uint32_t AsLong(std::int64_t index) const;
    // Value Index of a BYTE, SHORT or LONG entry; 0 otherwise.
    std::uint32_t AsUnsigned(std::int64_t index) const;
    // The bytes of an UNDEFINED entry (empty for other types).
    const std::vector<std::uint8_t>& AsBlock() const;

    // The reader owning this entry's collection, if any.
    TExifInfo* GetExifInfo() const;
    // Deep copy of another entry's fields and values (the collection stays).
    void Assign(const TEntryItem& source);

    // Reads the 12-byte directory entry at the stream's position; afterwards
    // the stream stands right behind it.
    void ReadEntry(TStream& stream);
    // Reads Count values of DataType at the stream's position.
    void ReadValues(TStream& stream);

  private:
    std::uint16_t ByteOrder() const;

    TEntryItems* collection_;
    TExifValues values_;
};

// An ordered collection of entries. Changes are announced through OnChange,
// deferred while an update bracket is open.
class TEntryItems {
  public:
    explicit TEntryItems(TExifInfo* owner = nullptr) : owner_(owner) {}
    TEntryItems(const TEntryItems&) = delete;
    TEntryItems& operator=(const TEntryItems&) = delete;

    std::int64_t BaseOffset = 0;  // TIFF header position; offsets count from here
    std::function<void()> OnChange;

    TExifInfo* OwnerInfo() const { return owner_; }
    int Count() const { return int(items_.size()); }
    TEntryItem& Items(int index) { return items_.at(std::size_t(index)); }
    const TEntryItem& Items(int index) const { return items_.at(std::size_t(index)); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    TEntryItem& Add();
    // Drops the last entry (one whose reading failed).
    void DeleteLast();
    void Clear();
    // Index of the first entry with this tag and directory, or -1.
    int IndexOfTag(std::uint16_t tag, TExifDir dir) const;
    // BaseOffset and deep copies of every entry.
    void Assign(const TEntryItems& source);

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();

  private:
    void Changed();

    TExifInfo* owner_;
    std::deque<TEntryItem> items_;
    int updateCount_ = 0;
    bool pendingChange_ = false;
};

// Error codes of DoError.
constexpr int errFileNotFound = -1;
constexpr int errNotExif = -2;
constexpr int errUserComment = -3;
constexpr int errNotAscii = -4;
constexpr int errBadStream = -5;
constexpr int errBadIndex = -6;
constexpr int errTagNotFound = -7;
constexpr int errNoDateTime = -8;
// The Japanese text of an error code.
std::string ExifErrorText(int errCode);

class TExifInfo {
  public:
    using TUpdateEvent = std::function<void(TExifInfo& sender)>;
    using TErrorEvent = std::function<void(TExifInfo& sender, int errCode, bool& allowError)>;

    TExifInfo();
    virtual ~TExifInfo() = default;
    TExifInfo(const TExifInfo&) = delete;
    TExifInfo& operator=(const TExifInfo&) = delete;

    TUpdateEvent OnUpdate;
    TErrorEvent OnError;

    // Assigning a name loads the file's EXIF data (an empty name changes
    // nothing). Raises EExifError -1, -2 or -5 through DoError, the
    // stream's open error, or its read error from a truncated JPEG header.
    const std::string& ImageFileName() const { return imageFileName_; }
    void SetImageFileName(const std::string& name);
    // The load's steps after the file is open, for any stream.
    void LoadFromStream(TStream& stream);
    // Loads the directories of an EXIF block held in memory, as HEIF and
    // WebP files carry it: TIFF data, behind an optional "Exif\0\0" prefix.
    // Raises EExifError -2 when the block holds no TIFF header, -5 when its
    // directories cannot be read.
    void LoadFromExifBlock(const std::uint8_t* data, std::size_t size);

    // How far past offset 4 the APP1 marker is looked for when the file's
    // second marker is not an application marker. Default 16, never negative.
    std::int32_t SearchBytes() const { return searchBytes_; }
    void SetSearchBytes(std::int32_t value) { searchBytes_ = value < 0 ? 0 : value; }

    std::int64_t App1Position() const { return app1Position_; }
    std::uint16_t ByteOrder() const { return byteOrder_; }
    std::int64_t TiffBase() const { return tiffBase_; }
    std::int32_t JpegWidth() const { return jpegWidth_; }
    std::int32_t JpegHeight() const { return jpegHeight_; }
    TEntryItems& Entries() { return entries_; }
    const TEntryItems& Entries() const { return entries_; }
    TEntryItems& ThumbEntries() { return thumbEntries_; }
    const TEntryItems& ThumbEntries() const { return thumbEntries_; }

    // True when the file holds an APP1 marker that FindApp1 finds. Opens
    // the file itself and leaves the reader's state alone.
    bool HasExif(const std::string& name);
    std::int64_t FindApp1InFile(const std::string& name);
    // Position of the APP1 marker's 0xFF, or -1. Never raises; the stream's
    // position is kept.
    std::int64_t FindApp1(TStream& stream);

    // The text of an entry of IFD0 or its sub-directories; empty when the
    // entry is missing (then DoError(-7) when raiseIfMissing) or not ASCII.
    std::string GetTagText(std::uint16_t tag, TExifDir dir, bool raiseIfMissing);
    // Text of DateTime (0x0132) in IFD0.
    std::string GetDateTimeText();
    // DateTime as a date-time value; raises EExifError "日時は不明です" or
    // EDateConvertError.
    TDateTime GetDateTime();
    // Orientation (0x0112) of IFD0, 0 when absent.
    std::uint32_t Orientation() const;

    // Directory pointers, 0 when absent.
    std::uint32_t ExifIFDOffset() const;
    std::uint32_t GPSIFDOffset() const;
    std::uint32_t InteropIFDOffset() const;
    std::uint32_t ThumbExifIFDOffset() const;
    std::uint32_t ThumbInteropIFDOffset() const;

  protected:
    virtual void DoUpdate();
    // Calls OnError; raises EExifError unless the handler clears AllowError.
    virtual void DoError(int errCode);

  private:
    friend class TEntryItem;
    // Counts the bytes of out-of-line values kept by one load and raises
    // EReadError once they exceed the stream's size: values that overlap
    // cannot make the reader keep more than the file holds.
    void ChargeValueBytes(std::uint64_t bytes);
    void ReadJpegSize(TStream& stream);
    bool ReadExif(TStream& stream);
    bool ReadTiff(TStream& stream);
    std::uint32_t ReadDirectories(TStream& stream);
    void ReadThumbDirectories(TStream& stream, std::uint32_t ifd1Offset);
    std::uint32_t ReadDirectory(TStream& stream, TEntryItems& items, TExifDir dir);
    void SeekTiff(TStream& stream, std::uint32_t offset);

    std::int64_t app1Position_ = -1;
    std::uint16_t byteOrder_ = 0;
    TEntryItems entries_;
    std::string imageFileName_;
    std::int32_t jpegHeight_ = 0;
    std::int32_t jpegWidth_ = 0;
    std::int64_t tiffBase_ = 0;
    std::int32_t searchBytes_ = 16;
    TEntryItems thumbEntries_;
    std::uint64_t valueBytes_ = 0;
    std::uint64_t valueBudget_ = 0;
};

// The date-time of an EXIF date text "YYYY:MM:DD HH:MM:SS" (any separators,
// but at least one ":"). Raises EExifError "日時は不明です" or
// EDateConvertError.
TDateTime ExifDateToDateTime(const std::string& text);

}  // namespace tovali
