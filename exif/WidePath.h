// Paths as the program keeps them and as the system takes them. The program
// keeps every path as bytes in a std::string: on Linux the name's own bytes
// (UTF-8 in practice); on Windows, whose names are UTF-16, the name in WTF-8
// (UTF-8 that also carries the unpaired surrogates an odd Windows name may
// hold), so that every name round-trips. The conversion happens at each
// system call, never through the ANSI code page.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tovali {

// The delimiter put between a folder and a name.
#ifdef _WIN32
inline constexpr char kPathDelimiter = '\\';
#else
inline constexpr char kPathDelimiter = '/';
#endif

// Where the last delimiter stands ('/'; on Windows also '\\' and a drive's
// colon), or npos without one.
std::size_t LastDelimiter(std::string_view path);

// UTF-16 from WTF-8. A byte that begins no valid sequence becomes U+FFFD.
std::u16string Utf16FromWtf8(std::string_view text);
// WTF-8 from UTF-16: pairs become one 4-byte character, lone surrogates
// keep their 3-byte form.
std::string Wtf8FromUtf16(std::u16string_view text);

// A std::filesystem::path for the name (on Windows built from UTF-16: a path
// made from narrow text there goes through the ANSI code page).
std::filesystem::path FileSystemPath(const std::string& name);
// The path's name as the program keeps it.
std::string PathText(const std::filesystem::path& path);

#ifdef _WIN32
// The name for the wide Win32 calls; a name past MAX_PATH gets the long form
// "\\?\" (absolute, back-slashed), one that has it already is kept.
std::wstring SystemPath(const std::string& name);
// errno set from GetLastError(), for callers that report errno.
void SetErrnoFromLastError();
#endif

}  // namespace tovali
