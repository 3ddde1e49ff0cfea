// The command line of tovali3-batch:
//   tovali3-batch [--type TYPE] [--box WxH|N] [--quality LEVEL | --max-size KB]
//                 [--into NAME | --prefix TEXT | --suffix TEXT]
//                 [--config FILE] [--set SECTION/KEY=VALUE]... [--date YYYY-MM-DD]
//                 [--contrast] [--jobs N] [--null] [--] PICTURE...
//   tovali3-batch --help | --version
// The short options are spellings of settings keys: each adds its keys to
// Overrides, in command-line order with the --set ones.
#pragma once

#include <QDate>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tovali {

struct TSettingOverride {
    std::string Section;
    std::string Key;
    std::string Value;
};

struct TBatchCommand {
    enum class TAction { Convert, Help, Version };
    TAction Action = TAction::Convert;
    std::optional<std::string> ConfigFile;
    std::vector<TSettingOverride> Overrides;  // in command-line order
    std::optional<QDate> Date;
    bool Contrast = false;
    bool Null = false;  // written paths end in NUL instead of a line feed
    // Pictures decoded at once; 0 for the number of cores.
    int Jobs = 0;
    std::vector<std::string> Pictures;
};

// A bad command line: one line saying what is wrong.
struct TUsageError {
    std::string Message;
};

// args excludes the program name.
std::variant<TBatchCommand, TUsageError> ParseBatchCommandLine(
    const std::vector<std::string>& args);

// The usage lines, shown after a usage error and in the help.
std::string BatchUsage();
// The whole help, in Japanese and in English.
std::string BatchHelp();

}  // namespace tovali
