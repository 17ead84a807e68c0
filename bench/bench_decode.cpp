// Whole-frame decode of a mode-0 frame against OpenCV's bilinear demosaic alone.
#include <benchmark/benchmark.h>

#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "bench_frames.h"
#include "color_processor.h"
#include "frame_decode.h"
#include "lookup_vbmi.h"
#include "mode_geometry.h"

namespace {

using namespace ostra;

const ModeGeometry& mode0() {
    return modeTable()[0];
}

FrameLayout layout0() {
    const ModeGeometry& g = mode0();
    return FrameLayout{
        g.processingWidth, g.processingHeight, g.outputWidth, g.outputHeight, false, true};
}

// Picture settings away from neutral: gamma 100, contrast 40, saturation 160, gains.
template <typename P>
void configure(P& p, int threads) {
    const ModeGeometry& g = mode0();
    p.setSize(g.processingWidth, g.processingHeight);
    p.setPatternCode(6);
    p.setGamma(gammaExponent(100));
    p.setContrast(contrastFactor(40));
    p.setSaturation(saturationFactor(160));
    p.setGains(gainFactor(80), gainFactor(64), gainFactor(56));
    p.setThreads(threads);
}

void decodeBench(benchmark::State& state, int bytesPerSample) {
    const int threads = static_cast<int>(state.range(0));
    // The second argument switches the AVX-512 byte-permute lookup off, to show what
    // CPUs without it get.
    setVbmiEnabled(state.range(1) != 0);
    const FrameLayout layout = layout0();
    std::mutex lock;
    ColorProcessor8 p8(lock);
    ColorProcessor16 p16(lock);
    configure(p8, threads);
    configure(p16, threads);
    const auto sky =
        bench::skyFrame(layout.width, layout.height, bytesPerSample == 1 ? 255 : 65520);
    std::vector<std::uint8_t> raw;
    for (auto v : sky) {
        if (bytesPerSample == 2) raw.push_back(static_cast<std::uint8_t>(v >> 8));
        raw.push_back(static_cast<std::uint8_t>(v));
    }
    std::vector<std::uint8_t> out(decodedBytes(layout, bytesPerSample, false), 1);
    for (auto _ : state) {
        decodeFrame(lock, p8, p16, bytesPerSample, layout, raw.data(), out.data(), false);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * layout.width * layout.height);
    setVbmiEnabled(true);
}

void BM_Decode8_Mode0(benchmark::State& state) {
    decodeBench(state, 1);
}
void BM_Decode16_Mode0(benchmark::State& state) {
    decodeBench(state, 2);
}

void BM_OpenCvBayer8_Mode0(benchmark::State& state) {
    cv::setNumThreads(1);
    const FrameLayout layout = layout0();
    const auto sky = bench::skyFrame(layout.width, layout.height, 255);
    cv::Mat raw(layout.height, layout.width, CV_8UC1);
    for (int i = 0; i < layout.width * layout.height; ++i)
        raw.data[i] = static_cast<std::uint8_t>(sky[i]);
    cv::Mat bgr(layout.height, layout.width, CV_8UC3);
    for (auto _ : state) {
        cv::cvtColor(raw, bgr, cv::COLOR_BayerGB2BGR);
        benchmark::DoNotOptimize(bgr.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * layout.width * layout.height);
}

}  // namespace

BENCHMARK(BM_OpenCvBayer8_Mode0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Decode8_Mode0)
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({1, 0})
    ->ArgNames({"threads", "vbmi"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Decode16_Mode0)
    ->Args({1, 1})
    ->Args({2, 1})
    ->ArgNames({"threads", "vbmi"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
