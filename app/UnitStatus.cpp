#include "UnitStatus.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QWindow>

TFormStatus* FormStatus = nullptr;

namespace {

// The window's face at 12 pixels; the Windows face first for machines that
// have it, then installed Japanese faces of the same proportional design.
QFont StatusFont() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("IPAGothic")});
    font.setPixelSize(12);
    return font;
}

}  // namespace

TFormStatus::TFormStatus(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    // A title bar without any buttons: the window cannot be closed from it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("進行状況"));
    setFixedSize(395, 86);
    setFont(StatusFont());
    // Hidden or shown, this window never keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    CreateControls();
    FormCreate();
}

void TFormStatus::CreateControls() {
    ProgressBarStatus = new QProgressBar(this);
    ProgressBarStatus->setObjectName("ProgressBarStatus");
    ProgressBarStatus->setGeometry(8, 12, 377, 17);
    ProgressBarStatus->setRange(0, 100);
    ProgressBarStatus->setValue(0);
    ProgressBarStatus->setTextVisible(false);

    LabelStatus = new QLabel(this);
    LabelStatus->setObjectName("LabelStatus");
    LabelStatus->setGeometry(8, 36, 377, 12);
    LabelStatus->setAlignment(Qt::AlignCenter);

    BtnClose = new QPushButton(QStringLiteral("閉じる"), this);
    BtnClose->setObjectName("BtnClose");
    BtnClose->setGeometry(204, 55, 75, 25);
    connect(BtnClose, &QPushButton::clicked, this, &TFormStatus::BtnCloseClick);

    BtnOpenDir = new QPushButton(QStringLiteral("保存先を開く"), this);
    BtnOpenDir->setObjectName("BtnOpenDir");
    BtnOpenDir->setGeometry(116, 55, 75, 25);
    connect(BtnOpenDir, &QPushButton::clicked, this, &TFormStatus::BtnOpenDirClick);

    setTabOrder(BtnClose, BtnOpenDir);
}

void TFormStatus::FormCreate() {
    LabelStatus->clear();
}

void TFormStatus::SetRange(int minimum, int maximum) {
    ProgressBarStatus->setRange(minimum, maximum);
    ProgressBarStatus->setValue(ProgressBarStatus->minimum());
}

// A position outside the range stops at its nearer end, as a bar does on
// Windows (Qt would ignore it).
void TFormStatus::SetPosition(int value) {
    ProgressBarStatus->setValue(
        qBound(ProgressBarStatus->minimum(), value, ProgressBarStatus->maximum()));
}

void TFormStatus::SetStatus(const QString& text) {
    LabelStatus->setText(text);
}

void TFormStatus::EnableCloseButton(bool enabled) {
    BtnClose->setEnabled(enabled);
}

void TFormStatus::EnableOpenDirButton(bool enabled) {
    BtnOpenDir->setEnabled(enabled);
}

void TFormStatus::SetSaveDir(const QString& dir) {
    SetSaveDirBytes(QFile::encodeName(dir).toStdString());
}

void TFormStatus::SetSaveDirBytes(const std::string& dir) {
    QMutexLocker lock(&saveDirLock_);
    saveDir_ = dir;
}

QString TFormStatus::SaveDir() const {
    QMutexLocker lock(&saveDirLock_);
    return QString::fromUtf8(saveDir_);
}

void TFormStatus::BtnCloseClick() {
    hide();
    if (!mainWindow_) return;
    mainWindow_->setEnabled(true);
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

void TFormStatus::BtnOpenDirClick() {
    std::string dir;
    {
        QMutexLocker lock(&saveDirLock_);
        dir = saveDir_;
    }
    // Built from the escaped bytes, so a folder whose name is not UTF-8
    // opens all the same.
    const QByteArray escaped = QByteArray::fromStdString(dir).toPercentEncoding("/");
    if (!dir.empty()) QDesktopServices::openUrl(QUrl::fromEncoded("file://" + escaped));
}

// The program's own closes (the application ending) still go through: a
// refused one would keep the program alive after the main window closed.
void TFormStatus::closeEvent(QCloseEvent* event) {
    if (event->spontaneous()) event->ignore();
}

void TFormStatus::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Centred by the program's own show, not when the window system restores it.
    if (event->spontaneous() || !mainWindow_) return;
    // The window manager keeps this window above the main window (a Qt parent
    // would be disabled together with it).
    mainWindow_->winId();
    windowHandle()->setTransientParent(mainWindow_->windowHandle());
    QRect frame = frameGeometry();
    frame.moveCenter(mainWindow_->frameGeometry().center());
    move(frame.topLeft());
}
