// Writing one full 16-bit raw frame (3032 x 2018) as a FITS file, and appending it to a
// SER video, against fwrite of as many bytes in the same directory. Neither format
// needs a decode, so the reference is the plain write; a saved FITS file is also
// flushed to the disk before it replaces anything, hence the second reference.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "common/fits_file.h"
#include "common/ser_file.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWidth = 3032;
constexpr int kHeight = 2018;
// A video file is started afresh after this many frames, outside the timing.
constexpr int kFramesPerVideo = 40;

const fs::path& directory() {
    static const fs::path dir = [] {
        fs::path d =
            fs::temp_directory_path() / ("corvalis-bench-astro-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// The camera's 16-bit samples: 12 significant bits at the top of the word.
const std::vector<std::uint16_t>& frame() {
    static const std::vector<std::uint16_t> samples = [] {
        auto sky = bench::skyFrame(kWidth, kHeight, 4095);
        for (auto& s : sky) s = static_cast<std::uint16_t>(s << 4);
        return sky;
    }();
    return samples;
}

corvalis::FitsFrameInfo info() {
    corvalis::FitsFrameInfo i;
    i.startUtc = std::chrono::system_clock::now();
    i.exposureSeconds = 0.2;
    i.gain = 25;
    i.instrument = "Bench camera";
    i.software = "Corvalis bench";
    i.bayer = corvalis::BayerPattern::GRBG;
    i.significantBits = 12;
    return i;
}

void BM_Fits_WriteMosaic16(benchmark::State& state) {
    const fs::path path = directory() / "frame.fits";
    const auto meta = info();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        if (!corvalis::writeFitsMosaic(path, frame().data(), kWidth, kHeight, 16, meta))
            state.SkipWithError("FITS write failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(path)));
}

// As many bytes as the FITS file holds, written as a new file; with `sync`, also
// flushed to the disk as every saved file is.
void fwriteFitsBytes(benchmark::State& state, bool sync) {
    const std::vector<char> bytes((frame().size() * 2 + 2 * 2880 + 2879) / 2880 * 2880, 1);
    const fs::path path = directory() / "plain.bin";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
            state.SkipWithError("fwrite failed");
        if (f != nullptr && sync && (std::fflush(f) != 0 || ::fsync(::fileno(f)) != 0))
            state.SkipWithError("fsync failed");
        if (f != nullptr) std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
void BM_Fwrite_FitsBytes(benchmark::State& state) {
    fwriteFitsBytes(state, false);
}
void BM_FwriteFsync_FitsBytes(benchmark::State& state) {
    fwriteFitsBytes(state, true);
}

void BM_Ser_AppendFrame16(benchmark::State& state) {
    const fs::path path = directory() / "video.ser";
    corvalis::SerWriter::Format format;
    format.width = kWidth;
    format.height = kHeight;
    format.bitsPerPlane = 16;
    format.colorId = corvalis::SerWriter::kBayerGrbg;
    corvalis::SerWriter writer;
    int frames = kFramesPerVideo;
    for (auto _ : state) {
        if (frames == kFramesPerVideo) {
            state.PauseTiming();
            writer.finish();
            fs::remove(path);
            if (!writer.open(path, format, std::chrono::system_clock::now()))
                state.SkipWithError("SER open failed");
            frames = 0;
            state.ResumeTiming();
        }
        if (!writer.append(frame().data(), std::chrono::system_clock::now()))
            state.SkipWithError("SER append failed");
        ++frames;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame().size() * 2));
}

void BM_Fwrite_AppendFrame(benchmark::State& state) {
    const fs::path path = directory() / "plain-video.bin";
    std::FILE* f = nullptr;
    int frames = kFramesPerVideo;
    for (auto _ : state) {
        if (frames == kFramesPerVideo) {
            state.PauseTiming();
            if (f != nullptr) std::fclose(f);
            fs::remove(path);
            f = std::fopen(path.c_str(), "wb");
            frames = 0;
            state.ResumeTiming();
        }
        if (f == nullptr || std::fwrite(frame().data(), 2, frame().size(), f) != frame().size())
            state.SkipWithError("fwrite failed");
        std::fflush(f);
        ++frames;
    }
    if (f != nullptr) std::fclose(f);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame().size() * 2));
}

}  // namespace

#define CORVALIS_BENCH(name)            \
    BENCHMARK(name)                     \
        ->Unit(benchmark::kMillisecond) \
        ->UseRealTime()                 \
        ->Repetitions(10)               \
        ->ReportAggregatesOnly(true)

CORVALIS_BENCH(BM_Fwrite_FitsBytes);
CORVALIS_BENCH(BM_FwriteFsync_FitsBytes);
CORVALIS_BENCH(BM_Fits_WriteMosaic16);
CORVALIS_BENCH(BM_Fwrite_AppendFrame);
CORVALIS_BENCH(BM_Ser_AppendFrame16);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(directory(), ignored);
    return 0;
}
