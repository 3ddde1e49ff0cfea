#include "app/UnitStatus.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionProgressBar>
#include <QStylePainter>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "app/FileBrowser.h"

#include "exif/WidePath.h"
#include "ui/settings/FontList.h"

namespace tovali {

TFormStatus* FormStatus = nullptr;

namespace {

// The window's face at 12 pixels (9 points at 96 dpi).
QFont StatusFont() {
    QFont font;
    font.setFamilies(WindowFontFamilies());
    font.setPixelSize(12);
    return font;
}

// Six bar positions per file (0 .. 6N - 1): the files done at a position.
int FilesDone(int position) {
    return (position + 1) / 6;
}

int FileCount(int maximum) {
    return (maximum + 1) / 6;
}

// The job's bar: its text is set from outside (the count and the time left)
// and is drawn twice, clipped, so that it reads in the highlight's text
// colour over the filled part and in the text colour over the empty part,
// whatever the style does with a bar's label. Screen readers read the same
// text as the bar's value text and its description.
class TJobBar final : public QProgressBar {
  public:
    using QProgressBar::QProgressBar;

    void SetCaption(const QString& caption) {
        if (caption == caption_) return;
        caption_ = caption;
        update();
        QAccessibleValueChangeEvent valueChanged(this, value());
        QAccessible::updateAccessibility(&valueChanged);
        QAccessibleEvent described(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
    }
    QString text() const override { return caption_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionProgressBar option;
        initStyleOption(&option);
        option.textVisible = false;
        painter.drawControl(QStyle::CE_ProgressBar, option);
        const qint64 span = qint64(maximum()) - minimum();
        const int filled =
            span <= 0 ? width() : int(width() * (qint64(value()) - minimum()) / span);
        const QRect done(0, 0, filled, height());
        const QRect rest(filled, 0, width() - filled, height());
        for (const auto& [clip, role] :
             {std::pair{done, QPalette::HighlightedText}, std::pair{rest, QPalette::Text}}) {
            painter.setClipRect(clip);
            painter.setPen(palette().color(role));
            painter.drawText(rect(), Qt::AlignCenter, caption_);
        }
    }

  private:
    QString caption_;
};

// What screen readers are told of the bar: a progress bar whose value text
// and description are the bar's own text (Qt's own interface gives the bare
// position, and AT-SPI carries no value text, only the description).
class TJobBarAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit TJobBarAccessible(TJobBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value || kind == QAccessible::Description) return Bar()->text();
        return QAccessibleWidget::text(kind);
    }
    QVariant currentValue() const override { return Bar()->value(); }
    void setCurrentValue(const QVariant&) override {}  // read only
    QVariant maximumValue() const override { return Bar()->maximum(); }
    QVariant minimumValue() const override { return Bar()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

  private:
    const TJobBar* Bar() const { return static_cast<const TJobBar*>(widget()); }
};

QAccessibleInterface* JobBarAccessibleFactory(const QString&, QObject* object) {
    auto* bar = dynamic_cast<TJobBar*>(object);
    return bar ? new TJobBarAccessible(bar) : nullptr;
}

}  // namespace

QString JobBarText(int filesDone, int fileCount, qint64 remainingSeconds) {
    const QString count = QStringLiteral("%1 / %2").arg(filesDone).arg(fileCount);
    return remainingSeconds < 0 ? count
                                : count + QStringLiteral("  ") + RemainingText(remainingSeconds);
}

QString RemainingText(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("残り約%1秒").arg(std::max<qint64>(10, (seconds + 9) / 10 * 10));
    return QStringLiteral("残り約%1分").arg((seconds + 30) / 60);
}

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
    static const bool factoryInstalled =
        (QAccessible::installFactory(JobBarAccessibleFactory), true);
    Q_UNUSED(factoryInstalled);
    ProgressBarStatus = new TJobBar(this);
    ProgressBarStatus->setObjectName("ProgressBarStatus");
    ProgressBarStatus->setAccessibleName(QStringLiteral("進行状況"));
    ProgressBarStatus->setGeometry(8, 12, 377, 17);
    ProgressBarStatus->setRange(0, 100);
    ProgressBarStatus->setValue(0);

    LabelStatus = new QLabel(this);
    LabelStatus->setObjectName("LabelStatus");
    LabelStatus->setGeometry(8, 36, 377, 12);
    LabelStatus->setAlignment(Qt::AlignCenter);

    BtnClose = new QPushButton(QStringLiteral("閉じる"), this);
    BtnClose->setObjectName("BtnClose");
    BtnClose->setGeometry(204, 55, 75, 25);
    connect(BtnClose, &QPushButton::clicked, this,
            [this] { stop_ ? BtnStopClick() : BtnCloseClick(); });

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
    LabelStatus->setToolTip(QString());
    clock_.start();
    UpdateBarText();
}

// A position outside the range stops at its nearer end, as a bar does on
// Windows (Qt would ignore it).
void TFormStatus::SetPosition(int value) {
    ProgressBarStatus->setValue(
        qBound(ProgressBarStatus->minimum(), value, ProgressBarStatus->maximum()));
    UpdateBarText();
}

// The time left is the average time of the files done so far times the files
// still to do; it shows only while the job runs, once three files are done.
void TFormStatus::UpdateBarText() {
    const int done = FilesDone(ProgressBarStatus->value());
    const int count = FileCount(ProgressBarStatus->maximum());
    qint64 remaining = -1;
    if (stop_ && done >= 3 && done < count && clock_.isValid())
        remaining = clock_.elapsed() * (count - done) / done / 1000;
    static_cast<TJobBar*>(ProgressBarStatus)->SetCaption(JobBarText(done, count, remaining));
}

void TFormStatus::SetStatus(const QString& text) {
    LabelStatus->setText(text);
}

void TFormStatus::SetStatusTip(const QString& text) {
    LabelStatus->setToolTip(text);
}

void TFormStatus::EnableCloseButton(bool enabled) {
    BtnClose->setEnabled(enabled);
}

void TFormStatus::EnableOpenDirButton(bool enabled) {
    BtnOpenDir->setEnabled(enabled);
}

void TFormStatus::SetStopAction(std::function<void()> stop) {
    stop_ = std::move(stop);
    BtnClose->setText(stop_ ? QStringLiteral("中止") : QStringLiteral("閉じる"));
    if (stop_) BtnClose->setEnabled(true);
    UpdateBarText();
}

void TFormStatus::BtnStopClick() {
    if (!stop_) return;
    // Once: the job ends within its current step and then restores the button.
    BtnClose->setEnabled(false);
    stop_();
}

void TFormStatus::BringToFront() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

void TFormStatus::SetSaveDir(const QString& dir) {
#ifdef _WIN32
    // The job's paths are WTF-8 there; the ANSI code page would lose names.
    SetSaveDirBytes(Wtf8FromUtf16(dir.toStdU16String()));
#else
    SetSaveDirBytes(QFile::encodeName(dir).toStdString());
#endif
}

void TFormStatus::SetSaveDirBytes(const std::string& dir, const std::string& lastSavedFile) {
    QMutexLocker lock(&saveDirLock_);
    saveDir_ = dir;
    lastSavedFile_ = lastSavedFile;
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
    std::string dir, file;
    {
        QMutexLocker lock(&saveDirLock_);
        dir = saveDir_;
        file = lastSavedFile_;
    }
    ShowInFileBrowser(dir, file, mainWindow_ ? mainWindow_.data() : this);
}

// The program's own closes (the application ending) still go through: a
// refused one would keep the program alive after the main window closed.
void TFormStatus::closeEvent(QCloseEvent* event) {
    if (event->spontaneous()) event->ignore();
}

// Esc presses the button ("中止" while the job runs, "閉じる" after it).
void TFormStatus::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (BtnClose->isEnabled()) BtnClose->click();
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

}  // namespace tovali
