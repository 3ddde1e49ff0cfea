#include "StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "NewFile.h"

namespace {

std::atomic<TJobStop*> jobStop{nullptr};
std::atomic<int> notifyFd{-1};
std::atomic<int> caught{0};

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

}  // namespace

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

int CaughtStopSignal() {
    return caught.load();
}
