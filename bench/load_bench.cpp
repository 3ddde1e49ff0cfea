// LoadPicture of a large photo against a reference decoder on the same
// file, and the peak memory of loading and saving that photo.
//
//   bench_load PHOTO [RUNS [REFERENCE ARG...]]
//
// The reference is a command whose arguments name the photo as "{}"; it is
// `djpeg -outfile /dev/null {}` unless given (bench/formats.sh gives
// heif-convert and dwebp for HEIC and WebP photos). Each round runs the
// reference as a child process and times its whole life, then times one
// LoadPicture in this process; rounds alternate so that both see the same
// machine state. The medians of the wall-clock times and of the processor
// times (user + system, which other work on a busy machine disturbs less)
// and their ratios are printed. A child process loads the photo and saves
// it as JPEG (quality 80) into a temporary folder; its peak resident memory
// is compared with the size of the photo's 24-bit raster.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/UnitThPicConvert.h"

using namespace tovali;

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Timing {
    double wall = 0;  // ms
    double cpu = 0;   // ms, user + system
};

double Milliseconds(const timeval& t) {
    return t.tv_sec * 1e3 + t.tv_usec / 1e3;
}

double ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The reference command with the photo in place of every "{}".
std::vector<std::string> ReferenceArgs(const std::vector<std::string>& pattern,
                                       const std::string& photo) {
    std::vector<std::string> args = pattern;
    for (std::string& a : args)
        if (a == "{}") a = photo;
    return args;
}

Timing TimeReference(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall = Milliseconds(Clock::now() - start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return {wall, Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime)};
}

Timing TimeLoad(const std::string& photo, int& width, int& height) {
    TthPicConvert engine;
    TBitmap bitmap;
    const double cpu = ProcessCpu();
    const auto start = Clock::now();
    engine.LoadPicture(photo, bitmap);
    const Timing t{Milliseconds(Clock::now() - start), ProcessCpu() - cpu};
    width = bitmap.Width();
    height = bitmap.Height();
    return t;
}

// Load and save in a child process; returns its peak resident set in bytes.
long PeakOfLoadAndSave(const std::string& photo) {
    const std::string dir =
        (std::filesystem::temp_directory_path() / "tovali-bench-XXXXXX").string();
    std::string pattern = dir;
    if (!mkdtemp(pattern.data())) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        TthPicConvert engine;
        engine.Options.DecidesName = true;
        engine.Options.NameAffix = "_small";
        engine.Options.OutputType = otJpeg;
        TBitmap bitmap;
        engine.LoadPicture(photo, bitmap);
        engine.SavePicture(pattern + "/" + std::filesystem::path(photo).filename().string(),
                           bitmap);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    std::filesystem::remove_all(pattern);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss * 1024L : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_load PHOTO [RUNS [REFERENCE ARG...]]\n");
        return 2;
    }
    const std::string photo = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 15;
    std::vector<std::string> pattern(argv + std::min(argc, 3), argv + argc);
    if (pattern.empty()) pattern = {"djpeg", "-outfile", "/dev/null", "{}"};
    const std::vector<std::string> reference = ReferenceArgs(pattern, photo);
    const std::string name = pattern[0];
    const long peak = PeakOfLoadAndSave(photo);  // first, from a process that has loaded nothing
    int width = 0, height = 0;
    TimeLoad(photo, width, height);  // warm the file cache and the allocator
    TimeReference(reference);
    std::vector<double> refWall, refCpu, loadWall, loadCpu;
    for (int i = 0; i < runs; ++i) {
        const Timing d = TimeReference(reference), l = TimeLoad(photo, width, height);
        refWall.push_back(d.wall);
        refCpu.push_back(d.cpu);
        loadWall.push_back(l.wall);
        loadCpu.push_back(l.cpu);
    }
    const double dw = Median(refWall), dc = Median(refCpu);
    const double lw = Median(loadWall), lc = Median(loadCpu);
    std::printf("%s: %d x %d (%.1f megapixels), %d rounds\n", photo.c_str(), width, height,
                width * double(height) / 1e6, runs);
    std::printf("%s (whole process): wall %.1f ms, processor %.1f ms\n", name.c_str(), dw, dc);
    std::printf("LoadPicture: wall %.1f ms, processor %.1f ms\n", lw, lc);
    std::printf("LoadPicture / %s: wall %.2fx, processor %.2fx\n", name.c_str(), lw / dw, lc / dc);
    const double raster = 3.0 * width * height;
    std::printf("load + save as JPEG: peak resident %.1f MB = %.2fx the 24-bit raster (%.1f MB)\n",
                peak / 1e6, peak / raster, raster / 1e6);
    return 0;
}
