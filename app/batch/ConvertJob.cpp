#include "app/batch/ConvertJob.h"

#include <utility>

#include "app/batch/Decoders.h"
#include "app/batch/Intake.h"
#include "engine/FileNames.h"
#include "engine/codecs/PictureFormats.h"

namespace tovali {

namespace {

// Fails the job at file i: the failure, then the failure text as the status.
void ReportFailure(IJobReporter& reporter, const std::string& path, std::size_t i, TJobStep step,
                   std::string reason) {
    const std::string name = FileNamePart(path);
    reporter.Failed({i, name, step, std::move(reason)});
    reporter.SetStatus(FailureText(name));
}

// What the job learns of one file as it goes through the steps.
struct TFileWork {
    std::string Date;    // the date drawn on it
    std::string Output;  // the source's name with the output type's extension
    std::string Saved;   // the name the save wrote
};

class TJob {
  public:
    TJob(const std::vector<std::string>& files, const TConvertOptions& options,
         IJobReporter& reporter, IConvertSteps& steps, const TJobStop* stop)
        : files_(files),
          options_(options),
          reporter_(reporter),
          steps_(steps),
          stop_(stop),
          decoders_(steps, files_, stop) {}

    TJobOutcome Run() {
        // Starting the decoders can fail (no thread to be had): that fails
        // the job at its first file like any other step.
        if (!Step(0, TJobStep::Load, [&] {
                steps_.Begin(options_);
                decoders_.StartUpTo(std::size_t(steps_.Slots() - 1));
            }))
            return stopped_ ? TJobOutcome::Stopped : TJobOutcome::Failed;
        for (std::size_t i = 0; i < files_.size(); ++i) {
            if (!ConvertFile(i)) return stopped_ ? TJobOutcome::Stopped : TJobOutcome::Failed;
        }
        reporter_.SetSaveDir(FolderOf(lastSaved_));
        return TJobOutcome::Completed;
    }

  private:
    bool ConvertFile(std::size_t i) {
        const std::string& path = files_[i];
        int position = 6 * int(i);
        reporter_.SetPosition(position);
        reporter_.SetStatus(ProcessingText(FileNamePart(path)));
        TFileWork file;
        std::unique_ptr<TDecoded> decoded;
        if (!Step(i, TJobStep::Date, [&] { file.Date = steps_.DateOf(path); }) ||
            !Step(i, TJobStep::Name,
                  [&] { file.Output = GetOutputFileName(path, options_.OutputType); }) ||
            !Step(i, TJobStep::Load, [&] {
                decoded = decoders_.Take(i);
                // Decodes are queued two slots' worth ahead: a slot that is
                // done with a small picture goes on with the next file while
                // a large one still holds the other slot.
                decoders_.StartUpTo(i + 2 * std::size_t(steps_.Slots()));
            }))
            return false;
        // The load and the fit ran ahead; their outcome is told in turn.
        for (const TJobStep step : {TJobStep::Load, TJobStep::Resize}) {
            if (decoded->Error && decoded->FailedStep == step) {
                Step(i, step, [&] { std::rethrow_exception(decoded->Error); });
                return false;
            }
            reporter_.SetPosition(++position);
        }
        TBitmap& bitmap = *decoded->Bitmap;
        const std::atomic<bool>* cancel = stop_ ? stop_->Flag() : nullptr;
        if (!Step(i, TJobStep::Effects, [&] { steps_.ApplyEffects(bitmap, cancel); })) return false;
        reporter_.SetPosition(++position);
        if (!Step(i, TJobStep::Texts, [&] { steps_.DrawTexts(bitmap, file.Date, cancel); }))
            return false;
        reporter_.SetPosition(++position);
        if (!Step(i, TJobStep::Save,
                  [&] { file.Saved = steps_.SavePicture(file.Output, bitmap, cancel); }))
            return false;
        ++written_;
        lastSaved_ = file.Saved;
        decoders_.Saved(file.Saved);
        reporter_.FileSaved(file.Saved);
        reporter_.SetPosition(++position);
        return true;
    }

    // Runs one step; a failure or a stop request stops the job at file i. A
    // step that fails because of a stop (a save cut short by a signal) is
    // told as the stop.
    template <class F>
    bool Step(std::size_t i, TJobStep step, F&& run) {
        if (StopRequested(i)) return false;
        try {
            run();
            return true;
        } catch (const std::exception& e) {
            if (!StopRequested(i)) ReportFailure(reporter_, files_[i], i, step, e.what());
        } catch (...) {
            if (!StopRequested(i)) ReportFailure(reporter_, files_[i], i, step, "unknown error");
        }
        return false;
    }

    bool StopRequested(std::size_t i) {
        if (!stop_ || !stop_->Requested()) return false;
        stopped_ = true;
        reporter_.SetStatus(StoppedText(FileNamePart(files_[i])));
        if (written_ > 0) reporter_.SetSaveDir(FolderOf(lastSaved_));
        return true;
    }

    const std::vector<std::string>& files_;
    const TConvertOptions& options_;
    IJobReporter& reporter_;
    IConvertSteps& steps_;
    const TJobStop* stop_;
    bool stopped_ = false;
    std::size_t written_ = 0;
    std::string lastSaved_;  // the last file written, whose folder is handed over
    TDecoders decoders_;
};

}  // namespace

std::string ProcessingText(const std::string& name) {
    return "[" + name + "]を処理しています";
}

std::string FailureText(const std::string& name) {
    return "[" + name + "]の処理に失敗しました";
}

std::string CompletionText(std::size_t fileCount) {
    return std::to_string(fileCount) + "枚の画像処理が完了しました";
}

std::string StoppedText(const std::string& name) {
    return "[" + name + "]の処理を中止しました";
}

namespace {

const char* StepName(TJobStep step) {
    switch (step) {
        case TJobStep::Options:
            return "設定の読み取り (options)";
        case TJobStep::Date:
            return "日付の取得 (date)";
        case TJobStep::Name:
            return "出力名 (output name)";
        case TJobStep::Load:
            return "読込み (load)";
        case TJobStep::Resize:
            return "縮小 (resize)";
        case TJobStep::Effects:
            return "効果 (effects)";
        case TJobStep::Texts:
            return "文字描画 (texts)";
        case TJobStep::Save:
            return "保存 (save)";
    }
    return "";
}

}  // namespace

std::string FailureReasonText(const TJobFailure& failure) {
    return "[" + failure.Name + "] " + StepName(failure.Step) + ": " + failure.Reason;
}

std::string GetOutputFileName(const std::string& path, TOutputType type) {
    return BaseOf(path) + std::string(OutputFormatOf(type).Extension);
}

void ShowJobStarting(IJobReporter& reporter, std::size_t fileCount) {
    reporter.SetRange(0, JobMaximum(fileCount));
    reporter.SetStatus(kInitialisingText);
}

void ShowJobEnded(IJobReporter& reporter, std::size_t fileCount, bool succeeded) {
    if (!succeeded) return;
    reporter.SetPosition(JobMaximum(fileCount));
    reporter.SetStatus(CompletionText(fileCount));
}

TJobOutcome RunConvertJob(const std::vector<std::string>& files, const TConvertOptions& options,
                          IJobReporter& reporter, IConvertSteps& steps, const TJobStop* stop) {
    reporter.Started();
    if (files.empty()) return TJobOutcome::Completed;
    return TJob(files, options, reporter, steps, stop).Run();
}

TJobOutcome FailConvertJob(const std::vector<std::string>& files, const std::string& reason,
                           IJobReporter& reporter) {
    reporter.Started();
    if (files.empty()) return TJobOutcome::Completed;
    ReportFailure(reporter, files.front(), 0, TJobStep::Options, reason);
    return TJobOutcome::Failed;
}

}  // namespace tovali
