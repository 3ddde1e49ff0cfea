#include "exif/ExifInfo.h"

#include <cstring>

#include "exif/WideFileUtils.h"

namespace tovali {

namespace {

constexpr std::uint16_t kLittleEndian = 0x4949;
constexpr std::uint16_t kBigEndian = 0x4D4D;
constexpr std::uint16_t kSoi = 0xFFD8;
constexpr std::uint16_t kApp1 = 0xFFE1;

constexpr std::uint16_t kTagExifIfd = 0x8769;
constexpr std::uint16_t kTagGpsIfd = 0x8825;
constexpr std::uint16_t kTagInteropIfd = 0xA005;
constexpr std::uint16_t kTagOrientation = 0x0112;

// Start-of-frame markers: 0xFFC0..0xFFCF except DHT (C4), JPG (C8), DAC (CC).
bool IsStartOfFrame(std::uint16_t marker) {
    return marker >= 0xFFC0 && marker <= 0xFFCF && marker != 0xFFC4 && marker != 0xFFC8 &&
           marker != 0xFFCC;
}

bool IsAppMarker(std::uint16_t marker) {
    return (marker & 0xFFF0) == 0xFFE0;
}

std::uint32_t PointerOf(const TEntryItems& items, std::uint16_t tag, TExifDir dir) {
    const int index = items.IndexOfTag(tag, dir);
    return index < 0 ? 0 : items.Items(index).AsLong(0);
}

// Closes an update bracket also when a read fails inside it.
template <typename Body>
void InBracket(TEntryItems& items, Body body) {
    items.BeginUpdate();
    try {
        body();
    } catch (...) {
        items.EndUpdate();
        throw;
    }
    items.EndUpdate();
}

// Reads bytes up to the TIFF header: the first non-zero byte after at
// least two zero bytes (the segment length and "Exif\0\0" are passed over).
void SkipToTiffHeader(TStream& stream) {
    int zeros = 0;
    for (;;) {
        const std::uint8_t b = stream.ReadByte();
        if (b == 0) {
            ++zeros;
        } else if (zeros >= 2) {
            break;
        }
    }
    stream.Seek(-1, TSeekOrigin::soCurrent);
}

constexpr std::uint8_t kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};

bool IsTiffHeader(const std::uint8_t* data, std::size_t size) {
    return size >= 8 && ((data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
                         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42));
}

}  // namespace

std::string ExifErrorText(int errCode) {
    switch (errCode) {
        case errFileNotFound:
            return "ファイルが見つかりません";
        case errNotExif:
            return "Exif、またはDCF形式ではありません";
        case errUserComment:
            return "ユーザコメントは不明な形式です";
        case errNotAscii:
            return "ASCII文字以外は書き込みできません";
        case errBadStream:
            return "不正なストリーム";
        case errBadIndex:
            return "不正なインデックス";
        case errTagNotFound:
            return "タグが見つかりません";
        case errNoDateTime:
            return "日時は不明です";
        default:
            return "不明なエラーです";
    }
}

TExifInfo::TExifInfo() : entries_(this), thumbEntries_(this) {}

// Read access that lets others read the picture too (on Windows, where the
// sharing counts): a decoder of the batch, or a viewer, may hold it open at
// the same time. Sharing nothing would fail the date of such a picture.
constexpr std::uint16_t kPictureReadMode = fmOpenRead | fmShareDenyWrite;

void TExifInfo::SetImageFileName(const std::string& name) {
    imageFileName_ = name;
    if (name.empty()) return;
    entries_.Clear();
    thumbEntries_.Clear();
    if (!WideFileExists(name)) {
        jpegHeight_ = 0;
        jpegWidth_ = 0;
        DoUpdate();
        DoError(errFileNotFound);
        return;
    }
    TWideFileStream stream(name, kPictureReadMode);
    LoadFromStream(stream);
}

void TExifInfo::LoadFromStream(TStream& stream) {
    entries_.Clear();
    thumbEntries_.Clear();
    valueBytes_ = 0;
    valueBudget_ = std::uint64_t(stream.Size());
    stream.SetPosition(0);
    ReadJpegSize(stream);
    app1Position_ = FindApp1(stream);
    if (app1Position_ == -1) {
        DoError(errNotExif);
    } else if (!ReadExif(stream)) {
        DoError(errBadStream);
    }
}

void TExifInfo::LoadFromExifBlock(const std::uint8_t* data, std::size_t size) {
    entries_.Clear();
    thumbEntries_.Clear();
    jpegHeight_ = 0;
    jpegWidth_ = 0;
    app1Position_ = -1;
    valueBytes_ = 0;
    valueBudget_ = size;
    if (size >= sizeof kExifPrefix && std::memcmp(data, kExifPrefix, sizeof kExifPrefix) == 0) {
        data += sizeof kExifPrefix;
        size -= sizeof kExifPrefix;
    }
    if (!IsTiffHeader(data, size)) {
        DoError(errNotExif);
        return;
    }
    TBytesStream stream(data, size);
    if (!ReadTiff(stream)) DoError(errBadStream);
}

void TExifInfo::ReadJpegSize(TStream& stream) {
    jpegHeight_ = 0;
    jpegWidth_ = 0;
    const std::int64_t saved = stream.Position();
    stream.SetPosition(0);
    if (ReadWord(stream, kBigEndian) == kSoi) {
        for (;;) {
            const std::uint16_t marker = ReadWord(stream, kBigEndian);
            const std::uint16_t length = ReadWord(stream, kBigEndian);
            if (IsStartOfFrame(marker)) break;
            stream.Seek(std::int64_t(length) - 2, TSeekOrigin::soCurrent);
        }
        stream.Seek(1, TSeekOrigin::soCurrent);  // sample precision
        jpegHeight_ = ReadWord(stream, kBigEndian);
        jpegWidth_ = ReadWord(stream, kBigEndian);
    }
    stream.SetPosition(saved);
}

std::int64_t TExifInfo::FindApp1(TStream& stream) {
    std::int64_t result = -1;
    const std::int64_t saved = stream.Position();
    std::int64_t counter = 0;
    try {
        if (ReadWord(stream, kBigEndian) == kSoi) {
            std::uint16_t word = ReadWord(stream, kBigEndian);
            bool found = false;
            if (IsAppMarker(word)) {
                // Walk the segments; the walk ends at APP1 or at a non-marker.
                while (word != kApp1 && (word >> 8) == 0xFF) {
                    const std::uint16_t length = ReadWord(stream, kBigEndian);
                    stream.Seek(std::int64_t(length) - 2, TSeekOrigin::soCurrent);
                    word = ReadWord(stream, kBigEndian);
                }
                found = word == kApp1;
            } else {
                // Scan SearchBytes bytes from offset 4 for 0xFF 0xE1.
                do {
                    ++counter;
                    if (stream.ReadByte() != 0xFF) continue;
                    if (stream.ReadByte() == 0xE1) {
                        found = true;
                    } else {
                        stream.Seek(-1, TSeekOrigin::soCurrent);
                    }
                } while (!found && counter <= searchBytes_);
            }
            if (found) result = stream.Position() - 2;
        }
    } catch (const std::exception&) {
        // The end of the stream: no APP1.
    }
    stream.SetPosition(saved);
    return result;
}

bool TExifInfo::ReadExif(TStream& stream) {
    try {
        stream.SetPosition(app1Position_ + 2);
        SkipToTiffHeader(stream);
    } catch (...) {
        return false;
    }
    return ReadTiff(stream);
}

// Reads the directories of the TIFF data at the stream's position.
bool TExifInfo::ReadTiff(TStream& stream) {
    try {
        tiffBase_ = stream.Position();
        entries_.BaseOffset = tiffBase_;
        thumbEntries_.BaseOffset = tiffBase_;
        byteOrder_ = ReadWord(stream, kLittleEndian);  // the two bytes as stored
        stream.Seek(2, TSeekOrigin::soCurrent);        // TIFF magic number
        SeekTiff(stream, ReadLongWord(stream, byteOrder_));
        std::uint32_t ifd1Offset = 0;
        InBracket(entries_, [&] { ifd1Offset = ReadDirectories(stream); });
        if (ifd1Offset != 0)
            InBracket(thumbEntries_, [&] { ReadThumbDirectories(stream, ifd1Offset); });
        DoUpdate();
        return true;
    } catch (...) {
        return false;
    }
}

std::uint32_t TExifInfo::ReadDirectories(TStream& stream) {
    const std::uint32_t ifd1Offset = ReadDirectory(stream, entries_, dkMain);
    if (const std::uint32_t offset = ExifIFDOffset()) {
        SeekTiff(stream, offset);
        ReadDirectory(stream, entries_, dkExif);
    }
    if (const std::uint32_t offset = GPSIFDOffset()) {
        SeekTiff(stream, offset);
        ReadDirectory(stream, entries_, dkGps);
    }
    if (const std::uint32_t offset = InteropIFDOffset()) {
        SeekTiff(stream, offset);
        ReadDirectory(stream, entries_, dkInterop);
    }
    return ifd1Offset;
}

void TExifInfo::ReadThumbDirectories(TStream& stream, std::uint32_t ifd1Offset) {
    SeekTiff(stream, ifd1Offset);
    ReadDirectory(stream, thumbEntries_, dkMain);
    if (const std::uint32_t offset = ThumbExifIFDOffset()) {
        SeekTiff(stream, offset);
        ReadDirectory(stream, thumbEntries_, dkExif);
    }
    if (const std::uint32_t offset = ThumbInteropIFDOffset()) {
        SeekTiff(stream, offset);
        ReadDirectory(stream, thumbEntries_, dkInterop);
    }
}

std::uint32_t TExifInfo::ReadDirectory(TStream& stream, TEntryItems& items, TExifDir dir) {
    const std::uint16_t count = ReadWord(stream, byteOrder_);
    for (std::uint32_t i = 0; i < count; ++i) {
        TEntryItem& item = items.Add();
        item.Dir = dir;
        try {
            item.ReadEntry(stream);
        } catch (...) {
            items.DeleteLast();  // keep only entries read whole
            throw;
        }
    }
    return ReadLongWord(stream, byteOrder_);
}

void TExifInfo::SeekTiff(TStream& stream, std::uint32_t offset) {
    stream.SetPosition(tiffBase_ + offset);
}

void TExifInfo::ChargeValueBytes(std::uint64_t bytes) {
    valueBytes_ += bytes;
    if (valueBytes_ > valueBudget_) throw EReadError();
}

bool TExifInfo::HasExif(const std::string& name) {
    return FindApp1InFile(name) > 0;
}

std::int64_t TExifInfo::FindApp1InFile(const std::string& name) {
    TWideFileStream stream(name, kPictureReadMode);
    stream.SetPosition(0);
    return FindApp1(stream);
}

std::string TExifInfo::GetTagText(std::uint16_t tag, TExifDir dir, bool raiseIfMissing) {
    const int index = entries_.IndexOfTag(tag, dir);
    if (index >= 0) return entries_.Items(index).AsText();
    if (raiseIfMissing) DoError(errTagNotFound);
    return {};
}

std::uint32_t TExifInfo::Orientation() const {
    const int index = entries_.IndexOfTag(kTagOrientation, dkMain);
    return index < 0 ? 0 : entries_.Items(index).AsUnsigned(0);
}

std::uint32_t TExifInfo::ExifIFDOffset() const {
    return PointerOf(entries_, kTagExifIfd, dkMain);
}
std::uint32_t TExifInfo::GPSIFDOffset() const {
    return PointerOf(entries_, kTagGpsIfd, dkMain);
}
std::uint32_t TExifInfo::InteropIFDOffset() const {
    return PointerOf(entries_, kTagInteropIfd, dkExif);
}
std::uint32_t TExifInfo::ThumbExifIFDOffset() const {
    return PointerOf(thumbEntries_, kTagExifIfd, dkMain);
}
std::uint32_t TExifInfo::ThumbInteropIFDOffset() const {
    return PointerOf(thumbEntries_, kTagInteropIfd, dkExif);
}

void TExifInfo::DoUpdate() {
    if (OnUpdate) OnUpdate(*this);
}

void TExifInfo::DoError(int errCode) {
    bool allowError = true;
    if (OnError) OnError(*this, errCode, allowError);
    if (allowError) throw EExifError(ExifErrorText(errCode));
}

}  // namespace tovali
