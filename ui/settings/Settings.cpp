#include "Settings.h"

#include <SimpleIni.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QString>
#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <variant>

#include "Cp932.h"
#include "FontList.h"
#include "ListChoices.h"
#include "ProfileValues.h"
#include "WidePath.h"
#include "WinApi.h"

namespace fs = std::filesystem;

const bool TSettings::*const kDatePosButtons[9] = {
    &TSettings::RBDrawPosDateLeftTop,    &TSettings::RBDrawPosDateTop,
    &TSettings::RBDrawPosDateRightTop,   &TSettings::RBDrawPosDateLeft,
    &TSettings::RBDrawPosDateCenter,     &TSettings::RBDrawPosDateRight,
    &TSettings::RBDrawPosDateLeftBottom, &TSettings::RBDrawPosDateBottom,
    &TSettings::RBDrawPosDateRightBottom};
const bool TSettings::*const kCommentPosButtons[9] = {
    &TSettings::RBDrawPosCommentLeftTop,    &TSettings::RBDrawPosCommentTop,
    &TSettings::RBDrawPosCommentRightTop,   &TSettings::RBDrawPosCommentLeft,
    &TSettings::RBDrawPosCommentCenter,     &TSettings::RBDrawPosCommentRight,
    &TSettings::RBDrawPosCommentLeftBottom, &TSettings::RBDrawPosCommentBottom,
    &TSettings::RBDrawPosCommentRightBottom};

namespace {

// The profile functions the format comes from read at most 2047 bytes.
constexpr std::size_t kMaxValueBytes = 2047;
// A real config.ini is a few kilobytes; a larger file is not a settings file.
constexpr std::uintmax_t kMaxFileBytes = 1 << 20;

enum class TRule : std::uint8_t {
    Boolean,    // check box
    Radio,      // radio button; Param is its group
    ListIndex,  // drop-down list; Param is its item count
    TrackBar,   // 0..100
    FontSize,   // one of five sizes, else "小"
    Colour,     // 0x00BBGGRR
    Text,
    FontFace,
};

using TMember = std::variant<bool TSettings::*, int TSettings::*, TColor TSettings::*,
                             std::string TSettings::*>;

struct TRow {
    const char* Section;
    const char* Key;
    TRule Rule;
    TMember Member;
    int Param = 0;
};

enum TGroup : int {
    gSize = 1,
    gQuality,
    gBrightness,
    gSave,
    gType,
    gDateSource,
    gDatePos,
    gCommentPos
};

using S = TSettings;
// The 62 keys in file order; load and save both walk this table.
const TRow kRows[] = {
    {"PIC_SIZE", "USE_PIC_SIZE", TRule::Boolean, &S::CBPicSize},
    {"PIC_SIZE", "REGULAR_SIZE", TRule::Radio, &S::RBRegularSize, gSize},
    {"PIC_SIZE", "REGULAR_INDEX", TRule::ListIndex, &S::CBSizeList, kBoxChoiceCount},
    {"PIC_SIZE", "INPUT_SIZE", TRule::Radio, &S::RBInputPicSize, gSize},
    {"PIC_SIZE", "WIDTH", TRule::Text, &S::EditPicWidth},
    {"PIC_SIZE", "HEIGHT", TRule::Text, &S::EditPicHeight},
    {"PIC_QUALITY", "USE_PIC_QUALITY", TRule::Boolean, &S::CBQuality},
    {"PIC_QUALITY", "PIC_QUALITY", TRule::Radio, &S::RBQuality, gQuality},
    {"PIC_QUALITY", "QUALITY_INDEX", TRule::ListIndex, &S::CBQualityLevel, kQualityChoiceCount},
    {"PIC_QUALITY", "FILE_SIZE", TRule::Radio, &S::RBFileSize, gQuality},
    {"PIC_QUALITY", "SIZE", TRule::Text, &S::EditFileSize},
    {"PIC_FILTER", "USE_PIC_FILTER", TRule::Boolean, &S::CBFilter},
    {"PIC_FILTER", "FILTER_VALUE", TRule::TrackBar, &S::TBContrast},
    {"PIC_FILTER", "USE_VIVID", TRule::Boolean, &S::CBVivid},
    {"PIC_FILTER", "USE_BRIGHTNESS", TRule::Boolean, &S::CBBrightness},
    {"PIC_FILTER", "BRIGHTNESS_UP", TRule::Radio, &S::RBBrightnessUP, gBrightness},
    {"PIC_FILTER", "BRIGHTNESS_DOWN", TRule::Radio, &S::RBBrightnessDown, gBrightness},
    {"PIC_FILTER", "USE_MONOCHROME", TRule::Boolean, &S::CBMonochrome},
    {"PIC_FILTER", "USE_WHITE_FRAME", TRule::Boolean, &S::CBWhiteFrame},
    {"PIC_SAVE", "USE_DECIDES_NAME", TRule::Radio, &S::RBDecidesName, gSave},
    {"PIC_SAVE", "DECIDES_INDEX", TRule::ListIndex, &S::CBSelectNamePos, 2},
    {"PIC_SAVE", "DECIDES_STRING", TRule::Text, &S::EditFileName},
    {"PIC_SAVE", "USE_MAKE_DIR", TRule::Radio, &S::RBMakeDir, gSave},
    {"PIC_SAVE", "DIR_NAME", TRule::Text, &S::EditDirName},
    {"PIC_SAVE", "USE_PROGRESSIVE", TRule::Boolean, &S::CBProgressive},
    {"PIC_SAVE", "TYPE_JPEG", TRule::Radio, &S::RBJpeg, gType},
    {"PIC_SAVE", "TYPE_PNG", TRule::Radio, &S::RBPng, gType},
    {"PIC_SAVE", "TYPE_GIF", TRule::Radio, &S::RBGif, gType},
    {"PIC_SAVE", "TYPE_BMP", TRule::Radio, &S::RBBMP, gType},
    // Read after the four older types, so that a file with several set
    // keeps its meaning; a version without these keys ignores them and,
    // finding no type set, converts to JPEG.
    {"PIC_SAVE", "TYPE_WEBP", TRule::Radio, &S::RBWebp, gType},
    {"PIC_SAVE", "TYPE_AVIF", TRule::Radio, &S::RBAvif, gType},
    {"PIC_DATE", "USE_DATE", TRule::Boolean, &S::CBDate},
    {"PIC_DATE", "FROM_PIC", TRule::Radio, &S::RBGetDateFromPic, gDateSource},
    {"PIC_DATE", "FROM_INPUT", TRule::Radio, &S::RBInputDate, gDateSource},
    {"PIC_DATE", "COL_OUTER", TRule::Colour, &S::ShapeDateFontColorOuter},
    {"PIC_DATE", "COL_INNER", TRule::Colour, &S::ShapeDateFontColorInner},
    {"PIC_DATE", "FONT_NAME", TRule::FontFace, &S::CBDateFontName},
    {"PIC_DATE", "FONT_SIZE", TRule::FontSize, &S::CBDateFontSize},
    {"PIC_DATE", "POS_LEFT_TOP", TRule::Radio, &S::RBDrawPosDateLeftTop, gDatePos},
    {"PIC_DATE", "POS_TOP", TRule::Radio, &S::RBDrawPosDateTop, gDatePos},
    {"PIC_DATE", "POS_RIGHT_TOP", TRule::Radio, &S::RBDrawPosDateRightTop, gDatePos},
    {"PIC_DATE", "POS_LEFT", TRule::Radio, &S::RBDrawPosDateLeft, gDatePos},
    {"PIC_DATE", "POS_CENTER", TRule::Radio, &S::RBDrawPosDateCenter, gDatePos},
    {"PIC_DATE", "POS_RIGHT", TRule::Radio, &S::RBDrawPosDateRight, gDatePos},
    {"PIC_DATE", "POS_LEFT_BOTTOM", TRule::Radio, &S::RBDrawPosDateLeftBottom, gDatePos},
    {"PIC_DATE", "POS_BOTTOM", TRule::Radio, &S::RBDrawPosDateBottom, gDatePos},
    {"PIC_DATE", "POS_RIGHT_BOTTOM", TRule::Radio, &S::RBDrawPosDateRightBottom, gDatePos},
    // The comment switch shares the date page's key name.
    {"PIC_COMMENT", "USE_DATE", TRule::Boolean, &S::CBComment},
    {"PIC_COMMENT", "COMMENT", TRule::Text, &S::EditComment},
    {"PIC_COMMENT", "COL_OUTER", TRule::Colour, &S::ShapeCommentFontColorOuter},
    {"PIC_COMMENT", "COL_INNER", TRule::Colour, &S::ShapeCommentFontColorInner},
    {"PIC_COMMENT", "FONT_NAME", TRule::FontFace, &S::CBCommentFontName},
    {"PIC_COMMENT", "FONT_SIZE", TRule::FontSize, &S::CBCommentFontSize},
    {"PIC_COMMENT", "POS_LEFT_TOP", TRule::Radio, &S::RBDrawPosCommentLeftTop, gCommentPos},
    {"PIC_COMMENT", "POS_TOP", TRule::Radio, &S::RBDrawPosCommentTop, gCommentPos},
    {"PIC_COMMENT", "POS_RIGHT_TOP", TRule::Radio, &S::RBDrawPosCommentRightTop, gCommentPos},
    {"PIC_COMMENT", "POS_LEFT", TRule::Radio, &S::RBDrawPosCommentLeft, gCommentPos},
    {"PIC_COMMENT", "POS_CENTER", TRule::Radio, &S::RBDrawPosCommentCenter, gCommentPos},
    {"PIC_COMMENT", "POS_RIGHT", TRule::Radio, &S::RBDrawPosCommentRight, gCommentPos},
    {"PIC_COMMENT", "POS_LEFT_BOTTOM", TRule::Radio, &S::RBDrawPosCommentLeftBottom, gCommentPos},
    {"PIC_COMMENT", "POS_BOTTOM", TRule::Radio, &S::RBDrawPosCommentBottom, gCommentPos},
    {"PIC_COMMENT", "POS_RIGHT_BOTTOM", TRule::Radio, &S::RBDrawPosCommentRightBottom, gCommentPos},
};
static_assert(std::size(kRows) == 62);

bool SameAscii(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
    });
}

const TRow* FindRow(std::string_view section, std::string_view key) {
    for (const TRow& row : kRows) {
        if (SameAscii(section, row.Section) && SameAscii(key, row.Key)) return &row;
    }
    return nullptr;
}

// The installed face equal to wanted ignoring letter case, or null.
const std::string* FindFace(const QString& wanted, const std::vector<std::string>& faces) {
    if (wanted.isEmpty()) return nullptr;
    for (const std::string& face : faces) {
        if (QString::fromStdString(face).compare(wanted, Qt::CaseInsensitive) == 0) return &face;
    }
    return nullptr;
}

// The first installed face equal to the stored one ignoring letter case,
// else the listed face the system substitutes for it (a Windows face on a
// Linux machine), else the first installed face, else none.
std::string ResolveFace(const std::string& stored, const std::vector<std::string>& faces) {
    const QString wanted = QString::fromStdString(stored);
    if (const std::string* face = FindFace(wanted, faces)) return *face;
    if (faces.empty()) return std::string();
    for (const QString& substitute : FontSubstitutes(wanted)) {
        if (const std::string* face = FindFace(substitute, faces)) return *face;
    }
    return faces.front();
}

// Applies one row's integer value (the stored one, or the default when null).
void ApplyInteger(const TRow& row, const std::int32_t* stored, TSettings& s) {
    const TSettings defaults;
    if (row.Rule == TRule::Colour) {
        auto member = std::get<TColor TSettings::*>(row.Member);
        s.*member = stored ? TColor(*stored) & 0xFFFFFF : defaults.*member;
        return;
    }
    auto member = std::get<int TSettings::*>(row.Member);
    const int value = stored ? *stored : defaults.*member;
    switch (row.Rule) {
        case TRule::ListIndex:
            s.*member = value >= 0 && value < row.Param ? value : -1;
            break;
        case TRule::TrackBar:
            s.*member = std::clamp(value, 0, 100);
            break;
        default:
            s.*member = value >= 0 && value <= 4 ? value : 3;
            break;
    }
}

// A radio button set to checked clears the rest of its group; set to
// unchecked it changes nothing else. So the last key that reads true wins.
void ApplyFlag(const TRow& row, const std::int32_t* stored, TSettings& s) {
    auto member = std::get<bool TSettings::*>(row.Member);
    const bool value = stored ? *stored != 0 : TSettings().*member;
    if (row.Rule == TRule::Radio && value) {
        for (const TRow& other : kRows) {
            if (other.Rule == TRule::Radio && other.Param == row.Param)
                s.*std::get<bool TSettings::*>(other.Member) = false;
        }
    }
    s.*member = value;
}

std::string StoredText(const TRow& row, const TSettings& s) {
    switch (row.Rule) {
        case TRule::Boolean:
        case TRule::Radio:
            return s.*std::get<bool TSettings::*>(row.Member) ? "1" : "0";
        case TRule::Colour:
            return std::to_string(s.*std::get<TColor TSettings::*>(row.Member));
        case TRule::Text:
        case TRule::FontFace:
            return Utf8ToCp932(QuoteProfileText(s.*std::get<std::string TSettings::*>(row.Member)));
        default:
            return std::to_string(s.*std::get<int TSettings::*>(row.Member));
    }
}

// Comment and blank lines after the last section or key: the INI library
// drops them, so they are kept aside and written back after the rest.
std::string TrailingComments(const std::string& data) {
    std::size_t keepFrom = 0;
    std::istringstream lines(data);
    std::string line;
    std::size_t offset = 0;
    while (std::getline(lines, line)) {
        offset += line.size() + 1;
        const auto first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos && line[first] != ';' && line[first] != '#')
            keepFrom = offset;
    }
    if (keepFrom >= data.size()) return {};
    std::string tail = data.substr(keepFrom);
    return tail.find_first_not_of(" \t\r\n") == std::string::npos ? std::string() : tail;
}

#ifdef _WIN32

// SimpleIni ends its lines with CRLF on Windows, LF elsewhere; the file's
// own line ends are applied after, the same on both systems.
std::string WithLineFeeds(const std::string& saved) {
    std::string text;
    for (std::size_t i = 0; i < saved.size(); ++i)
        if (saved.compare(i, 2, "\r\n") != 0) text += saved[i];
    return text;
}

// Windows files carry no permission bits to keep.
unsigned FileMode(const fs::path&) {
    return 0;
}

// Writes the whole file under a temporary name beside it and moves it over
// the old one, so that a failed write never leaves a damaged settings file.
void WriteFileWhole(const fs::path& target, const std::string& data, unsigned) {
    const std::string shown = PathText(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path temp = target.native() + L".tmp" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(attempt);
        const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
        if (file == INVALID_HANDLE_VALUE) break;
        DWORD written = 0;
        bool ok = WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr) &&
                  written == data.size();
        ok = FlushFileBuffers(file) && ok;
        ok = CloseHandle(file) && ok;
        if (ok && MoveFileExW(temp.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return;
        DeleteFileW(temp.c_str());
        break;
    }
    throw ESettingsError(shown + " に書き込めません");
}

#else

std::string WithLineFeeds(const std::string& saved) {
    return saved;
}

// The permission bits to give the new file: the old file's, else private.
unsigned FileMode(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0600;
}

// Writes the whole file under a temporary name and renames it over the old
// one, so that a failed write never leaves a damaged settings file.
void WriteFileWhole(const fs::path& target, const std::string& data, unsigned mode) {
    std::string temp = target.string() + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) throw ESettingsError(target.string() + " に書き込めません");
    bool ok = fchmod(fd, mode_t(mode)) == 0;  // mkstemp made it private
    for (std::size_t done = 0; ok && done < data.size();) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += std::size_t(n);
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        throw ESettingsError(target.string() + " に書き込めません");
    }
}

#endif

}  // namespace

struct TSettingsFile::TImpl {
    fs::path Path;
    CSimpleIniA Ini{false, true, false};
    bool Exists = false;
    bool Crlf = false;
    std::string Trailer;
    std::string Problem;
    // Texts given by SetValue, as typed: they never go through code page
    // 932 unless the file is saved.
    std::map<const TRow*, std::string> Typed;

    void Load();
    std::optional<std::string> Raw(const TRow& row) const;
};

void TSettingsFile::TImpl::Load() {
    std::error_code ec;
    const fs::file_status status = fs::status(Path, ec);
    if (!fs::exists(status)) return;
    Exists = true;
    const std::string shown = PathText(Path);
    if (!fs::is_regular_file(status) || fs::file_size(Path, ec) > kMaxFileBytes || ec) {
        Problem = "設定ファイル " + shown + " を読み込めません（既定の設定で動作します）";
        return;
    }
    std::ifstream in(Path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        Problem = "設定ファイル " + shown + " を読み込めません（既定の設定で動作します）";
        return;
    }
    Crlf = data.find("\r\n") != std::string::npos;
    Trailer = TrailingComments(data);
    Ini.LoadData(data.data(), data.size());
}

// The stored value of a row, as the profile functions hand it over: quotes
// removed, at most 2047 bytes; nothing when the key is missing.
std::optional<std::string> TSettingsFile::TImpl::Raw(const TRow& row) const {
    const char* value = Ini.GetValue(row.Section, row.Key, nullptr);
    if (value == nullptr) return std::nullopt;
    return std::string(Cp932Prefix(UnquoteProfileValue(value), kMaxValueBytes));
}

TSettingsFile::TSettingsFile(fs::path path) : impl_(std::make_unique<TImpl>()) {
    impl_->Path = std::move(path);
    impl_->Ini.SetSpaces(false);
    impl_->Load();
}

TSettingsFile::~TSettingsFile() = default;

bool TSettingsFile::Exists() const {
    return impl_->Exists;
}

const std::string& TSettingsFile::ReadProblem() const {
    return impl_->Problem;
}

bool TSettingsFile::IsKnownKey(std::string_view section, std::string_view key) {
    return FindRow(section, key) != nullptr;
}

bool TSettingsFile::SetValue(std::string_view section, std::string_view key,
                             std::string_view value) {
    const TRow* row = FindRow(section, key);
    if (row == nullptr) return false;
    impl_->Ini.SetValue(row->Section, row->Key, Utf8ToCp932(value).c_str(), nullptr, true);
    impl_->Typed[row] = std::string(UnquoteProfileValue(value));
    return true;
}

TSettings TSettingsFile::Read(const std::vector<std::string>& installedFaces) const {
    TSettings s;
    for (const TRow& row : kRows) {
        const std::optional<std::string> raw = impl_->Raw(row);
        if (row.Rule == TRule::Text || row.Rule == TRule::FontFace) {
            auto member = std::get<std::string TSettings::*>(row.Member);
            const auto typed = impl_->Typed.find(&row);
            if (typed != impl_->Typed.end())
                s.*member = typed->second;
            else if (raw)
                s.*member = Cp932ToUtf8(*raw);
            if (row.Rule == TRule::FontFace) s.*member = ResolveFace(s.*member, installedFaces);
            continue;
        }
        const std::optional<std::int32_t> number = raw ? ParseProfileInteger(*raw) : std::nullopt;
        const std::int32_t* stored = number ? &*number : nullptr;
        if (row.Rule == TRule::Boolean || row.Rule == TRule::Radio)
            ApplyFlag(row, stored, s);
        else
            ApplyInteger(row, stored, s);
    }
    return s;
}

void TSettingsFile::Write(const TSettings& settings) {
    impl_->Typed.clear();
    for (const TRow& row : kRows)
        impl_->Ini.SetValue(row.Section, row.Key, StoredText(row, settings).c_str(), nullptr, true);
}

void TSettingsFile::Save() const {
    const fs::path& path = impl_->Path;
    if (!impl_->Problem.empty()) throw ESettingsError(PathText(path) + " に書き込めません");
    std::string saved;
    if (impl_->Ini.Save(saved, false) < 0)
        throw ESettingsError(PathText(path) + " に書き込めません");
    std::string data = WithLineFeeds(saved) + impl_->Trailer;
    if (impl_->Crlf) {
        std::string crlf;
        for (char c : data) {
            if (c == '\n' && (crlf.empty() || crlf.back() != '\r')) crlf += '\r';
            crlf += c;
        }
        data.swap(crlf);
    }
    std::error_code ec;
    const fs::path target = fs::is_symlink(path, ec) ? fs::weakly_canonical(path, ec) : path;
    WriteFileWhole(target.empty() ? path : target, data, FileMode(target));
}

TSettings LoadSettingsFile(const fs::path& path, const std::vector<std::string>& installedFaces) {
    return TSettingsFile(path).Read(installedFaces);
}

void SaveSettingsFile(const fs::path& path, const TSettings& settings) {
    TSettingsFile file(path);
    file.Write(settings);
    file.Save();
}
