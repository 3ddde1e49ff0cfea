#include "ui/settings/ProfileValues.h"

#include <charconv>

namespace tovali {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::optional<std::int32_t> ParseHex(std::string_view digits) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::int32_t> ParseProfileInteger(std::string_view value) {
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        const std::string_view digits = value.substr(2);
        // from_chars would take a sign; hexadecimal here has none.
        if (digits.front() == '-' || digits.front() == '+') return std::nullopt;
        return ParseHex(digits);
    }
    return ParseDecimal(value);
}

std::string_view UnquoteProfileValue(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string QuoteProfileText(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    const bool outerBlank = !line.empty() && (IsBlank(line.front()) || IsBlank(line.back()));
    if (outerBlank || UnquoteProfileValue(line).size() != line.size()) return '"' + line + '"';
    return line;
}

}  // namespace tovali
