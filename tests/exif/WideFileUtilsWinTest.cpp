// Windows: pictures open by their UTF-16 name, with others still allowed to
// read them, and anything that is not a file on disk is refused at once.
#ifdef _WIN32  // Windows only, whichever way the build picks its test files
#include <gtest/gtest.h>
#include <io.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "engine/codecs/CodecIO.h"
#include "exif/WideFileUtils.h"
#include "exif/WidePath.h"
#include "exif/WinApi.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

// A fresh folder under the temporary folder, removed afterwards.
class TWinTempDir {
  public:
    TWinTempDir() {
        path_ =
            fs::temp_directory_path() / (L"tovali-wide-" + std::to_wstring(GetCurrentProcessId()) +
                                         L"-" + std::to_wstring(counter_++));
        fs::create_directories(path_);
    }
    ~TWinTempDir() {
        std::error_code ignored;
        fs::remove_all(L"\\\\?\\" + path_.wstring(), ignored);  // reaches past MAX_PATH
    }
    std::string operator/(const std::string& name) const { return PathText(path_) + "\\" + name; }

  private:
    static inline int counter_ = 0;
    fs::path path_;
};

std::string MakeFile(const std::string& name, const std::string& bytes) {
    const HANDLE file = CreateFileW(SystemPath(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << name;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    EXPECT_EQ(written, bytes.size());
    CloseHandle(file);
    return name;
}

// The name as the folder lists it: proof that the file took its UTF-16
// name, not a code-page stand-in.
bool Listed(const std::string& folderPattern, const std::u16string& name) {
    WIN32_FIND_DATAW found;
    const std::u16string pattern = Utf16FromWtf8(folderPattern);
    const HANDLE search = FindFirstFileW(reinterpret_cast<const wchar_t*>(pattern.c_str()), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool seen = false;
    do {
        seen = seen || reinterpret_cast<const char16_t*>(found.cFileName) == name;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return seen;
}

}  // namespace

TEST(OpenRegularFileWin, PipesDevicesAndFoldersAreRefusedAtOnce) {
    const std::wstring pipeName =
        L"\\\\.\\pipe\\tovali-test-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4,
                                           4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    const std::string pipe = Wtf8FromUtf16(std::u16string(pipeName.begin(), pipeName.end()));
    // Opened, they are found to be no disk files (a console may not even
    // open where there is none).
    for (const std::string& device : {pipe, std::string("NUL"), std::string("\\\\.\\NUL")}) {
        errno = 0;
        EXPECT_EQ(OpenRegularFile(device), kNoHandle) << device;
        EXPECT_EQ(errno, ENODEV) << device;
        EXPECT_EQ(WideFileOpen(device, fmOpenRead), kNoHandle) << device;
    }
    EXPECT_EQ(OpenRegularFile("CON"), kNoHandle);
    CloseHandle(server);
    try {
        TInputSource::OpenFile("NUL");
        ADD_FAILURE() << "NUL opened as a picture";
    } catch (const ECodecError& e) {
        EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos);
    }
    TWinTempDir dir;
    errno = 0;
    EXPECT_EQ(OpenRegularFile(dir / ""), kNoHandle);
    EXPECT_EQ(errno, EISDIR);
}

TEST(OpenRegularFileWin, NamesOutsideCodePage932Open) {
    TWinTempDir dir;
    for (const char* name : {"𠮷野家.jpg", "😀🎉.png", "Ελληνικά ü.gif"}) {
        const std::string path = MakeFile(dir / name, "GIF89a");
        EXPECT_TRUE(WideFileExists(path)) << name;
        EXPECT_TRUE(Listed(dir / "*", Utf16FromWtf8(name))) << name;
        // As the EXIF reader holds it, while a decoder opens it too.
        TWideFileStream stream(path, fmOpenRead | fmShareDenyWrite);
        char head[6];
        stream.ReadBuffer(head, 6);
        EXPECT_EQ(std::string(head, 6), "GIF89a");
        EXPECT_EQ(TInputSource::OpenFile(path).Size(), 6u);
    }
}

// Past MAX_PATH (260 UTF-16 units) the long form takes over, unseen.
TEST(OpenRegularFileWin, PathsPastMaxPathWork) {
    TWinTempDir dir;
    std::string deep = dir / "";
    for (int level = 0; Utf16FromWtf8(deep).size() < 300; ++level)
        deep += "長いフォルダの名前" + std::to_string(level) + "\\";
    fs::create_directories(FileSystemPath(deep));
    const std::string path = MakeFile(deep + "𠮷.jpg", "abc");
    ASSERT_GT(Utf16FromWtf8(path).size(), std::size_t(MAX_PATH));
    EXPECT_TRUE(WideFileExists(path));
    EXPECT_EQ(TInputSource::OpenFile(path).Size(), 3u);
    const THandle handle = OpenRegularFile(path);
    EXPECT_GE(handle, 0);
    _close(handle);
}

// While a picture is open, others may read it but not write it; and a file
// someone is writing is not opened at all.
TEST(OpenRegularFileWin, OthersMayReadButNotWrite) {
    TWinTempDir dir;
    const std::string path = MakeFile(dir / "a.jpg", "abc");
    const std::u16string wide = Utf16FromWtf8(path);
    const auto* name = reinterpret_cast<const wchar_t*>(wide.c_str());
    const auto openOther = [&](DWORD access) {
        return CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    };
    const THandle ours = OpenRegularFile(path);
    ASSERT_GE(ours, 0);
    const HANDLE reader = openOther(GENERIC_READ);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    EXPECT_EQ(openOther(GENERIC_WRITE), INVALID_HANDLE_VALUE);
    _close(ours);
    const HANDLE writer = openOther(GENERIC_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenRegularFile(path), kNoHandle);
    CloseHandle(writer);
}

#endif
