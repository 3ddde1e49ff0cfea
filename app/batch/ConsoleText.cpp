#include "app/batch/ConsoleText.h"

#ifdef _WIN32
#include <io.h>

#include <algorithm>

#include "exif/WidePath.h"
#include "exif/WinApi.h"
#else
#include <unistd.h>
#endif

namespace tovali {

#ifdef _WIN32

namespace {

// The stream's console handle, or nullptr when it is not a console.
HANDLE ConsoleOf(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

void WriteText(std::FILE* stream, std::string_view text) {
    const HANDLE console = ConsoleOf(stream);
    if (console == nullptr) {
        std::fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    std::fflush(stream);
    const std::u16string wide = Utf16FromWtf8(text);
    const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
    for (std::size_t done = 0; done < wide.size();) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<std::size_t>(wide.size() - done, 8192));
        if (!WriteConsoleW(console, units + done, chunk, &written, nullptr) || written == 0) return;
        done += written;
    }
}

bool IsTerminal(std::FILE* stream) {
    const HANDLE console = ConsoleOf(stream);
    DWORD mode = 0;
    if (console == nullptr || !GetConsoleMode(console, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

#else

void WriteText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

#endif

}  // namespace tovali
