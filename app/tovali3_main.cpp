// The program tovali3: one instance per user session, the main window and the
// progress window, and the pictures named on the command line converted as
// one batch.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTranslator>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/DesktopTheme.h"
#include "app/SingleInstance.h"
#include "app/UnitMain.h"
#include "app/UnitStatus.h"
#include "app/batch/StopSignals.h"
#include "exif/WidePath.h"
#include "resources/Artwork.h"
#include "ui/MessageBox.h"

using namespace tovali;

namespace {

constexpr int kExitSignalBase = 128;

// The arguments after the program's name (Qt has removed its own options by
// now). On Linux the bytes the system gave: a name that is not UTF-8 would
// not survive a trip through QString. On Windows Qt's, which it took as
// UTF-16 from the system (the narrow argv went through the ANSI code page);
// a QString keeps even a lone surrogate of an odd name.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc, (void)argv;
    std::vector<std::string> arguments;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(Wtf8FromUtf16(all[i].toStdU16String()));
    return arguments;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

// Every argument is the path of a picture, in the order given; relative ones
// are taken from the current folder.
TPathList CommandLinePaths(int argc, char** argv) {
    TPathList paths;
    for (const std::string& argument : Arguments(argc, argv)) {
        const std::filesystem::path path = FileSystemPath(argument);
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
        paths.push_back(PathText(ec ? path : absolute));
    }
    return paths;
}

// For tests that run the program as a separate process: with
// TOVALI3_MESSAGE_LOG set, message boxes are not shown; their texts are
// appended to that file, one per line, and the first button is the answer.
void LogMessagesInsteadOfShowing() {
    const QString log = qEnvironmentVariable("TOVALI3_MESSAGE_LOG");
    if (log.isEmpty()) return;
    SetMessageBoxHook([log](const QString& text, QMessageBox::StandardButtons buttons) {
        QFile file(log);
        if (file.open(QIODevice::Append | QIODevice::Text)) QTextStream(&file) << text << '\n';
        for (int bit = 0; bit < 32; ++bit) {
            if (buttons.testFlag(QMessageBox::StandardButton(1u << bit)))
                return QMessageBox::StandardButton(1u << bit);
        }
        return QMessageBox::NoButton;
    });
}

// The interface is Japanese whatever the locale, so Qt's own buttons and
// dialogs (はい/いいえ, the colour dialog) speak Japanese too.
void InstallJapaneseQtTexts(QApplication& app, QTranslator& translator) {
    if (translator.load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}

// A stop signal ends the program as a confirmed close does: the job is
// stopped and the settings are saved, without a question nobody may be there
// to answer.
void CloseOnStopSignal(QObject* context, TFormMain& form) {
    const int fd = CatchStopSignals(nullptr);
    if (fd < 0) return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [&form] {
        form.QuietSave = true;
        QCoreApplication::exit(kExitSignalBase + CaughtStopSignal());
    });
}

// Log-off or shut-down ends the program as a confirmed close does, without
// the question. Windows asks every program first (WM_QUERYENDSESSION, Qt's
// commitDataRequest) and may end the process as soon as it has answered the
// second message (WM_ENDSESSION, on which Qt quits), so the job is stopped
// and the settings are saved in the answer to the first. On Linux the
// session's end is a stop signal (CloseOnStopSignal).
void CloseOnSessionEnd(QApplication& app, TFormMainJob& form) {
#if defined(_WIN32) && !defined(QT_NO_SESSIONMANAGER)
    // Only a quit that follows the session's end goes unasked and quiet: an
    // ordinary close still reports a settings file it cannot write.
    auto ending = std::make_shared<bool>(false);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form, ending] {
        *ending = true;
        form.EndSession();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form, ending] {
        if (!*ending) return;
        form.AskBeforeClose = false;
        form.QuietSave = true;
    });
#else
    Q_UNUSED(app);
    Q_UNUSED(form);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    TInstanceLock instance;
    const bool alone = instance.Acquire();
    const bool darkStyle = PrepareDarkDesktopLook();
    QApplication app(argc, argv);
    if (darkStyle) UseDarkDesktopStyle();
    QTranslator qtTexts;
    InstallJapaneseQtTexts(app, qtTexts);
    LogMessagesInsteadOfShowing();
    if (!alone) {
        // No title yet: the box is captioned with the program file's name.
        ShowMessage(nullptr, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(),
                    QStringLiteral("既に起動しています"));
        return 1;
    }
    QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.quorbel.Tovali3"));
    QApplication::setWindowIcon(ProgramIcon());

    auto form = std::make_unique<TFormMainJob>();
    FormMain = form.get();
    auto status = std::make_unique<TFormStatus>();
    FormStatus = status.get();
    status->SetMainWindow(form.get());
    form->SetStatusWindow(status.get());

    CloseOnStopSignal(&app, *form);
    CloseOnSessionEnd(app, *form);
    const TPathList paths = CommandLinePaths(argc, argv);
    if (!paths.empty()) form->ConvertFiles(paths);
    int result = 0;
    if (const int signal = CaughtStopSignal()) {
        form->QuietSave = true;  // came while the command line's batch was checked
        result = kExitSignalBase + signal;
    } else {
        form->show();
        result = QApplication::exec();
    }
    // The main window goes first: it stops a running job (which still talks
    // to the progress window) and saves the settings.
    form.reset();
    FormStatus = nullptr;
    return result;
}
