#include "app/batch/Intake.h"

#include <QCollator>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <filesystem>

#include "app/batch/InputCheck.h"
#include "engine/FileNames.h"
#include "engine/Raster.h"
#include "engine/codecs/PictureFormats.h"
#include "engine/codecs/Stoppable.h"
#include "exif/WideFileUtils.h"
#include "exif/WidePath.h"

namespace tovali {

namespace {

constexpr std::size_t kListedErrors = 25;

bool LessByLocale(const QCollator& collator, const std::string& a, const std::string& b) {
    return collator.compare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
}

}  // namespace

std::string FileNamePart(std::string_view path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == kPathDelimiter))
        path.remove_suffix(1);
    const std::size_t slash = LastDelimiter(path);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

const TPictureFormat* FormatOfName(std::string_view path) {
    return FindFormat(ExtensionOf(FileNamePart(path)));
}

bool IsSupportedExt(std::string_view path) {
    return FormatOfName(path) != nullptr;
}

std::vector<std::string> CollectFileErrors(const TPathList& paths, TPathList& fileList,
                                           const std::atomic<bool>* cancel) {
    fileList.clear();
    std::vector<std::string> errors;
    for (const std::string& path : paths) {
        const std::string name = FileNamePart(path);
        if (const TPictureFormat* format = FormatOfName(path)) {
            if (format->ImageCount) {
                try {
                    if (format->ImageCount(path, cancel) > 1)
                        errors.push_back(kAnimatedGifError + name);
                } catch (const EStopped&) {
                    throw;
                } catch (const std::exception&) {
                    errors.push_back(kGifReadError + name);
                }
            }
            fileList.push_back(path);
        } else {
            std::error_code ec;
            errors.push_back((std::filesystem::is_directory(FileSystemPath(path), ec)
                                  ? kFolderError
                                  : kFormatError) +
                             name);
        }
    }
    return errors;
}

std::string MakeErrorMessage(std::vector<std::string> errors) {
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(errors.begin(), errors.end(), [&](const std::string& a, const std::string& b) {
        return LessByLocale(collator, a, b);
    });
    std::string result;
    std::string previous;
    for (std::size_t k = 0; k < errors.size(); ++k) {
        if (k >= kListedErrors) {
            result += "\r\n他" + std::to_string(errors.size() - kListedErrors) + "件のエラー";
            break;
        }
        const std::size_t comma = errors[k].find(',');
        const std::string text = errors[k].substr(0, comma);
        const std::string name =
            comma == std::string::npos ? std::string() : errors[k].substr(comma + 1);
        if (text != previous) {
            if (!result.empty()) result += "\r\n";
            result += "■" + text + "\r\n";
            previous = text;
        }
        result += "　　" + name + "\r\n";
    }
    return result;
}

bool CheckFiles(const TPathList& paths, const TSettings& settings, TPathList& fileList,
                std::string& message, const std::atomic<bool>* cancel) {
    const std::vector<std::string> errors = CollectFileErrors(paths, fileList, cancel);
    message = errors.empty() ? CheckInput(settings) : MakeErrorMessage(errors);
    return message.empty();
}

}  // namespace tovali
