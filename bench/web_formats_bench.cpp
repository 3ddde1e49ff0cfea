// WebP and AVIF copies against JPEG at the same quality level, on photos
// fitted into the 1280 box as the program fits them. The figures quoted in
// WebpCodec.cpp and HeifCodec.cpp come from the nineteen wallpapers of
// /usr/share/backgrounds (bench/web_formats.sh runs it on them).
//
//   bench_web_formats [--level Q] PHOTO...
//   bench_web_formats --calibrate[=STEP,STEP...] PHOTO...
//
// The first form encodes every fitted photo as JPEG at quality level Q
// (default 80, the level the program uses unless told otherwise), and as
// WebP and AVIF at the encoder qualities the program maps Q to. It prints,
// per photo and in total, the bytes, the encode time (the median of five,
// processor time of this one thread) and the SSIM of each copy against the
// fitted picture, the ratios of WebP and AVIF to JPEG, each format's slowest
// photo, and the machine's load average before and after (timings taken on
// a busy machine are worth repeating; the ratios come from the same run).
// The targets: WebP at most 0.80x the JPEG bytes and 1.5x its time, AVIF at
// most 0.60x the bytes and 1 s for a 1280 x 853 copy, both at a mean SSIM
// no lower than JPEG's.
//
// The second form prints the tables WebpCodec.cpp and HeifCodec.cpp hold:
// for each JPEG quality step 0, 10, ... 100 (or those named), the lowest
// WebP and AVIF quality whose mean SSIM over the photos reaches JPEG's mean
// SSIM there, and the total bytes of each at that quality against JPEG's.
//
// SSIM is computed on the luma (BT.601 weights) of the decoded copy against
// the fitted picture, over 8 x 8 windows every 4 pixels, and averaged.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/UnitThPicConvert.h"
#include "engine/codecs/HeifCodec.h"
#include "engine/codecs/JpegCodec.h"
#include "engine/codecs/WebpCodec.h"

using namespace tovali;

namespace {

using TBytes = std::vector<std::uint8_t>;
using TEncoder = std::function<TBytes(const TBitmap&, int)>;
using TDecoder = std::function<void(const TBytes&, TBitmap&)>;

constexpr int kBox = 1280;
constexpr int kTimedRuns = 5;

double ThreadMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

std::vector<float> Luma(const TBitmap& picture) {
    std::vector<float> y(std::size_t(picture.Width()) * std::size_t(picture.Height()));
    for (int row = 0; row < picture.Height(); ++row) {
        const std::uint8_t* p = picture.ScanLine(row);
        for (int x = 0; x < picture.Width(); ++x, p += 3)
            y[std::size_t(row) * std::size_t(picture.Width()) + std::size_t(x)] =
                0.114f * p[0] + 0.587f * p[1] + 0.299f * p[2];
    }
    return y;
}

double Ssim(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return 0;
    const std::vector<float> ya = Luma(a), yb = Luma(b);
    const double c1 = 6.5025, c2 = 58.5225;  // (0.01 * 255)^2, (0.03 * 255)^2
    const int w = a.Width();
    double sum = 0;
    int windows = 0;
    for (int y0 = 0; y0 + 8 <= a.Height(); y0 += 4) {
        for (int x0 = 0; x0 + 8 <= w; x0 += 4) {
            double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
            for (int y = y0; y < y0 + 8; ++y) {
                for (int x = x0; x < x0 + 8; ++x) {
                    const double p = ya[std::size_t(y) * std::size_t(w) + std::size_t(x)];
                    const double q = yb[std::size_t(y) * std::size_t(w) + std::size_t(x)];
                    sa += p, sb += q, saa += p * p, sbb += q * q, sab += p * q;
                }
            }
            const double ma = sa / 64, mb = sb / 64;
            const double va = saa / 64 - ma * ma, vb = sbb / 64 - mb * mb, cov = sab / 64 - ma * mb;
            sum +=
                (2 * ma * mb + c1) * (2 * cov + c2) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++windows;
        }
    }
    return windows ? sum / windows : 0;
}

TBytes JpegEncode(const TBitmap& picture, int quality) {
    TJpegImage jpeg(picture);
    jpeg.CompressionQuality = quality;
    jpeg.Compress();
    return TBytes(jpeg.Data(), jpeg.Data() + jpeg.DataSize());
}

struct TFormat {
    const char* Name;
    TEncoder Encode;
    TDecoder Decode;
    std::function<int(int)> QualityFor;  // the encoder quality for a JPEG level
};

const TFormat kFormats[] = {
    {"JPEG", JpegEncode, [](const TBytes& b, TBitmap& p) { JpegLoadBuffer(b.data(), b.size(), p); },
     [](int q) { return q; }},
    {"WebP", [](const TBitmap& p, int q) { return WebpEncode(p, q); },
     [](const TBytes& b, TBitmap& p) { WebpLoadBuffer(b.data(), b.size(), p); },
     WebpQualityForJpeg},
    {"AVIF", [](const TBitmap& p, int q) { return AvifEncode(p, q); },
     [](const TBytes& b, TBitmap& p) { HeifLoadBuffer(b.data(), b.size(), p); },
     AvifQualityForJpeg},
};

struct TResult {
    double Bytes = 0;
    double Milliseconds = 0;
    double Ssim = 0;
    double Slowest = 0;  // the longest encode of one photo, in the totals
};

double SsimOf(const TFormat& format, const TBitmap& fitted, const TBytes& bytes) {
    TBitmap decoded;
    format.Decode(bytes, decoded);
    return Ssim(fitted, decoded);
}

TResult Measure(const TFormat& format, const TBitmap& fitted, int quality) {
    std::vector<double> times;
    TBytes bytes;
    for (int run = 0; run < kTimedRuns; ++run) {
        const double start = ThreadMilliseconds();
        bytes = format.Encode(fitted, quality);
        times.push_back(ThreadMilliseconds() - start);
    }
    std::sort(times.begin(), times.end());
    return {double(bytes.size()), times[times.size() / 2], SsimOf(format, fitted, bytes)};
}

bool Fit(const std::string& path, TBitmap& fitted) {
    TthPicConvert engine;
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = engine.Options.PicHeight = kBox;
    try {
        engine.LoadPicture(path, fitted);
        engine.ResizePicture(fitted);
        fitted.ConvertTo24();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), e.what());
        return false;
    }
}

struct TPhoto {
    std::string Name;
    std::unique_ptr<TBitmap> Fitted;
};
using TPhotos = std::vector<TPhoto>;

TPhotos FitAll(const std::vector<std::string>& paths) {
    TPhotos photos;
    for (const std::string& path : paths) {
        auto fitted = std::make_unique<TBitmap>();
        if (Fit(path, *fitted))
            photos.push_back({path.substr(path.rfind('/') + 1), std::move(fitted)});
    }
    return photos;
}

void PrintLoad(const char* when) {
    double load[3] = {};
    if (getloadavg(load, 3) == 3)
        std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
}

int Report(const std::vector<std::string>& paths, int level) {
    const TPhotos photos = FitAll(paths);
    PrintLoad("before");
    TResult total[3];
    std::printf("JPEG level %d; WebP quality %d, AVIF quality %d\n", level,
                WebpQualityForJpeg(level), AvifQualityForJpeg(level));
    std::printf("%-28s %-5s %9s %8s %7s\n", "photo", "", "bytes", "ms", "SSIM");
    for (const TPhoto& photo : photos) {
        const TBitmap& fitted = *photo.Fitted;
        const std::string name = photo.Name + " " + std::to_string(fitted.Width()) + "x" +
                                 std::to_string(fitted.Height());
        for (int f = 0; f < 3; ++f) {
            const TResult r = Measure(kFormats[f], fitted, kFormats[f].QualityFor(level));
            std::printf("%-28s %-5s %9.0f %8.1f %7.4f\n", f == 0 ? name.c_str() : "",
                        kFormats[f].Name, r.Bytes, r.Milliseconds, r.Ssim);
            total[f].Bytes += r.Bytes;
            total[f].Milliseconds += r.Milliseconds;
            total[f].Ssim += r.Ssim / double(photos.size());
            total[f].Slowest = std::max(total[f].Slowest, r.Milliseconds);
        }
    }
    std::printf("\ntotal over %zu photos:\n", photos.size());
    for (int f = 0; f < 3; ++f) {
        std::printf(
            "  %-5s %10.0f bytes (%.3fx JPEG)  %8.1f ms (%.2fx JPEG, slowest photo "
            "%.1f ms)  mean SSIM %.4f\n",
            kFormats[f].Name, total[f].Bytes, total[f].Bytes / total[0].Bytes,
            total[f].Milliseconds, total[f].Milliseconds / total[0].Milliseconds, total[f].Slowest,
            total[f].Ssim);
    }
    PrintLoad("after");
    return 0;
}

// The mean SSIM over the photos of one format at one encoder quality.
double MeanSsim(const TFormat& format, const TPhotos& photos, int quality) {
    double sum = 0;
    for (const TPhoto& photo : photos)
        sum += SsimOf(format, *photo.Fitted, format.Encode(*photo.Fitted, quality));
    return sum / double(photos.size());
}

// The lowest quality whose mean SSIM reaches `target` (100 when none does);
// SSIM grows with the quality, so the search bisects.
int LowestReaching(const TFormat& format, const TPhotos& photos, double target) {
    int low = 0, high = 100;  // the answer lies in [low, high]
    if (MeanSsim(format, photos, high) < target) return high;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (MeanSsim(format, photos, middle) >= target)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

int Calibrate(const std::vector<std::string>& paths, const std::vector<int>& steps) {
    const TPhotos photos = FitAll(paths);
    std::printf("%zu photos\nJPEG step  SSIM    WebP  AVIF  WebP bytes  AVIF bytes (x JPEG)\n",
                photos.size());
    for (const int step : steps) {
        const double target = MeanSsim(kFormats[0], photos, step);
        const int webp = LowestReaching(kFormats[1], photos, target);
        const int avif = LowestReaching(kFormats[2], photos, target);
        double bytes[3] = {};
        for (const TPhoto& photo : photos) {
            bytes[0] += double(JpegEncode(*photo.Fitted, step).size());
            bytes[1] += double(WebpEncode(*photo.Fitted, webp).size());
            bytes[2] += double(AvifEncode(*photo.Fitted, avif).size());
        }
        std::printf("%9d  %.4f  %4d  %4d  %10.3f  %10.3f\n", step, target, webp, avif,
                    bytes[1] / bytes[0], bytes[2] / bytes[0]);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths(argv + 1, argv + argc);
    bool calibrate = false;
    std::vector<int> steps;
    int level = 80;
    if (!paths.empty() && paths.front().rfind("--calibrate", 0) == 0) {
        calibrate = true;
        std::istringstream named(
            paths.front().substr(std::min<std::size_t>(12, paths.front().size())));
        for (std::string step; std::getline(named, step, ',');)
            steps.push_back(std::atoi(step.c_str()));
        for (int step = 0; steps.empty() && step <= 100; step += 10) steps.push_back(step);
        paths.erase(paths.begin());
    } else if (paths.size() > 1 && paths.front() == "--level") {
        level = std::atoi(paths[1].c_str());
        paths.erase(paths.begin(), paths.begin() + 2);
    }
    if (paths.empty()) {
        std::fprintf(stderr,
                     "usage: bench_web_formats [--level Q | --calibrate[=STEP,...]] PHOTO...\n");
        return 2;
    }
    return calibrate ? Calibrate(paths, steps) : Report(paths, level);
}
