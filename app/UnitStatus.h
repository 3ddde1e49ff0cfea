// TFormStatus: the progress window of a conversion job. It shows a bar, one
// status line and two buttons that the job enables when it has ended:
// "閉じる" gives control back to the main window, "保存先を開く" opens the
// folder of the last saved picture in the file browser.
#pragma once

#include <string>

#include <QMutex>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

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
    void EnableCloseButton(bool enabled);
    void EnableOpenDirButton(bool enabled);
    // The one call the job thread makes directly, at the end of a finished
    // job. The folder is kept as the bytes of its path, which need not be
    // UTF-8; SaveDir shows it (bytes it cannot show as replacement marks).
    void SetSaveDir(const QString& dir);
    void SetSaveDirBytes(const std::string& dir);
    QString SaveDir() const;

    void BtnCloseClick();
    void BtnOpenDirClick();

  protected:
    // A close asked for by the window system (title bar, keyboard, window
    // manager) is refused: the user leaves through "閉じる" only.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void FormCreate();
    void CreateControls();

    QPointer<QWidget> mainWindow_;
    mutable QMutex saveDirLock_;
    std::string saveDir_;
};

// The program's one progress window, created by the entry after the main window.
extern TFormStatus* FormStatus;
