// The display picture from a live frame (histogram, levels in place and the bottom-up
// copy into the picture) against its parts done by plain means: one pass counting
// every byte, cv::LUT with one 256-entry table over the 3-channel frame, and a memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <opencv2/core.hpp>
#include <random>
#include <vector>

#include "display_picture.h"
#include "vantelo.h"

namespace {

constexpr int kWidth = 3032;
constexpr int kHeight = 2018;
constexpr std::size_t kBytes = std::size_t{kWidth} * kHeight * 3;

const std::vector<unsigned char>& randomFrame() {
    static const std::vector<unsigned char> frame = [] {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> byte(1, 255);
        std::vector<unsigned char> v(kBytes);
        for (auto& b : v) b = static_cast<unsigned char>(byte(rng));
        return v;
    }();
    return frame;
}

void BM_CopyToShowBuffer(benchmark::State& state) {
    CameraRecord record{};
    record.crop_right = kWidth;
    record.crop_bottom = kHeight;
    vantelo::resetDisplayPicture(kWidth, kHeight);
    Mes_InitHistogram();
    Mes_AutoLevels(0);
    Mes_SetLevelsValues(20, 230);  // away from the identity table
    std::vector<unsigned char> pixels(kBytes);
    for (auto _ : state) {
        // The levels are applied in place, so each run starts from the same frame.
        state.PauseTiming();
        std::memcpy(pixels.data(), randomFrame().data(), kBytes);
        state.ResumeTiming();
        benchmark::DoNotOptimize(Mes_CopyToShowBuffer(&record, pixels.data()));
        benchmark::ClobberMemory();
    }
    vantelo::destroyDisplayPicture();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_Reference_CountLutMemcpy(benchmark::State& state) {
    cv::setNumThreads(1);
    std::vector<unsigned char> pixels(kBytes);
    const cv::Mat frame(kHeight, kWidth, CV_8UC3, pixels.data());
    cv::Mat lut(1, 256, CV_8UC1);
    for (int i = 0; i < 256; ++i) lut.data[i] = static_cast<unsigned char>(255 - i);
    cv::Mat mapped(kHeight, kWidth, CV_8UC3);
    std::vector<unsigned char> picture(kBytes);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(pixels.data(), randomFrame().data(), kBytes);
        state.ResumeTiming();
        int bins[256] = {};
        for (std::size_t i = 0; i < kBytes; ++i) ++bins[pixels[i]];
        benchmark::DoNotOptimize(bins);
        cv::LUT(frame, lut, mapped);
        std::memcpy(picture.data(), mapped.data, kBytes);
        benchmark::DoNotOptimize(picture.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

}  // namespace

BENCHMARK(BM_Reference_CountLutMemcpy)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CopyToShowBuffer)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
