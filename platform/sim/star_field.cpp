#include "star_field.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace corvalis::platform::sim {

namespace {

constexpr std::uint64_t kFixedSeed = 0x5EED0C0FFEE2180ull;
constexpr int kNormalTableBits = 14;

std::uint64_t splitmix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A small sequential generator for building the scene (not per pixel).
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() { return splitmix(state_++); }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  private:
    std::uint64_t state_;
};

double phi(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

double wrap(double v, double lo, double span) {
    double r = std::fmod(v - lo, span);
    if (r < 0) r += span;
    return lo + r;
}

}  // namespace

std::uint64_t StarField::defaultSeed() {
    const char* text = std::getenv("CORVALIS_SIM_SEED");
    if (text == nullptr || *text == '\0') return kFixedSeed;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 0);
    return end == text ? kFixedSeed : static_cast<std::uint64_t>(v);
}

StarField::Options StarField::defaultOptions() {
    Options o;
    o.seed = defaultSeed();
    return o;
}

StarField::StarField() : StarField(defaultOptions()) {}

StarField::StarField(Options options) : options_(std::move(options)) {
    Rng rng(splitmix(options_.seed) ^ 0xA5A5A5A5u);
    const double spanX = kChipWidth + 2 * kMargin, spanY = kChipHeight + 2 * kMargin;
    stars_.reserve(options_.randomStars + options_.stars.size());
    for (int i = 0; i < options_.randomStars; ++i) {
        Star s;
        s.x = -kMargin + rng.uniform() * spanX;
        s.y = -kMargin + rng.uniform() * spanY;
        // Faint stars outnumber bright ones: magnitudes 0..9 weighted towards 9.
        double magnitude = 9.0 * std::sqrt(rng.uniform());
        s.flux = options_.brightestFlux * std::pow(10.0, -0.4 * magnitude);
        double warmth = rng.uniform();  // 0 blue-white .. 1 orange
        s.red = 0.6 + 0.6 * warmth;
        s.green = 1.0;
        s.blue = 1.2 - 0.7 * warmth;
        stars_.push_back(s);
    }
    stars_.insert(stars_.end(), options_.stars.begin(), options_.stars.end());

    // Hot pixels are fixed on the chip; they do not drift with the sky.
    for (int i = 0; i < options_.hotPixels; ++i) {
        HotPixel h;
        h.row = static_cast<int>(rng.next() % kChipHeight);
        h.col = static_cast<int>(rng.next() % kChipWidth);
        h.rate = options_.hotRateMin + rng.uniform() * (options_.hotRateMax - options_.hotRateMin);
        hot_.push_back(h);
    }
    std::sort(hot_.begin(), hot_.end(), [](const HotPixel& a, const HotPixel& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    });

    // Normal deviates by Box-Muller; per-pixel noise picks one by hash, which is far
    // cheaper than generating it and independent of the window rendered.
    normal_.resize(std::size_t{1} << kNormalTableBits);
    Rng nrng(0x4E4F495345ull);
    for (std::size_t i = 0; i < normal_.size(); i += 2) {
        double u1 = std::max(nrng.uniform(), 1e-300), u2 = nrng.uniform();
        double r = std::sqrt(-2.0 * std::log(u1));
        normal_[i] = static_cast<float>(r * std::cos(2 * M_PI * u2));
        normal_[i + 1] = static_cast<float>(r * std::sin(2 * M_PI * u2));
    }
}

void StarField::starPosition(const Star& star, std::uint64_t frame, double& x, double& y) const {
    // Only the random field drifts and wraps; stars a caller placed stay put.
    bool random = &star >= stars_.data() && &star < stars_.data() + options_.randomStars;
    if (!random) {
        x = star.x;
        y = star.y;
        return;
    }
    double f = static_cast<double>(frame);
    x = wrap(star.x + options_.driftX * f, -kMargin, kChipWidth + 2 * kMargin);
    y = wrap(star.y + options_.driftY * f, -kMargin, kChipHeight + 2 * kMargin);
}

std::vector<std::uint16_t> StarField::render(int x0, int y0, int width, int height,
                                             const Exposure& exposure) const {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(std::max(width, 0)) *
                                   static_cast<std::size_t>(std::max(height, 0)));
    render(x0, y0, width, height, exposure, out.data());
    return out;
}

void StarField::render(int x0, int y0, int width, int height, const Exposure& exposure,
                       std::uint16_t* out) const {
    if (width <= 0 || height <= 0) return;
    const double seconds = std::max(exposure.micros, 0.0) * 1e-6;
    const float countsPerElectron = static_cast<float>(exposure.gain / kGainDivisor);
    const float black = static_cast<float>(exposure.blackLevel);
    const float readVariance = static_cast<float>(options_.readNoise * options_.readNoise);

    // The chip part of the window; everything else stays 0.
    const int c0 = std::max(x0, 0), c1 = std::min(x0 + width, kChipWidth);
    const int r0 = std::max(y0, 0), r1 = std::min(y0 + height, kChipHeight);
    std::fill(out, out + static_cast<std::size_t>(width) * height, std::uint16_t{0});
    if (c0 >= c1 || r0 >= r1) return;
    const int cols = c1 - c0;

    // Each star as a separable stamp of pixel-integrated Gaussian profiles.
    const int radius = static_cast<int>(std::ceil(4.0 * options_.psfSigma));
    const int side = 2 * radius + 1;
    struct Stamp {
        int top, left;
        double electrons[3];  // red, green, blue
        std::vector<double> px, py;
    };
    std::vector<Stamp> stamps;
    const double s = options_.psfSigma;
    for (const Star& star : stars_) {
        double cx, cy;
        starPosition(star, exposure.frame, cx, cy);
        int ix = static_cast<int>(std::lround(cx)), iy = static_cast<int>(std::lround(cy));
        if (ix + radius < c0 || ix - radius >= c1 || iy + radius < r0 || iy - radius >= r1)
            continue;
        Stamp st;
        st.top = iy - radius;
        st.left = ix - radius;
        double e = star.flux * seconds;
        st.electrons[0] = e * star.red;
        st.electrons[1] = e * star.green;
        st.electrons[2] = e * star.blue;
        st.px.resize(side);
        st.py.resize(side);
        for (int k = 0; k < side; ++k) {
            double px = st.left + k, py = st.top + k;
            st.px[k] = phi((px + 0.5 - cx) / s) - phi((px - 0.5 - cx) / s);
            st.py[k] = phi((py + 0.5 - cy) / s) - phi((py - 0.5 - cy) / s);
        }
        stamps.push_back(std::move(st));
    }
    std::sort(stamps.begin(), stamps.end(),
              [](const Stamp& a, const Stamp& b) { return a.top < b.top; });

    // Sky: a plane in electrons per second, split into a row and a column term.
    std::vector<float> skyColumn(cols);
    for (int c = c0; c < c1; ++c) {
        skyColumn[c - c0] = static_cast<float>(options_.skyRate * options_.skyGradientX *
                                               (c - kChipWidth / 2.0) / kChipWidth);
    }
    const float weights[2][2] = {
        {static_cast<float>(options_.skyGreen), static_cast<float>(options_.skyRed)},
        {static_cast<float>(options_.skyBlue), static_cast<float>(options_.skyGreen)},
    };
    auto channel = [](Colour c) { return c == Colour::Red ? 0 : c == Colour::Green ? 1 : 2; };

    std::vector<float> electrons(cols);
    std::size_t firstStamp = 0;
    auto hot = std::lower_bound(hot_.begin(), hot_.end(), r0,
                                [](const HotPixel& h, int row) { return h.row < row; });
    const float t = static_cast<float>(seconds);
    const float dark = static_cast<float>(options_.darkRate);

    for (int r = r0; r < r1; ++r) {
        const float skyRow = static_cast<float>(
            options_.skyRate *
            (1.0 + options_.skyGradientY * (r - kChipHeight / 2.0) / kChipHeight));
        const float* w = weights[r & 1];
        for (int i = 0; i < cols; ++i) {
            int c = c0 + i;
            electrons[i] = t * ((skyRow + skyColumn[i]) * w[c & 1] + dark);
        }

        while (firstStamp < stamps.size() && stamps[firstStamp].top + side <= r) ++firstStamp;
        for (std::size_t k = firstStamp; k < stamps.size() && stamps[k].top <= r; ++k) {
            const Stamp& st = stamps[k];
            if (r >= st.top + side) continue;
            double fy = st.py[r - st.top];
            int from = std::max(st.left, c0), to = std::min(st.left + side, c1);
            for (int c = from; c < to; ++c) {
                double e = st.electrons[channel(colourAt(r, c))] * fy * st.px[c - st.left];
                electrons[c - c0] += static_cast<float>(e);
            }
        }

        for (; hot != hot_.end() && hot->row == r; ++hot) {
            if (hot->col >= c0 && hot->col < c1)
                electrons[hot->col - c0] += static_cast<float>(hot->rate * seconds);
        }

        std::uint16_t* row = out + static_cast<std::size_t>(r - y0) * width + (c0 - x0);
        if (options_.noise) {
            // Counter-based noise: the pixel's own hash, so any window gives the same value.
            const std::uint64_t rowKey =
                splitmix(options_.seed ^ splitmix(exposure.frame * 0x100000001B3ull +
                                                  static_cast<std::uint64_t>(r)));
            const std::uint64_t mask = normal_.size() - 1;
            for (int i = 0; i < cols; ++i) {
                float e = electrons[i];
                float sigma = std::sqrt(std::max(e, 0.0f) + readVariance);
                e += sigma * normal_[splitmix(rowKey + static_cast<std::uint64_t>(c0 + i)) & mask];
                float v = black + e * countsPerElectron;
                v = std::clamp(v, 0.0f, static_cast<float>(kFullScale));
                row[i] = static_cast<std::uint16_t>(v + 0.5f);
            }
        } else {
            for (int i = 0; i < cols; ++i) {
                float v = std::clamp(black + electrons[i] * countsPerElectron, 0.0f,
                                     static_cast<float>(kFullScale));
                row[i] = static_cast<std::uint16_t>(v + 0.5f);
            }
        }
    }
}

}  // namespace corvalis::platform::sim
