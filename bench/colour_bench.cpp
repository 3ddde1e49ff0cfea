// What the colour step costs. From each given photo (20+ megapixels) it
// makes two JPEGs with the same Display P3 numbers, one with the P3 profile
// embedded and one without, then times a batch of all the tagged ones into
// the 1280 box against the same batch of untagged ones (the job's load and
// fit, save as JPEG), alternating rounds so both see the same machine. It also times
// ConvertToSrgb on the first photo at full size (not fitted) against its
// LoadPicture.
//
//   bench_colour PHOTO... [--rounds=N]
#include <lcms2.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/ColourProfile.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/JpegCodec.h"

using namespace tovali;

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Timing {
    double wall = 0, cpu = 0;  // ms
};

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

template <typename Work>
Timing Time(Work work) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuMs();
    work();
    return {
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
        CpuMs() - cpu};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Bytes P3Profile() {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE p3 = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number srgb[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &p3, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

// The photo's sRGB pixels as Display P3 numbers, as a phone stores them.
void ToP3(TBitmap& picture, const Bytes& p3) {
    cmsHPROFILE from = cmsCreate_sRGBProfile();
    cmsHPROFILE to = cmsOpenProfileFromMem(p3.data(), cmsUInt32Number(p3.size()));
    cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_BGR_8, to, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    for (int y = 0; y < picture.Height(); ++y)
        cmsDoTransform(t, picture.ScanLine(y), picture.ScanLine(y),
                       cmsUInt32Number(picture.Width()));
    cmsDeleteTransform(t);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Writes <dir>/plain-N.jpg and <dir>/p3-N.jpg from one photo.
void MakeSources(const std::string& photo, int n, const Bytes& p3, const fs::path& dir) {
    TBitmap picture;
    JpegLoad(photo, picture);
    ToP3(picture, p3);
    TJpegImage jpeg(picture);
    jpeg.CompressionQuality = 92;
    jpeg.Compress();
    Bytes plain(jpeg.Data(), jpeg.Data() + jpeg.DataSize());
    // One APP2 "ICC_PROFILE" chunk: marker, length, name, chunk 1 of 1.
    const std::size_t length = p3.size() + 16;
    const std::uint8_t head[] = {0xFF,
                                 0xE2,
                                 std::uint8_t(length >> 8),
                                 std::uint8_t(length),
                                 'I',
                                 'C',
                                 'C',
                                 '_',
                                 'P',
                                 'R',
                                 'O',
                                 'F',
                                 'I',
                                 'L',
                                 'E',
                                 0,
                                 1,
                                 1};
    Bytes segment(std::begin(head), std::end(head));
    segment.insert(segment.end(), p3.begin(), p3.end());
    Bytes tagged = plain;
    tagged.insert(tagged.begin() + 2, segment.begin(), segment.end());
    WriteFile(dir / ("plain-" + std::to_string(n) + ".jpg"), plain);
    WriteFile(dir / ("p3-" + std::to_string(n) + ".jpg"), tagged);
}

void RunBatch(const fs::path& dir, const char* prefix, int count) {
    TthPicConvert engine;
    engine.Options.UsePicSize = true;
    engine.Options.PicWidth = engine.Options.PicHeight = 1280;
    engine.Options.DecidesName = false;
    engine.Options.DirName = std::string("out-") + prefix;
    for (int n = 0; n < count; ++n) {
        const fs::path source = dir / (prefix + std::to_string(n) + ".jpg");
        TBitmap bitmap;
        bool loaded = false;
        engine.LoadResizedPicture(source, bitmap, loaded);
        engine.SavePicture(source.string(), bitmap);
    }
    fs::remove_all(dir / engine.Options.DirName);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> photos;
    int rounds = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            rounds = std::max(1, std::atoi(argv[i] + 9));
        } else {
            photos.push_back(argv[i]);
        }
    }
    if (photos.empty()) {
        std::fprintf(stderr, "usage: bench_colour PHOTO... [--rounds=N]\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("colour-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const Bytes p3 = P3Profile();
    for (std::size_t i = 0; i < photos.size(); ++i) MakeSources(photos[i], int(i), p3, dir);
    const int count = int(photos.size());
    std::vector<double> plainWall, plainCpu, p3Wall, p3Cpu;
    for (int r = 0; r < rounds; ++r) {
        const Timing a = Time([&] { RunBatch(dir, "plain-", count); });
        const Timing b = Time([&] { RunBatch(dir, "p3-", count); });
        plainWall.push_back(a.wall), plainCpu.push_back(a.cpu);
        p3Wall.push_back(b.wall), p3Cpu.push_back(b.cpu);
    }
    std::printf("batch of %d into the 1280 box, median of %d rounds\n", count, rounds);
    std::printf("  untagged: %8.1f ms wall %8.1f ms CPU\n", Median(plainWall), Median(plainCpu));
    std::printf("  P3:       %8.1f ms wall %8.1f ms CPU\n", Median(p3Wall), Median(p3Cpu));
    std::printf("  ratio:    %8.3f x wall %8.3f x CPU\n", Median(p3Wall) / Median(plainWall),
                Median(p3Cpu) / Median(plainCpu));

    // The whole picture, as when nothing is fitted.
    std::vector<double> loadCpu, convertCpu;
    double megapixels = 0;
    for (int r = 0; r < rounds; ++r) {
        TthPicConvert engine;
        TBitmap picture;
        loadCpu.push_back(Time([&] { engine.LoadPicture(dir / "plain-0.jpg", picture); }).cpu);
        megapixels = picture.Width() * double(picture.Height()) / 1e6;
        picture.IccProfile = p3;
        convertCpu.push_back(Time([&] { ConvertToSrgb(picture); }).cpu);
    }
    std::printf("ConvertToSrgb on %.1f MP, not fitted: %.1f ms CPU (%.0f MP/s), %.3f x its load\n",
                megapixels, Median(convertCpu), megapixels / Median(convertCpu) * 1e3,
                Median(convertCpu) / Median(loadCpu));
    fs::remove_all(dir);
    return 0;
}
