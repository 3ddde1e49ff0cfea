// How the settings file's values are read and written: the rules of the
// Windows profile functions the file format comes from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovali {

// An Integer or Boolean value: decimal with an optional sign, or
// hexadecimal after "0x"/"0X" when the value is longer than two characters.
// Anything else (and a decimal value outside 32 bits) is no integer.
std::optional<std::int32_t> ParseProfileInteger(std::string_view value);

// A value as stored, with one pair of matching surrounding quotes removed.
std::string_view UnquoteProfileValue(std::string_view value);

// A text made safe to store on one line and to read back unchanged: line
// breaks become blanks, and a text with outer blanks or outer quotes is
// put in double quotes.
std::string QuoteProfileText(std::string_view text);

}  // namespace tovali
