// The program tovali3: one instance per user session, the main window and the
// progress window, and the pictures named on the command line converted as
// one batch.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTextStream>
#include <QTranslator>
#include <filesystem>
#include <memory>

#include "Artwork.h"
#include "MessageBox.h"
#include "SingleInstance.h"
#include "UnitMain.h"
#include "UnitStatus.h"

namespace {

// Every argument is the path of a picture, in the order given; relative ones
// are taken from the current folder.
TPathList CommandLinePaths() {
    TPathList paths;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const std::filesystem::path path(QFile::encodeName(arguments[i]).toStdString());
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
        paths.push_back((ec ? path : absolute).string());
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

}  // namespace

int main(int argc, char** argv) {
    TInstanceLock instance;
    const bool alone = instance.Acquire();
    QApplication app(argc, argv);
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

    const TPathList paths = CommandLinePaths();
    if (!paths.empty()) form->ConvertFiles(paths);
    form->show();
    const int result = QApplication::exec();
    // The main window goes first: it stops a running job (which still talks
    // to the progress window) and saves the settings.
    form.reset();
    FormStatus = nullptr;
    return result;
}
