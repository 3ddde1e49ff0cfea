// The check of the entered values that runs before a batch may start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/settings/Settings.h"

namespace tovali {

inline constexpr const char* kWidthMessage = "幅は10以上の整数で入力してください";
inline constexpr const char* kHeightMessage = "高さは10以上の整数で入力してください";
inline constexpr const char* kFileSizeMessage = "ファイルサイズは10以上の整数で入力してください";
inline constexpr const char* kNoAffixMessage = "ファイル名の前後に付ける文字を入力してください";
inline constexpr const char* kBadAffixMessage = "ファイル名に「\\/:*?\"<>|」は使えません";
inline constexpr const char* kNoDirNameMessage = "フォルダ名を入力してください";
inline constexpr const char* kBadDirNameMessage = "フォルダ名に「\\/:*?\"<>|」は使えません";

// A decimal integer with an optional sign, whole text; nothing otherwise.
std::optional<std::int32_t> StrToInt(std::string_view text);
std::optional<std::int64_t> StrToInt64(std::string_view text);

// True when the text holds none of \ / : * ? " < > | (empty text is valid).
bool IsValidName(std::string_view text);

// The first fault of the entered values, as the message the user is shown;
// empty when a batch may start.
std::string CheckInput(const TSettings& settings);

}  // namespace tovali
