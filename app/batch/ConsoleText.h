// Text for the terminal. The program's texts are UTF-8; a Windows console
// takes them as UTF-16 whatever its code page, while a pipe or file gets the
// UTF-8 bytes, as on Linux.
#pragma once

#include <cstdio>
#include <string_view>

namespace tovali {

// Writes the text to the stream: a Windows console gets it through
// WriteConsoleW, anything else the bytes.
void WriteText(std::FILE* stream, std::string_view text);

// True when the stream is a terminal (on Windows a console, which a
// redirection to NUL is not) that takes the bar's control sequences; a
// Windows console is switched to take them when it can.
bool IsTerminal(std::FILE* stream);

}  // namespace tovali
