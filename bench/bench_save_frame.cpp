// Saving one buffered full frame (3032 x 2018, 16-bit samples, mode 0 of the simulated
// camera) in each save format, against a plain fwrite of the same number of bytes as
// the saved file into the same directory. Every iteration writes a new file.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>
#include <opencv2/core.hpp>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "ostra.h"
#include "vantelo.h"

namespace {

namespace fs = std::filesystem;

struct Setup {
    CameraRecord record{};
    std::vector<unsigned char> raw;
    fs::path directory;
    bool ready = false;
};

Setup& setup() {
    static Setup s;
    return s;
}

bool prepare() {
    Setup& s = setup();
    s.directory = fs::temp_directory_path() / ("corvalis-bench-save-" + std::to_string(::getpid()));
    fs::create_directories(s.directory);
    if (OstraIICameraInit(0, nullptr, nullptr) != 1 || OstraIICameraSetDataWide(1) != 1)
        return false;
    // Picture settings away from neutral, as at the telescope.
    OstraIICameraSetGamma(60);
    OstraIICameraSetContrast(40);
    OstraIICameraSetSaturation(160);
    OstraIICameraSetGain(80, 64, 90);
    int width = 0;
    int height = 0;
    OstraIICameraGetImageSize(&width, &height);
    CameraRecord& r = s.record;
    r.camera_type = 21;
    r.image_width = width;
    r.image_height = height;
    r.data_width_16 = 1;
    r.crop_right = width;
    r.crop_bottom = height;
    const auto sky = bench::skyFrame(3032, 2018, 4095);
    std::vector<unsigned char> raw(static_cast<std::size_t>(OstraIICameraGrabBytes(0, 1)));
    for (std::size_t i = 0; i < sky.size(); ++i) {
        raw[2 * i] = static_cast<unsigned char>(sky[i] >> 4);
        raw[2 * i + 1] = static_cast<unsigned char>((sky[i] & 0xF) << 4);
    }
    s.raw = raw;
    Mes_ClearBuffList(&r);
    s.ready = Mes_SnapToBuffList(&r, raw.data(), 0) == 1;
    return s.ready;
}

const char* extension(int format) {
    switch (format) {
        case 1:
            return ".jpg";
        case 4:
            return ".raw";
        case 8:
            return ".tif";
        default:
            return ".bmp";
    }
}

void saveBench(benchmark::State& state, int format) {
    Setup& s = setup();
    if (!s.ready) {
        state.SkipWithError("no buffered frame");
        return;
    }
    CameraRecord record = s.record;
    record.save_format = format;
    const std::string base = (s.directory / "saved").string();
    const std::string file = base + extension(format);
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
        if (Mes_SaveBuffList(&record, base.c_str(), 1) != 1) state.SkipWithError("save failed");
        state.PauseTiming();
        bytes = fs::file_size(file);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

// The reference: the bytes of the saved file written by one fwrite.
void fwriteBench(benchmark::State& state, int format) {
    Setup& s = setup();
    if (!s.ready) {
        state.SkipWithError("no buffered frame");
        return;
    }
    CameraRecord record = s.record;
    record.save_format = format;
    const std::string base = (s.directory / "reference").string();
    Mes_SaveBuffList(&record, base.c_str(), 1);
    const std::string sample = base + extension(format);
    const std::vector<char> content(static_cast<std::size_t>(fs::file_size(sample)), 1);
    fs::remove(sample);
    const std::string file = (s.directory / "plain.bin").string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (f == nullptr || std::fwrite(content.data(), 1, content.size(), f) != content.size()) {
            state.SkipWithError("fwrite failed");
        }
        if (f != nullptr) std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(content.size()));
}

// For scale: the driver's decode alone, which every picture format needs once.
void decodeBench(benchmark::State& state, int to8) {
    Setup& s = setup();
    if (!s.ready) {
        state.SkipWithError("no buffered frame");
        return;
    }
    std::vector<unsigned char> raw(s.raw.size());
    std::vector<unsigned char> picture(static_cast<std::size_t>(s.record.image_width) *
                                       s.record.image_height * 6);
    for (auto _ : state) {
        state.PauseTiming();
        raw = s.raw;  // the decode byte-swaps its input
        state.ResumeTiming();
        OstraIICameraDecode(raw.data(), picture.data(), s.record.image_width, s.record.image_height,
                            to8);
        benchmark::DoNotOptimize(picture.data());
    }
}

void BM_DecodeOnly_16(benchmark::State& s) {
    decodeBench(s, 0);
}
void BM_DecodeOnly_8(benchmark::State& s) {
    decodeBench(s, 1);
}
void BM_Fwrite_TiffBytes(benchmark::State& s) {
    fwriteBench(s, 8);
}
void BM_Save_Tiff48(benchmark::State& s) {
    saveBench(s, 8);
}
void BM_Fwrite_BmpBytes(benchmark::State& s) {
    fwriteBench(s, 2);
}
void BM_Save_Bmp(benchmark::State& s) {
    saveBench(s, 2);
}
void BM_Fwrite_RawBytes(benchmark::State& s) {
    fwriteBench(s, 4);
}
void BM_Save_Raw(benchmark::State& s) {
    saveBench(s, 4);
}
void BM_Fwrite_JpegBytes(benchmark::State& s) {
    fwriteBench(s, 1);
}
void BM_Save_Jpeg(benchmark::State& s) {
    saveBench(s, 1);
}

}  // namespace

BENCHMARK(BM_DecodeOnly_16)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_DecodeOnly_8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Fwrite_TiffBytes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Save_Tiff48)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Fwrite_BmpBytes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Save_Bmp)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Fwrite_RawBytes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Save_Raw)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Fwrite_JpegBytes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Save_Jpeg)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    // The simulated camera, at full speed, with its parameter teams kept aside.
    ::setenv("CORVALIS_CAMERA", "simulator", 0);
    ::setenv("CORVALIS_SIM_TIMESCALE", "0", 0);
    const fs::path registry =
        fs::temp_directory_path() / ("corvalis-bench-save-" + std::to_string(::getpid()) + ".ini");
    ::setenv("CORVALIS_REGISTRY", registry.c_str(), 0);
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    if (!prepare()) std::fprintf(stderr, "Could not buffer a frame on the simulated camera.\n");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Mes_ClearBuffList(&setup().record);
    OstraIICameraUnInit();
    fs::remove_all(setup().directory);
    fs::remove(registry);
    return 0;
}
