#include "app/batch/UriList.h"

#include <cctype>

namespace tovali {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view start) {
    if (text.size() < start.size()) return false;
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != start[i]) return false;
    }
    return true;
}

// The name a foreign item goes by: the last segment of its path, else the
// whole line.
std::string ForeignName(std::string_view line) {
    const std::string_view path = line.substr(0, line.find_first_of("?#"));
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return name.empty() || slash == std::string_view::npos ? std::string(line)
                                                           : PercentDecode(name);
}

// The file name a file URI's decoded path stands for. On Windows the path
// of "file:///C:/a.jpg" is "/C:/a.jpg": the drive comes first there, with
// back-slashes.
std::string LocalPath(std::string path) {
#ifdef _WIN32
    const bool drive = path.size() >= 3 && path[0] == '/' &&
                       std::isalpha(static_cast<unsigned char>(path[1])) &&
                       (path[2] == ':' || path[2] == '|');
    if (!drive) return path;
    path.erase(0, 1);
    path[1] = ':';
    for (char& c : path)
        if (c == '/') c = '\\';
#endif
    return path;
}

TDroppedItem ParseLine(std::string_view line) {
    if (!StartsWithNoCase(line, "file:")) return {false, ForeignName(line)};
    std::string_view rest = line.substr(5);
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.substr(0, 2) == "//") {
        const std::size_t slash = rest.find('/', 2);
        const std::string_view host =
            rest.substr(2, slash == std::string_view::npos ? rest.npos : slash - 2);
        const bool thisMachine =
            host.empty() || (host.size() == 9 && StartsWithNoCase(host, "localhost"));
        if (!thisMachine) return {false, ForeignName(line)};
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (rest.empty() || rest.front() != '/') return {false, ForeignName(line)};
    return {true, LocalPath(PercentDecode(rest))};
}

}  // namespace

std::string PercentDecode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low < 0) {
            bytes += text[i];
            continue;
        }
        bytes += char(high * 16 + low);
        i += 2;
    }
    return bytes;
}

std::vector<TDroppedItem> ParseUriList(std::string_view list) {
    std::vector<TDroppedItem> items;
    while (!list.empty()) {
        const std::size_t end = list.find('\n');
        std::string_view line = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        items.push_back(ParseLine(line));
    }
    return items;
}

}  // namespace tovali
