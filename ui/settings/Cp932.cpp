#include "Cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

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
