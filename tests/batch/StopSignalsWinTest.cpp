// Windows: the console's control events stop a job as the signals do on
// Linux. Driven in a child process, which then dies without any clean-up of
// its own: the file being written is gone all the same.
#ifdef _WIN32  // Windows only, whichever way the build picks its test files
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <vector>

#include "app/batch/StopSignals.h"
#include "engine/NewFile.h"
#include "tests/WinChild.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

// The child's part; its exit code says how far it got (0: all as expected).
unsigned StopMidSave(const std::string& folder) {
    TJobStop stop;
    CatchStopSignals(&stop);
    auto* file = new TNewFile(folder + "a.png");  // never destroyed
    std::vector<char> part(1 << 20, 'x');
    file->Sink().Write(part.data(), part.size());
    if (fs::is_empty(FileSystemPath(folder))) return 10;  // the temporary should be there
    if (!OnConsoleControl(CTRL_C_EVENT)) return 11;
    if (!stop.Requested() || CaughtStopSignal() != SIGINT) return 12;
    try {
        file->Sink().Write(part.data(), part.size());
        return 13;
    } catch (const EFileError&) {
    }
    try {
        TNewFile another(folder + "b.png");
        return 14;
    } catch (const EFileError&) {
    }
    if (!OnConsoleControl(CTRL_BREAK_EVENT) || CaughtStopSignal() != SIGINT) return 15;
    if (OnConsoleControl(CTRL_C_EVENT)) return 16;  // a second Ctrl-C ends the program
    return 0;
}

}  // namespace

TEST(StopSignalsWin, CtrlCMidSaveLeavesNothingAndStopsTheJob) {
    if (const std::string folder = ChildFolder(); !folder.empty())
        KillThisProcess(StopMidSave(folder));
    const fs::path dir =
        fs::temp_directory_path() / (L"tovali-stop-" + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(dir);
    EXPECT_EQ(RunCurrentTestInChild(PathText(dir) + "\\"), 0);
    EXPECT_TRUE(fs::is_empty(dir));
    fs::remove_all(dir);
}

#endif
