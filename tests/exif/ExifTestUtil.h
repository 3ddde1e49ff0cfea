// Loading helpers shared by the reader's tests.
#pragma once

#include <string>

#include "exif/ExifInfo.h"
#include "tests/exif/ExifBuilder.h"

namespace tovali {

namespace exiftest {

// Loads bytes through the reader's stream path; returns "" or the error.
inline std::string LoadBytes(TExifInfo& reader, const Bytes& bytes) {
    TBytesStream stream(bytes.data(), bytes.size());
    try {
        reader.LoadFromStream(stream);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

inline std::string LoadFile(TExifInfo& reader, const std::string& name) {
    try {
        reader.SetImageFileName(name);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

inline const TEntryItem* Find(const TEntryItems& items, std::uint16_t tag, TExifDir dir) {
    const int i = items.IndexOfTag(tag, dir);
    return i < 0 ? nullptr : &items.Items(i);
}

inline const std::string kBadStream = "TExifInfo: 不正なストリーム";
inline const std::string kNotExif = "TExifInfo: Exif、またはDCF形式ではありません";
inline const std::string kNotFound = "TExifInfo: ファイルが見つかりません";
inline const std::string kNoDate = "TExifInfo: 日時は不明です";

}  // namespace exiftest

}  // namespace tovali
