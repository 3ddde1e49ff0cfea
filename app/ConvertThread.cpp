// TPicConvertThread: the job thread of the main window.
#include <QCheckBox>
#include <QDateEdit>
#include <QMetaObject>
#include <exception>

#include "app/UnitMain.h"
#include "app/UnitStatus.h"
#include "app/batch/OptionSnapshot.h"

namespace tovali {

namespace {

// Raised by a hand-over once the window has given the job up.
struct TJobAbandoned {};

}  // namespace

// The job's reports, each a blocking hand-over to the interface thread.
class TPicConvertThread::TReporter final : public IJobReporter {
  public:
    explicit TReporter(TPicConvertThread& thread) : t_(thread) {}

    void Started() override { t_.Synchronize(&TPicConvertThread::MarkConvertStarted); }
    // The status line names only the file; its tooltip says why.
    void Failed(const TJobFailure& failure) override {
        qWarning("%s: %s", failure.Name.c_str(), failure.Reason.c_str());
        t_.Synchronize(&TPicConvertThread::MarkConvertFailed);
        t_.StatusTip = FailureReasonText(failure);
        t_.Synchronize(&TPicConvertThread::UpdateStatusTip);
    }
    // The window set the range before the thread started.
    void SetRange(int, int) override {}
    void SetPosition(int position) override {
        t_.Progress = position;
        t_.Synchronize(&TPicConvertThread::UpdateProgress);
    }
    void SetStatus(const std::string& text) override {
        t_.StatusText = text;
        t_.Synchronize(&TPicConvertThread::UpdateStatus);
    }
    void FileSaved(const std::string& path) override {
        ++t_.written_;
        lastSaved_ = path;
    }
    // The one direct call: the progress window reads the folder only once
    // the job has ended.
    void SetSaveDir(const std::string& dir) override {
        t_.status_.SetSaveDirBytes(dir, lastSaved_);
    }

  private:
    TPicConvertThread& t_;
    std::string lastSaved_;
};

TPicConvertThread::TPicConvertThread(TFormMainJob& form, TFormStatus& status)
    : form_(form), status_(status), files_(form.FileList) {
    try {
        options_ = SnapshotOptions(form.ReadSettings(), form.DTPDate->date(),
                                   form.CBContrast->isChecked());
    } catch (const std::exception& e) {
        optionsFailure_ = e.what();
    }
}

void TPicConvertThread::Execute() {
    TReporter reporter(*this);
    TEngineSteps converter;
    try {
        outcome_ = optionsFailure_ ? FailConvertJob(files_, *optionsFailure_, reporter)
                                   : RunConvertJob(files_, options_, reporter, converter, &stop_);
    } catch (...) {
        // Only a hand-over that failed gets here; unless the window gave the
        // job up, the job must not end looking successful, nor with its
        // status still on a file being processed.
        if (abandoned_) return;
        try {
            Synchronize(&TPicConvertThread::MarkConvertFailed);
            StatusText = kJobErrorText;
            Synchronize(&TPicConvertThread::UpdateStatus);
        } catch (...) {
        }
    }
}

void TPicConvertThread::Synchronize(void (TPicConvertThread::*method)()) {
    if (abandoned_) throw TJobAbandoned();
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        &form_,
        [this, method, &failure] {
            try {
                (this->*method)();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
}

void TPicConvertThread::MarkConvertStarted() {
    form_.ConvertSucceeded = true;
}

void TPicConvertThread::MarkConvertFailed() {
    form_.ConvertSucceeded = false;
}

void TPicConvertThread::UpdateProgress() {
    status_.SetPosition(Progress);
}

void TPicConvertThread::UpdateStatus() {
    status_.SetStatus(QString::fromStdString(StatusText));
}

void TPicConvertThread::UpdateStatusTip() {
    status_.SetStatusTip(QString::fromStdString(StatusTip));
}

}  // namespace tovali
