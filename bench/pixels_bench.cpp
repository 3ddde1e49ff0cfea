// Speed of the engine's pixel work on a 6000 x 4000 raster: the resampler
// into the 1280 box, each colour step (megapixels per second) and the date
// and comment overlay. bench/pixels.sh sets these against djpeg.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <random>

#include "BitmapUtils.h"
#include "UnitThPicConvert.h"

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

const TBitmap& Photo() {
    static const auto photo = [] {
        auto b = std::make_unique<TBitmap>(kWidth, kHeight, 24);
        FillPhoto(*b);
        return b;
    }();
    return *photo;
}

void BM_ResampleInto1280Box(benchmark::State& state) {
    const TBitmap& src = Photo();
    for (auto _ : state) benchmark::DoNotOptimize(ResampleBitmap(src, 1280, 853));
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ResampleInto1280Box)->Unit(benchmark::kMillisecond)->UseRealTime();

template <class Step>
void RunColourStep(benchmark::State& state, Step step) {
    TthPicConvert engine;
    TBitmap work(kWidth, kHeight, 24);
    for (auto _ : state) {
        state.PauseTiming();
        work.Assign(Photo());
        state.ResumeTiming();
        step(engine, work);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
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

// Both texts on, in the default faces of the window, at the largest size
// level (the most glyph area and the widest outline).
void BM_DrawTexts(benchmark::State& state) {
    const int w = int(state.range(0));
    const int h = int(state.range(1));
    TthPicConvert engine;
    TConvertOptions& o = engine.Options;
    o.UseDate = o.UseComment = true;
    o.InputDate = "2024/05/31";
    o.CommentText = "夏の思い出 Summer";
    o.DateFontName = o.CommentFontName = "IPAPGothic";
    o.DateFontSize = o.CommentFontSize = TTextSizeLevel(state.range(2));
    o.DatePos = dpRightBottom;
    o.CommentPos = dpLeftTop;
    o.DateColorOuter = o.CommentColorOuter = RGBColor(255, 255, 255);
    o.DateColorInner = RGBColor(255, 128, 0);
    o.CommentColorInner = RGBColor(0, 0, 0);
    TBitmap picture(w, h, 24);
    for (auto _ : state) engine.DrawTexts(picture);
}
BENCHMARK(BM_DrawTexts)
    ->Args({1280, 853, tsExtraLarge})
    ->Args({1280, 853, tsMedium})
    ->Args({6000, 4000, tsExtraLarge})
    ->Args({6000, 4000, tsExtraSmall})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
