#include "app/batch/InputCheck.h"

#include <charconv>

namespace tovali {

namespace {

template <class T>
std::optional<T> ParseDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    T value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool AtLeastTen(std::string_view text) {
    const auto value = StrToInt(text);
    return value && *value >= 10;
}

}  // namespace

std::optional<std::int32_t> StrToInt(std::string_view text) {
    return ParseDecimal<std::int32_t>(text);
}

std::optional<std::int64_t> StrToInt64(std::string_view text) {
    return ParseDecimal<std::int64_t>(text);
}

// In UTF-8 these ASCII bytes never occur inside another character, so a byte
// scan tests whole characters.
bool IsValidName(std::string_view text) {
    return text.find_first_of("\\/:*?\"<>|") == std::string_view::npos;
}

std::string CheckInput(const TSettings& s) {
    if (s.CBPicSize && s.RBInputPicSize) {
        if (!AtLeastTen(s.EditPicWidth)) return kWidthMessage;
        if (!AtLeastTen(s.EditPicHeight)) return kHeightMessage;
    }
    if (s.CBQuality && s.RBFileSize && !AtLeastTen(s.EditFileSize)) return kFileSizeMessage;
    if (s.RBDecidesName) {
        if (s.EditFileName.empty()) return kNoAffixMessage;
        if (!IsValidName(s.EditFileName)) return kBadAffixMessage;
    } else {
        if (s.EditDirName.empty()) return kNoDirNameMessage;
        if (!IsValidName(s.EditDirName)) return kBadDirNameMessage;
    }
    return {};
}

}  // namespace tovali
