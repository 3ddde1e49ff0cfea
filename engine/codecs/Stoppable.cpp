#include "engine/codecs/Stoppable.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace tovali {

namespace {

// Well inside the half second a stop may take.
constexpr std::chrono::milliseconds kStopLookInterval{10};

// What the caller and the work's thread share; the last of them to let go
// frees it, and with it whatever the work held.
struct TSharedWork {
    TStoppableWork Work;
    std::atomic<bool> Abandoned{false};
    std::mutex Mutex;
    std::condition_variable Ended;
    bool Done = false;
    std::exception_ptr Error;
};

// Work a stop left running still holds its pictures. New work waits until
// none is left, so that stopping a job and starting the next never piles
// abandoned decodes and encodes on top of new ones.
struct TAbandonedWork {
    std::mutex Mutex;
    std::condition_variable Ended;
    int Running = 0;
};

TAbandonedWork& Abandoned() {
    static TAbandonedWork abandoned;
    return abandoned;
}

void WaitForAbandonedWork(const std::atomic<bool>* cancel, const char* text) {
    TAbandonedWork& abandoned = Abandoned();
    std::unique_lock lock(abandoned.Mutex);
    while (
        !abandoned.Ended.wait_for(lock, kStopLookInterval, [&] { return abandoned.Running == 0; }))
        ThrowIfStopped(cancel, text);
}

// Counts the work as abandoned; called with its state's mutex held, before
// it is done, so that its end counts it off again.
void Abandon(TSharedWork& state) {
    state.Abandoned.store(true);
    std::lock_guard lock(Abandoned().Mutex);
    ++Abandoned().Running;
}

void RunOnItsThread(const std::shared_ptr<TSharedWork>& state) {
    std::exception_ptr error;
    try {
        state->Work(state->Abandoned);
    } catch (...) {
        error = std::current_exception();
    }
    state->Work = nullptr;  // what the work holds goes now, even when nobody waits
    std::lock_guard lock(state->Mutex);
    state->Error = error;
    state->Done = true;
    state->Ended.notify_all();
    if (!state->Abandoned.load()) return;
    std::lock_guard count(Abandoned().Mutex);
    --Abandoned().Running;
    Abandoned().Ended.notify_all();
}

}  // namespace

void ThrowIfStopped(const std::atomic<bool>* cancel, const char* text) {
    if (StopRequested(cancel)) throw EStopped(text);
}

void RunStoppable(TStoppableWork work, const std::atomic<bool>* cancel, const char* text) {
    ThrowIfStopped(cancel, text);
    WaitForAbandonedWork(cancel, text);
    auto state = std::make_shared<TSharedWork>();
    state->Work = std::move(work);
    std::thread thread;
    try {
        if (cancel) thread = std::thread([state] { RunOnItsThread(state); });
    } catch (const std::system_error&) {
    }
    if (!thread.joinable()) return state->Work(state->Abandoned);
    std::unique_lock lock(state->Mutex);
    while (!state->Ended.wait_for(lock, kStopLookInterval, [&] { return state->Done; })) {
        if (!StopRequested(cancel)) continue;
        Abandon(*state);
        lock.unlock();
        thread.detach();
        throw EStopped(text);
    }
    lock.unlock();
    thread.join();
    if (state->Error) std::rethrow_exception(state->Error);
}

}  // namespace tovali
