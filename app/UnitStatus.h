// TFormStatus: the progress window of a conversion job. It shows a bar, one
// status line and two buttons that the job enables when it has ended:
// "閉じる" gives control back to the main window, "保存先を開く" opens the
// folder of the last saved picture in the file browser. While a job runs,
// "閉じる" reads "中止" and asks the job to stop (Esc does the same), and the
// bar tells the files done of all and, from the third file on, the time left.
#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tovali {

// The bar's text: "12 / 240", with the time left after two spaces when known
// (remainingSeconds < 0: not known).
QString JobBarText(int filesDone, int fileCount, qint64 remainingSeconds = -1);
// "残り約40秒" (seconds up to a minute, rounded up to tens), else "残り約2分"
// (minutes, rounded to the nearest).
QString RemainingText(qint64 seconds);

class TFormStatus : public QWidget {
    Q_OBJECT

  public:
    explicit TFormStatus(QWidget* parent = nullptr);

    QProgressBar* ProgressBarStatus = nullptr;
    QLabel* LabelStatus = nullptr;
    QPushButton* BtnClose = nullptr;
    QPushButton* BtnOpenDir = nullptr;

    // The window that "閉じる" enables and raises again (not a Qt parent, so
    // that disabling it leaves this window usable).
    void SetMainWindow(QWidget* mainWindow) { mainWindow_ = mainWindow; }

    void SetRange(int minimum, int maximum);
    void SetPosition(int value);
    void SetStatus(const QString& text);
    // The status line's tooltip: why a job failed. SetRange clears it.
    void SetStatusTip(const QString& text);
    void EnableCloseButton(bool enabled);
    void EnableOpenDirButton(bool enabled);
    // While a job runs: "閉じる" reads "中止" and is enabled, and pressing it
    // (or Esc) calls stop once and disables the button until the job has
    // ended. An empty stop gives the button back its caption "閉じる".
    void SetStopAction(std::function<void()> stop);
    // Activating the main window while this one shows brings this one back
    // in front, out of a minimised state too.
    void BringToFront();
    // The one call the job thread makes directly, at the end of a finished
    // job. The folder is kept as the bytes of its path, which need not be
    // UTF-8; SaveDir shows it (bytes it cannot show as replacement marks).
    // The job's last written file, when given, is what the file browser
    // selects (Windows).
    void SetSaveDir(const QString& dir);
    void SetSaveDirBytes(const std::string& dir, const std::string& lastSavedFile = {});
    QString SaveDir() const;

    void BtnCloseClick();
    void BtnOpenDirClick();
    void BtnStopClick();

  protected:
    // A close asked for by the window system (title bar, keyboard, window
    // manager) is refused: the user leaves through "閉じる" only.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FormCreate();
    void CreateControls();
    void UpdateBarText();

    QPointer<QWidget> mainWindow_;
    mutable QMutex saveDirLock_;
    std::string saveDir_;
    std::string lastSavedFile_;
    std::function<void()> stop_;
    // Runs from SetRange (a job's start): the time left is extrapolated from it.
    QElapsedTimer clock_;
};

// The program's one progress window, created by the entry after the main window.
extern TFormStatus* FormStatus;

}  // namespace tovali
