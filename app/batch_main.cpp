// tovali3-batch: converts pictures with the window's settings and rules,
// without a display. Exit status 0 all written, 1 stopped at a failed file,
// 2 bad usage or rejected input, 128 + the signal when stopped by one.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "exif/WinApi.h"
// clang-format off
#include <shellapi.h>
// clang-format on
#endif

#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/batch/BatchCommandLine.h"
#include "app/batch/ConsoleText.h"
#include "app/batch/ConvertJob.h"
#include "app/batch/Intake.h"
#include "app/batch/OptionSnapshot.h"
#include "app/batch/StopSignals.h"
#include "app/batch/TerminalReporter.h"
#include "engine/codecs/Stoppable.h"
#include "exif/WidePath.h"
#include "ui/settings/FontList.h"
#include "ui/settings/Settings.h"
#include "ui/settings/SettingsDir.h"

using namespace tovali;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSignalBase = 128;

// A line of this program's own to standard error.
void SayLine(const std::string& text) {
    WriteText(stderr, text + "\n");
}

// Qt's own diagnostics are not this program's messages.
void DropQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) SayLine(message.toStdString());
}

// The arguments after the program's name. Windows gives them as UTF-16
// (the narrow argv would have gone through the ANSI code page and lost what
// it cannot hold); they become the program's own text.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc, (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const std::wstring_view argument(wide[i]);
        arguments.push_back(Wtf8FromUtf16(std::u16string(argument.begin(), argument.end())));
    }
    LocalFree(wide);
    return arguments;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

// A closed standard output must not kill the program halfway through a file
// (Linux's SIGPIPE; on Windows the write just fails). Windows would turn
// line feeds into CRLF on the way out: the bytes go as they are, as on Linux.
void PrepareStandardStreams() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#else
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

// The summary texts use CRLF line ends; a terminal wants plain line feeds.
std::string WithLineFeeds(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") != 0) result += text[i];
    }
    if (result.empty() || result.back() != '\n') result += '\n';
    return result;
}

// The settings the batch runs on: the file (the window's own config.ini by
// default), then every --set in order. Warnings go to standard error.
TSettings LoadBatchSettings(const TBatchCommand& command) {
    std::optional<std::filesystem::path> path;
    if (command.ConfigFile) {
        path = FileSystemPath(*command.ConfigFile);
    } else if (const auto dir = FindSettingsDir()) {
        path = SettingsFilePath(*dir);
    } else {
        SayLine(kNoSettingsDirMessage);
    }
    TSettingsFile file(path.value_or(std::filesystem::path()));
    if (!file.ReadProblem().empty()) SayLine(file.ReadProblem());
    for (const TSettingOverride& o : command.Overrides) file.SetValue(o.Section, o.Key, o.Value);
    QStringList faces;
    BuildFontList(faces);
    std::vector<std::string> installed;
    for (const QString& face : faces) installed.push_back(face.toStdString());
    return file.Read(installed);
}

// The job over the accepted files, with the options of the settings.
TJobOutcome RunJob(const TBatchCommand& command, const TSettings& settings,
                   const std::vector<std::string>& files, TTerminalReporter& reporter,
                   const TJobStop& stop) {
    TConvertOptions options;
    try {
        options = SnapshotOptions(settings, command.Date.value_or(QDate::currentDate()),
                                  command.Contrast);
    } catch (const std::exception& e) {
        return FailConvertJob(files, e.what(), reporter);
    }
    try {
        TEngineSteps steps(command.Jobs > 0 ? command.Jobs : DefaultJobCount());
        return RunConvertJob(files, options, reporter, steps, &stop);
    } catch (const std::exception& e) {
        // Nothing the job itself could report, such as a thread that
        // cannot be had: a failed job all the same.
        SayLine(e.what());
        return TJobOutcome::Failed;
    }
}

int Convert(const TBatchCommand& command, const TJobStop& stop) {
    const TSettings settings = LoadBatchSettings(command);
    TPathList fileList;
    std::string message;
    bool accepted = false;
    try {
        accepted = CheckFiles(command.Pictures, settings, fileList, message, stop.Flag());
    } catch (const EStopped&) {
        // A signal while intake counts a large GIF's images: nothing was
        // converted, and the program ends as a stopped job does.
        return kExitSignalBase + CaughtStopSignal();
    }
    if (!accepted) {
        WriteText(stderr, WithLineFeeds(message));
        return kExitUsage;
    }
    const std::size_t count = fileList.size();
    TTerminalReporter reporter(stdout, stderr, IsTerminal(stderr));
    if (command.Null) reporter.SetPathEnd('\0');
    ShowJobStarting(reporter, count);
    const bool succeeded =
        RunJob(command, settings, fileList, reporter, stop) == TJobOutcome::Completed;
    ShowJobEnded(reporter, count, succeeded);
    reporter.Finish();
    if (const int signal = CaughtStopSignal()) return kExitSignalBase + signal;
    if (succeeded) return 0;
    if (const std::string detail = reporter.FailureDetail(); !detail.empty()) SayLine(detail);
    return kExitFailed;
}

// The offscreen platform finds its fonts only in QT_QPA_FONTDIR (or beside
// Qt's libraries): on Windows that is the system's font folder, so that the
// date and the comment are drawn in the faces the window offers.
void UseSystemFontsOffscreen() {
#ifdef _WIN32
    if (_wgetenv(L"QT_QPA_FONTDIR") != nullptr) return;
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    _wputenv_s(L"QT_QPA_FONTDIR", (std::wstring(windows, length) + L"\\Fonts").c_str());
#endif
}

}  // namespace

int main(int argc, char** argv) {
    PrepareStandardStreams();
    const auto parsed = ParseBatchCommandLine(Arguments(argc, argv));
    if (const auto* error = std::get_if<TUsageError>(&parsed)) {
        WriteText(stderr, error->Message + "\n" + BatchUsage());
        return kExitUsage;
    }
    const auto& command = std::get<TBatchCommand>(parsed);
    if (command.Action == TBatchCommand::TAction::Help) {
        WriteText(stdout, BatchHelp());
        return 0;
    }
    if (command.Action == TBatchCommand::TAction::Version) {
        std::printf("tovali3-batch %s\n", TOVALI_VERSION);
        return 0;
    }
    // Fonts need QtGui; the offscreen platform needs no display, whatever the
    // environment asks for. Qt gets no arguments of ours to interpret.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    UseSystemFontsOffscreen();
    qInstallMessageHandler(DropQtMessage);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    TJobStop stop;
    CatchStopSignals(&stop);
    return Convert(command, stop);
}
