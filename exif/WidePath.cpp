#include "exif/WidePath.h"

#ifdef _WIN32
#include "exif/WinApi.h"

#include <cerrno>
#endif

namespace tovali {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The code point of the WTF-8 sequence at text[i] and its length, or length
// 0 when no valid sequence starts there. Surrogates (ED A0..BF) are valid.
char32_t Decode(std::string_view text, std::size_t i, std::size_t& length) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    length = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    std::size_t n;
    char32_t value;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3, value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4, value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + n > text.size() || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if (!IsContinuation(byte(k))) return 0;
        value = (value << 6) | (byte(k) & 0x3F);
    }
    length = n;
    return value;
}

void Encode(char32_t c, std::string& out) {
    const auto put = [&](unsigned value) { out += static_cast<char>(value); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6)), put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18)), put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
    }
}

bool IsLeadSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsTrailSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

#ifdef _WIN32
// Shorter names need no long form: the shortest Win32 limit, for a folder
// to create, is MAX_PATH less room for an 8.3 name.
constexpr std::size_t kShortPathLimit = MAX_PATH - 12;

std::wstring WideOf(const std::string& name) {
    const std::u16string wide = Utf16FromWtf8(name);
    return std::wstring(wide.begin(), wide.end());
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}
#endif

}  // namespace

std::size_t LastDelimiter(std::string_view path) {
#ifdef _WIN32
    return path.find_last_of("/\\:");
#else
    return path.rfind('/');
#endif
}

std::u16string Utf16FromWtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length;
        const char32_t c = Decode(text, i, length);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        i += length;
        if (c < 0x10000) {
            out += char16_t(c);
        } else {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string Wtf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsLeadSurrogate(unit) && i + 1 < text.size() && IsTrailSurrogate(text[i + 1])) {
            Encode(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00), out);
            ++i;
        } else {
            Encode(unit, out);
        }
    }
    return out;
}

#ifdef _WIN32

std::filesystem::path FileSystemPath(const std::string& name) {
    return std::filesystem::path(SystemPath(name));
}

std::string PathText(const std::filesystem::path& path) {
    const std::wstring& native = path.native();
    return Wtf8FromUtf16(std::u16string(native.begin(), native.end()));
}

std::wstring SystemPath(const std::string& name) {
    const std::wstring wide = WideOf(name);
    if (wide.size() < kShortPathLimit || StartsWith(wide, L"\\\\?\\") ||
        StartsWith(wide, L"\\\\.\\"))
        return wide;
    std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return wide;
    full.resize(length);
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

void SetErrnoFromLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            errno = EACCES;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_PARAMETER:
            errno = EINVAL;
            break;
        case ERROR_FILENAME_EXCED_RANGE:
            errno = ENAMETOOLONG;
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            errno = ENOMEM;
            break;
        default:
            errno = EIO;
    }
}

#else

std::filesystem::path FileSystemPath(const std::string& name) {
    return std::filesystem::path(name);
}

std::string PathText(const std::filesystem::path& path) {
    return path.string();
}

#endif

}  // namespace tovali
