#include "ui/settings/SettingsDir.h"

#ifdef _WIN32
// The known-folder GUIDs defined here, so no import library is needed.
#include <initguid.h>
// clang-format off
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

namespace tovali {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32

// The roaming application-data folder (CSIDL_APPDATA of old), created when
// missing.
std::optional<fs::path> ConfigHome() {
    wchar_t* folder = nullptr;
    std::optional<fs::path> home;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &folder)))
        home = fs::path(folder);
    CoTaskMemFree(folder);
    return home;
}

#else

std::optional<fs::path> EnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    fs::path path(value);
    // A relative XDG folder is invalid and ignored, as the XDG rules say.
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

std::optional<fs::path> PasswdHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0')
        return std::nullopt;
    return fs::path(found->pw_dir);
}

std::optional<fs::path> ConfigHome() {
    if (auto xdg = EnvironmentPath("XDG_CONFIG_HOME")) return xdg;
    auto home = EnvironmentPath("HOME");
    if (!home) home = PasswdHome();
    if (!home) return std::nullopt;
    return *home / ".config";
}

#endif

}  // namespace

std::optional<fs::path> FindSettingsDir() {
    const auto base = ConfigHome();
    if (!base) return std::nullopt;
    return *base / "Quorbel" / "Tovali3";
}

std::optional<fs::path> MakeSettingsDir() {
    const auto base = ConfigHome();
    if (!base) return std::nullopt;
    std::error_code ec;
    if (!fs::exists(*base, ec)) {
        fs::create_directories(*base, ec);
        fs::permissions(*base, fs::perms::owner_all, ec);
    }
    fs::path dir = *base;
    for (const char* level : {"Quorbel", "Tovali3"}) {
        dir /= level;
        if (!fs::is_directory(dir, ec)) fs::create_directory(dir, ec);
    }
    return dir;
}

}  // namespace tovali
