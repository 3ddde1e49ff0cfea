#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "app/batch/BatchCommandLine.h"
#include "app/batch/TerminalReporter.h"
#include "ui/settings/Settings.h"

using namespace tovali;

namespace {

TBatchCommand Parsed(const std::vector<std::string>& args) {
    const auto result = ParseBatchCommandLine(args);
    if (const auto* error = std::get_if<TUsageError>(&result)) ADD_FAILURE() << error->Message;
    return std::holds_alternative<TBatchCommand>(result) ? std::get<TBatchCommand>(result)
                                                         : TBatchCommand{};
}

std::string ErrorOf(const std::vector<std::string>& args) {
    const auto result = ParseBatchCommandLine(args);
    const auto* error = std::get_if<TUsageError>(&result);
    return error ? error->Message : "";
}

std::string Contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += char(c);
    return text;
}

}  // namespace

TEST(BatchCommandLine, OptionsAndPictures) {
    const TBatchCommand c =
        Parsed({"--config", "/c.ini", "a.jpg", "--set", "PIC_SIZE/USE_PIC_SIZE=1",
                "--set=pic_comment/comment=a=b", "--date", "2024-02-29", "--contrast", "b.png"});
    EXPECT_EQ(c.Action, TBatchCommand::TAction::Convert);
    EXPECT_EQ(c.ConfigFile, "/c.ini");
    ASSERT_EQ(c.Overrides.size(), 2u);
    EXPECT_EQ(c.Overrides[0].Section, "PIC_SIZE");
    EXPECT_EQ(c.Overrides[0].Key, "USE_PIC_SIZE");
    EXPECT_EQ(c.Overrides[0].Value, "1");
    EXPECT_EQ(c.Overrides[1].Key, "comment");
    EXPECT_EQ(c.Overrides[1].Value, "a=b");
    EXPECT_EQ(c.Date, QDate(2024, 2, 29));
    EXPECT_TRUE(c.Contrast);
    EXPECT_EQ(c.Pictures, (std::vector<std::string>{"a.jpg", "b.png"}));
}

TEST(BatchCommandLine, DefaultsAndTheEndOfOptions) {
    const TBatchCommand c = Parsed({"--", "--contrast.jpg", "-", "x.gif"});
    EXPECT_FALSE(c.ConfigFile);
    EXPECT_FALSE(c.Date);
    EXPECT_FALSE(c.Contrast);
    EXPECT_TRUE(c.Overrides.empty());
    EXPECT_EQ(c.Pictures, (std::vector<std::string>{"--contrast.jpg", "-", "x.gif"}));
    EXPECT_EQ(Parsed({"--set", "PIC_COMMENT/COMMENT=", "a.jpg"}).Overrides.at(0).Value, "");
    EXPECT_EQ(c.Jobs, 0) << "the cores";
    EXPECT_EQ(Parsed({"--jobs", "1", "a.jpg"}).Jobs, 1);
    EXPECT_EQ(Parsed({"--jobs=12", "a.jpg"}).Jobs, 12);
    EXPECT_NE(BatchHelp().find("--jobs N"), std::string::npos);
}

TEST(BatchCommandLine, HelpAndVersion) {
    EXPECT_EQ(Parsed({"--help"}).Action, TBatchCommand::TAction::Help);
    EXPECT_EQ(Parsed({"a.jpg", "--version"}).Action, TBatchCommand::TAction::Version);
    EXPECT_NE(BatchHelp().find("使い方"), std::string::npos);
    EXPECT_NE(BatchHelp().find("Exit status"), std::string::npos);
    for (const char* input : {"HEIC/HEIF", "AVIF", "WebP"})
        EXPECT_NE(BatchHelp().find(input), std::string::npos);
}

TEST(BatchCommandLine, BadUsageIsOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--contrast"},
        {"--bogus", "a.jpg"},
        {"-x", "a.jpg"},
        {"--set", "PIC_SIZE=1", "a.jpg"},
        {"--set", "PIC_SIZE/NO_SUCH_KEY=1", "a.jpg"},
        {"--set", "/USE_PIC_SIZE=1", "a.jpg"},
        {"--set", "PIC_SIZE/USE_PIC_SIZE", "a.jpg"},
        {"--date", "2023-02-30", "a.jpg"},
        {"--date", "2023-2-3", "a.jpg"},
        {"--date=yesterday", "a.jpg"},
        {"a.jpg", "--config"},
        {"--config=", "a.jpg"},
        {"--contrast=1", "a.jpg"},
        {"--jobs", "0", "a.jpg"},
        {"--jobs=-2", "a.jpg"},
        {"--jobs", "two", "a.jpg"},
        {"a.jpg", "--jobs"},
    };
    for (const auto& args : bad) {
        const std::string message = ErrorOf(args);
        EXPECT_EQ(message.rfind("tovali3-batch: ", 0), 0u) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
    EXPECT_NE(ErrorOf({"--bogus", "a.jpg"}).find("--bogus"), std::string::npos);
}

// The settings a command line gives over a settings file holding `file`.
TSettings SettingsOf(const std::vector<std::string>& args,
                     const std::vector<TSettingOverride>& file = {}) {
    TSettingsFile settings("");
    for (const auto& o : file) settings.SetValue(o.Section, o.Key, o.Value);
    for (const auto& o : Parsed(args).Overrides) settings.SetValue(o.Section, o.Key, o.Value);
    return settings.Read({});
}

TEST(BatchCommandLine, ShortOptionsSpellSettingsKeysInOrderWithSet) {
    TSettings s = SettingsOf(
        {"--type", "webp", "--box", "1280x960", "--quality", "60", "--suffix", "_s", "a.jpg"});
    EXPECT_TRUE(s.RBWebp && !s.RBJpeg);
    EXPECT_TRUE(s.CBPicSize && s.RBInputPicSize && !s.RBRegularSize);
    EXPECT_EQ(s.EditPicWidth, "1280");
    EXPECT_EQ(s.EditPicHeight, "960");
    EXPECT_TRUE(s.CBQuality && s.RBQuality && !s.RBFileSize);
    EXPECT_EQ(s.CBQualityLevel, 2);
    EXPECT_TRUE(s.RBDecidesName && !s.RBMakeDir);
    EXPECT_EQ(s.CBSelectNamePos, 1);
    EXPECT_EQ(s.EditFileName, "_s");

    s = SettingsOf({"--quality=10", "--max-size", "200", "--box=640", "--prefix", "web-", "--into",
                    "ウェブ", "--set", "PIC_SIZE/HEIGHT=480", "a.jpg"});
    EXPECT_TRUE(s.CBQuality && s.RBFileSize && !s.RBQuality);
    EXPECT_EQ(s.CBQualityLevel, 4);
    EXPECT_EQ(s.EditFileSize, "200");
    EXPECT_EQ(s.EditPicWidth, "640");
    EXPECT_EQ(s.EditPicHeight, "480") << "a later --set wins";
    EXPECT_TRUE(s.RBMakeDir && !s.RBDecidesName);
    EXPECT_EQ(s.EditDirName, "ウェブ");
    EXPECT_EQ(s.EditFileName, "web-");

    // A type chosen on the command line wins over any type the file holds,
    // even one whose key is read later.
    for (const char* type : {"jpeg", "png", "gif", "bmp", "webp", "avif"}) {
        s = SettingsOf({"--type", type, "a.jpg"}, {{"PIC_SAVE", "TYPE_AVIF", "1"},
                                                   {"PIC_SAVE", "TYPE_WEBP", "1"},
                                                   {"PIC_SAVE", "TYPE_BMP", "1"}});
        const bool chosen[] = {s.RBJpeg, s.RBPng, s.RBGif, s.RBBMP, s.RBWebp, s.RBAvif};
        EXPECT_EQ(std::count(std::begin(chosen), std::end(chosen), true), 1) << type;
        EXPECT_EQ(s.RBAvif, std::string(type) == "avif") << type;
    }
}

TEST(BatchCommandLine, BadShortOptionValuesAreUsageErrorsNamingTheOption) {
    const std::vector<std::vector<std::string>> bad = {
        {"--type", "tiff"},  {"--type", "JPEG."},   {"--box", "9"},
        {"--box", "1280x"},  {"--box", "0x100"},    {"--box", "123456"},
        {"--box", "-5"},     {"--quality", "70"},   {"--quality", "best"},
        {"--max-size", "9"}, {"--max-size", "1e3"}, {"--max-size", "1234567"},
        {"--into", "a/b"},   {"--into="},           {"--prefix", ""},
        {"--suffix", "a:b"}, {"--suffix", "x*"},
    };
    for (auto args : bad) {
        const std::string option = args[0].substr(0, args[0].find('='));
        args.push_back("a.jpg");
        const std::string message = ErrorOf(args);
        EXPECT_EQ(message.rfind("tovali3-batch: ", 0), 0u) << args[0] << " " << args[1];
        EXPECT_NE(message.find(option), std::string::npos) << message;
    }
    EXPECT_NE(ErrorOf({"a.jpg", "--type"}).find("--type"), std::string::npos);
    for (const char* option : {"--type TYPE", "--box WxH|N", "--quality LEVEL", "--max-size KB",
                               "--into NAME", "--prefix TEXT", "--suffix TEXT", "webp", "avif"})
        EXPECT_NE(BatchHelp().find(option), std::string::npos) << option;
}

TEST(TerminalReporter, PathsOnStandardOutputTextsOnStandardError) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        TTerminalReporter reporter(out, err, false);
        ShowJobStarting(reporter, 1);
        reporter.SetStatus(ProcessingText("a.jpg"));
        reporter.SetPosition(3);
        reporter.FileSaved("/p/s-a.jpg");
        ShowJobEnded(reporter, 1, true);
        reporter.Finish();
        EXPECT_EQ(reporter.FailureDetail(), "");
    }
    EXPECT_EQ(Contents(out), "/p/s-a.jpg\n");
    EXPECT_EQ(Contents(err),
              "初期化中････\n[a.jpg]を処理しています\n1枚の画像処理が完了しました\n");
    std::fclose(out);
    std::fclose(err);
}

TEST(TerminalReporter, BarOnlyOnATerminalAndTakenOffAtTheEnd) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    TTerminalReporter reporter(out, err, true);
    ShowJobStarting(reporter, 2);
    reporter.SetPosition(11);
    reporter.Finish();
    const std::string text = Contents(err);
    EXPECT_NE(text.find("初期化中････\n"), std::string::npos);
    EXPECT_NE(text.find("] 11/11"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K");
    std::fclose(out);
    std::fclose(err);
}

TEST(TerminalReporter, FailureDetailNamesTheFileTheStepAndWhy) {
    std::FILE* out = std::tmpfile();
    TTerminalReporter reporter(out, out, false);
    EXPECT_EQ(reporter.FailureDetail(), "");
    reporter.Failed({0, "a.jpg", TJobStep::Load, "Not a JPEG file"});
    EXPECT_EQ(reporter.FailureDetail(), "[a.jpg] 読込み (load): Not a JPEG file");
    reporter.Failed({0, "a.jpg", TJobStep::Save, "No space left on device"});
    EXPECT_EQ(reporter.FailureDetail(), "[a.jpg] 保存 (save): No space left on device");
    std::fclose(out);
}
