// Decoding ahead for the conversion job: each file is loaded and fitted into
// its box in one of the decoder slots (one per job) while the job works on
// earlier files. A picture that is fitted streams into the fit, so a decode
// in flight mostly costs a few rows (or a progressive JPEG's coefficients),
// and one picture per slot can be in flight at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/batch/ConvertJob.h"
#include "engine/DecodeCost.h"

namespace tovali {

// The decoder slots, taken strictly in file order, so that the file the job
// needs next is never kept waiting by a later one. Decodes share the slots
// only while together they need no more memory than twice the full-size
// raster of the job's largest picture so far (the memory a plain load of it
// and its fit took anyway); a decode that needs more runs alone. A fitted
// picture streams, so its decode costs only its fit and, for a progressive
// JPEG, the coefficients.
class TSlots {
  public:
    explicit TSlots(int count = 2);
    // Waits for the turn of this file (files count from 0, each takes one
    // turn), a free slot and room in memory. -1 once stopped.
    int Acquire(std::size_t file, const TDecodeCost& cost);
    // For a file decoded again after its turn: waits for a free slot only.
    int AcquireAgain(const TDecodeCost& cost);
    // The decode in this slot is over; its picture alone stays.
    void Decoded(int slot);
    void Release(int slot);
    // Every decode still waiting gives up.
    void Stop();

  private:
    int FreeSlot() const;
    bool Fits(const TDecodeCost& cost) const;
    int Take(int slot, const TDecodeCost& cost);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t turn_ = 0;
    bool stopped_ = false;
    std::uint64_t largest_ = 0;  // the largest raster of a decode begun
    std::vector<bool> busy_;
    std::vector<TDecodeCost> held_;
};

// One file's picture after its load and fit, or the step that failed. A
// picture still at full size keeps its slot until it is released, so that
// no more full-size pictures exist at a time than there are slots.
class TDecoded {
  public:
    TDecoded(TSlots& slots, int slot) : slots_(&slots), slot_(slot) {}
    ~TDecoded() { ReleaseSlot(); }
    TDecoded(const TDecoded&) = delete;
    TDecoded& operator=(const TDecoded&) = delete;

    void ReleaseSlot();
    int Slot() const { return slot_; }

    std::unique_ptr<TBitmap> Bitmap = std::make_unique<TBitmap>();
    std::exception_ptr Error;
    TJobStep FailedStep = TJobStep::Load;

  private:
    TSlots* slots_;
    int slot_;
};

// Passes the job's stop request on to the decodes under way. A request is a
// bare atomic store (a signal handler makes it) that wakes nobody, so a
// thread of its own looks for it every few milliseconds while the decoders
// exist. Without a thread to be had, the job still stops between steps.
class TStopRelay {
  public:
    TStopRelay(const TJobStop* stop, std::atomic<bool>& cancel);
    ~TStopRelay();
    TStopRelay(const TStopRelay&) = delete;
    TStopRelay& operator=(const TStopRelay&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool end_ = false;
    std::thread thread_;
};

class TDecoders {
  public:
    // A stop request (when `stop` is given) makes the decodes under way give
    // up between rows, as the decoders' end does.
    TDecoders(IConvertSteps& steps, const std::vector<std::string>& files,
              const TJobStop* stop = nullptr);
    // Stops the decodes under way (they give up between rows) and waits for
    // them; those still waiting for a slot give up.
    ~TDecoders();
    TDecoders(const TDecoders&) = delete;
    TDecoders& operator=(const TDecoders&) = delete;

    // Starts the decodes of every file up to index last (fewer at the end).
    // With a single slot nothing runs ahead: each decode runs in Take.
    void StartUpTo(std::size_t last);
    // The decode of file i, waiting for it when needed. When a save made
    // since that decode began wrote this very file, it is decoded again, so
    // that the job reads each file as it is when its turn comes.
    std::unique_ptr<TDecoded> Take(std::size_t i);
    // Tells of every file the job writes.
    void Saved(const std::string& path) { saves_.push_back(path); }

  private:
    std::unique_ptr<TDecoded> Decode(std::size_t file, bool again);
    bool WrittenSince(std::size_t file) const;

    IConvertSteps& steps_;
    const std::vector<std::string>& files_;
    TSlots slots_;
    std::atomic<bool> cancel_{false};
    TStopRelay relay_;
    std::vector<std::future<std::unique_ptr<TDecoded>>> pending_;
    std::vector<std::string> saves_;
    std::vector<std::size_t> savesAtStart_;
};

}  // namespace tovali
