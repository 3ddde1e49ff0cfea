#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "ui/settings/SettingsDir.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one test and restores it afterwards.
class TEnv {
  public:
    TEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~TEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(SettingsDir, FollowsXdgConfigHomeThenHome) {
    {
        TEnv xdg("XDG_CONFIG_HOME", "/xdg/conf");
        TEnv home("HOME", "/home/someone");
        EXPECT_EQ(FindSettingsDir(), fs::path("/xdg/conf/Quorbel/Tovali3"));
    }
    {
        TEnv xdg("XDG_CONFIG_HOME", "relative/is/ignored");
        TEnv home("HOME", "/home/someone");
        EXPECT_EQ(FindSettingsDir(), fs::path("/home/someone/.config/Quorbel/Tovali3"));
    }
    {
        TEnv xdg("XDG_CONFIG_HOME", nullptr);
        TEnv home("HOME", "");
        // No usable $HOME: the user's home folder from the account database.
        const auto dir = FindSettingsDir();
        ASSERT_TRUE(dir.has_value());
        EXPECT_TRUE(dir->is_absolute());
        EXPECT_EQ(dir->parent_path().parent_path().filename(), ".config");
    }
}

TEST(SettingsDir, MakeCreatesEachMissingLevel) {
    const fs::path base = fs::temp_directory_path() / ("tovali-xdg-" + std::to_string(::getpid()));
    fs::remove_all(base);
    {
        TEnv xdg("XDG_CONFIG_HOME", (base / "conf").c_str());
        const auto dir = MakeSettingsDir();
        ASSERT_TRUE(dir.has_value());
        EXPECT_EQ(*dir, base / "conf" / "Quorbel" / "Tovali3");
        EXPECT_TRUE(fs::is_directory(*dir));
        EXPECT_EQ(SettingsFilePath(*dir), *dir / "config.ini");
        EXPECT_FALSE(fs::exists(SettingsFilePath(*dir)));
        EXPECT_EQ(MakeSettingsDir(), dir);  // a second call finds it all there
    }
    fs::remove_all(base);
}
