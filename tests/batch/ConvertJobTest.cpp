#include <gtest/gtest.h>

#include <system_error>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "app/batch/ConvertJob.h"
#include "app/batch/Intake.h"
#include "engine/codecs/BmpCodec.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

// Records every call in order; holds the job's file list and options.
class TRecorder final : public IJobReporter {
  public:
    explicit TRecorder(std::vector<std::string> files, TOutputType type = otJpeg)
        : Files(std::move(files)) {
        Options.OutputType = type;
    }

    std::vector<std::string> Files;
    TConvertOptions Options;
    std::vector<std::string> Log;
    std::optional<TJobFailure> Failure;

    void Started() override { Log.push_back("started"); }
    void Failed(const TJobFailure& f) override {
        Failure = f;
        Log.push_back("failed");
    }
    void SetRange(int minimum, int maximum) override {
        Log.push_back("range " + std::to_string(minimum) + ".." + std::to_string(maximum));
    }
    void SetPosition(int position) override { Log.push_back(std::to_string(position)); }
    void SetStatus(const std::string& text) override { Log.push_back(text); }
    void FileSaved(const std::string& path) override { Log.push_back("saved " + path); }
    void SetSaveDir(const std::string& dir) override { Log.push_back("dir " + dir); }
};

TJobOutcome RunJob(TRecorder& reporter, IConvertSteps& steps, const TJobStop* stop = nullptr) {
    return RunConvertJob(reporter.Files, reporter.Options, reporter, steps, stop);
}

// Engine steps that fail where told. A load makes a picture as wide as the
// file's number in the batch (1, 2, ...), so that a picture handed to the
// wrong file shows; the other steps check it.
class TFakeSteps final : public IConvertSteps {
  public:
    explicit TFakeSteps(std::vector<std::string> files) : files_(std::move(files)) {}

    std::map<std::string, TJobStep> FailAt;  // file name -> failing step
    std::vector<std::string> Calls;          // the per-file steps, in order
    std::set<std::string> Loaded;            // files loaded (in the decoder slots)
    std::set<std::string> Resized;
    std::set<std::thread::id> SlotThreads;
    std::set<int> SlotsUsed;
    bool SaveCreatesFiles = false;
    int LoadsAtOnce = 0;
    int MostLoadsAtOnce = 0;
    std::chrono::milliseconds LoadTime{0};
    // Requests this stop when the named step of the named file runs.
    TJobStop* StopAt = nullptr;
    std::pair<std::string, std::string> StopWhen;  // file name, step name

    int SlotCount = 2;
    TConvertOptions Began;  // the options Begin was given
    int Slots() const override { return SlotCount; }
    void Begin(const TConvertOptions& options) override {
        Began = options;
        Calls.push_back("options copied");
    }
    // Each file's date names the file, so that a date handed to another
    // file's texts shows.
    std::string DateOf(const std::string& source) override {
        current_ = source;
        Run(TJobStep::Date, "date");
        return "date of " + FileNamePart(source);
    }
    void LoadPicture(int slot, const std::string& source, TBitmap& bitmap) override {
        InSlot(slot, [&] {
            Loaded.insert(FileNamePart(source));
            MostLoadsAtOnce = std::max(MostLoadsAtOnce, ++LoadsAtOnce);
        });
        std::this_thread::sleep_for(LoadTime);
        InSlot(slot, [&] { --LoadsAtOnce; });
        Fail(source, TJobStep::Load);
        if (SaveCreatesFiles && !fs::exists(source)) throw std::runtime_error("no such file");
        bitmap.SetSize(Number(source), 1, 24);
    }
    void ResizePicture(int slot, TBitmap& b) override {
        const std::string& source = files_.at(std::size_t(b.Width() - 1));
        InSlot(slot, [&] { Resized.insert(FileNamePart(source)); });
        Fail(source, TJobStep::Resize);
    }
    void ApplyEffects(TBitmap& b, const std::atomic<bool>*) override {
        Step(b, TJobStep::Effects, "effects");
    }
    void DrawTexts(TBitmap& b, const std::string& date, const std::atomic<bool>*) override {
        EXPECT_EQ(date, "date of " + FileNamePart(current_));
        Step(b, TJobStep::Texts, "texts");
    }
    std::string SavePicture(const std::string& output, TBitmap& b,
                            const std::atomic<bool>*) override {
        Step(b, TJobStep::Save, "save");
        const std::string saved =
            output.substr(0, output.find_last_of("/\\") + 1) + "s-" + FileNamePart(output);
        if (SaveCreatesFiles) std::ofstream(saved) << "picture";
        return saved;
    }

  private:
    template <class F>
    void InSlot(int slot, F&& record) {
        std::lock_guard lock(mutex_);
        EXPECT_TRUE(slot >= 0 && slot < SlotCount);
        SlotsUsed.insert(slot);
        SlotThreads.insert(std::this_thread::get_id());
        record();
    }
    int Number(const std::string& path) const {
        return int(std::find(files_.begin(), files_.end(), path) - files_.begin()) + 1;
    }
    void Fail(const std::string& path, TJobStep step) const {
        const auto it = FailAt.find(FileNamePart(path));
        if (it != FailAt.end() && it->second == step) throw std::runtime_error("step failed");
    }
    void Run(TJobStep step, const char* name) {
        Calls.push_back(std::string(name) + " " + FileNamePart(current_));
        if (StopAt && StopWhen == std::pair<std::string, std::string>(FileNamePart(current_), name))
            StopAt->Request();
        Fail(current_, step);
    }
    void Step(TBitmap& b, TJobStep step, const char* name) {
        EXPECT_EQ(b.Width(), Number(current_)) << name << " got another file's picture";
        Run(step, name);
    }

    std::vector<std::string> files_;
    std::string current_;
    std::mutex mutex_;
};

const std::vector<std::string> kThree = {"/p/a.jpg", "/p/b.JPG", "/q/c.png"};

std::vector<std::string> FileSteps(int i, const std::string& name, const std::string& saved) {
    const int p = 6 * i;
    return {std::to_string(p),     "[" + name + "]を処理しています",
            std::to_string(p + 1), std::to_string(p + 2),
            std::to_string(p + 3), std::to_string(p + 4),
            "saved " + saved,      std::to_string(p + 5)};
}

}  // namespace

TEST(ConvertJob, ThreeFilesRunTheirStepsInOrder) {
    TRecorder reporter(kThree);
    TFakeSteps steps(kThree);
    ShowJobStarting(reporter, kThree.size());
    ASSERT_EQ(RunJob(reporter, steps), TJobOutcome::Completed);
    ShowJobEnded(reporter, kThree.size(), true);

    std::vector<std::string> expected = {"range 0..17", "初期化中････", "started"};
    for (const auto& part :
         {FileSteps(0, "a.jpg", "/p/s-a.jpg"), FileSteps(1, "b.JPG", "/p/s-b.jpg"),
          FileSteps(2, "c.png", "/q/s-c.jpg")}) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    expected.insert(expected.end(), {"dir /q/", "17", "3枚の画像処理が完了しました"});
    EXPECT_EQ(reporter.Log, expected);
    EXPECT_EQ(steps.Calls,
              (std::vector<std::string>{"options copied", "date a.jpg", "effects a.jpg",
                                        "texts a.jpg", "save a.jpg", "date b.JPG", "effects b.JPG",
                                        "texts b.JPG", "save b.JPG", "date c.png", "effects c.png",
                                        "texts c.png", "save c.png"}));
    EXPECT_EQ(steps.Resized, (std::set<std::string>{"a.jpg", "b.JPG", "c.png"}));
    // Loads and fits run beside the other steps, on threads of their own.
    EXPECT_EQ(steps.SlotThreads.count(std::this_thread::get_id()), 0u);
}

TEST(ConvertJob, TwoPicturesAreDecodedAtOnce) {
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) files.push_back("/p/" + std::to_string(i) + ".jpg");
    TRecorder reporter(files);
    TFakeSteps steps(files);
    steps.LoadTime = std::chrono::milliseconds(30);
    ASSERT_EQ(RunJob(reporter, steps), TJobOutcome::Completed);
    EXPECT_EQ(steps.MostLoadsAtOnce, 2);
    EXPECT_EQ(steps.SlotsUsed, (std::set<int>{0, 1}));
    EXPECT_EQ(std::count_if(reporter.Log.begin(), reporter.Log.end(),
                            [](const std::string& e) { return e.rfind("saved ", 0) == 0; }),
              6);
}

TEST(ConvertJob, EverySlotDecodesAtOnceAndOneSlotDecodesStrictlyInTurn) {
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) files.push_back("/p/" + std::to_string(i) + ".jpg");
    for (const int slots : {1, 3}) {
        TRecorder reporter(files);
        TFakeSteps steps(files);
        steps.SlotCount = slots;
        steps.LoadTime = std::chrono::milliseconds(30);
        steps.FailAt["5.jpg"] = TJobStep::Effects;
        EXPECT_EQ(RunJob(reporter, steps), TJobOutcome::Failed);
        EXPECT_EQ(steps.MostLoadsAtOnce, slots);
        EXPECT_EQ(steps.SlotsUsed.size(), std::size_t(slots));
        // One slot: each load runs on the job's own thread when its turn
        // comes, so none starts for a file after the failed one.
        if (slots == 1) {
            EXPECT_EQ(steps.SlotThreads, std::set{std::this_thread::get_id()});
            EXPECT_EQ(steps.Loaded.count("6.jpg"), 0u);
        }
    }
}

TEST(ConvertJob, OneFileRunsTheBarFromZeroToFive) {
    const std::vector<std::string> one = {"/p/only.bmp"};
    TRecorder reporter(one);
    TFakeSteps steps(one);
    ShowJobStarting(reporter, 1);
    ASSERT_EQ(RunJob(reporter, steps), TJobOutcome::Completed);
    ShowJobEnded(reporter, 1, true);
    EXPECT_EQ(reporter.Log.front(), "range 0..5");
    EXPECT_EQ(reporter.Log.back(), "1枚の画像処理が完了しました");
}

TEST(ConvertJob, FailedLoadStopsAtThatFile) {
    TRecorder reporter(kThree);
    TFakeSteps steps(kThree);
    steps.FailAt["b.JPG"] = TJobStep::Load;
    EXPECT_EQ(RunJob(reporter, steps), TJobOutcome::Failed);
    ShowJobEnded(reporter, kThree.size(), false);

    std::vector<std::string> expected = {"started"};
    const auto first = FileSteps(0, "a.jpg", "/p/s-a.jpg");
    expected.insert(expected.end(), first.begin(), first.end());
    expected.insert(expected.end(),
                    {"6", "[b.JPG]を処理しています", "failed", "[b.JPG]の処理に失敗しました"});
    EXPECT_EQ(reporter.Log, expected);  // no output folder, no completion text
    ASSERT_TRUE(reporter.Failure);
    EXPECT_EQ(reporter.Failure->Index, 1u);
    EXPECT_EQ(reporter.Failure->Name, "b.JPG");
    EXPECT_EQ(reporter.Failure->Step, TJobStep::Load);
    EXPECT_EQ(steps.Calls.back(), "date b.JPG");
}

TEST(ConvertJob, AStopAbandonsTheFileUnderWayAndKeepsTheWrittenOnes) {
    // Stopped while the second file's effects run: its texts and save never
    // come, the first file stays written, and its folder is handed over.
    TRecorder reporter(kThree);
    TFakeSteps steps(kThree);
    TJobStop stop;
    steps.StopAt = &stop;
    steps.StopWhen = {"b.JPG", "effects"};
    EXPECT_EQ(RunJob(reporter, steps, &stop), TJobOutcome::Stopped);
    EXPECT_EQ(steps.Calls.back(), "effects b.JPG");
    EXPECT_EQ(reporter.Log.back(), "dir /p/");
    EXPECT_EQ(reporter.Log.end()[-2], "[b.JPG]の処理を中止しました");
    EXPECT_FALSE(reporter.Failure);

    // Stopped before anything was written: no folder to open.
    TRecorder first(kThree);
    TFakeSteps early(kThree);
    TJobStop stopEarly;
    early.StopAt = &stopEarly;
    early.StopWhen = {"a.jpg", "date"};
    EXPECT_EQ(RunJob(first, early, &stopEarly), TJobOutcome::Stopped);
    EXPECT_EQ(first.Log.back(), "[a.jpg]の処理を中止しました");
}

TEST(ConvertJob, FailureOnTheFirstFileLeavesTheBarAtZero) {
    TRecorder reporter(kThree);
    TFakeSteps steps(kThree);
    steps.FailAt["a.jpg"] = TJobStep::Load;
    EXPECT_EQ(RunJob(reporter, steps), TJobOutcome::Failed);
    EXPECT_EQ(reporter.Log, (std::vector<std::string>{"started", "0", "[a.jpg]を処理しています",
                                                      "failed", "[a.jpg]の処理に失敗しました"}));
}

TEST(ConvertJob, EveryOtherStepFailsLikeALoad) {
    const std::pair<TJobStep, const char*> cases[] = {{TJobStep::Date, "6"},
                                                      {TJobStep::Resize, "7"},
                                                      {TJobStep::Effects, "8"},
                                                      {TJobStep::Texts, "9"},
                                                      {TJobStep::Save, "10"}};
    for (const auto& [step, lastPosition] : cases) {
        TRecorder reporter(kThree);
        TFakeSteps steps(kThree);
        steps.FailAt["b.JPG"] = step;
        EXPECT_EQ(RunJob(reporter, steps), TJobOutcome::Failed);
        const std::vector<std::string> tail(reporter.Log.end() - 2, reporter.Log.end());
        EXPECT_EQ(tail, (std::vector<std::string>{"failed", "[b.JPG]の処理に失敗しました"}));
        const auto lastNumber =
            std::find_if(reporter.Log.rbegin(), reporter.Log.rend(),
                         [](const std::string& e) { return std::isdigit(e[0]); });
        EXPECT_EQ(*lastNumber, lastPosition) << int(step);
        ASSERT_TRUE(reporter.Failure);
        EXPECT_EQ(reporter.Failure->Step, step);
        EXPECT_EQ(reporter.Failure->Reason, "step failed");
        EXPECT_EQ(std::count(reporter.Log.begin(), reporter.Log.end(), "saved /p/s-b.jpg"), 0);
        EXPECT_EQ(std::count(steps.Calls.begin(), steps.Calls.end(), "date c.png"), 0);
    }
}

TEST(ConvertJob, FailedSnapshotStopsBeforeTheFirstFile) {
    TRecorder reporter(kThree);
    EXPECT_EQ(FailConvertJob(kThree, "invalid date config", reporter), TJobOutcome::Failed);
    EXPECT_EQ(reporter.Log,
              (std::vector<std::string>{"started", "failed", "[a.jpg]の処理に失敗しました"}));
    EXPECT_EQ(reporter.Failure->Step, TJobStep::Options);
    EXPECT_EQ(reporter.Failure->Reason, "invalid date config");
    EXPECT_EQ(reporter.Failure->Index, 0u);
    // Without files there is nothing to fail, as in a job that ran.
    TRecorder none({});
    EXPECT_EQ(FailConvertJob({}, "invalid date config", none), TJobOutcome::Completed);
    EXPECT_EQ(none.Log, (std::vector<std::string>{"started"}));
}

TEST(ConvertJob, TheStepsGetTheJobsOptionsOnceAndEachFileItsOwnDate) {
    TRecorder reporter(kThree, otPng);
    reporter.Options.Comment.Text = "comment";
    TFakeSteps steps(kThree);
    ASSERT_EQ(RunJob(reporter, steps), TJobOutcome::Completed);
    EXPECT_EQ(std::count(steps.Calls.begin(), steps.Calls.end(), "options copied"), 1);
    EXPECT_EQ(steps.Began.OutputType, otPng);
    EXPECT_EQ(steps.Began.Comment.Text, "comment");
    // The output name takes the job's type (the fake save adds "s-").
    EXPECT_EQ(reporter.Log.end()[-3], "saved /q/s-c.png");
}

TEST(ConvertJob, InvalidOutputTypeFailsAtTheOutputName) {
    TRecorder reporter(kThree, TOutputType(6));
    TFakeSteps steps(kThree);
    EXPECT_EQ(RunJob(reporter, steps), TJobOutcome::Failed);
    EXPECT_EQ(reporter.Failure->Step, TJobStep::Name);
    EXPECT_EQ(reporter.Failure->Reason, "invalid output file type");
    EXPECT_EQ(reporter.Failure->Index, 0u);
}

TEST(ConvertJob, AFileWrittenByTheJobIsReadAsItIsThen) {
    // b.jpg's save writes s-b.jpg, a later file of the batch: a job that
    // decodes ahead must still see the file the save has just written.
    const fs::path dir = fs::temp_directory_path() / ("tovali-job-" + std::to_string(::getpid()));
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{"b.jpg", "s-b.jpg"}, {"b.jpg", "x.jpg", "s-b.jpg"}}) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::vector<std::string> files;
        for (const std::string& name : names) files.push_back((dir / name).string());
        std::ofstream(files[0]) << "picture";
        std::ofstream(dir / "x.jpg") << "picture";
        TRecorder reporter(files);
        TFakeSteps steps(files);
        steps.SaveCreatesFiles = true;
        steps.LoadTime = std::chrono::milliseconds(5);
        EXPECT_EQ(RunJob(reporter, steps), TJobOutcome::Completed) << names.size();
        EXPECT_TRUE(fs::exists(dir / "s-s-b.jpg"));
    }
    fs::remove_all(dir);
}

TEST(ConvertJob, OutputNameTakesTheTypesLowerCaseExtension) {
    EXPECT_EQ(GetOutputFileName("/p/DSC01.JPG", otJpeg), "/p/DSC01.jpg");
    EXPECT_EQ(GetOutputFileName("/p/photo.JPEG", otPng), "/p/photo.png");
    EXPECT_EQ(GetOutputFileName("/p/a.b.gif", otBmp), "/p/a.b.bmp");
    EXPECT_EQ(GetOutputFileName("/p/a.png", otGif), "/p/a.gif");
    EXPECT_EQ(GetOutputFileName("/p.d/noext", otJpeg), "/p.d/noext.jpg");
    EXPECT_EQ(GetOutputFileName("/p/a.JPG", otWebp), "/p/a.webp");
    EXPECT_EQ(GetOutputFileName("/p/a.heic", otAvif), "/p/a.avif");
    EXPECT_THROW(GetOutputFileName("/p/a.jpg", TOutputType(6)), EConvertError);
}

TEST(ConvertJob, Texts) {
    EXPECT_EQ(ProcessingText("a.jpg"), "[a.jpg]を処理しています");
    EXPECT_EQ(FailureText("a.jpg"), "[a.jpg]の処理に失敗しました");
    EXPECT_EQ(CompletionText(3), "3枚の画像処理が完了しました");
    EXPECT_STREQ(kInitialisingText, "初期化中\uFF65\uFF65\uFF65\uFF65");
    EXPECT_EQ(JobMaximum(3), 17);
}

// No thread to be had for the decoders (std::async throws): the job fails at
// its first file like any failed step instead of ending the program.
TEST(ConvertJob, ADecoderThatCannotStartFailsTheJob) {
    TRecorder reporter(kThree);
    struct TNoThreads final : public IConvertSteps {
        int Slots() const override { return 2; }
        void Begin(const TConvertOptions&) override {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        std::string DateOf(const std::string&) override { return {}; }
        void LoadPicture(int, const std::string&, TBitmap&) override {}
        void ResizePicture(int, TBitmap&) override {}
        void ApplyEffects(TBitmap&, const std::atomic<bool>*) override {}
        void DrawTexts(TBitmap&, const std::string&, const std::atomic<bool>*) override {}
        std::string SavePicture(const std::string&, TBitmap&, const std::atomic<bool>*) override {
            return {};
        }
    } steps;
    EXPECT_EQ(RunJob(reporter, steps), TJobOutcome::Failed);
    EXPECT_EQ(reporter.Log.back(), "[a.jpg]の処理に失敗しました");
    ASSERT_TRUE(reporter.Failure);
    EXPECT_EQ(reporter.Failure->Index, 0u);
}

namespace {

// Steps whose decode or save goes on until it is told to give up, as a
// huge picture's would; they wait at most kPatience, so that a stop that
// never reaches them fails the test instead of hanging it.
class TEndlessSteps final : public IConvertSteps {
  public:
    static constexpr std::chrono::seconds kPatience{10};

    int SlotCount = 2;
    bool EndlessSave = false;
    std::atomic<bool> Started{false};  // the endless work is under way
    std::atomic<bool> GaveUp{false};   // it saw the request to give up

    int Slots() const override { return SlotCount; }
    void Begin(const TConvertOptions&) override {}
    std::string DateOf(const std::string&) override { return {}; }
    void LoadPicture(int, const std::string&, TBitmap& bitmap) override {
        bitmap.SetSize(1, 1, 24);
    }
    void ResizePicture(int, TBitmap&) override {}
    void LoadResizedPicture(int, const std::string&, TBitmap& bitmap, bool&,
                            const std::atomic<bool>* cancel) override {
        if (!EndlessSave) WaitToGiveUp(cancel);
        bitmap.SetSize(1, 1, 24);
    }
    void ApplyEffects(TBitmap&, const std::atomic<bool>*) override {}
    void DrawTexts(TBitmap&, const std::string&, const std::atomic<bool>*) override {}
    std::string SavePicture(const std::string& output, TBitmap&,
                            const std::atomic<bool>* cancel) override {
        if (EndlessSave) WaitToGiveUp(cancel);
        return output;
    }

  private:
    void WaitToGiveUp(const std::atomic<bool>* cancel) {
        Started.store(true);
        const auto until = std::chrono::steady_clock::now() + kPatience;
        while (!(cancel && cancel->load()) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!(cancel && cancel->load())) return;
        GaveUp.store(true);
        throw std::runtime_error("stopped");
    }
};

}  // namespace

// "中止", Esc or a signal while a picture decodes or saves: the request
// reaches the work under way, which gives up, and the job ends stopped. One
// slot decodes on the job's own thread, two on threads of their own.
TEST(ConvertJob, AStopReachesTheDecodeAndTheSaveUnderWay) {
    for (const bool save : {false, true}) {
        for (const int slots : {1, 2}) {
            TRecorder reporter(kThree);
            TEndlessSteps steps;
            steps.SlotCount = slots;
            steps.EndlessSave = save;
            TJobStop stop;
            auto job =
                std::async(std::launch::async, [&] { return RunJob(reporter, steps, &stop); });
            while (!steps.Started.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stop.Request();
            EXPECT_EQ(job.get(), TJobOutcome::Stopped) << save << slots;
            EXPECT_TRUE(steps.GaveUp.load()) << "save " << save << ", slots " << slots;
            EXPECT_EQ(reporter.Log.back(), "[a.jpg]の処理を中止しました");
            EXPECT_FALSE(reporter.Failure);
        }
    }
}

namespace {

// The engine's own steps, with a stop requested as the named step begins; a
// decode is handed the request itself, so that it sees it at once.
class TStopAtStep final : public IConvertSteps {
  public:
    TStopAtStep(TJobStep at, TJobStop& stop) : at_(at), stop_(stop) {}

    std::atomic<bool> GaveUp{false};  // that step raised after the stop

    int Slots() const override { return engine_.Slots(); }
    void Begin(const TConvertOptions& options) override { engine_.Begin(options); }
    std::string DateOf(const std::string& source) override { return engine_.DateOf(source); }
    void LoadPicture(int slot, const std::string& source, TBitmap& bitmap) override {
        engine_.LoadPicture(slot, source, bitmap);
    }
    void ResizePicture(int slot, TBitmap& bitmap) override { engine_.ResizePicture(slot, bitmap); }
    void LoadResizedPicture(int slot, const std::string& source, TBitmap& bitmap, bool& loaded,
                            const std::atomic<bool>* cancel) override {
        if (at_ == TJobStep::Load) cancel = stop_.Flag();
        Watch(TJobStep::Load,
              [&] { engine_.LoadResizedPicture(slot, source, bitmap, loaded, cancel); });
    }
    void ApplyEffects(TBitmap& bitmap, const std::atomic<bool>* cancel) override {
        Watch(TJobStep::Effects, [&] { engine_.ApplyEffects(bitmap, cancel); });
    }
    void DrawTexts(TBitmap& bitmap, const std::string& date,
                   const std::atomic<bool>* cancel) override {
        Watch(TJobStep::Texts, [&] { engine_.DrawTexts(bitmap, date, cancel); });
    }
    std::string SavePicture(const std::string& output, TBitmap& bitmap,
                            const std::atomic<bool>* cancel) override {
        std::string saved;
        Watch(TJobStep::Save, [&] { saved = engine_.SavePicture(output, bitmap, cancel); });
        return saved;
    }

  private:
    template <class Run>
    void Watch(TJobStep step, Run run) {
        if (step != at_) return run();
        stop_.Request();
        try {
            run();
        } catch (...) {
            GaveUp.store(true);
            throw;
        }
    }

    TEngineSteps engine_{1};
    TJobStep at_;
    TJobStop& stop_;
};

// The options of a job that uses every step: effects, a date, a fit.
TConvertOptions EveryStepOptions(TOutputType type) {
    TConvertOptions o;
    o.OutputType = type;
    o.DecidesName = true;
    o.NameAffix = "s-";
    o.NameBefore = true;
    o.UseFilter = o.UseVivid = o.Date.Use = true;
    o.DateSource = dsInputDate;
    o.Date.Text = "2026/12/10";
    o.UsePicSize = true;
    o.PicWidth = o.PicHeight = 40;
    return o;
}

class TEveryStepReporter final : public IJobReporter {
  public:
    std::vector<std::string> Log;
    void Started() override {}
    void Failed(const TJobFailure& f) override { Log.push_back("failed: " + f.Reason); }
    void SetRange(int, int) override {}
    void SetPosition(int) override {}
    void SetStatus(const std::string& text) override { Log.push_back(text); }
    void FileSaved(const std::string& path) override { Log.push_back("saved " + path); }
    void SetSaveDir(const std::string&) override {}
};

}  // namespace

// A stop raised in the engine's own load, effects, texts or save, for every
// output format: the step gives up, the job ends stopped (not failed) at
// that file, and nothing but the source is left in the folder.
TEST(ConvertJob, AStopInAnyEngineStepEndsTheJobStoppedWithNoFile) {
    const fs::path dir = fs::temp_directory_path() / ("tovali-stop-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string source = (dir / "a.bmp").string();
    {
        TBitmap photo(64, 48, 24);
        for (int y = 0; y < photo.Height(); ++y)
            for (int x = 0; x < photo.Width(); ++x)
                photo.SetPixel(x, y, RGBColor(std::uint8_t(4 * x), std::uint8_t(5 * y), 90));
        TMemorySink bytes;
        BmpSave(photo, bytes);
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.Bytes.data()),
                   std::streamsize(bytes.Bytes.size()));
    }
    for (const TOutputType type : {otJpeg, otPng, otBmp, otGif, otWebp, otAvif}) {
        for (const TJobStep step :
             {TJobStep::Load, TJobStep::Effects, TJobStep::Texts, TJobStep::Save}) {
            TEveryStepReporter reporter;
            TJobStop stop;
            TStopAtStep steps(step, stop);
            EXPECT_EQ(RunConvertJob({source}, EveryStepOptions(type), reporter, steps, &stop),
                      TJobOutcome::Stopped)
                << int(type) << " " << int(step);
            EXPECT_TRUE(steps.GaveUp.load()) << int(type) << " " << int(step);
            EXPECT_EQ(reporter.Log.back(), "[a.bmp]の処理を中止しました");
            std::vector<std::string> left;
            for (const auto& entry : fs::directory_iterator(dir))
                left.push_back(entry.path().filename().string());
            EXPECT_EQ(left, std::vector<std::string>{"a.bmp"}) << int(type) << " " << int(step);
        }
    }
    fs::remove_all(dir);
}
