#include "ui/settings/Cp932.h"

#ifdef _WIN32
#include "exif/WinApi.h"

#include "exif/WidePath.h"
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace tovali {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

bool IsCp932LeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Bytes of the character (or broken sequence) at the start of a UTF-8 text:
// the lead byte and the continuation bytes that follow it.
std::size_t Utf8CharacterLength(const char* text, std::size_t left) {
    std::size_t length = 1;
    while (length < left && length < 4 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        ++length;
    return length;
}

#ifdef _WIN32

constexpr UINT kCodePage932 = 932;

// Where the system's table and the iconv one of the Linux build differ, the
// file must not: iconv has no single bytes 0x80, 0xA0, 0xFD to 0xFF (the
// system gives them U+0080 and private-use characters), and writes nine
// characters that look alike one way (the JIS forms of the dash, wave dash,
// yen sign and the like), and drops the Unicode tag characters.
bool IsSingleByteIconvLacks(unsigned char byte) {
    return byte == 0x80 || byte == 0xA0 || byte >= 0xFD;
}

struct TOneWay {
    char32_t Character;
    const char* Bytes;
};
constexpr TOneWay kIconvOneWay[] = {
    {0x00A2, "\x81\x91"}, {0x00A3, "\x81\x92"}, {0x00A5, "\x5C"},
    {0x00AC, "\x81\xCA"}, {0x2014, "\x81\x5C"}, {0x2016, "\x81\x61"},
    {0x203E, "\x7E"},     {0x2212, "\x81\x7C"}, {0x301C, "\x81\x60"},
};

// iconv's own answer for a character, when it is not the system's: true
// with the bytes (perhaps none), or false to ask the system.
bool IconvOwnBytes(char32_t c, std::string& out, bool& refused) {
    refused = c == 0x80 || (c >= 0xF8F0 && c <= 0xF8F3);
    if (refused) return true;
    if (c >= 0xE0000 && c <= 0xE007F) return true;
    for (const TOneWay& oneWay : kIconvOneWay) {
        if (oneWay.Character != c) continue;
        out += oneWay.Bytes;
        return true;
    }
    return false;
}

// The character of code page 932 at the start of the bytes, as UTF-8, or
// nothing when it is not one (then one byte is skipped, as iconv does).
bool DecodeOne(std::string_view bytes, std::size_t length, std::string& out) {
    if (length == 1 && IsSingleByteIconvLacks(static_cast<unsigned char>(bytes[0]))) return false;
    wchar_t wide[2];
    const int n =
        MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, bytes.data(), int(length), wide, 2);
    if (n <= 0) return false;
    out += Wtf8FromUtf16(std::u16string(wide, wide + n));
    return true;
}

// The code page 932 bytes of one UTF-8 character, refusing look-alikes
// (no best fit) and what the code page lacks.
bool EncodeOne(std::string_view character, std::string& out) {
    const std::u16string wide = Utf16FromWtf8(character);
    if (wide.empty() || wide.find(char16_t(0xFFFD)) != std::u16string::npos) return false;
    const char32_t c = wide.size() == 2 ? 0x10000 + ((char32_t(wide[0]) - 0xD800) << 10) +
                                              (char32_t(wide[1]) - 0xDC00)
                                        : wide[0];
    bool refused = false;
    if (IconvOwnBytes(c, out, refused)) return !refused;
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS,
                                      reinterpret_cast<const wchar_t*>(wide.data()),
                                      int(wide.size()), bytes, sizeof bytes, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.append(bytes, std::size_t(n));
    return true;
}

// Bytes of the whole UTF-8 character at the start, or 0 when none starts
// there (a stray or overlong byte, a surrogate, a cut sequence).
std::size_t ValidUtf8Length(std::string_view text) {
    const std::size_t length = Utf8CharacterLength(text.data(), text.size());
    const std::u16string wide = Utf16FromWtf8(text.substr(0, length));
    const bool whole = !wide.empty() && wide.size() <= 2 &&
                       wide.find(char16_t(0xFFFD)) == std::u16string::npos &&
                       Wtf8FromUtf16(wide) == text.substr(0, length);
    const bool lone = wide.size() == 1 && wide[0] >= 0xD800 && wide[0] <= 0xDFFF;
    return whole && !lone ? length : 0;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const bool lead = IsCp932LeadByte(static_cast<unsigned char>(bytes[i]));
        const std::size_t length = lead && i + 1 < bytes.size() ? 2 : 1;
        if (DecodeOne(bytes.substr(i), length, out)) {
            i += length;
        } else {
            out.append(kReplacementUtf8);
            ++i;
        }
    }
    return out;
}

std::string Utf8ToCp932(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t valid = ValidUtf8Length(text.substr(i));
        const std::size_t length =
            valid ? valid : Utf8CharacterLength(text.data() + i, text.size() - i);
        if (!valid || !EncodeOne(text.substr(i, length), out)) out += '?';
        i += length;
    }
    return out;
}

#else

std::size_t OneByte(const char*, std::size_t) {
    return 1;
}

class TIconv {
  public:
    TIconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert code page 932");
    }
    ~TIconv() { iconv_close(cd_); }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    // Converts the whole input; on a byte sequence it cannot convert, appends
    // the replacement, skips skipLength(first byte) bytes and goes on.
    template <class SkipLength>
    std::string Convert(std::string_view in, std::string_view replacement, SkipLength skipLength) {
        std::string out;
        char buffer[256];
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, std::size_t(dst - buffer));
            if (rc != std::size_t(-1) || errno == E2BIG) continue;
            out.append(replacement);
            const std::size_t skip = skipLength(src, left);
            src += skip;
            left -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

  private:
    iconv_t cd_;
};

}  // namespace

std::string Cp932ToUtf8(std::string_view bytes) {
    TIconv cv("UTF-8", "CP932");
    return cv.Convert(bytes, kReplacementUtf8, OneByte);
}

std::string Utf8ToCp932(std::string_view text) {
    TIconv cv("CP932", "UTF-8");
    return cv.Convert(text, "?", Utf8CharacterLength);
}

#endif

bool Cp932Keeps(std::string_view text) {
    return Cp932ToUtf8(Utf8ToCp932(text)) == text;
}

std::string_view Cp932Prefix(std::string_view bytes, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < bytes.size()) {
        const std::size_t length = IsCp932LeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
        if (end + length > maxBytes) break;
        end += length;
    }
    return bytes.substr(0, std::min(end, bytes.size()));
}

}  // namespace tovali
