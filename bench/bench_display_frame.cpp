// The preview's display work for one mode-0, 8-bit frame of the simulated camera
// (raw copy, decode, flip upright, crop, show buffer) against the decode alone, through
// the real libraries.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "preview/preview_loop.h"
#include "vantelo.h"

namespace {

int alive(void*) {
    return 1;
}
void draw(void*, const unsigned char*, int, int) {}
void post(void*, unsigned int, unsigned long, long) {}

// The simulated camera opened as the program opens it, with picture settings away
// from neutral, and one grabbed frame.
struct OpenCamera {
    KdWindow window{nullptr, alive, draw, post};
    CameraRecord record{};
    int width = 0, height = 0;
    std::size_t rawBytes = 0, copyBytes = 0;
    std::vector<unsigned char> raw, rawCopy, decoded, crop, row;
    bool ok = false;

    OpenCamera() {
        CameraRecord& r = record;
        r.state = 4, r.camera_type = -1, r.resolution_index = 0;
        r.exposure_ms = 200, r.analog_gain = 40, r.frame_speed = 2;
        r.gain_r = 80, r.gain_g = 64, r.gain_b = 56, r.saturation = 160, r.color_enhancement = 1;
        r.contrast = 40, r.gamma = 15;
        r.init_window_1 = r.init_window_2 = &window;
        if (KdCamera_RefreshCamera(&r) != 1 || KdCamera_ReadWrite(&r, CAMCMD_INIT, 0) != 1) return;
        KdCamera_ReadWrite(&r, CAMCMD_START, 0);
        if (r.state != 1) return;
        KdCamera_ReadWrite(&r, CAMCMD_DISPLAY_ENABLE, 0);
        for (int command : {CAMCMD_RGB_GAIN, CAMCMD_SATURATION, CAMCMD_CONTRAST, CAMCMD_GAMMA})
            KdCamera_ReadWrite(&r, command, 0);
        KdCamera_ReadWrite(&r, CAMCMD_IMAGE_SIZE, 1);
        KdCamera_GetImageSize(&r, &width, &height);
        r.crop_left = r.crop_top = 0, r.crop_right = r.image_width, r.crop_bottom = r.image_height;
        Mes_Init(&r);
        rawBytes = PreviewLoop::rawFrameBytes(21, 0, width, height);
        copyBytes = PreviewLoop::rawFrameCopyBytes(21, 0, width, height);
        const std::size_t picture = static_cast<std::size_t>(width) * height * 6;
        raw.assign(rawBytes, 0);
        rawCopy.assign(rawBytes, 0);
        decoded.assign(picture, 0);
        crop.assign(picture, 0);
        row.assign(static_cast<std::size_t>(width) * 3, 0);
        for (int tries = 0; tries < 100 && !ok; ++tries)
            ok = KdCamera_GrabFrame(&r, raw.data()) == 1;
    }
    ~OpenCamera() {
        Mes_UnInit(&record);
        KdCamera_ReadWrite(&record, CAMCMD_STOP, 0);
        KdCamera_ReadWrite(&record, CAMCMD_UNINIT, 0);
    }
};

OpenCamera& camera() {
    static OpenCamera c;
    return c;
}

void BM_Decode8_Mode0(benchmark::State& state) {
    OpenCamera& c = camera();
    if (!c.ok) return state.SkipWithError("no simulated frame");
    for (auto _ : state) {
        KdCamera_Decode(&c.record, c.raw.data(), c.decoded.data(), c.width, c.height, 1);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * c.width * c.height);
}

// What the display thread does with one frame, in its order.
void BM_DisplayFrame8_Mode0(benchmark::State& state) {
    OpenCamera& c = camera();
    if (!c.ok) return state.SkipWithError("no simulated frame");
    for (auto _ : state) {
        std::memcpy(c.rawCopy.data(), c.raw.data(), c.copyBytes);
        KdCamera_Decode(&c.record, c.raw.data(), c.decoded.data(), c.width, c.height, 1);
        flipPictureRows(c.decoded.data(), static_cast<std::size_t>(c.width) * 3, c.height,
                        c.row.data());
        Mes_Crop(&c.record, c.decoded.data(), c.crop.data());
        Mes_CopyToShowBuffer(&c.record, c.crop.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * c.width * c.height);
}

// The steps after the decode one by one, to see where the time goes.
void BM_Step_Mode0(benchmark::State& state) {
    OpenCamera& c = camera();
    if (!c.ok) return state.SkipWithError("no simulated frame");
    KdCamera_Decode(&c.record, c.raw.data(), c.decoded.data(), c.width, c.height, 1);
    for (auto _ : state) {
        switch (state.range(0)) {
            case 0:
                std::memcpy(c.rawCopy.data(), c.raw.data(), c.copyBytes);
                break;
            case 1:
                flipPictureRows(c.decoded.data(), static_cast<std::size_t>(c.width) * 3, c.height,
                                c.row.data());
                break;
            case 2:
                Mes_Crop(&c.record, c.decoded.data(), c.crop.data());
                break;
            case 3:
                Mes_CopyToShowBuffer(&c.record, c.crop.data());
                break;
        }
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_Step_Mode0)
    ->DenseRange(0, 3)
    ->ArgName("rawcopy_flip_crop_show")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Decode8_Mode0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_DisplayFrame8_Mode0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    // The simulated camera, without waiting for its exposures; set before any USB call.
    setenv("CORVALIS_CAMERA", "simulator", 1);
    setenv("CORVALIS_SIM_TIMESCALE", "0", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
