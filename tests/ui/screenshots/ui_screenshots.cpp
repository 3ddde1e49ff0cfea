// Shows the main window on each of its pages, switched on as a user would
// set it up, and the progress window during and after a job, and saves a
// picture of each from the screen for the help pages. Run under a real X
// server (scripts/screenshots.sh starts Xvfb).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QThread>
#include <cstdio>

#include "app/UnitStatus.h"
#include "tests/ScratchSettings.h"
#include "ui/FormMain.h"

using namespace tovali;

namespace {

// Lets the window paint before it is grabbed.
void Settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

bool Shoot(QWidget& window, const QDir& dir, const QString& name) {
    Settle();
    const QString path = dir.filePath(name + ".png");
    if (window.screen()->grabWindow(window.winId()).save(path, "PNG")) return true;
    std::fprintf(stderr, "ui_screenshots: cannot write %s\n", qPrintable(path));
    return false;
}

// The progress window of a three-picture job, halfway and at the end.
bool ShootStatus(TFormMain& form, const QDir& dir) {
    TFormStatus status;
    status.SetMainWindow(&form);
    status.SetRange(0, 17);
    status.SetPosition(8);
    status.SetStatus(QStringLiteral("[IMG_0002.jpg]を処理しています"));
    status.EnableCloseButton(false);
    status.EnableOpenDirButton(false);
    status.show();
    bool ok = Shoot(status, dir, "status-running");
    status.SetPosition(17);
    status.SetStatus(QStringLiteral("3枚の画像処理が完了しました"));
    status.EnableCloseButton(true);
    status.EnableOpenDirButton(true);
    ok &= Shoot(status, dir, "status-done");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(".")) return 1;

    // The pictures show the defaults, whatever this user has saved.
    const TScratchSettings settings;
    TFormMain form;
    form.show();
    bool ok = Shoot(form, dir, "main-top");

    form.CBPicSize->setChecked(true);
    form.CBFilter->setChecked(true);
    form.CBContrast->setChecked(true);
    form.CBDate->setChecked(true);
    form.CBComment->setChecked(true);
    form.EditComment->setText(QStringLiteral("夏休み 2024"));
    form.CBQuality->setChecked(true);
    const char* const pages[] = {"main-size",    "main-filter", "main-date",
                                 "main-comment", "main-save",   "main-jpeg"};
    for (int page = 1; page <= 6; ++page) {
        form.PGConfig->setCurrentIndex(page);
        ok &= Shoot(form, dir, QString::fromLatin1(pages[page - 1]));
    }
    ok &= ShootStatus(form, dir);
    return ok ? 0 : 1;
}
