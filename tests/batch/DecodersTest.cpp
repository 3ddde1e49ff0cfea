#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "app/batch/Decoders.h"
#include "engine/UnitThPicConvert.h"

using namespace tovali;

namespace {

std::string Data(const char* name) {
    return std::string(TOVALI_TEST_DATA) + "/" + name;
}

// True when the call is still blocked after a moment.
template <class T>
bool Blocked(std::future<T>& f) {
    return f.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout;
}

}  // namespace

TEST(DefaultJobCount, CountsTheCoresThisProcessMayRunOn) {
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    EXPECT_EQ(DefaultJobCount(), CPU_COUNT(&allowed));
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(DefaultJobCount(), 1);
    sched_setaffinity(0, sizeof allowed, &allowed);
}

TEST(DecoderSlots, FilesTakeTheirTurnsInOrder) {
    TSlots slots;
    // File 1 asks first, but file 0 has not had its turn yet.
    auto second = std::async(std::launch::async, [&] { return slots.Acquire(1, {1, 1}); });
    EXPECT_TRUE(Blocked(second));
    const int first = slots.Acquire(0, {1, 1});
    EXPECT_NE(second.get(), first);
}

TEST(DecoderSlots, StopReleasesEveryWaitingDecode) {
    TSlots slots;
    slots.Acquire(0, {1, 1});
    slots.Acquire(1, {1, 1});
    auto waiting = std::async(std::launch::async, [&] { return slots.Acquire(2, {1, 1}); });
    auto again = std::async(std::launch::async, [&] { return slots.AcquireAgain({1, 1}); });
    EXPECT_TRUE(Blocked(waiting));
    slots.Stop();
    EXPECT_EQ(waiting.get(), -1);
    EXPECT_EQ(again.get(), -1);
}

TEST(DecoderSlots, TwoPlainDecodesShareTheSlots) {
    TSlots slots;
    const int a = slots.Acquire(0, {72, 72});
    const int b = slots.Acquire(1, {61, 61});
    EXPECT_NE(a, b);
    auto third = std::async(std::launch::async, [&] { return slots.Acquire(2, {1, 1}); });
    EXPECT_TRUE(Blocked(third)) << "only two slots";
    slots.Release(b);
    EXPECT_EQ(third.get(), b);
    slots.Release(a);
    slots.Release(b);
}

TEST(DecoderSlots, ADecodeThatNeedsMoreThanTwoRastersRunsAlone) {
    TSlots slots;
    const int plain = slots.Acquire(0, {72, 72});
    auto progressive = std::async(std::launch::async, [&] { return slots.Acquire(1, {50, 150}); });
    EXPECT_TRUE(Blocked(progressive));
    // The file after it waits too: files take the slots in order.
    auto next = std::async(std::launch::async, [&] { return slots.Acquire(2, {1, 1}); });
    EXPECT_TRUE(Blocked(next));
    slots.Release(plain);
    const int alone = progressive.get();
    EXPECT_TRUE(Blocked(next));
    // Once decoded, only its picture counts.
    slots.Decoded(alone);
    EXPECT_NE(next.get(), alone);
}

namespace {

// Pictures that stay above the size at which a slot is handed on.
class TBigPictures final : public IConvertSteps {
  public:
    int Slots() const override { return 2; }
    void Begin(const TConvertOptions&) override {}
    std::string DateOf(const std::string&) override { return {}; }
    void LoadPicture(int, const std::string&, TBitmap& bitmap) override {
        bitmap.SetSize(2100, 2100, 8);
    }
    void ResizePicture(int, TBitmap&) override {}
    void ApplyEffects(TBitmap&, const std::atomic<bool>*) override {}
    void DrawTexts(TBitmap&, const std::string&, const std::atomic<bool>*) override {}
    std::string SavePicture(const std::string&, TBitmap&, const std::atomic<bool>*) override {
        return {};
    }
};

}  // namespace

TEST(Decoders, AJobThatStopsNeverWaitsForSlotsItHoldsItself) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("tovali-decoders-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<std::string> files;
    for (const char* from : {"jpeg/colour.jpg", "jpeg/colour.jpg", "jpeg/progressive.jpg"}) {
        files.push_back((dir / (std::to_string(files.size()) + ".jpg")).string());
        fs::copy_file(Data(from), files.back(), fs::copy_options::overwrite_existing);
    }
    auto job = std::async(std::launch::async, [&] {
        TBigPictures steps;
        TDecoders decoders(steps, files);
        decoders.StartUpTo(1);
        const auto first = decoders.Take(0);
        EXPECT_GE(first->Slot(), 0) << "a full-size picture keeps its slot";
        decoders.StartUpTo(2);
        // The second picture takes the other slot; the progressive third
        // waits for room. The job stops here, at its first file.
    });
    if (job.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "the stopped job hangs";
        std::abort();
    }
    fs::remove_all(dir);
}

TEST(DecoderSlots, TheBudgetIsTwiceTheJobsLargestRasterSoFar) {
    TSlots slots(3);
    slots.Release(slots.Acquire(0, {72, 2, 2}));  // a big photo streamed into its fit
    // Two progressive decodes, each needing more than their own raster:
    // together below twice the largest raster of the job, so side by side.
    const int a = slots.Acquire(1, {40, 60, 2});
    const int b = slots.Acquire(2, {40, 60, 2});
    EXPECT_NE(a, b);
    auto third = std::async(std::launch::async, [&] { return slots.Acquire(3, {40, 60, 2}); });
    EXPECT_TRUE(Blocked(third)) << "a free slot, but no room";
    slots.Decoded(a);
    EXPECT_EQ(third.get(), 2 - a - b + 1) << "the third slot once a's coefficients are gone";
}
