// The window's whole job, offscreen: the main window with the box fit at
// 1280 x 1280 (every other setting at its default) takes the named pictures
// through intake, and the job thread converts them with its blocking
// hand-overs to the interface thread. Ends when the job has ended; exit
// status 0 when every picture was written. For bench/window.sh.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/UnitMain.h"
#include "app/UnitStatus.h"
#include "ui/MessageBox.h"

using namespace tovali;

int main(int argc, char** argv) {
    // Default settings, and the user's own left alone.
    QTemporaryDir settingsHome;
    qputenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetMessageBoxHook([](const QString& text, QMessageBox::StandardButtons) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return QMessageBox::Ok;
    });

    TFormMainJob form;
    FormMain = &form;
    TFormStatus status;
    FormStatus = &status;
    status.SetMainWindow(&form);
    form.CBPicSize->setChecked(true);
    form.CBSizeList->setCurrentIndex(0);

    TPathList paths;
    for (int i = 1; i < argc; ++i) paths.push_back(argv[i]);
    form.ConvertFiles(paths);
    if (!form.IsConverting()) return 2;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!form.IsConverting()) QApplication::quit();
    });
    poll.start(2);
    QApplication::exec();
    return status.BtnOpenDir->isEnabled() ? 0 : 1;
}
