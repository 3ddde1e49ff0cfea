// One conversion job: every file of a batch, one after the other, through the
// engine's steps. The window's job thread and tovali3-batch both run it and
// differ only in how they show what it reports.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/DecodeCost.h"
#include "engine/Raster.h"
#include "engine/UnitThPicConvert.h"

namespace tovali {

inline constexpr const char* kInitialisingText = "初期化中････";
std::string ProcessingText(const std::string& name);  // "[name]を処理しています"
std::string FailureText(const std::string& name);     // "[name]の処理に失敗しました"
std::string CompletionText(std::size_t fileCount);    // "3枚の画像処理が完了しました"
std::string StoppedText(const std::string& name);     // "[name]の処理を中止しました"

// Six bar positions per file: 0 .. 6N - 1.
inline int JobMaximum(std::size_t fileCount) {
    return 6 * int(fileCount) - 1;
}

// The source path with the output type's extension, in lower case (appended
// when the name has none). Throws "invalid output file type".
std::string GetOutputFileName(const std::string& path, TOutputType type);

// The step at which a job stopped.
enum class TJobStep { Options, Date, Name, Load, Resize, Effects, Texts, Save };

struct TJobFailure {
    std::size_t Index = 0;  // the file the job stopped at
    std::string Name;       // its file-name part
    TJobStep Step = TJobStep::Load;
    std::string Reason;  // the step's error text
};

// Why a file failed, naming the file and the step, in the words of the
// library or system that refused: "[a.jpg] 読込み (load): JPEG: Not a JPEG
// file: starts with 0x74 0x68".
std::string FailureReasonText(const TJobFailure& failure);

// What the job tells whoever shows it; the job takes nothing from it. The
// window implements each call as a blocking hand-over to its interface
// thread (SetSaveDir excepted).
class IJobReporter {
  public:
    virtual ~IJobReporter() = default;
    virtual void Started() = 0;                           // MarkConvertStarted
    virtual void Failed(const TJobFailure& failure) = 0;  // MarkConvertFailed
    virtual void SetRange(int minimum, int maximum) = 0;
    virtual void SetPosition(int position) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void FileSaved(const std::string& path) = 0;  // the final name of each output
    virtual void SetSaveDir(const std::string& dir) = 0;
};

// The engine steps one job drives. Loading and fitting run in decoder slots
// on threads of their own: each slot loads and fits one picture at a time,
// beside the other slots and beside the per-file steps, and must share no
// state with them. What a step finds out about a file (its date, the name it
// was written under) it returns to the job, which keeps it per file.
class IConvertSteps {
  public:
    virtual ~IConvertSteps() = default;
    // How many decoder slots the job has; 1 converts one picture at a time.
    virtual int Slots() const = 0;
    // The job's options, given once before the first load; they stay as
    // they are until the job ends.
    virtual void Begin(const TConvertOptions& options) = 0;
    // The date to draw on this file (TthPicConvert::DateOf).
    virtual std::string DateOf(const std::string& source) = 0;
    virtual void LoadPicture(int slot, const std::string& source, TBitmap& bitmap) = 0;
    virtual void ResizePicture(int slot, TBitmap& bitmap) = 0;
    // LoadPicture then ResizePicture; `loaded` turns true once the load is
    // over. Engines that can do both at once do, and give up on `cancel`.
    virtual void LoadResizedPicture(int slot, const std::string& source, TBitmap& bitmap,
                                    bool& loaded, const std::atomic<bool>* cancel);
    // The memory LoadResizedPicture of this file takes (any thread).
    virtual TDecodeCost DecodeCost(const std::string& source);
    // The effects and the texts give up once `cancel` is set.
    virtual void ApplyEffects(TBitmap& bitmap, const std::atomic<bool>* cancel) = 0;
    virtual void DrawTexts(TBitmap& bitmap, const std::string& date,
                           const std::atomic<bool>* cancel) = 0;
    // Returns the final name written. Gives up, leaving nothing of the file,
    // once `cancel` is set.
    virtual std::string SavePicture(const std::string& outputName, TBitmap& bitmap,
                                    const std::atomic<bool>* cancel) = 0;
};

// The cores this process may use, the default number of decoder slots.
int DefaultJobCount();

class TExifStore;

// The steps of TthPicConvert: one engine for the per-file steps and one per
// decoder slot, each set to the job's options by Begin. Each file's EXIF
// data is read once and handed to its decode cost, its load and its date
// step.
class TEngineSteps final : public IConvertSteps {
  public:
    explicit TEngineSteps(int slots = DefaultJobCount());
    ~TEngineSteps() override;
    int Slots() const override { return int(decoders_.size()); }
    void Begin(const TConvertOptions& options) override;
    std::string DateOf(const std::string& source) override;
    void LoadPicture(int slot, const std::string& source, TBitmap& bitmap) override;
    void ResizePicture(int slot, TBitmap& bitmap) override;
    void LoadResizedPicture(int slot, const std::string& source, TBitmap& bitmap, bool& loaded,
                            const std::atomic<bool>* cancel) override;
    TDecodeCost DecodeCost(const std::string& source) override;
    void ApplyEffects(TBitmap& bitmap, const std::atomic<bool>* cancel) override;
    void DrawTexts(TBitmap& bitmap, const std::string& date,
                   const std::atomic<bool>* cancel) override;
    std::string SavePicture(const std::string& outputName, TBitmap& bitmap,
                            const std::atomic<bool>* cancel) override;

  private:
    TthPicConvert converter_;
    std::vector<std::unique_ptr<TthPicConvert>> decoders_;
    std::unique_ptr<TExifStore> exif_;
};

// What the batch program shows before the job: the range 0 .. 6N - 1 (bar
// at 0) and "初期化中････" (the window's StartConvert sets the same on its
// progress window before the job thread starts).
void ShowJobStarting(IJobReporter& reporter, std::size_t fileCount);
// After the job: on success the full bar and the completion text.
void ShowJobEnded(IJobReporter& reporter, std::size_t fileCount, bool succeeded);

// A request to stop a running job: the window's stop button, its closing, or
// a signal. Request only stores to a lock-free atomic, so it may be made from
// any thread and from a signal handler.
class TJobStop {
  public:
    void Request() noexcept { requested_.store(true); }
    bool Requested() const noexcept { return requested_.load(); }
    // The request itself, for work that looks for it as it goes (a save).
    const std::atomic<bool>* Flag() const noexcept { return &requested_; }

  private:
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::atomic<bool> requested_{false};
};

enum class TJobOutcome { Completed, Failed, Stopped };

// Runs the job over the files, in order, with the options the option
// snapshot made for it: Completed when every file was written. Any failing
// step stops the job at its file (files before it stay written, files after
// it are not converted, the output folder is not handed over) and is
// reported through Failed and the failure text.
//
// A stop request is seen before each step, and within a few rows by the
// decodes under way and by the save: the file under way is abandoned before
// anything of it is written, files already written stay, the status becomes
// the stopped text of that file, and the output folder is handed over when
// at least one file was written.
//
// The pictures are decoded and fitted ahead, one per decoder slot, so that
// every core works while the job waits for the decoder; outputs, progress
// and failures still come strictly file by file, and at most one picture
// per slot is held at full size at any time.
TJobOutcome RunConvertJob(const std::vector<std::string>& files, const TConvertOptions& options,
                          IJobReporter& reporter, IConvertSteps& steps,
                          const TJobStop* stop = nullptr);
// A job whose options could not be made (the option snapshot threw `reason`):
// it fails at its first file, at the options step, as RunConvertJob fails at
// any other.
TJobOutcome FailConvertJob(const std::vector<std::string>& files, const std::string& reason,
                           IJobReporter& reporter);

}  // namespace tovali
