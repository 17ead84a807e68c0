// Building the caller's frame from one read-out (header, de-interlace, crop, binning)
// against one plain memcpy of the raw frame, on the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_frames.h"
#include "frame_builder.h"
#include "mode_geometry.h"

namespace {

using namespace ostra;

// A read-out as the camera sends it: header with the marker, then the raw frame.
std::vector<std::uint8_t> readOut(const ModeGeometry& g, int bps) {
    const auto sky = bench::skyFrame(g.rawWidth, g.rawHeight, bps == 1 ? 255 : 65520);
    std::vector<std::uint8_t> read(readRequestBytes(g, bps), 0);
    std::fill_n(read.begin(), 10, 0x88);
    std::uint8_t* p = read.data() + kFrameHeaderBytes;
    for (auto v : sky) {
        if (bps == 2) *p++ = static_cast<std::uint8_t>(v >> 8);
        *p++ = static_cast<std::uint8_t>(v);
    }
    return read;
}

void buildBench(benchmark::State& state, int mode, int bps) {
    const ModeGeometry& g = modeTable()[mode];
    const auto read = readOut(g, bps);
    std::vector<std::uint8_t> target(builtFrameBytes(g, bps), 1);
    for (auto _ : state) {
        buildFrame(g, bps, true, read.data(), target.data());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rawFrameBytes(g, bps)));
}

void memcpyBench(benchmark::State& state, int mode, int bps) {
    const ModeGeometry& g = modeTable()[mode];
    const auto read = readOut(g, bps);
    std::vector<std::uint8_t> target(rawFrameBytes(g, bps), 1);
    for (auto _ : state) {
        std::memcpy(target.data(), read.data() + kFrameHeaderBytes, target.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rawFrameBytes(g, bps)));
}

void BM_Memcpy_Raw8_Mode0(benchmark::State& s) {
    memcpyBench(s, 0, 1);
}
void BM_BuildFrame8_Mode0(benchmark::State& s) {
    buildBench(s, 0, 1);
}
void BM_Memcpy_Raw16_Mode0(benchmark::State& s) {
    memcpyBench(s, 0, 2);
}
void BM_BuildFrame16_Mode0(benchmark::State& s) {
    buildBench(s, 0, 2);
}
void BM_Memcpy_Raw8_Mode2(benchmark::State& s) {
    memcpyBench(s, 2, 1);
}
void BM_BuildFrame8_Mode2(benchmark::State& s) {
    buildBench(s, 2, 1);
}
void BM_Memcpy_Raw16_Mode2(benchmark::State& s) {
    memcpyBench(s, 2, 2);
}
void BM_BuildFrame16_Mode2(benchmark::State& s) {
    buildBench(s, 2, 2);
}

}  // namespace

#define FRAME_BENCH(name)               \
    BENCHMARK(name)                     \
        ->Unit(benchmark::kMillisecond) \
        ->UseRealTime()                 \
        ->Repetitions(10)               \
        ->ReportAggregatesOnly(true)
FRAME_BENCH(BM_Memcpy_Raw8_Mode0);
FRAME_BENCH(BM_BuildFrame8_Mode0);
FRAME_BENCH(BM_Memcpy_Raw16_Mode0);
FRAME_BENCH(BM_BuildFrame16_Mode0);
FRAME_BENCH(BM_Memcpy_Raw8_Mode2);
FRAME_BENCH(BM_BuildFrame8_Mode2);
FRAME_BENCH(BM_Memcpy_Raw16_Mode2);
FRAME_BENCH(BM_BuildFrame16_Mode2);

BENCHMARK_MAIN();
