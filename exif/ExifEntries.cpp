// Directory entries, their collections and the byte-order readers.
#ifdef _WIN32
#include "exif/WinApi.h"

#include "exif/WidePath.h"
#else
#include <iconv.h>
#endif

#include <cstring>

#include "exif/ExifInfo.h"

namespace tovali {

const std::array<std::uint8_t, 13> TypeSize = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

namespace {

constexpr std::uint16_t kLittleEndian = 0x4949;
constexpr std::uint16_t kUserComment = 0x9286;

// The bytes of an unsigned value of the given width, in the mark's order.
std::uint64_t ReadOrdered(TStream& stream, std::uint16_t byteOrder, int bytes) {
    std::uint8_t raw[8];
    stream.ReadBuffer(raw, std::size_t(bytes));
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        const int index = byteOrder == kLittleEndian ? bytes - 1 - i : i;
        value = (value << 8) | raw[index];
    }
    return value;
}

bool IsValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = std::uint8_t(text[i]);
        const int extra = c < 0x80         ? 0
                          : (c >> 5) == 6  ? 1
                          : (c >> 4) == 14 ? 2
                          : (c >> 3) == 30 ? 3
                                           : -1;
        if (extra < 0 || i + std::size_t(extra) >= text.size()) return false;
        for (int k = 1; k <= extra; ++k)
            if ((std::uint8_t(text[i + std::size_t(k)]) >> 6) != 2) return false;
        i += std::size_t(extra) + 1;
    }
    return true;
}

#ifdef _WIN32

// Code page 932 as the Linux build's iconv reads it: the system's table,
// less the single bytes iconv lacks (0x80, 0xA0, 0xFD to 0xFF).
bool Cp932Decode(const std::string& text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = std::uint8_t(text[i]);
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))
            ++i;  // a lead byte: the next one is its trail
        else if (c == 0x80 || c == 0xA0 || c >= 0xFD)
            return false;
    }
    const int size = int(text.size());
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(std::size_t(n), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);
    out = Wtf8FromUtf16(std::u16string(wide.begin(), wide.end()));
    return true;
}

#else

// The whole text through iconv's CP932, or false.
bool Cp932Decode(std::string text, std::string& result) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd != iconv_t(-1)) {
        std::string out(text.size() * 3, '\0');
        char* in = text.data();
        std::size_t inLeft = text.size();
        char* dst = out.data();
        std::size_t outLeft = out.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
        iconv_close(cd);
        if (rc != std::size_t(-1) && inLeft == 0) {
            out.resize(out.size() - outLeft);
            result = out;
            return true;
        }
    }
    return false;
}

#endif

// Cameras of the code-page era wrote Shift-JIS into ASCII entries; such a
// text becomes UTF-8 through code page 932, or with "?" for what stays
// unreadable.
std::string ExifTextToUtf8(std::string text) {
    if (IsValidUtf8(text)) return text;
    std::string decoded;
    if (Cp932Decode(text, decoded)) return decoded;
    for (char& c : text)
        if (std::uint8_t(c) >= 0x80) c = '?';
    return text;
}

template <typename T, typename ReadOne>
std::vector<T> ReadCells(std::uint32_t count, ReadOne readOne) {
    std::vector<T> cells;
    cells.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) cells.push_back(readOne());
    return cells;
}

std::vector<std::uint8_t> ReadBlock(TStream& stream, std::uint32_t count) {
    std::vector<std::uint8_t> block(count);
    stream.ReadBuffer(block.data(), count);
    return block;
}

std::string ReadText(TStream& stream, std::uint32_t count) {
    std::string text(count, '\0');
    stream.ReadBuffer(text.data(), count);
    text.resize(std::strlen(text.c_str()));  // the text ends at the first NUL
    return ExifTextToUtf8(std::move(text));
}

}  // namespace

std::uint16_t ReadWord(TStream& stream, std::uint16_t byteOrder) {
    return std::uint16_t(ReadOrdered(stream, byteOrder, 2));
}

std::int16_t ReadSmallInt(TStream& stream, std::uint16_t byteOrder) {
    return std::int16_t(ReadWord(stream, byteOrder));
}

std::uint32_t ReadLongWord(TStream& stream, std::uint16_t byteOrder) {
    return std::uint32_t(ReadOrdered(stream, byteOrder, 4));
}

std::int32_t ReadLongInt(TStream& stream, std::uint16_t byteOrder) {
    return std::int32_t(ReadLongWord(stream, byteOrder));
}

float ReadSingle(TStream& stream, std::uint16_t byteOrder) {
    const std::uint32_t bits = ReadLongWord(stream, byteOrder);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double ReadDouble(TStream& stream, std::uint16_t byteOrder) {
    const std::uint64_t bits = ReadOrdered(stream, byteOrder, 8);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// --- TEntryItem ---

std::uint32_t TEntryItem::ValueCount() const {
    switch (values_.index()) {
        case 0:
            return 0;
        case etAscii:
        case etUndefined:
            return 1;
        default:
            return std::visit(
                [](const auto& cells) -> std::uint32_t {
                    if constexpr (requires { cells.size(); }) return std::uint32_t(cells.size());
                    return 0;
                },
                values_);
    }
}

std::string TEntryItem::AsText() const {
    if (DataType != etAscii || values_.index() != etAscii) return {};
    return std::get<etAscii>(values_);
}

std::uint32_t TEntryItem::AsLong(std::int64_t index) const {
    if (DataType != etLong || values_.index() != etLong) return 0;
    const auto& cells = std::get<etLong>(values_);
    return index >= 0 && index < std::int64_t(cells.size()) ? cells[std::size_t(index)] : 0;
}

std::uint32_t TEntryItem::AsUnsigned(std::int64_t index) const {
    if (index < 0 || std::uint64_t(index) >= ValueCount() || DataType != values_.index()) return 0;
    switch (values_.index()) {
        case etByte:
            return std::get<etByte>(values_)[std::size_t(index)];
        case etShort:
            return std::get<etShort>(values_)[std::size_t(index)];
        case etLong:
            return std::get<etLong>(values_)[std::size_t(index)];
        default:
            return 0;
    }
}

const std::vector<std::uint8_t>& TEntryItem::AsBlock() const {
    static const std::vector<std::uint8_t> kEmpty;
    return values_.index() == etUndefined ? std::get<etUndefined>(values_) : kEmpty;
}

TExifInfo* TEntryItem::GetExifInfo() const {
    return collection_ ? collection_->OwnerInfo() : nullptr;
}

std::uint16_t TEntryItem::ByteOrder() const {
    const TExifInfo* info = GetExifInfo();
    return info ? info->ByteOrder() : kLittleEndian;
}

void TEntryItem::Assign(const TEntryItem& source) {
    if (&source == this) return;
    values_ = source.values_;
    Count = source.Count;
    DataType = source.DataType;
    Dir = source.Dir;
    ValueOffset = source.ValueOffset;
    Tag = source.Tag;
}

void TEntryItem::ReadEntry(TStream& stream) {
    const std::uint16_t order = ByteOrder();
    Tag = ReadWord(stream, order);
    DataType = std::uint8_t(ReadWord(stream, order));
    Count = ReadLongWord(stream, order);
    const std::uint64_t typeSize = DataType < TypeSize.size() ? TypeSize[DataType] : 0;
    const std::uint64_t size = typeSize * Count;
    if (size > 4) {
        const std::int64_t entryValueField = stream.Position();
        ValueOffset = ReadLongWord(stream, order);
        if (TExifInfo* info = GetExifInfo()) info->ChargeValueBytes(size);
        stream.SetPosition((collection_ ? collection_->BaseOffset : 0) + ValueOffset);
        ReadValues(stream);
        stream.SetPosition(entryValueField + 4);
    } else {
        ValueOffset = 0;
        ReadValues(stream);
        stream.Seek(std::int64_t(4 - size), TSeekOrigin::soCurrent);
    }
}

void TEntryItem::ReadValues(TStream& stream) {
    ClearValues();
    const std::uint64_t typeSize = DataType < TypeSize.size() ? TypeSize[DataType] : 0;
    // Never allocate for values the stream cannot hold.
    if (typeSize * Count > stream.Remaining()) throw EReadError();
    const std::uint16_t order = ByteOrder();
    switch (DataType) {
        case etAscii:
            if (Tag == kUserComment && Dir == dkExif) {
                DataType = etUndefined;
                values_.emplace<etUndefined>(ReadBlock(stream, Count));
            } else if (Count > 0) {
                values_.emplace<etAscii>(ReadText(stream, Count));
            }
            break;
        case etUndefined:
            values_.emplace<etUndefined>(ReadBlock(stream, Count));
            break;
        case etByte:
            values_.emplace<etByte>(ReadBlock(stream, Count));
            break;
        case etSByte:
            values_.emplace<etSByte>(
                ReadCells<std::int8_t>(Count, [&] { return std::int8_t(stream.ReadByte()); }));
            break;
        case etShort:
            values_.emplace<etShort>(
                ReadCells<std::uint16_t>(Count, [&] { return ReadWord(stream, order); }));
            break;
        case etSShort:
            values_.emplace<etSShort>(
                ReadCells<std::int16_t>(Count, [&] { return ReadSmallInt(stream, order); }));
            break;
        case etLong:
            values_.emplace<etLong>(
                ReadCells<std::uint32_t>(Count, [&] { return ReadLongWord(stream, order); }));
            break;
        case etSLong:
            values_.emplace<etSLong>(
                ReadCells<std::int32_t>(Count, [&] { return ReadLongInt(stream, order); }));
            break;
        case etRational:
            values_.emplace<etRational>(ReadCells<TExifRational>(Count, [&] {
                const std::uint32_t numerator = ReadLongWord(stream, order);
                return TExifRational{numerator, ReadLongWord(stream, order)};
            }));
            break;
        case etSRational:
            values_.emplace<etSRational>(ReadCells<TExifSRational>(Count, [&] {
                const std::int32_t numerator = ReadLongInt(stream, order);
                return TExifSRational{numerator, ReadLongInt(stream, order)};
            }));
            break;
        case etFloat:
            values_.emplace<etFloat>(
                ReadCells<float>(Count, [&] { return ReadSingle(stream, order); }));
            break;
        case etDouble:
            values_.emplace<etDouble>(
                ReadCells<double>(Count, [&] { return ReadDouble(stream, order); }));
            break;
        default:
            break;  // unknown type: nothing to read
    }
}

// --- TEntryItems ---

TEntryItem& TEntryItems::Add() {
    items_.emplace_back(this);
    Changed();
    return items_.back();
}

void TEntryItems::DeleteLast() {
    if (items_.empty()) return;
    items_.pop_back();
    Changed();
}

void TEntryItems::Clear() {
    if (items_.empty()) return;
    items_.clear();
    Changed();
}

int TEntryItems::IndexOfTag(std::uint16_t tag, TExifDir dir) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Tag == tag && items_[i].Dir == dir) return int(i);
    return -1;
}

void TEntryItems::Assign(const TEntryItems& source) {
    if (&source == this) return;
    BaseOffset = source.BaseOffset;
    BeginUpdate();
    items_.clear();
    for (const TEntryItem& item : source.items_) items_.emplace_back(this).Assign(item);
    pendingChange_ = true;
    EndUpdate();
}

void TEntryItems::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && pendingChange_) {
        pendingChange_ = false;
        if (OnChange) OnChange();
    }
}

void TEntryItems::Changed() {
    if (updateCount_ > 0) {
        pendingChange_ = true;
    } else if (OnChange) {
        OnChange();
    }
}

}  // namespace tovali
