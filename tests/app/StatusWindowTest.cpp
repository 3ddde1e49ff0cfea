#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QFontInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <memory>

#include "app/UnitStatus.h"

using namespace tovali;

// Stands in for the file browser: records every folder it is asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT

  public:
    QList<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened << url; }
};

class StatusWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QWidget> main_;
    std::unique_ptr<TFormStatus> status_;

    void ShowBoth() {
        main_->show();
        status_->show();
        QVERIFY(QTest::qWaitForWindowExposed(status_.get()));
    }

  private slots:
    void init() {
        main_ = std::make_unique<QWidget>();
        main_->setGeometry(100, 80, 762, 421);
        status_ = std::make_unique<TFormStatus>();
        status_->SetMainWindow(main_.get());
    }

    void cleanup() {
        status_.reset();
        main_.reset();
    }

    void hasTheLayoutCaptionAndFontOfTheProgressWindow() {
        QCOMPARE(status_->windowTitle(), QStringLiteral("進行状況"));
        QCOMPARE(status_->size(), QSize(395, 86));
        QCOMPARE(status_->minimumSize(), status_->maximumSize());
        const Qt::WindowFlags flags = status_->windowFlags();
        QVERIFY(flags & Qt::WindowTitleHint);
        for (Qt::WindowType button : {Qt::WindowCloseButtonHint, Qt::WindowSystemMenuHint,
                                      Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint})
            QVERIFY(!(flags & button));

        auto* bar = status_->findChild<QProgressBar*>("ProgressBarStatus");
        auto* label = status_->findChild<QLabel*>("LabelStatus");
        auto* close = status_->findChild<QPushButton*>("BtnClose");
        auto* open = status_->findChild<QPushButton*>("BtnOpenDir");
        QVERIFY(bar && label && close && open);
        QCOMPARE(bar->geometry(), QRect(8, 12, 377, 17));
        QCOMPARE(label->geometry(), QRect(8, 36, 377, 12));
        QCOMPARE(open->geometry(), QRect(116, 55, 75, 25));
        QCOMPARE(close->geometry(), QRect(204, 55, 75, 25));
        QCOMPARE(close->text(), QStringLiteral("閉じる"));
        QCOMPARE(open->text(), QStringLiteral("保存先を開く"));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
        QVERIFY(label->text().isEmpty());
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QVERIFY(!label->wordWrap());
        QCOMPARE(close->nextInFocusChain(), open);

        const QFontInfo font(status_->font());
        QCOMPARE(font.pixelSize(), 12);
        QVERIFY2(QStringList({"ＭＳ Ｐゴシック", "IPAPGothic"}).contains(font.family()),
                 qPrintable(font.family()));
    }

    void setRangeMovesTheBarToItsMinimum() {
        status_->SetPosition(50);
        status_->SetRange(10, 20);
        QCOMPARE(status_->ProgressBarStatus->value(), 10);
        status_->SetPosition(15);
        status_->SetRange(0, 17);
        QCOMPARE(status_->ProgressBarStatus->minimum(), 0);
        QCOMPARE(status_->ProgressBarStatus->maximum(), 17);
        QCOMPARE(status_->ProgressBarStatus->value(), 0);
    }

    void positionsOutsideTheRangeStopAtItsEnds() {
        status_->SetRange(0, 17);
        status_->SetPosition(6);
        QCOMPARE(status_->ProgressBarStatus->value(), 6);
        status_->SetPosition(99);
        QCOMPARE(status_->ProgressBarStatus->value(), 17);
        status_->SetPosition(-3);
        QCOMPARE(status_->ProgressBarStatus->value(), 0);
    }

    void statusTextIsReplacedAndStaysOneClippedLine() {
        status_->SetStatus(QStringLiteral("初期化中････"));
        QCOMPARE(status_->LabelStatus->text(), QStringLiteral("初期化中････"));
        const QString longText = QStringLiteral("[%1]を処理しています").arg(QString(200, 'x'));
        status_->SetStatus(longText);
        QCOMPARE(status_->LabelStatus->text(), longText);
        QCOMPARE(status_->LabelStatus->geometry(), QRect(8, 36, 377, 12));
    }

    void buttonsAreEnabledOneByOne() {
        status_->EnableCloseButton(false);
        status_->EnableOpenDirButton(false);
        QVERIFY(!status_->BtnClose->isEnabled() && !status_->BtnOpenDir->isEnabled());
        status_->EnableCloseButton(true);
        QVERIFY(status_->BtnClose->isEnabled() && !status_->BtnOpenDir->isEnabled());
        status_->EnableOpenDirButton(true);
        QVERIFY(status_->BtnOpenDir->isEnabled());
    }

    void shownCentredOverTheMainWindow() {
        ShowBoth();
        QCOMPARE(status_->frameGeometry().center(), main_->frameGeometry().center());
    }

    void closeHidesItAndGivesControlBackToTheMainWindow() {
        ShowBoth();
        main_->setEnabled(false);
        QTest::mouseClick(status_->BtnClose, Qt::LeftButton);
        QVERIFY(!status_->isVisible());
        QVERIFY(main_->isEnabled());
        QTRY_COMPARE(QApplication::activeWindow(), main_.get());
        // Hidden, not gone: the next job shows the same window.
        status_->show();
        QVERIFY(status_->isVisible());
    }

    void theProgramEndsWithTheMainWindowEvenWhileItShows() {
        ShowBoth();
        // Ends the loop with 1 if the progress window kept the program alive.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        guard.start(5000);
        QTimer::singleShot(0, main_.get(), [this] { main_->close(); });
        QCOMPARE(qApp->exec(), 0);
        QVERIFY(!status_->isVisible());
    }

    void barTellsTheFilesDoneAlsoToScreenReaders() {
        status_->SetRange(0, 6 * 240 - 1);
        status_->SetPosition(6 * 12 - 1);  // the twelfth file saved
        QCOMPARE(status_->ProgressBarStatus->text(), QStringLiteral("12 / 240"));
        QAccessibleInterface* bar =
            QAccessible::queryAccessibleInterface(status_->ProgressBarStatus);
        QVERIFY(bar);
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("進行状況"));
        QCOMPARE(bar->text(QAccessible::Value), QStringLiteral("12 / 240"));
        QCOMPARE(bar->text(QAccessible::Description), QStringLiteral("12 / 240"));
        // The time left only while a job runs, once three files are done.
        status_->SetStopAction([] {});
        status_->SetPosition(6 * 2 + 3);
        QCOMPARE(status_->ProgressBarStatus->text(), QStringLiteral("2 / 240"));
        status_->SetPosition(6 * 3);
        QVERIFY2(status_->ProgressBarStatus->text().startsWith(QStringLiteral("3 / 240  残り約")),
                 qPrintable(status_->ProgressBarStatus->text()));
        status_->SetPosition(6 * 240 - 1);
        QCOMPARE(status_->ProgressBarStatus->text(), QStringLiteral("240 / 240"));
        QCOMPARE(JobBarText(12, 240, 120), QStringLiteral("12 / 240  残り約2分"));
    }

    void timeLeftIsRoundedToWhatAPersonReads() {
        QCOMPARE(RemainingText(0), QStringLiteral("残り約10秒"));
        QCOMPARE(RemainingText(41), QStringLiteral("残り約50秒"));
        QCOMPARE(RemainingText(89), QStringLiteral("残り約1分"));
        QCOMPARE(RemainingText(90), QStringLiteral("残り約2分"));
    }

    // The count is drawn in one colour over the filled part and another over the rest.
    void barTextReadsOverTheFilledAndTheEmptyPart() {
        QPalette colours = status_->ProgressBarStatus->palette();
        colours.setColor(QPalette::HighlightedText, QColor(0, 255, 0));
        colours.setColor(QPalette::Text, QColor(255, 0, 0));
        status_->ProgressBarStatus->setPalette(colours);
        status_->SetRange(0, 6 * 888 - 1);
        status_->SetPosition(6 * 444 - 1);
        const QImage bar = status_->ProgressBarStatus->grab().toImage();
        // Glyph pixels of one pure channel, give or take the smoothing.
        auto has = [&](int channel, int from, int to) {
            for (int y = 0; y < bar.height(); ++y)
                for (int x = from; x < to; ++x) {
                    const QColor c = bar.pixelColor(x, y);
                    const int rgb[] = {c.red(), c.green(), c.blue()};
                    if (rgb[channel] > 200 && rgb[(channel + 1) % 3] < 80 &&
                        rgb[(channel + 2) % 3] < 80)
                        return true;
                }
            return false;
        };
        const int half = bar.width() / 2, red = 0, green = 1;
        QVERIFY(has(green, 0, half - 1) && !has(green, half + 2, bar.width()));
        QVERIFY(has(red, half + 2, bar.width()) && !has(red, 0, half - 1));
    }

    // 閉じる reads 中止 while a job runs; it (or Esc) stops once, then waits
    // for the job's end, which gives it back its caption.
    void stopButtonWhileTheJobRuns() {
        ShowBoth();
        main_->setEnabled(false);
        int stops = 0;
        status_->EnableCloseButton(false);
        status_->EnableOpenDirButton(false);
        status_->SetStopAction([&stops] { ++stops; });
        QCOMPARE(status_->BtnClose->text(), QStringLiteral("中止"));
        QVERIFY(status_->BtnClose->isEnabled() && !status_->BtnOpenDir->isEnabled());
        QTest::keyClick(status_.get(), Qt::Key_Escape);
        QCOMPARE(stops, 1);
        QVERIFY(!status_->BtnClose->isEnabled());
        QTest::keyClick(status_.get(), Qt::Key_Escape);
        QTest::mouseClick(status_->BtnClose, Qt::LeftButton);
        QCOMPARE(stops, 1);
        QVERIFY(status_->isVisible());
        status_->SetStopAction({});
        status_->EnableCloseButton(true);
        QCOMPARE(status_->BtnClose->text(), QStringLiteral("閉じる"));
        QCOMPARE(stops, 1);
        QTest::keyClick(status_.get(), Qt::Key_Escape);
        QVERIFY(!status_->isVisible() && main_->isEnabled());
    }

    void openDirOpensTheSavedFolderEveryTime() {
        UrlRecorder browser;
        QDesktopServices::setUrlHandler("file", &browser, "open");
        ShowBoth();
        QTest::mouseClick(status_->BtnOpenDir, Qt::LeftButton);
        QVERIFY(browser.opened.isEmpty());  // no folder yet
        const QString dir = QDir::tempPath() + QStringLiteral("/写真 out/");
        QThread* job = QThread::create([this, dir] { status_->SetSaveDir(dir); });
        job->start();
        QVERIFY(job->wait(5000));
        delete job;
        QCOMPARE(status_->SaveDir(), dir);
#ifdef _WIN32
        // Explorer is opened through the shell there, not through a URL.
        QDesktopServices::unsetUrlHandler("file");
#else
        QTest::mouseClick(status_->BtnOpenDir, Qt::LeftButton);
        QTest::mouseClick(status_->BtnOpenDir, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(browser.opened.size(), 2);
        QCOMPARE(browser.opened.first(), QUrl::fromLocalFile(dir));
#endif
        QVERIFY(status_->isVisible());
    }
};

QTEST_MAIN(StatusWindowTest)
#include "StatusWindowTest.moc"
