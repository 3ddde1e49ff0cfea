#include "engine/FileNames.h"

namespace tovali {

namespace {

std::size_t FileNameStart(const std::string& path) {
    const std::size_t slash = LastDelimiter(path);
    return slash == std::string::npos ? 0 : slash + 1;
}

std::size_t ExtensionStart(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos || dot < FileNameStart(path) ? path.size() : dot;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Bytes of the UTF-8 sequence a lead byte begins; 0 for a byte that
// cannot begin one.
std::size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Lead and continuation bytes in their places; finer rules (overlong forms,
// surrogates) do not matter for where a cut may fall.
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = SequenceLength(static_cast<unsigned char>(text[i]));
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return false;
        i += length;
    }
    return true;
}

}  // namespace

std::string FolderOf(const std::string& path) {
    return path.substr(0, FileNameStart(path));
}

std::string FileNameOf(const std::string& path) {
    return path.substr(FileNameStart(path));
}

std::string ExtensionOf(const std::string& path) {
    return path.substr(ExtensionStart(path));
}

std::string BaseOf(const std::string& path) {
    return path.substr(0, ExtensionStart(path));
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

std::string PrefixOfBytes(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    if (IsUtf8(text)) {
        while (end > 0 && IsContinuation(static_cast<unsigned char>(text[end]))) --end;
    }
    return text.substr(0, end);
}

#ifdef _WIN32

std::size_t NameLength(const std::string& name) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < name.size(); ++units) {
        const std::size_t length = SequenceLength(static_cast<unsigned char>(name[i]));
        if (length == 4) ++units;  // a pair of surrogates
        i += length == 0 ? 1 : length;
    }
    return units;
}

std::string PrefixOfLength(const std::string& text, std::size_t maxLength) {
    std::size_t end = 0, units = 0;
    while (end < text.size()) {
        std::size_t length = SequenceLength(static_cast<unsigned char>(text[end]));
        const std::size_t need = length == 4 ? 2 : 1;
        if (length == 0 || end + length > text.size()) length = 1;
        if (units + need > maxLength) break;
        units += need;
        end += length;
    }
    return text.substr(0, end);
}

#else

std::size_t NameLength(const std::string& name) {
    return name.size();
}

std::string PrefixOfLength(const std::string& text, std::size_t maxLength) {
    return PrefixOfBytes(text, maxLength);
}

#endif

}  // namespace tovali
