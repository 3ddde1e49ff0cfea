// File intake: which dropped or named paths a batch may take, and the one
// summary of every rejected path.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "ui/settings/Settings.h"

namespace tovali {

using TPathList = std::vector<std::string>;

// Error texts of rejected paths, in the order the checks are made. Each ends
// in the comma that separates it from the file name in an error entry.
inline constexpr const char* kGifReadError = "読込みエラー,";
inline constexpr const char* kAnimatedGifError = "アニメーションGIFには対応していません,";
inline constexpr const char* kFolderError = "フォルダのドロップには対応していません,";
inline constexpr const char* kFormatError =
    "「JPEG形式、GIF形式、PNG形式、BMP形式、HEIC形式、AVIF形式、WebP形式」"
    "以外の形式には対応していません,";

// The text after the last path separator (a folder's own name when the path
// ends in separators).
std::string FileNamePart(std::string_view path);
struct TPictureFormat;
// The format of the file-name part's extension (PictureFormats.h), or
// nullptr when the program reads no such files.
const TPictureFormat* FormatOfName(std::string_view path);
// True for the extensions of every format the program reads
// (PictureFormats.h), in any letter case.
bool IsSupportedExt(std::string_view path);

// Checks every path in order: supported ones go to fileList (cleared first),
// whatever their image count says (a format that counts its images, GIF,
// may hold one only); every problem becomes one entry of the
// result, an error text followed directly by the file name. Raises EStopped
// once `cancel` is set (counting a large GIF's images takes a while).
std::vector<std::string> CollectFileErrors(const TPathList& paths, TPathList& fileList,
                                           const std::atomic<bool>* cancel = nullptr);

// The summary of a non-empty error list: sorted whole entries (the user's
// locale, ignoring case), a "■" heading per error text, names indented by two
// ideographic spaces, CRLF line ends, at most 25 names and then the count of
// the rest.
std::string MakeErrorMessage(std::vector<std::string> errors);

// The whole intake rule: true when the batch may start. Otherwise message
// holds what the user is told: the error summary, or the input check's
// message when every path was accepted. Raises EStopped once `cancel` is
// set.
bool CheckFiles(const TPathList& paths, const TSettings& settings, TPathList& fileList,
                std::string& message, const std::atomic<bool>* cancel = nullptr);

}  // namespace tovali
