#include "app/batch/BatchCommandLine.h"

#include <regex>

#include "app/batch/InputCheck.h"
#include "ui/settings/ListChoices.h"
#include "ui/settings/Settings.h"

namespace tovali {

namespace {

using TResult = std::variant<TBatchCommand, TUsageError>;

TUsageError Error(const std::string& japanese, const std::string& english,
                  const std::string& what) {
    return {"tovali3-batch: " + japanese + " (" + english + "): " + what};
}

std::optional<TSettingOverride> ParseOverride(const std::string& text) {
    const std::size_t slash = text.find('/');
    const std::size_t equals = text.find('=', slash == std::string::npos ? 0 : slash);
    if (slash == std::string::npos || equals == std::string::npos || slash == 0 ||
        equals == slash + 1)
        return std::nullopt;
    TSettingOverride result{text.substr(0, slash), text.substr(slash + 1, equals - slash - 1),
                            text.substr(equals + 1)};
    if (!TSettingsFile::IsKnownKey(result.Section, result.Key)) return std::nullopt;
    return result;
}

std::optional<QDate> ParseDate(const std::string& text) {
    static const std::regex kPattern("[0-9]{4}-[0-9]{2}-[0-9]{2}");
    if (!std::regex_match(text, kPattern)) return std::nullopt;
    const QDate date =
        QDate::fromString(QString::fromStdString(text), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) return std::nullopt;
    return date;
}

using TOverrides = std::vector<TSettingOverride>;

// The output-type keys, each set to 1 for its type and 0 for the others:
// a later key that stayed set would otherwise win over the chosen one.
std::optional<TOverrides> TypeKeys(const std::string& type) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {"jpeg", "TYPE_JPEG"}, {"png", "TYPE_PNG"},   {"gif", "TYPE_GIF"},
        {"bmp", "TYPE_BMP"},   {"webp", "TYPE_WEBP"}, {"avif", "TYPE_AVIF"}};
    TOverrides keys;
    bool known = false;
    for (const auto& [name, key] : kTypes) {
        known = known || type == name;
        keys.push_back({"PIC_SAVE", key, type == name ? "1" : "0"});
    }
    if (!known) return std::nullopt;
    return keys;
}

// "W", "WxH": each side a whole number of 10 to 99999 pixels, as the
// window's size boxes take them.
std::optional<TOverrides> BoxKeys(const std::string& box) {
    static const std::regex kBox("([0-9]{2,5})(?:x([0-9]{2,5}))?");
    std::smatch match;
    if (!std::regex_match(box, match, kBox)) return std::nullopt;
    const std::string width = match[1], height = match[2].matched ? match[2].str() : width;
    if (std::stoi(width) < 10 || std::stoi(height) < 10) return std::nullopt;
    return TOverrides{{"PIC_SIZE", "USE_PIC_SIZE", "1"},
                      {"PIC_SIZE", "REGULAR_SIZE", "0"},
                      {"PIC_SIZE", "INPUT_SIZE", "1"},
                      {"PIC_SIZE", "WIDTH", width},
                      {"PIC_SIZE", "HEIGHT", height}};
}

// The quality levels by their values; the settings keep the list index.
std::optional<TOverrides> QualityKeys(const std::string& level) {
    for (int index = 0; index < kQualityChoiceCount; ++index) {
        if (level == std::to_string(kQualityChoices[index].Quality))
            return TOverrides{{"PIC_QUALITY", "USE_PIC_QUALITY", "1"},
                              {"PIC_QUALITY", "PIC_QUALITY", "1"},
                              {"PIC_QUALITY", "FILE_SIZE", "0"},
                              {"PIC_QUALITY", "QUALITY_INDEX", std::to_string(index)}};
    }
    return std::nullopt;
}

// Kilobytes as the window's size box takes them: 10 to 999999.
std::optional<TOverrides> MaxSizeKeys(const std::string& kilobytes) {
    static const std::regex kSize("[0-9]{2,6}");
    if (!std::regex_match(kilobytes, kSize) || std::stoi(kilobytes) < 10) return std::nullopt;
    return TOverrides{{"PIC_QUALITY", "USE_PIC_QUALITY", "1"},
                      {"PIC_QUALITY", "PIC_QUALITY", "0"},
                      {"PIC_QUALITY", "FILE_SIZE", "1"},
                      {"PIC_QUALITY", "SIZE", kilobytes}};
}

// The sub-folder, or the text before or after the name: non-empty and
// without the characters a file name cannot hold.
std::optional<TOverrides> NameKeys(const std::string& option, const std::string& text) {
    if (text.empty() || !IsValidName(text)) return std::nullopt;
    if (option == "--into")
        return TOverrides{{"PIC_SAVE", "USE_DECIDES_NAME", "0"},
                          {"PIC_SAVE", "USE_MAKE_DIR", "1"},
                          {"PIC_SAVE", "DIR_NAME", text}};
    return TOverrides{{"PIC_SAVE", "USE_DECIDES_NAME", "1"},
                      {"PIC_SAVE", "USE_MAKE_DIR", "0"},
                      {"PIC_SAVE", "DECIDES_INDEX", option == "--prefix" ? "0" : "1"},
                      {"PIC_SAVE", "DECIDES_STRING", text}};
}

// The settings keys a short option spells; nothing when its value is bad.
std::optional<TOverrides> ShortOptionKeys(const std::string& name, const std::string& value) {
    if (name == "--type") return TypeKeys(value);
    if (name == "--box") return BoxKeys(value);
    if (name == "--quality") return QualityKeys(value);
    if (name == "--max-size") return MaxSizeKeys(value);
    return NameKeys(name, value);
}

bool IsShortOption(const std::string& name) {
    for (const char* option :
         {"--type", "--box", "--quality", "--max-size", "--into", "--prefix", "--suffix"}) {
        if (name == option) return true;
    }
    return false;
}

// Applies one option that takes a value; an error when the value is bad.
std::optional<TUsageError> ApplyValue(const std::string& name, const std::string& value,
                                      TBatchCommand& command) {
    if (name == "--config") {
        if (value.empty())
            return Error("設定ファイル名がありません", "missing settings file name", name);
        command.ConfigFile = value;
    } else if (name == "--set") {
        const auto setting = ParseOverride(value);
        if (!setting) return Error("--set の指定が正しくありません", "bad --set", value);
        command.Overrides.push_back(*setting);
    } else if (IsShortOption(name)) {
        const auto keys = ShortOptionKeys(name, value);
        if (!keys) return Error(name + " の値が正しくありません", "bad " + name + " value", value);
        command.Overrides.insert(command.Overrides.end(), keys->begin(), keys->end());
    } else if (name == "--jobs") {
        static const std::regex kCount("[1-9][0-9]{0,2}");
        if (!std::regex_match(value, kCount))
            return Error("--jobs の数が正しくありません", "bad --jobs", value);
        command.Jobs = std::stoi(value);
    } else {
        const auto date = ParseDate(value);
        if (!date) return Error("--date の日付が正しくありません", "bad --date", value);
        command.Date = *date;
    }
    return std::nullopt;
}

class TParser {
  public:
    explicit TParser(const std::vector<std::string>& args) : args_(args) {}

    TResult Parse() {
        bool options = true;
        for (index_ = 0; index_ < args_.size(); ++index_) {
            const std::string& arg = args_[index_];
            if (!options || arg == "-" || arg.rfind("-", 0) != 0) {
                command_.Pictures.push_back(arg);
            } else if (arg == "--") {
                options = false;
            } else if (auto error = Option(arg)) {
                return *error;
            }
            if (command_.Action != TBatchCommand::TAction::Convert) return command_;
        }
        if (command_.Pictures.empty())
            return Error("画像ファイルが指定されていません", "no PICTURE given", "PICTURE...");
        return command_;
    }

  private:
    std::optional<TUsageError> Option(const std::string& arg) {
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name == "--help" || name == "--version" || name == "--contrast" || name == "--null") {
            if (equals != std::string::npos)
                return Error("値を取らないオプションです", "option takes no value", arg);
            if (name == "--contrast") command_.Contrast = true;
            if (name == "--null") command_.Null = true;
            if (name == "--help") command_.Action = TBatchCommand::TAction::Help;
            if (name == "--version") command_.Action = TBatchCommand::TAction::Version;
            return std::nullopt;
        }
        if (name != "--config" && name != "--set" && name != "--date" && name != "--jobs" &&
            !IsShortOption(name))
            return Error("不明なオプションです", "unknown option", arg);
        if (equals != std::string::npos) return ApplyValue(name, arg.substr(equals + 1), command_);
        if (index_ + 1 >= args_.size()) return Error("値がありません", "missing value", arg);
        return ApplyValue(name, args_[++index_], command_);
    }

    const std::vector<std::string>& args_;
    std::size_t index_ = 0;
    TBatchCommand command_;
};

}  // namespace

std::variant<TBatchCommand, TUsageError> ParseBatchCommandLine(
    const std::vector<std::string>& args) {
    return TParser(args).Parse();
}

std::string BatchUsage() {
    return "使い方 (usage):\n"
           "  tovali3-batch [--type TYPE] [--box WxH|N] [--quality LEVEL | --max-size KB]\n"
           "                [--into NAME | --prefix TEXT | --suffix TEXT]\n"
           "                [--config FILE] [--set SECTION/KEY=VALUE]... [--date YYYY-MM-DD]\n"
           "                [--contrast] [--jobs N] [--null] [--] PICTURE...\n"
           "  tovali3-batch --help | --version\n";
}

namespace {

// What differs on Windows: how texts reach the console, and the stops.
std::string WindowsNotes() {
#ifdef _WIN32
    return "\n"
           "Windows: パスとメッセージはコンソールへは UTF-16 で (どのコードページでも正しく\n"
           "表示)、パイプやファイルへは UTF-8 で出します (--null も同じ)。Ctrl-C は 130、\n"
           "Ctrl-Break は 149、コンソールを閉じたときは 129 で中止します。\n"
           "\n"
           "Windows: paths and messages go to a console as UTF-16 (shown right whatever its\n"
           "code page) and to a pipe or file as UTF-8 (with --null as well). Ctrl-C stops\n"
           "with 130, Ctrl-Break with 149, closing the console with 129.\n";
#else
    return {};
#endif
}

}  // namespace

std::string BatchHelp() {
    return BatchUsage() +
           "\n"
           "画像ファイル (JPEG, GIF, PNG, BMP, HEIC/HEIF, AVIF, WebP) を Tovali 3 のウィンドウと\n"
           "同じ設定・同じ規則でまとめて変換します。画面は使いません。保存形式は JPEG, PNG,\n"
           "GIF, BMP, WebP, AVIF のいずれかです。\n"
           "\n"
           "よく使う設定 (それぞれ設定ファイルの項目の書き換えで、--set と合わせて順に適用):\n"
           "  --type TYPE     保存形式: jpeg, png, gif, bmp, webp, avif。同じ見た目で webp は\n"
           "                  JPEG より2割ほど、avif は4割ほど小さくなります (どちらも今の\n"
           "                  ブラウザで開けます)。png は劣化なし、gif・bmp は古い機器向け。\n"
           "  --box WxH|N     幅 W・高さ H (または N x N) に収まるように縮小 (10以上)。\n"
           "  --quality LEVEL 画質: 100 最高画質, 80 高画質, 60 中画質, 30 低画質, 10 最低画質\n"
           "                  (JPEG, WebP, AVIF)。\n"
           "  --max-size KB   ファイルサイズが KB キロバイト未満になる最高の画質で保存 (10以上)。\n"
           "  --into NAME     元の画像のフォルダに NAME フォルダを作り、その中に保存します。\n"
           "  --prefix TEXT   ファイル名の前に TEXT を付けて保存します。\n"
           "  --suffix TEXT   ファイル名の後に TEXT を付けて保存します。\n"
           "\n"
           "  --config FILE   読み込む設定ファイル (既定: ウィンドウの config.ini)。\n"
           "                  ファイルが無ければすべて既定値。設定ファイルには書き込みません。\n"
           "  --set S/K=V     設定ファイルの1項目を上書きします (繰り返し可、順に適用)。\n"
           "                  例: --set PIC_SIZE/USE_PIC_SIZE=1\n"
           "  --date Y-M-D    指定日付 (日付を指定する設定のとき描画する日付)。既定は今日。\n"
           "  --contrast      「コントラストを調整」をオンにします (既定はオフ)。\n"
           "  --jobs N        同時に読み込む画像の数 (既定: 使える CPU のコア数)。\n"
           "                  1 なら1枚ずつ順に処理します。結果と順序は N によらず同じです。\n"
           "  --null          書き出したパスを改行でなく NUL 文字で区切ります (find -print0\n"
           "                  と同じ。改行を含む名前のため)。\n"
           "\n"
           "例:\n"
           "  tovali3-batch --type webp --box 1280 *.jpg      ウェブ用に 1280 以内の WebP\n"
           "  tovali3-batch --max-size 200 --into web *.jpg   200KB 未満の JPEG を web フォルダに\n"
           "  tovali3-batch --type avif --quality 60 --suffix _s photo.heic\n"
           "\n"
           "書き出した各ファイルのパスを1行ずつ標準出力に、進行状況とメッセージを標準エラーに\n"
           "出します。終了コード: 0 すべて変換済み、1 変換が途中で失敗、2 使い方の誤りまたは\n"
           "入力エラー (何も変換していません)、130/143/129 Ctrl-C・SIGTERM・SIGHUP で中止\n"
           "(書きかけのファイルは残しません)。\n"
           "\n"
           "Converts picture files (JPEG, GIF, PNG, BMP, HEIC/HEIF, AVIF, WebP) in one batch\n"
           "with the same settings and rules as the Tovali 3 window, without a display.\n"
           "Pictures are written as JPEG, PNG, GIF, BMP, WebP or AVIF.\n"
           "\n"
           "Everyday settings (each a spelling of settings-file keys, applied in order\n"
           "with --set):\n"
           "  --type TYPE     output type: jpeg, png, gif, bmp, webp, avif. At the same\n"
           "                  look WebP copies are about 20 % smaller than JPEG, AVIF ones\n"
           "                  about 40 % (every current browser opens both); png is\n"
           "                  lossless, gif and bmp are for old devices.\n"
           "  --box WxH|N     fit into W x H pixels (or N x N), each at least 10.\n"
           "  --quality LEVEL quality level 100, 80, 60, 30 or 10 (JPEG, WebP, AVIF).\n"
           "  --max-size KB   the highest quality whose file stays below KB kilobytes\n"
           "                  (at least 10).\n"
           "  --into NAME     save into a sub-folder NAME of each picture's folder.\n"
           "  --prefix TEXT   save beside the picture with TEXT before its name.\n"
           "  --suffix TEXT   save beside the picture with TEXT after its name.\n"
           "\n"
           "  --config FILE   settings file to read (default: the window's config.ini). A\n"
           "                  missing file gives every default. The file is never written.\n"
           "  --set S/K=V     one key as if the file held that value (repeatable, in order),\n"
           "                  e.g. --set PIC_SIZE/USE_PIC_SIZE=1\n"
           "  --date Y-M-D    the entered date (drawn when the date is entered by hand);\n"
           "                  default today.\n"
           "  --contrast      switch on the contrast adjustment (off by default).\n"
           "  --jobs N        pictures decoded at once (default: the number of cores); 1\n"
           "                  converts one picture at a time, strictly in turn. The outputs\n"
           "                  and their order are the same for every N.\n"
           "  --null          end every written path with a NUL instead of a line feed\n"
           "                  (like find -print0), for names that hold a newline.\n"
           "\n"
           "Examples:\n"
           "  tovali3-batch --type webp --box 1280 *.jpg      WebP for the web, within 1280\n"
           "  tovali3-batch --max-size 200 --into web *.jpg   JPEG below 200 KB, in web/\n"
           "  tovali3-batch --type avif --quality 60 --suffix _s photo.heic\n"
           "\n"
           "Prints the path of every file written on standard output, one per line;\n"
           "progress and messages go to standard error. Exit status: 0 all written,\n"
           "1 the batch stopped at a file that failed, 2 bad usage or rejected input\n"
           "(nothing converted), 130/143/129 stopped by Ctrl-C, SIGTERM or SIGHUP (no\n"
           "half-written file is left).\n" +
           WindowsNotes();
}

}  // namespace tovali
