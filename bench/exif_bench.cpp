// Cost of the picture-date step on a large camera JPEG: HasExif, the load
// and GetDateTime, as the engine runs them for every file.
//
//   exif_bench [benchmark flags] [PHOTO [CAMERA]]
//
// PHOTO defaults to the 24-megapixel Painting-Colors wallpaper of Debian's
// lomiri-wallpapers. With CAMERA, the EXIF APP1 segment of that camera file
// (maker notes, thumbnail and all) replaces PHOTO's own, so that a real
// camera's EXIF block sits in front of 20+ megapixels of picture data.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "exif/ExifInfo.h"

using namespace tovali;

namespace {

using Bytes = std::vector<char>;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// Byte ranges [start, end) of the segments between SOI and SOS.
std::vector<std::pair<std::size_t, std::size_t>> Segments(const Bytes& jpeg) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && std::uint8_t(jpeg[pos]) == 0xFF &&
           std::uint8_t(jpeg[pos + 1]) != 0xDA) {
        const std::size_t length =
            (std::size_t(std::uint8_t(jpeg[pos + 2])) << 8) | std::uint8_t(jpeg[pos + 3]);
        out.emplace_back(pos, pos + 2 + length);
        pos += 2 + length;
    }
    return out;
}

bool IsExifApp1(const Bytes& jpeg, std::pair<std::size_t, std::size_t> s) {
    return std::uint8_t(jpeg[s.first + 1]) == 0xE1 && s.second - s.first > 10 &&
           std::string(&jpeg[s.first + 4], 4) == "Exif";
}

// PHOTO with CAMERA's EXIF segment right after SOI instead of its own.
std::string Splice(const std::string& photo, const std::string& camera) {
    const Bytes cam = ReadAll(camera);
    const Bytes pic = ReadAll(photo);
    Bytes out(pic.begin(), pic.begin() + 2);
    for (auto s : Segments(cam))
        if (IsExifApp1(cam, s))
            out.insert(out.end(), cam.begin() + s.first, cam.begin() + s.second);
    std::size_t rest = 2;
    for (auto s : Segments(pic)) {
        if (!IsExifApp1(pic, s))
            out.insert(out.end(), pic.begin() + s.first, pic.begin() + s.second);
        rest = s.second;
    }
    out.insert(out.end(), pic.begin() + rest, pic.end());
    const std::string path = (std::filesystem::temp_directory_path() / "exif_bench.jpg").string();
    std::ofstream(path, std::ios::binary).write(out.data(), std::streamsize(out.size()));
    return path;
}

void DateStep(benchmark::State& state, const std::string& file) {
    TExifInfo reader;
    for (auto _ : state) {
        bool has = reader.HasExif(file);
        reader.SetImageFileName(file);
        TDateTime date = reader.GetDateTime();
        benchmark::DoNotOptimize(has);
        benchmark::DoNotOptimize(date);
    }
    state.SetLabel(std::to_string(reader.JpegWidth()) + "x" + std::to_string(reader.JpegHeight()) +
                   ", " + std::to_string(std::filesystem::file_size(file)) + " bytes, " +
                   reader.GetDateTimeText());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string photo =
        argc > 1 ? argv[1] : "/usr/share/backgrounds/Painting-Colors_by__herobrine7gamer.jpg";
    if (argc > 2) photo = Splice(photo, argv[2]);
    benchmark::RegisterBenchmark("HasExif+Load+GetDateTime", DateStep, photo)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
