#include <algorithm>
#ifdef __linux__
#include <sched.h>
#endif
#include <bit>
#include <thread>

#ifdef _WIN32
#include "exif/WinApi.h"
#endif

#include "app/batch/ConvertJob.h"
#include "app/batch/ExifStore.h"
#include "engine/codecs/JpegCoefficients.h"
#include "exif/ExifInfo.h"

namespace tovali {

int DefaultJobCount() {
#ifdef __linux__
    // The cores this process may run on (taskset, a container's cpuset),
    // which can be fewer than the machine has.
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        return std::max(1, CPU_COUNT(&allowed));
#elif defined(_WIN32)
    // The processors of the process's affinity mask (start /affinity, a job
    // object); a machine of more than 64 counts its own group only.
    DWORD_PTR allowed = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &allowed, &system) && allowed != 0)
        return std::popcount(std::uint64_t(allowed));
#endif
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

void IConvertSteps::LoadResizedPicture(int slot, const std::string& source, TBitmap& bitmap,
                                       bool& loaded, const std::atomic<bool>*) {
    LoadPicture(slot, source, bitmap);
    loaded = true;
    ResizePicture(slot, bitmap);
}

TDecodeCost IConvertSteps::DecodeCost(const std::string& source) {
    return EstimateDecodeCost(source);
}

TEngineSteps::TEngineSteps(int slots) {
    // A reader of its own for each read: the decoders' threads read too.
    exif_ = std::make_unique<TExifStore>([](const std::string& path, bool withDate) {
        TExifInfo reader;
        return ReadPictureExif(reader, path, withDate);
    });
    for (int i = 0; i < std::max(slots, 1); ++i) {
        decoders_.push_back(std::make_unique<TthPicConvert>());
        // Side by side, decodes share the memory one would take alone.
        decoders_.back()->CompactCoefficients = slots > 1 || PackingSavesTime();
    }
}

TEngineSteps::~TEngineSteps() = default;

void TEngineSteps::Begin(const TConvertOptions& options) {
    converter_.Options = options;
    for (auto& decoder : decoders_) decoder->Options = options;
    exif_->SetDateWanted(DateFromPicture(options));
}

std::string TEngineSteps::DateOf(const std::string& source) {
    // The EXIF store keeps a file's entry for the date step only when the
    // date comes from the picture (Begin): only then is it asked.
    if (!DateFromPicture(converter_.Options)) return converter_.Options.Date.Text;
    return converter_.DateOf(source, exif_->Get(source, TExifStore::TUse::Date));
}

void TEngineSteps::LoadPicture(int slot, const std::string& source, TBitmap& bitmap) {
    decoders_[std::size_t(slot)]->LoadPicture(source, bitmap);
}

void TEngineSteps::ResizePicture(int slot, TBitmap& bitmap) {
    decoders_[std::size_t(slot)]->ResizePicture(bitmap);
}

void TEngineSteps::LoadResizedPicture(int slot, const std::string& source, TBitmap& bitmap,
                                      bool& loaded, const std::atomic<bool>* cancel) {
    const TPictureExif exif = exif_->Get(source, TExifStore::TUse::Load);
    decoders_[std::size_t(slot)]->LoadResizedPicture(source, exif, bitmap, loaded, cancel);
}

TDecodeCost TEngineSteps::DecodeCost(const std::string& source) {
    // Only the options are read, and no step changes them during the job.
    const TPictureExif exif = exif_->Get(source, TExifStore::TUse::Cost);
    return EstimateDecodeCost(source, decoders_.front().get(), &exif);
}

void TEngineSteps::ApplyEffects(TBitmap& bitmap, const std::atomic<bool>* cancel) {
    converter_.ApplyEffects(bitmap, cancel);
}

void TEngineSteps::DrawTexts(TBitmap& bitmap, const std::string& date,
                             const std::atomic<bool>* cancel) {
    converter_.DrawTexts(bitmap, date, cancel);
}

std::string TEngineSteps::SavePicture(const std::string& outputName, TBitmap& bitmap,
                                      const std::atomic<bool>* cancel) {
    return converter_.SavePicture(outputName, bitmap, cancel);
}

}  // namespace tovali
