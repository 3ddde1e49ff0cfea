#include "app/batch/StopSignals.h"

#ifdef _WIN32
#include "exif/WinApi.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>

#include "engine/NewFile.h"

namespace tovali {

namespace {

std::atomic<TJobStop*> jobStop{nullptr};
std::atomic<int> notifyFd{-1};
std::atomic<int> caught{0};

#ifdef _WIN32

// Closing the console, logging off and shutting down end the program as a
// hang-up does on Linux.
constexpr int kHangUp = 1;

// The Linux signal a console control event stands for.
int SignalOf(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            return SIGINT;
        case CTRL_BREAK_EVENT:
            return SIGBREAK;
        default:
            return kHangUp;
    }
}

// Which events came already, one bit each.
std::atomic<unsigned> seenEvents{0};

#else

// Only async-signal-safe calls: atomics, unlink (inside AbandonNewFiles),
// write.
void OnStopSignal(int signal) {
    const int saved = errno;
    int none = 0;
    caught.compare_exchange_strong(none, signal);
    AbandonNewFiles();
    if (TJobStop* stop = jobStop.load()) stop->Request();
    const int fd = notifyFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
    }
    errno = saved;
}

// Linux: a pipe whose ends neither block nor pass to child processes.
bool OpenSelfPipe(int ends[2]) {
    return pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0;
}

#endif

}  // namespace

#ifdef _WIN32

int __stdcall OnConsoleControl(unsigned long event) {
    const unsigned bit = 1u << (event & 31);
    if (seenEvents.fetch_or(bit) & bit) return FALSE;  // the system's handler ends us
    int none = 0;
    caught.compare_exchange_strong(none, SignalOf(event));
    AbandonNewFiles();
    if (TJobStop* stop = jobStop.load()) stop->Request();
    return TRUE;
}

// Windows has no self-pipe to offer: the window program learns of a log-off
// from its own messages.
int CatchStopSignals(TJobStop* stop) {
    jobStop.store(stop);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    return -1;
}

#else

int CatchStopSignals(TJobStop* stop) {
    jobStop.store(stop);
    int ends[2] = {-1, -1};
    if (notifyFd.load() < 0 && OpenSelfPipe(ends)) notifyFd.store(ends[1]);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    return ends[0];
}

#endif

int CaughtStopSignal() {
    return caught.load();
}

}  // namespace tovali
