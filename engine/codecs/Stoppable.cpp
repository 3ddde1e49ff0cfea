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
}

}  // namespace

void ThrowIfStopped(const std::atomic<bool>* cancel, const char* text) {
    if (StopRequested(cancel)) throw EStopped(text);
}

void RunStoppable(TStoppableWork work, const std::atomic<bool>* cancel, const char* text) {
    ThrowIfStopped(cancel, text);
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
        state->Abandoned.store(true);
        lock.unlock();
        thread.detach();
        throw EStopped(text);
    }
    lock.unlock();
    thread.join();
    if (state->Error) std::rethrow_exception(state->Error);
}

}  // namespace tovali
