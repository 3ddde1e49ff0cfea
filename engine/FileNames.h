// Pieces of a path as the engine names them. The delimiter is '/' (on
// Windows also '\\', and a drive's colon ends the folder part too); the
// extension is the end of the file name from its last full stop on, the full
// stop included.
#pragma once

#include <cstddef>
#include <string>

#include "exif/WidePath.h"  // the delimiters

namespace tovali {

// The longest file name the system takes, in the units of NameLength.
inline constexpr std::size_t kMaxFileName = 255;

// Everything up to and including the last delimiter; empty without one.
std::string FolderOf(const std::string& path);
// Everything after the last delimiter.
std::string FileNameOf(const std::string& path);
// The extension of the file name, or empty.
std::string ExtensionOf(const std::string& path);
// The path without the extension of its file name.
std::string BaseOf(const std::string& path);
// ASCII letters upper-cased, every other byte kept.
std::string UpperAscii(std::string text);
// The longest prefix of at most maxBytes bytes that ends on a whole
// character: of a UTF-8 text whole characters, of any other bytes (a
// Shift-JIS name, say) whole bytes.
std::string PrefixOfBytes(const std::string& text, std::size_t maxBytes);
// A name's length as the system counts it against kMaxFileName: bytes on
// Linux, UTF-16 units on Windows.
std::size_t NameLength(const std::string& name);
// The longest prefix of at most maxLength units (as NameLength counts) that
// ends on a whole character.
std::string PrefixOfLength(const std::string& text, std::size_t maxLength);

}  // namespace tovali
