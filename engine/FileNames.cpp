#include "FileNames.h"

namespace {

std::size_t FileNameStart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::size_t ExtensionStart(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos || dot < FileNameStart(path) ? path.size() : dot;
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
