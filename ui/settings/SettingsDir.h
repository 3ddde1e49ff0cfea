// Where config.ini lives: the XDG configuration folder ($XDG_CONFIG_HOME, or
// ~/.config), then Quorbel/Tovali3/; on Windows the roaming application-data
// folder (%APPDATA%), then Quorbel\Tovali3\.
#pragma once

#include <filesystem>
#include <optional>

namespace tovali {

// Said once when no home or configuration folder can be found; the program
// then runs on the defaults and keeps nothing.
inline constexpr const char* kNoSettingsDirMessage =
    "設定フォルダが見つからないため、既定の設定で動作します（設定は保存されません）";

// The settings folder, without creating anything; nothing when neither
// $XDG_CONFIG_HOME, $HOME nor the user's home folder is known (on Windows,
// when the system names no application-data folder).
std::optional<std::filesystem::path> FindSettingsDir();

// The settings folder, creating the missing levels one at a time. Failures to
// create are not reported here: the load then finds no file and a save says
// which file it could not write.
std::optional<std::filesystem::path> MakeSettingsDir();

// The file inside the settings folder.
inline std::filesystem::path SettingsFilePath(const std::filesystem::path& dir) {
    return dir / "config.ini";
}

}  // namespace tovali
