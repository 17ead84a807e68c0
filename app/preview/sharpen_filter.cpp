#include "preview/sharpen_filter.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr int kRadius = 5;
// Below this the centre weight (1000 / (sigma x 2.5)) would no longer fit an int.
constexpr double kMinSigma = 0.01;

// Mirrors an index into 0 .. n-1 with the edge repeated (-1 -> 0, n -> n-1). Repeats
// for pictures narrower than the kernel, where one mirroring is not enough.
int mirror(int x, int n) {
    while (x < 0 || x >= n) {
        if (x < 0) x = -x - 1;
        if (x >= n) x = 2 * n - 1 - x;
    }
    return x;
}

}  // namespace

void SharpenFilter::kernel(double sigma, int weights[11]) {
    const long double s = sigma;
    const long double pi = 3.141592653589793238462643383279502884L;
    for (int i = -kRadius; i <= kRadius; ++i) {
        const long double w =
            1000.0L * std::exp(-(long double)(i * i) / (2.0L * s * s)) / (s * std::sqrt(2.0L * pi));
        weights[i + kRadius] = static_cast<int>(std::trunc(w));
    }
}

int SharpenFilter::apply(unsigned char* pixels, int width, int height, double sigma, double amount,
                         int threshold) {
    if (pixels == nullptr || width <= 0 || height <= 0) return 0;
    // A strength of 0 (the slider at its left end) would divide by zero in the kernel;
    // it sharpens by nothing, so the picture stays as it is.
    if (!(sigma >= kMinSigma) || !std::isfinite(sigma)) return 1;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    try {
        if (rows_.size() < count * 3) rows_.resize(count * 3);
        columns_.resize(width + 2 * kRadius);
        lines_.resize(height + 2 * kRadius);
    } catch (const std::bad_alloc&) {
        return -2;
    }
    int k[11];
    kernel(sigma, k);

    // Mirrored column and row indices, 5 either side of the picture.
    for (int x = -kRadius; x < width + kRadius; ++x) columns_[x + kRadius] = mirror(x, width) * 3;
    for (int y = -kRadius; y < height + kRadius; ++y) lines_[y + kRadius] = mirror(y, height);

    // Horizontal pass into intermediate integers, unclamped, per channel.
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = pixels + static_cast<std::size_t>(y) * width * 3;
        int* out = rows_.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                long sum = 0;
                for (int i = 0; i <= 2 * kRadius; ++i)
                    sum += static_cast<long>(k[i]) * row[columns_[x + i] + c];
                out[x * 3 + c] = static_cast<int>(sum / 1000);
            }
    }

    // Vertical pass gives the blurred value, then the sharpened one. Each pixel reads
    // only its own input, so the result can go straight over it.
    const unsigned t = static_cast<unsigned char>(threshold);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = pixels + static_cast<std::size_t>(y) * stride;
        for (std::size_t j = 0; j < stride; ++j) {
            long sum = 0;
            for (int i = 0; i <= 2 * kRadius; ++i)
                sum += static_cast<long>(k[i]) *
                       rows_[static_cast<std::size_t>(lines_[y + i]) * stride + j];
            const int blurred = static_cast<int>(std::clamp<long>(sum / 1000, 0, 255));
            const int input = row[j];
            const int d = input - blurred;
            int result = input;
            if (static_cast<unsigned>(std::abs(d)) > t)
                result = static_cast<int>(std::trunc(amount * d + input));
            row[j] = static_cast<unsigned char>(std::clamp(result, 0, 255));
        }
    }
    return 1;
}
