// The settings file keeps its texts in code page 932 (Shift-JIS with the
// Windows extensions); in memory every text is UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tovali {

// Bytes that are not code page 932 become U+FFFD.
std::string Cp932ToUtf8(std::string_view bytes);
// Characters that code page 932 cannot hold (and broken UTF-8) become "?".
std::string Utf8ToCp932(std::string_view text);
// True when the (UTF-8) text comes back unchanged from code page 932: no
// character is lost or turned into a look-alike.
bool Cp932Keeps(std::string_view text);
// The longest prefix of at most maxBytes bytes that ends on a whole
// character, so that a cut never leaves half of a double-byte character.
std::string_view Cp932Prefix(std::string_view bytes, std::size_t maxBytes);

}  // namespace tovali
