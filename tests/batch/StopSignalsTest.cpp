// The stop signals, caught in a child process of the test: the hidden
// temporary a save writes where there are no unnamed files is removed by the
// handler itself, and the save under way fails instead of finishing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <vector>

#include "app/batch/StopSignals.h"
#include "engine/NewFile.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

// Runs body in a child process; returns its exit status (-1 when killed).
template <class F>
int InChild(F&& body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(StopSignals, ASignalMidSaveRemovesTheTemporaryAndStopsTheJob) {
    const fs::path dir = fs::temp_directory_path() / ("tovali-stop-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const int exit = InChild([&] {
            TJobStop stop;
            CatchStopSignals(&stop);
            UseAnonymousNewFiles(false);  // as on a file system without them
            auto* file = new TNewFile((dir / "a.png").string());  // never destroyed
            std::vector<char> part(1 << 20, 'x');
            file->Sink().Write(part.data(), part.size());
            if (std::distance(fs::directory_iterator(dir), fs::directory_iterator()) != 1)
                return 10;  // the temporary should be there now
            raise(signal);
            if (!stop.Requested() || CaughtStopSignal() != signal) return 11;
            try {
                file->Sink().Write(part.data(), part.size());
                return 12;
            } catch (const EFileError&) {
            }
            try {
                TNewFile another((dir / "b.png").string());
                return 13;
            } catch (const EFileError&) {
            }
            return 0;  // leaves without any clean-up of its own
        });
        EXPECT_EQ(exit, 0) << signal;
        EXPECT_TRUE(fs::is_empty(dir)) << signal;
    }
    fs::remove_all(dir);
}
