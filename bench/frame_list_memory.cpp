// Resident memory of a full frame list: 50 full frames (3032 x 2018, 16-bit samples,
// mode 0 of the simulated camera) snapped with their thumbnails, against the raw data
// they hold. Prints both and the overhead.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "ostra.h"
#include "vantelo.h"

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    ::setenv("CORVALIS_CAMERA", "simulator", 0);
    ::setenv("CORVALIS_SIM_TIMESCALE", "0", 0);
    const fs::path registry =
        fs::temp_directory_path() / ("corvalis-list-memory-" + std::to_string(::getpid()) + ".ini");
    ::setenv("CORVALIS_REGISTRY", registry.c_str(), 0);
    if (OstraIICameraInit(0, nullptr, nullptr) != 1 || OstraIICameraSetDataWide(1) != 1) {
        std::fprintf(stderr, "No simulated camera.\n");
        return 1;
    }
    int width = 0;
    int height = 0;
    OstraIICameraGetImageSize(&width, &height);
    CameraRecord record{};
    record.camera_type = 21;
    record.image_width = width;
    record.image_height = height;
    record.data_width_16 = 1;
    record.crop_right = width;
    record.crop_bottom = height;

    const std::size_t frameBytes = static_cast<std::size_t>(OstraIICameraGrabBytes(0, 1));
    const auto sky = bench::skyFrame(3032, 2018, 4095);
    std::vector<unsigned char> packed(frameBytes);
    for (std::size_t i = 0; i < sky.size(); ++i) {
        packed[2 * i] = static_cast<unsigned char>(sky[i] >> 4);
        packed[2 * i + 1] = static_cast<unsigned char>((sky[i] & 0xF) << 4);
    }
    std::vector<unsigned char> raw(packed);
    // The growth counts everything a full list costs: the raw frames, their thumbnails,
    // and whatever the snaps' working buffers leave behind in the allocator.
    const long before = residentKiB();
    for (int n = 1; n <= 50; ++n) {
        std::memcpy(raw.data(), packed.data(), frameBytes);
        if (Mes_SnapToBuffList(&record, raw.data(), 0) != 1) {
            std::fprintf(stderr, "Snap %d failed.\n", n);
            return 1;
        }
    }
    const long after = residentKiB();
    const double rawMiB = 50.0 * static_cast<double>(frameBytes) / (1024.0 * 1024.0);
    const double grownMiB = static_cast<double>(after - before) / 1024.0;
    std::printf("raw data of 50 frames: %.1f MiB (%zu bytes a frame)\n", rawMiB, frameBytes);
    std::printf("resident growth:       %.1f MiB (%.1f MiB before, %.1f MiB after)\n", grownMiB,
                before / 1024.0, after / 1024.0);
    std::printf("overhead:              %.2f %%\n", (grownMiB / rawMiB - 1.0) * 100.0);
    Mes_ClearBuffList(&record);
    OstraIICameraUnInit();
    fs::remove(registry);
    return 0;
}
