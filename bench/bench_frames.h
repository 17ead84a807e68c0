#pragma once
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

// Synthetic raw frames of realistic content for the benchmarks: a sky gradient with
// noise and a scattering of bright stars, never zero, the same for every run.
namespace bench {

inline std::vector<std::uint16_t> skyFrame(int width, int height, int maxValue,
                                           unsigned seed = 42) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, maxValue * 0.02f);
    std::vector<std::uint16_t> v(static_cast<std::size_t>(width) * height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            float sky = maxValue * (0.12f + 0.10f * r / height + 0.05f * c / width);
            float value = sky + noise(rng);
            v[static_cast<std::size_t>(r) * width + c] =
                static_cast<std::uint16_t>(std::clamp(value, 1.0f, static_cast<float>(maxValue)));
        }
    std::uniform_int_distribution<int> x(3, width - 4), y(3, height - 4);
    for (int s = 0; s < width * height / 4000; ++s) {
        const int cx = x(rng), cy = y(rng);
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                auto& p = v[static_cast<std::size_t>(cy + dy) * width + cx + dx];
                p = static_cast<std::uint16_t>(
                    std::min<int>(maxValue, p + maxValue / (1 + dx * dx + dy * dy)));
            }
    }
    return v;
}

}  // namespace bench
