// Speed of the engine's pixel work on a 6000 x 4000 raster: the resampler
// into the 1280 box, each colour step (megapixels per second) and the date
// and comment overlay. bench/pixels.sh sets these against djpeg.
// --photo=FILE takes the raster from a photo instead of a made-up one.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstring>
#include <random>
#include <string>

#include "engine/BitmapUtils.h"
#include "engine/UnitThPicConvert.h"

using namespace tovali;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo-like raster: smooth gradients with noise, so no step meets only
// one value.
void FillPhoto(TBitmap& b) {
    std::mt19937 rng(1);
    for (int y = 0; y < b.Height(); ++y) {
        std::uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < b.Width(); ++x, p += 3) {
            const unsigned noise = rng();
            p[0] = std::uint8_t((x / 24 + (noise & 15)) & 255);
            p[1] = std::uint8_t((y / 16 + ((noise >> 4) & 15)) & 255);
            p[2] = std::uint8_t(((x + y) / 40 + ((noise >> 8) & 15)) & 255);
        }
    }
}

std::string photoFile;

void LoadPhoto(TBitmap& b) {
    TthPicConvert engine;
    engine.LoadPicture(photoFile, b);
    b.ConvertTo24();
}

const TBitmap& Photo() {
    static const auto photo = [] {
        auto b = std::make_unique<TBitmap>(kWidth, kHeight, 24);
        if (photoFile.empty()) {
            FillPhoto(*b);
        } else {
            LoadPhoto(*b);
        }
        return b;
    }();
    return *photo;
}

// The photo's size fitted into the 1280 box, as the box fit works it out.
TSize BoxSize() {
    static const TSize size = [] {
        TthPicConvert engine;
        engine.Options.UsePicSize = true;
        engine.Options.PicWidth = engine.Options.PicHeight = 1280;
        TBitmap fitted;
        fitted.Assign(Photo());
        engine.ResizePicture(fitted);
        return TSize{fitted.Width(), fitted.Height()};
    }();
    return size;
}

void BM_ResampleInto1280Box(benchmark::State& state) {
    const TBitmap& src = Photo();
    const TSize box = BoxSize();
    for (auto _ : state) benchmark::DoNotOptimize(ResampleBitmap(src, box.cx, box.cy));
    state.SetItemsProcessed(state.iterations() * src.Width() * src.Height());
}
BENCHMARK(BM_ResampleInto1280Box)->Unit(benchmark::kMillisecond)->UseRealTime();

template <class Step>
void RunColourStep(benchmark::State& state, Step step) {
    TthPicConvert engine;
    const TBitmap& photo = Photo();
    TBitmap work;
    work.Assign(photo);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.Bits(), photo.Bits(), photo.Stride() * std::size_t(photo.Height()));
        state.ResumeTiming();
        step(engine, work);
    }
    state.SetItemsProcessed(state.iterations() * work.Width() * work.Height());
}

void BM_AdjustContrast(benchmark::State& state) {
    RunColourStep(state, [](TthPicConvert& e, TBitmap& b) { e.AdjustContrast(b, 50); });
}
void BM_MakeVivid(benchmark::State& state) {
    RunColourStep(state, [](TthPicConvert& e, TBitmap& b) { e.MakeVivid(b); });
}
void BM_Brighter(benchmark::State& state) {
    RunColourStep(state, [](TthPicConvert& e, TBitmap& b) { e.AdjustBrightness(b, false); });
}
void BM_Darker(benchmark::State& state) {
    RunColourStep(state, [](TthPicConvert& e, TBitmap& b) { e.AdjustBrightness(b, true); });
}
void BM_MakeMonochrome(benchmark::State& state) {
    RunColourStep(state, [](TthPicConvert& e, TBitmap& b) { e.MakeMonochrome(b); });
}
void BM_DrawWhiteFrame(benchmark::State& state) {
    RunColourStep(state, [](TthPicConvert& e, TBitmap& b) { e.DrawWhiteFrame(b); });
}
BENCHMARK(BM_AdjustContrast)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MakeVivid)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Brighter)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Darker)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MakeMonochrome)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawWhiteFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Both texts on, on the photo fitted into the 1280 box (first argument 0)
// or at its full size (1), at the given size level.
void BM_DrawTexts(benchmark::State& state) {
    const TSize size = state.range(0) ? TSize{Photo().Width(), Photo().Height()} : BoxSize();
    TthPicConvert engine;
    const auto level = TTextSizeLevel(state.range(1));
    engine.Options.Date = {
        true,  "2024/05/31", RGBColor(255, 255, 255), RGBColor(255, 128, 0), "IPAPGothic",
        level, dpRightBottom};
    engine.Options.Comment = {true,
                              "夏の思い出 Summer",
                              RGBColor(255, 255, 255),
                              RGBColor(0, 0, 0),
                              "IPAPGothic",
                              level,
                              dpLeftTop};
    TBitmap picture(size.cx, size.cy, 24);
    for (auto _ : state) engine.DrawTexts(picture, engine.Options.Date.Text);
}
BENCHMARK(BM_DrawTexts)
    ->ArgsProduct({{0, 1}, {tsExtraLarge, tsLarge, tsMedium, tsSmall, tsExtraSmall}})
    ->ArgNames({"full", "level"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    const std::string flag = "--photo=";
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]).rfind(flag, 0) != 0) continue;
        photoFile = argv[i] + flag.size();
        std::copy(argv + i + 1, argv + argc, argv + i);
        --argc;
        break;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
