#include "ConvertJob.h"

#include <filesystem>
#include <future>
#include <utility>

#include "Intake.h"

namespace {

// Decodes the next file on a second thread while the current one is worked on.
class TPrefetch {
  public:
    explicit TPrefetch(IConvertSteps& steps) : steps_(steps) {}

    void Start(const std::string& path) {
        path_ = path;
        pending_ = std::async(std::launch::async, [this, path] { return Load(path); });
    }

    // The decoded picture of the file started last. When the save made since
    // that start wrote this very file, it is decoded again, so that the
    // result is what a strictly one-by-one job would have read.
    std::unique_ptr<TBitmap> Take(const std::string& savedSince) {
        std::future<std::unique_ptr<TBitmap>> pending = std::move(pending_);
        std::error_code ec;
        if (!savedSince.empty() && std::filesystem::equivalent(path_, savedSince, ec)) {
            pending.wait();
            return Load(path_);
        }
        return pending.get();
    }

  private:
    std::unique_ptr<TBitmap> Load(const std::string& path) {
        auto bitmap = std::make_unique<TBitmap>();
        steps_.LoadPicture(path, *bitmap);
        return bitmap;
    }

    IConvertSteps& steps_;
    std::string path_;
    std::future<std::unique_ptr<TBitmap>> pending_;
};

class TJob {
  public:
    TJob(IJobReporter& reporter, IConvertSteps& steps, std::vector<std::string> files)
        : reporter_(reporter), steps_(steps), files_(std::move(files)), prefetch_(steps) {}

    bool Run() {
        if (!Step(0, TJobStep::Options, [&] { reporter_.CopyOptions(steps_.Options()); }))
            return false;
        steps_.OptionsCopied();
        prefetch_.Start(files_[0]);
        for (std::size_t i = 0; i < files_.size(); ++i) {
            if (!ConvertFile(i)) return false;
        }
        reporter_.SetSaveDir(steps_.GetLastSaveDir());
        return true;
    }

  private:
    bool ConvertFile(std::size_t i) {
        const std::string& path = files_[i];
        int position = 6 * int(i);
        reporter_.SetPosition(position);
        reporter_.SetStatus(ProcessingText(FileNamePart(path)));
        std::string output;
        std::unique_ptr<TBitmap> bitmap;
        if (!Step(i, TJobStep::Date, [&] { steps_.ReadPictureDate(path); }) ||
            !Step(i, TJobStep::Name,
                  [&] { output = GetOutputFileName(path, steps_.Options().OutputType); }) ||
            !Step(i, TJobStep::Load, [&] { bitmap = prefetch_.Take(lastSaved_); }))
            return false;
        if (i + 1 < files_.size()) prefetch_.Start(files_[i + 1]);
        reporter_.SetPosition(++position);
        const std::pair<TJobStep, void (IConvertSteps::*)(TBitmap&)> pixelSteps[] = {
            {TJobStep::Resize, &IConvertSteps::ResizePicture},
            {TJobStep::Effects, &IConvertSteps::ApplyEffects},
            {TJobStep::Texts, &IConvertSteps::DrawTexts}};
        for (const auto& [step, run] : pixelSteps) {
            if (!Step(i, step, [&] { (steps_.*run)(*bitmap); })) return false;
            reporter_.SetPosition(++position);
        }
        if (!Step(i, TJobStep::Save, [&] { lastSaved_ = steps_.SavePicture(output, *bitmap); }))
            return false;
        reporter_.FileSaved(lastSaved_);
        reporter_.SetPosition(++position);
        return true;
    }

    // Runs one step; a failure stops the job at file i.
    template <class F>
    bool Step(std::size_t i, TJobStep step, F&& run) {
        try {
            run();
            return true;
        } catch (const std::exception& e) {
            Fail(i, step, e.what());
        } catch (...) {
            Fail(i, step, "unknown error");
        }
        return false;
    }

    void Fail(std::size_t i, TJobStep step, std::string reason) {
        const std::string name = FileNamePart(files_[i]);
        reporter_.Failed({i, name, step, std::move(reason)});
        reporter_.SetStatus(FailureText(name));
    }

    IJobReporter& reporter_;
    IConvertSteps& steps_;
    const std::vector<std::string> files_;
    std::string lastSaved_;
    TPrefetch prefetch_;
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

std::string GetOutputFileName(const std::string& path, TOutputType type) {
    static const char* const kExtensions[] = {".jpg", ".png", ".bmp", ".gif"};
    if (type > otGif) throw EConvertError("invalid output file type");
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExt ? path.substr(0, dot) : path) + kExtensions[type];
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

bool RunConvertJob(IJobReporter& reporter, IConvertSteps& steps) {
    reporter.Started();
    std::vector<std::string> files = reporter.CopyFileList();
    if (files.empty()) return true;
    return TJob(reporter, steps, std::move(files)).Run();
}
