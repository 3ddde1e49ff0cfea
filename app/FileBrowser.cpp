#include "app/FileBrowser.h"

#include <QWidget>

#ifdef _WIN32
#include <windows.h>
// The shell's headers need windows.h first.
#include <shlobj.h>
#include <shobjidl.h>

#include "exif/WidePath.h"
#else
#include <QByteArray>
#include <QDesktopServices>
#include <QUrl>
#endif

namespace tovali {

#ifdef _WIN32

namespace {

// Explorer on the file's folder with the file selected.
bool SelectInExplorer(const std::wstring& file) {
    PIDLIST_ABSOLUTE item = ILCreateFromPathW(file.c_str());
    if (item == nullptr) return false;
    const HRESULT result = SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
    ILFree(item);
    return SUCCEEDED(result);
}

std::wstring Wide(const std::string& path) {
    const std::u16string text = Utf16FromWtf8(path);
    return std::wstring(text.begin(), text.end());
}

}  // namespace

void ShowInFileBrowser(const std::string& folder, const std::string& selectFile, QWidget* owner) {
    if (folder.empty()) return;
    if (!selectFile.empty() && SelectInExplorer(Wide(selectFile))) return;
    const HWND window = owner ? reinterpret_cast<HWND>(owner->winId()) : nullptr;
    ShellExecuteW(window, L"open", Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

#else

// Built from the escaped bytes, so a folder whose name is not UTF-8 opens all
// the same.
void ShowInFileBrowser(const std::string& folder, const std::string&, QWidget*) {
    if (folder.empty()) return;
    const QByteArray escaped = QByteArray::fromStdString(folder).toPercentEncoding("/");
    QDesktopServices::openUrl(QUrl::fromEncoded("file://" + escaped));
}

#endif

}  // namespace tovali
