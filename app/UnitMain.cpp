#include "app/UnitMain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <utility>

#include "app/UnitStatus.h"
#include "app/batch/InputCheck.h"
#include "app/batch/UriList.h"
#include "ui/MessageBox.h"
#ifdef _WIN32
#include <QDir>

#include "exif/WidePath.h"
#endif

namespace tovali {

TFormMainJob* FormMain = nullptr;

void StartThread(QThread& thread) {
    thread.start(QThread::NormalPriority);
}

TThreadStarter StartJobThread = StartThread;

// Linux: a URL keeps the escapes of bytes that are not UTF-8, so its encoded
// form gives the name's bytes back. Windows: Explorer's drop holds UTF-16
// names, which Qt hands over as file URLs; a local one is taken from its
// UTF-16 form (drive letter, back-slashes, network shares as the system
// writes them) into the program's own form of a path.
std::vector<TDroppedItem> DroppedItems(const QList<QUrl>& urls, const QByteArray& uriList) {
#ifdef _WIN32
    (void)uriList;  // Qt makes it from the URLs, with the drive behind a '/'
    std::vector<TDroppedItem> items;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            const QString path = QDir::toNativeSeparators(url.toLocalFile());
            items.push_back({true, Wtf8FromUtf16(path.toStdU16String())});
        } else {
            for (TDroppedItem& item : ParseUriList(url.toEncoded().toStdString()))
                items.push_back(std::move(item));
        }
    }
    return items;
#else
    if (!uriList.isEmpty()) return ParseUriList(uriList.toStdString());
    std::string list;
    for (const QUrl& url : urls) list += url.toEncoded().toStdString() + "\r\n";
    return ParseUriList(list);
#endif
}

TFormMainJob::TFormMainJob(QWidget* parent) : TFormMain(parent) {
    // Intake runs after the drop has completed, so that the file manager is
    // not kept waiting while a message box is open.
    connect(this, &TFormMain::filesDropped, this, &TFormMainJob::DropFiles, Qt::QueuedConnection);
}

TFormMainJob::~TFormMainJob() {
    if (FormMain == this) FormMain = nullptr;
    TPicConvertThread* running = ConvertThread.data();
    if (running == nullptr) return;
    disconnect(running, nullptr, this, nullptr);
    running->Abandon();
    QPointer<TPicConvertThread> thread = running;
    if (FormStatus) FormStatus->hide();
    // The job's pending hand-overs run on this thread: serve them while waiting.
    while (thread && !thread->wait(QDeadlineTimer(20))) QCoreApplication::processEvents();
    delete thread;
}

void TFormMainJob::EndSession() {
    // The settings first: the system may end the process before a long
    // step of the job has finished.
    const bool quiet = std::exchange(QuietSave, true);
    SaveSettingsAtEnd();
    QuietSave = quiet;
    if (TPicConvertThread* running = ConvertThread.data()) {
        running->RequestStop();
        QPointer<TPicConvertThread> thread = running;
        // Its hand-overs run on this thread: serve them while waiting; then
        // its end, which shows the stop as "中止" does.
        while (thread && !thread->wait(QDeadlineTimer(20))) QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
}

void TFormMainJob::changeEvent(QEvent* event) {
    TFormMain::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || isEnabled()) return;
    if (FormStatus && FormStatus->isVisible()) FormStatus->BringToFront();
}

void TFormMainJob::DropFiles(const QList<QUrl>& urls, const QByteArray& uriList) {
    // While a job runs the window is disabled and takes no drops.
    if (!isEnabled() || ConvertThread) return;
    TPathList paths;
    std::vector<std::string> foreignNames;
    for (TDroppedItem& item : DroppedItems(urls, uriList))
        (item.Local ? paths : foreignNames).push_back(std::move(item.Path));
    if (paths.empty() && foreignNames.empty()) return;
    if (CheckFiles(paths, foreignNames)) StartConvert();
}

void TFormMainJob::ConvertFiles(const TPathList& paths) {
    if (!paths.empty() && CheckFiles(paths)) StartConvert();
}

bool TFormMainJob::CheckFiles(const TPathList& paths,
                              const std::vector<std::string>& foreignNames) {
    std::vector<std::string> errors = CollectFileErrors(paths, FileList);
    for (const std::string& name : foreignNames) errors.push_back(kFormatError + name);
    if (errors.empty()) return CheckInput();
    ShowAppMessage(this, QString::fromStdString(MakeErrorMessage(errors)));
    return false;
}

bool TFormMainJob::CheckInput() {
    const std::string message = tovali::CheckInput(ReadSettings());
    if (message.empty()) return true;
    ShowAppMessage(this, QString::fromStdString(message));
    return false;
}

void TFormMainJob::StartConvert() {
    TFormStatus& status = *FormStatus;
    status.SetRange(0, JobMaximum(FileList.size()));
    status.SetStatus(QString::fromUtf8(kInitialisingText));
    status.EnableCloseButton(false);
    status.EnableOpenDirButton(false);
    auto* thread = new TPicConvertThread(*this, status);
    ConvertThread = thread;
    // "閉じる" reads "中止" while the job runs.
    status.SetStopAction([job = QPointer<TPicConvertThread>(thread)] {
        if (job) job->RequestStop();
    });
    status.show();
    setEnabled(false);

    connect(thread, &QThread::finished, this, &TFormMainJob::ConvertThreadTerminate);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    StartJobThread(*thread);
    // A thread that failed to start neither runs nor has finished, and it
    // never will: without this the job would wait for it for good.
    if (!thread->isRunning() && !thread->isFinished()) ConvertThreadNotStarted();
}

void TFormMainJob::ConvertThreadNotStarted() {
    delete ConvertThread.data();
    ConvertSucceeded = false;
    FormStatus->SetStatus(QString::fromUtf8(kThreadNotStartedText));
    FormStatus->SetStopAction({});
    FormStatus->EnableCloseButton(true);
    ShowAppMessage(FormStatus, QString::fromUtf8(kThreadNotStartedText));
}

void TFormMainJob::ConvertThreadTerminate() {
    const std::size_t count = FileList.size();
    FormStatus->SetStopAction({});
    FormStatus->EnableCloseButton(true);
    // Stopped by the user: the job has shown the stopped text; the files
    // written so far are kept, and their folder can be opened.
    if (ConvertThread && ConvertThread->Outcome() == TJobOutcome::Stopped) {
        FormStatus->EnableOpenDirButton(ConvertThread->FilesWritten() > 0);
        return;
    }
    if (!ConvertSucceeded) return;
    FormStatus->SetPosition(JobMaximum(count));
    FormStatus->EnableOpenDirButton(true);
    FormStatus->SetStatus(QString::fromStdString(CompletionText(count)));
}

}  // namespace tovali
