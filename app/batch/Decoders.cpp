#include "app/batch/Decoders.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "exif/WidePath.h"

namespace tovali {

namespace {

// A fitted picture of at most this many pixels no longer counts as full
// size: its slot is handed on at once.
constexpr std::uint64_t kSmallPixels = std::uint64_t(1) << 22;
// How often the relay looks for a stop request: well inside the half
// second a stop may take.
constexpr std::chrono::milliseconds kStopLookInterval{10};

}  // namespace

TSlots::TSlots(int count) : busy_(std::size_t(std::max(count, 1))), held_(busy_.size()) {}

int TSlots::Acquire(std::size_t file, const TDecodeCost& cost) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock,
                  [&] { return stopped_ || (turn_ == file && FreeSlot() >= 0 && Fits(cost)); });
    if (stopped_) return -1;
    ++turn_;
    return Take(FreeSlot(), cost);
}

int TSlots::AcquireAgain(const TDecodeCost& cost) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || FreeSlot() >= 0; });
    return stopped_ ? -1 : Take(FreeSlot(), cost);
}

int TSlots::Take(int slot, const TDecodeCost& cost) {
    largest_ = std::max(largest_, cost.RasterBytes);
    busy_[slot] = true;
    held_[slot] = cost;
    changed_.notify_all();
    return slot;
}

void TSlots::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

int TSlots::FreeSlot() const {
    for (int slot = 0; slot < int(busy_.size()); ++slot) {
        if (!busy_[slot]) return slot;
    }
    return -1;
}

void TSlots::Decoded(int slot) {
    {
        std::lock_guard lock(mutex_);
        held_[slot].PeakBytes = held_[slot].HeldBytes;
    }
    changed_.notify_all();
}

void TSlots::Release(int slot) {
    {
        std::lock_guard lock(mutex_);
        busy_[slot] = false;
        held_[slot] = {};
    }
    changed_.notify_all();
}

bool TSlots::Fits(const TDecodeCost& cost) const {
    std::uint64_t peak = cost.PeakBytes;
    bool alone = true;
    for (std::size_t s = 0; s < busy_.size(); ++s) {
        if (!busy_[s]) continue;
        alone = false;
        peak += held_[s].PeakBytes;
    }
    return alone || peak <= 2 * std::max(largest_, cost.RasterBytes);
}

void TDecoded::ReleaseSlot() {
    if (slot_ < 0) return;
    slots_->Release(slot_);
    slot_ = -1;
}

TStopRelay::TStopRelay(const TJobStop* stop, std::atomic<bool>& cancel) {
    if (!stop) return;
    try {
        thread_ = std::thread([this, stop, &cancel] {
            std::unique_lock lock(mutex_);
            while (!ended_.wait_for(lock, kStopLookInterval, [this] { return end_; })) {
                if (!stop->Requested()) continue;
                cancel.store(true);
                return;
            }
        });
    } catch (const std::system_error&) {
    }
}

TStopRelay::~TStopRelay() {
    {
        std::lock_guard lock(mutex_);
        end_ = true;
    }
    ended_.notify_all();
    if (thread_.joinable()) thread_.join();
}

TDecoders::TDecoders(IConvertSteps& steps, const std::vector<std::string>& files,
                     const TJobStop* stop)
    : steps_(steps), files_(files), slots_(steps.Slots()), relay_(stop, cancel_) {}

TDecoders::~TDecoders() {
    cancel_.store(true);
    slots_.Stop();
    // Dropping the results hands back the slots they hold.
    for (auto& pending : pending_) {
        try {
            if (pending.valid()) pending.get();
        } catch (...) {
        }
    }
}

void TDecoders::StartUpTo(std::size_t last) {
    // One slot: one picture at a time, strictly in turn.
    const auto policy = steps_.Slots() > 1 ? std::launch::async : std::launch::deferred;
    while (pending_.size() <= last && pending_.size() < files_.size()) {
        const std::size_t file = pending_.size();
        savesAtStart_.push_back(saves_.size());
        try {
            pending_.push_back(std::async(policy, [this, file] { return Decode(file, false); }));
        } catch (const std::system_error& e) {
            // No thread for this decode: its file fails at its turn (the
            // job stops there, so later files never wait for that turn).
            std::promise<std::unique_ptr<TDecoded>> failed;
            auto decoded = std::make_unique<TDecoded>(slots_, -1);
            decoded->Error = std::make_exception_ptr(
                std::runtime_error(std::string("cannot start a decoder: ") + e.what()));
            failed.set_value(std::move(decoded));
            pending_.push_back(failed.get_future());
        }
    }
}

std::unique_ptr<TDecoded> TDecoders::Take(std::size_t i) {
    StartUpTo(i);
    std::unique_ptr<TDecoded> decoded = pending_[i].get();
    if (!WrittenSince(i)) return decoded;
    decoded.reset();
    return Decode(i, true);
}

std::unique_ptr<TDecoded> TDecoders::Decode(std::size_t file, bool again) {
    const TDecodeCost cost = steps_.DecodeCost(files_[file]);
    const int slot = again ? slots_.AcquireAgain(cost) : slots_.Acquire(file, cost);
    auto decoded = std::make_unique<TDecoded>(slots_, slot);
    if (slot < 0) return decoded;
    try {
        bool loaded = false;
        try {
            steps_.LoadResizedPicture(slot, files_[file], *decoded->Bitmap, loaded, &cancel_);
        } catch (...) {
            if (loaded) decoded->FailedStep = TJobStep::Resize;
            throw;
        }
    } catch (...) {
        decoded->Error = std::current_exception();
        decoded->Bitmap.reset();
    }
    const TBitmap* bitmap = decoded->Bitmap.get();
    if (!bitmap || std::uint64_t(bitmap->Width()) * std::uint64_t(bitmap->Height()) <= kSmallPixels)
        decoded->ReleaseSlot();
    else
        slots_.Decoded(slot);
    return decoded;
}

bool TDecoders::WrittenSince(std::size_t file) const {
    std::error_code ec;
    for (std::size_t k = savesAtStart_[file]; k < saves_.size(); ++k) {
        if (std::filesystem::equivalent(FileSystemPath(files_[file]), FileSystemPath(saves_[k]),
                                        ec))
            return true;
    }
    return false;
}

}  // namespace tovali
