// Windows: config.ini lives in %APPDATA%\Quorbel\Tovali3, and a settings
// file in a folder whose name no code page holds is read and written like
// any other, with the same bytes as on Linux.
#ifdef _WIN32  // Windows only, whichever way the build picks its test files
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "exif/WidePath.h"
#include "exif/WinApi.h"
#include "ui/settings/Settings.h"
#include "ui/settings/SettingsDir.h"

using namespace tovali;

namespace fs = std::filesystem;

TEST(SettingsDirWin, IsQuorbelTovali3InTheRoamingApplicationData) {
    const wchar_t* appData = _wgetenv(L"APPDATA");
    ASSERT_NE(appData, nullptr);
    const auto found = FindSettingsDir();
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(fs::equivalent(found->parent_path().parent_path(), fs::path(appData)));
    EXPECT_EQ(found->parent_path().filename(), fs::path(L"Quorbel"));
    EXPECT_EQ(found->filename(), fs::path(L"Tovali3"));
    const auto made = MakeSettingsDir();
    ASSERT_TRUE(made.has_value());
    EXPECT_TRUE(fs::is_directory(*made));
    EXPECT_EQ(SettingsFilePath(*made), *made / L"config.ini");
}

TEST(SettingsDirWin, FilesInFoldersNoCodePageHoldsAreReadAndWritten) {
    const fs::path dir = fs::temp_directory_path() /
                         (L"tovali-settings-" + std::to_wstring(GetCurrentProcessId())) /
                         FileSystemPath("𠮷野家😀");
    fs::create_directories(dir);
    const fs::path path = SettingsFilePath(dir);
    TSettings settings;
    settings.Comment.Text = "髙橋の写真 ①";
    settings.EditDirName = "縮小";
    SaveSettingsFile(path, settings);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    // Code page 932, line feeds alone (the line ends SimpleIni writes on Linux).
    EXPECT_NE(bytes.find("COMMENT=\xFB\xFC\x8B\xB4\x82\xCC\x8E\xCA\x90\x5E \x87\x40\n"),
              std::string::npos);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    const TSettings back = LoadSettingsFile(path, {});
    EXPECT_EQ(back.Comment.Text, settings.Comment.Text);
    EXPECT_EQ(back.EditDirName, settings.EditDirName);
    fs::remove_all(dir.parent_path());
}

#endif
