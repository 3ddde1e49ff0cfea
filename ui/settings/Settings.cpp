#include "ui/settings/Settings.h"

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

#include "exif/WidePath.h"
#include "exif/WinApi.h"
#include "ui/settings/Cp932.h"
#include "ui/settings/FontList.h"
#include "ui/settings/ListChoices.h"
#include "ui/settings/ProfileValues.h"

namespace tovali {

namespace fs = std::filesystem;

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
    Position,  // one of a text's nine position buttons; Param is its TDrawPos
};

template <class T>
using TField = TSettingsField<T>;
using TMember = std::variant<TField<bool>, TField<int>, TField<TColor>, TField<std::string>,
                             TField<TTextSizeLevel>, TField<TDrawPos>>;

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
};

using S = TSettings;
constexpr TField<TDrawPos> kDatePos = &FieldOf<&S::Date, &TTextStamp::Pos>;
constexpr TField<TDrawPos> kCommentPos = &FieldOf<&S::Comment, &TTextStamp::Pos>;

// The 62 keys in file order; load and save both walk this table.
const TRow kRows[] = {
    {"PIC_SIZE", "USE_PIC_SIZE", TRule::Boolean, &FieldOf<&S::CBPicSize>},
    {"PIC_SIZE", "REGULAR_SIZE", TRule::Radio, &FieldOf<&S::RBRegularSize>, gSize},
    {"PIC_SIZE", "REGULAR_INDEX", TRule::ListIndex, &FieldOf<&S::CBSizeList>, kBoxChoiceCount},
    {"PIC_SIZE", "INPUT_SIZE", TRule::Radio, &FieldOf<&S::RBInputPicSize>, gSize},
    {"PIC_SIZE", "WIDTH", TRule::Text, &FieldOf<&S::EditPicWidth>},
    {"PIC_SIZE", "HEIGHT", TRule::Text, &FieldOf<&S::EditPicHeight>},
    {"PIC_QUALITY", "USE_PIC_QUALITY", TRule::Boolean, &FieldOf<&S::CBQuality>},
    {"PIC_QUALITY", "PIC_QUALITY", TRule::Radio, &FieldOf<&S::RBQuality>, gQuality},
    {"PIC_QUALITY", "QUALITY_INDEX", TRule::ListIndex, &FieldOf<&S::CBQualityLevel>,
     kQualityChoiceCount},
    {"PIC_QUALITY", "FILE_SIZE", TRule::Radio, &FieldOf<&S::RBFileSize>, gQuality},
    {"PIC_QUALITY", "SIZE", TRule::Text, &FieldOf<&S::EditFileSize>},
    {"PIC_FILTER", "USE_PIC_FILTER", TRule::Boolean, &FieldOf<&S::CBFilter>},
    {"PIC_FILTER", "FILTER_VALUE", TRule::TrackBar, &FieldOf<&S::TBContrast>},
    {"PIC_FILTER", "USE_VIVID", TRule::Boolean, &FieldOf<&S::CBVivid>},
    {"PIC_FILTER", "USE_BRIGHTNESS", TRule::Boolean, &FieldOf<&S::CBBrightness>},
    {"PIC_FILTER", "BRIGHTNESS_UP", TRule::Radio, &FieldOf<&S::RBBrightnessUP>, gBrightness},
    {"PIC_FILTER", "BRIGHTNESS_DOWN", TRule::Radio, &FieldOf<&S::RBBrightnessDown>, gBrightness},
    {"PIC_FILTER", "USE_MONOCHROME", TRule::Boolean, &FieldOf<&S::CBMonochrome>},
    {"PIC_FILTER", "USE_WHITE_FRAME", TRule::Boolean, &FieldOf<&S::CBWhiteFrame>},
    {"PIC_SAVE", "USE_DECIDES_NAME", TRule::Radio, &FieldOf<&S::RBDecidesName>, gSave},
    {"PIC_SAVE", "DECIDES_INDEX", TRule::ListIndex, &FieldOf<&S::CBSelectNamePos>, 2},
    {"PIC_SAVE", "DECIDES_STRING", TRule::Text, &FieldOf<&S::EditFileName>},
    {"PIC_SAVE", "USE_MAKE_DIR", TRule::Radio, &FieldOf<&S::RBMakeDir>, gSave},
    {"PIC_SAVE", "DIR_NAME", TRule::Text, &FieldOf<&S::EditDirName>},
    {"PIC_SAVE", "USE_PROGRESSIVE", TRule::Boolean, &FieldOf<&S::CBProgressive>},
    {"PIC_SAVE", "TYPE_JPEG", TRule::Radio, &FieldOf<&S::RBJpeg>, gType},
    {"PIC_SAVE", "TYPE_PNG", TRule::Radio, &FieldOf<&S::RBPng>, gType},
    {"PIC_SAVE", "TYPE_GIF", TRule::Radio, &FieldOf<&S::RBGif>, gType},
    {"PIC_SAVE", "TYPE_BMP", TRule::Radio, &FieldOf<&S::RBBMP>, gType},
    // Read after the four older types, so that a file with several set
    // keeps its meaning; a version without these keys ignores them and,
    // finding no type set, converts to JPEG.
    {"PIC_SAVE", "TYPE_WEBP", TRule::Radio, &FieldOf<&S::RBWebp>, gType},
    {"PIC_SAVE", "TYPE_AVIF", TRule::Radio, &FieldOf<&S::RBAvif>, gType},
    {"PIC_DATE", "USE_DATE", TRule::Boolean, &FieldOf<&S::Date, &TTextStamp::Use>},
    {"PIC_DATE", "FROM_PIC", TRule::Radio, &FieldOf<&S::RBGetDateFromPic>, gDateSource},
    {"PIC_DATE", "FROM_INPUT", TRule::Radio, &FieldOf<&S::RBInputDate>, gDateSource},
    {"PIC_DATE", "COL_OUTER", TRule::Colour, &FieldOf<&S::Date, &TTextStamp::ColorOuter>},
    {"PIC_DATE", "COL_INNER", TRule::Colour, &FieldOf<&S::Date, &TTextStamp::ColorInner>},
    {"PIC_DATE", "FONT_NAME", TRule::FontFace, &FieldOf<&S::Date, &TTextStamp::FontName>},
    {"PIC_DATE", "FONT_SIZE", TRule::FontSize, &FieldOf<&S::Date, &TTextStamp::FontSize>},
    {"PIC_DATE", "POS_LEFT_TOP", TRule::Position, kDatePos, dpLeftTop},
    {"PIC_DATE", "POS_TOP", TRule::Position, kDatePos, dpTop},
    {"PIC_DATE", "POS_RIGHT_TOP", TRule::Position, kDatePos, dpRightTop},
    {"PIC_DATE", "POS_LEFT", TRule::Position, kDatePos, dpLeft},
    {"PIC_DATE", "POS_CENTER", TRule::Position, kDatePos, dpCenter},
    {"PIC_DATE", "POS_RIGHT", TRule::Position, kDatePos, dpRight},
    {"PIC_DATE", "POS_LEFT_BOTTOM", TRule::Position, kDatePos, dpLeftBottom},
    {"PIC_DATE", "POS_BOTTOM", TRule::Position, kDatePos, dpBottom},
    {"PIC_DATE", "POS_RIGHT_BOTTOM", TRule::Position, kDatePos, dpRightBottom},
    // The comment switch shares the date page's key name.
    {"PIC_COMMENT", "USE_DATE", TRule::Boolean, &FieldOf<&S::Comment, &TTextStamp::Use>},
    {"PIC_COMMENT", "COMMENT", TRule::Text, &FieldOf<&S::Comment, &TTextStamp::Text>},
    {"PIC_COMMENT", "COL_OUTER", TRule::Colour, &FieldOf<&S::Comment, &TTextStamp::ColorOuter>},
    {"PIC_COMMENT", "COL_INNER", TRule::Colour, &FieldOf<&S::Comment, &TTextStamp::ColorInner>},
    {"PIC_COMMENT", "FONT_NAME", TRule::FontFace, &FieldOf<&S::Comment, &TTextStamp::FontName>},
    {"PIC_COMMENT", "FONT_SIZE", TRule::FontSize, &FieldOf<&S::Comment, &TTextStamp::FontSize>},
    {"PIC_COMMENT", "POS_LEFT_TOP", TRule::Position, kCommentPos, dpLeftTop},
    {"PIC_COMMENT", "POS_TOP", TRule::Position, kCommentPos, dpTop},
    {"PIC_COMMENT", "POS_RIGHT_TOP", TRule::Position, kCommentPos, dpRightTop},
    {"PIC_COMMENT", "POS_LEFT", TRule::Position, kCommentPos, dpLeft},
    {"PIC_COMMENT", "POS_CENTER", TRule::Position, kCommentPos, dpCenter},
    {"PIC_COMMENT", "POS_RIGHT", TRule::Position, kCommentPos, dpRight},
    {"PIC_COMMENT", "POS_LEFT_BOTTOM", TRule::Position, kCommentPos, dpLeftBottom},
    {"PIC_COMMENT", "POS_BOTTOM", TRule::Position, kCommentPos, dpBottom},
    {"PIC_COMMENT", "POS_RIGHT_BOTTOM", TRule::Position, kCommentPos, dpRightBottom},
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
    TSettings defaults;
    if (row.Rule == TRule::Colour) {
        const auto field = std::get<TField<TColor>>(row.Member);
        field(s) = stored ? TColor(*stored) & 0xFFFFFF : field(defaults);
        return;
    }
    if (row.Rule == TRule::FontSize) {
        const auto field = std::get<TField<TTextSizeLevel>>(row.Member);
        const int value = stored ? *stored : field(defaults);
        field(s) = TTextSizeLevel(value >= 0 && value <= 4 ? value : 3);
        return;
    }
    const auto field = std::get<TField<int>>(row.Member);
    const int value = stored ? *stored : field(defaults);
    field(s) = row.Rule == TRule::TrackBar       ? std::clamp(value, 0, 100)
               : value >= 0 && value < row.Param ? value
                                                 : -1;
}

// A radio button set to checked clears the rest of its group; set to
// unchecked it changes nothing else. So the last key that reads true wins.
void ApplyFlag(const TRow& row, const std::int32_t* stored, TSettings& s) {
    const auto field = std::get<TField<bool>>(row.Member);
    TSettings defaults;
    const bool value = stored ? *stored != 0 : field(defaults);
    if (row.Rule == TRule::Radio && value) {
        for (const TRow& other : kRows) {
            if (other.Rule == TRule::Radio && other.Param == row.Param)
                std::get<TField<bool>>(other.Member)(s) = false;
        }
    }
    field(s) = value;
}

// A position button is a radio button of its text's group, the group being
// the one position the text holds.
void ApplyPosition(const TRow& row, const std::int32_t* stored, TSettings& s) {
    const auto field = std::get<TField<TDrawPos>>(row.Member);
    const TDrawPos button = TDrawPos(row.Param);
    TSettings defaults;
    const bool checked = stored ? *stored != 0 : field(defaults) == button;
    if (checked)
        field(s) = button;
    else if (field(s) == button)
        field(s) = kNoDrawPos;
}

std::string StoredText(const TRow& row, TSettings& s) {
    switch (row.Rule) {
        case TRule::Boolean:
        case TRule::Radio:
            return std::get<TField<bool>>(row.Member)(s) ? "1" : "0";
        case TRule::Position:
            return std::get<TField<TDrawPos>>(row.Member)(s) == TDrawPos(row.Param) ? "1" : "0";
        case TRule::Colour:
            return std::to_string(std::get<TField<TColor>>(row.Member)(s));
        case TRule::Text:
        case TRule::FontFace:
            return Utf8ToCp932(QuoteProfileText(std::get<TField<std::string>>(row.Member)(s)));
        case TRule::FontSize:
            // A window list without a selection gives -1, kept as such.
            return std::to_string(std::int8_t(std::get<TField<TTextSizeLevel>>(row.Member)(s)));
        default:
            return std::to_string(std::get<TField<int>>(row.Member)(s));
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
            std::string& text = std::get<TField<std::string>>(row.Member)(s);
            const auto typed = impl_->Typed.find(&row);
            if (typed != impl_->Typed.end())
                text = typed->second;
            else if (raw)
                text = Cp932ToUtf8(*raw);
            if (row.Rule == TRule::FontFace) text = ResolveFace(text, installedFaces);
            continue;
        }
        const std::optional<std::int32_t> number = raw ? ParseProfileInteger(*raw) : std::nullopt;
        const std::int32_t* stored = number ? &*number : nullptr;
        if (row.Rule == TRule::Boolean || row.Rule == TRule::Radio)
            ApplyFlag(row, stored, s);
        else if (row.Rule == TRule::Position)
            ApplyPosition(row, stored, s);
        else
            ApplyInteger(row, stored, s);
    }
    return s;
}

void TSettingsFile::Write(const TSettings& settings) {
    impl_->Typed.clear();
    // The rows reach their fields through a record they may change.
    TSettings s = settings;
    for (const TRow& row : kRows)
        impl_->Ini.SetValue(row.Section, row.Key, StoredText(row, s).c_str(), nullptr, true);
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

}  // namespace tovali
