// The batch side of the main window: intake of dropped or named files, the
// start of a conversion job and its end, and the job thread that converts
// the files while the windows stay responsive.
//
// TFormMainJob is the program's main window: the window of ui/ (its pages,
// rules and settings) with the job machinery added.
#pragma once

#include <QList>
#include <QPointer>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "app/batch/ConvertJob.h"
#include "app/batch/Intake.h"
#include "app/batch/UriList.h"
#include "ui/FormMain.h"

namespace tovali {

class TFormStatus;
class TPicConvertThread;

// The items of a drop: Qt's URLs, or the file manager's own text/uri-list
// when there is one (Linux), each a local path in the program's form or the
// name of something that is not a local file.
std::vector<TDroppedItem> DroppedItems(const QList<QUrl>& urls, const QByteArray& uriList);

class TFormMainJob final : public TFormMain {
    Q_OBJECT

  public:
    explicit TFormMainJob(QWidget* parent = nullptr);
    // A job still running is stopped after its current step and waited for,
    // so that the settings are saved from controls no job reads any more.
    ~TFormMainJob() override;

    // Intake: checks the paths and starts a job when all of them pass.
    void ConvertFiles(const TPathList& paths);
    // True when the batch may start. Every rejected path (and every dropped
    // item that is not a local file, named in foreignNames) goes into one
    // summary shown in a message box; then nothing starts.
    bool CheckFiles(const TPathList& paths, const std::vector<std::string>& foreignNames = {});
    // The check of the entered values; shows its message when one fails.
    bool CheckInput();
    // The dropped items: local files become paths, taken whole as the
    // bytes of their names; anything else is reported as an unsupported
    // file. The uri-list, when there is one, is read in place of the URLs.
    void DropFiles(const QList<QUrl>& urls, const QByteArray& uriList = {});

    // The job: shows the progress window, disables this window and starts
    // one thread over FileList, which holds at least one path.
    void StartConvert();
    // The job thread's end, on the interface thread.
    void ConvertThreadTerminate();
    // A job thread the system would not start: a failed job, said so.
    void ConvertThreadNotStarted();

    bool IsConverting() const { return ConvertThread != nullptr; }

    // The user's session is about to end (log-off, shut-down): a running
    // job stops after its current step as with "中止" (written files stay,
    // nothing is left half written), and the settings are saved now, without
    // a message box, before the system may end the process. Should the end
    // be called off, the program carries on from the stopped job.
    void EndSession();

  protected:
    // While the progress window shows, activating this (disabled) window
    // brings the progress window to the front instead.
    void changeEvent(QEvent* event) override;

  private:
    friend class TPicConvertThread;

    bool ConvertSucceeded = false;
    // The accepted paths of the last intake, the job's input.
    TPathList FileList;
    // The running job thread, which deletes itself when done.
    QPointer<TPicConvertThread> ConvertThread;
};

// The job thread: runs the shared job sequence over a copy of the main
// window's FileList with the options its controls held when the thread was
// made. Everything it reports to the windows goes through blocking
// hand-overs to the interface thread, except the output folder (SetSaveDir),
// which it hands to the progress window directly before the button that
// reads it is enabled.
class TPicConvertThread final : public QThread {
    Q_OBJECT

  public:
    // Copies the file list and takes the option snapshot: on the interface
    // thread, before the job starts.
    TPicConvertThread(TFormMainJob& form, TFormStatus& status);

    // Makes every later hand-over fail and asks the job to stop, so that it
    // ends at once; the window calls it when it goes away while the job runs.
    void Abandon() {
        abandoned_ = true;
        stop_.Request();
    }
    // Asks the job to stop before its next step ("中止" or Esc); any thread.
    void RequestStop() { stop_.Request(); }
    // Read once the thread has finished.
    TJobOutcome Outcome() const { return outcome_; }
    std::size_t FilesWritten() const { return written_; }

  protected:
    void run() override { Execute(); }

  private:
    void Execute();

    // Run on the interface thread while the job thread waits.
    void MarkConvertStarted();
    void MarkConvertFailed();
    void UpdateProgress();
    void UpdateStatus();
    void UpdateStatusTip();

    // Runs method on the interface thread and waits for it; an exception it
    // raises there is raised again here.
    void Synchronize(void (TPicConvertThread::*method)());

    // The job's reports, forwarded to the calls above.
    class TReporter;

    TFormMainJob& form_;
    TFormStatus& status_;
    std::atomic<bool> abandoned_{false};
    TJobStop stop_;
    TJobOutcome outcome_ = TJobOutcome::Failed;
    std::size_t written_ = 0;

    std::string StatusText;
    std::string StatusTip;  // why the job failed
    int Progress = 0;
    const std::vector<std::string> files_;
    TConvertOptions options_;
    std::optional<std::string> optionsFailure_;  // why the snapshot failed
};

// What the window says when the job thread cannot be started, and when a
// job ends on an error outside its steps.
inline constexpr const char* kThreadNotStartedText = "変換処理を開始できませんでした";
inline constexpr const char* kJobErrorText = "変換処理中にエラーが発生しました";

// How StartConvert starts the job thread; a test puts one here that fails
// as the system does when it has no thread to give.
using TThreadStarter = void (*)(QThread& thread);
void StartThread(QThread& thread);
extern TThreadStarter StartJobThread;

// The program's main window, created by the entry before the progress window.
extern TFormMainJob* FormMain;

}  // namespace tovali
