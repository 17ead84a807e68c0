#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/export.h"

// The sky the simulated camera looks at: a drifting star field seen through the
// sensor's colour filter. It knows optics and the sensor's analogue chain (light,
// noise, gain, black level, 12-bit conversion) and nothing of the USB protocol, so it
// can be tested alone and tests elsewhere can render the very frame the camera sent.
//
// Units: light in electrons per second, times in microseconds of device time,
// results in 12-bit counts (0..4095). Chip coordinates are absolute: pixel (col,
// row) of the full 3032 x 2180 read-out, its centre at the integer position.
namespace corvalis::platform::sim {

class CORVALIS_PLATFORM_API StarField {
  public:
    static constexpr int kChipWidth = 3032;
    static constexpr int kChipHeight = 2180;
    static constexpr int kFullScale = 4095;
    // Counts per electron at analogue gain g are g / kGainDivisor.
    static constexpr double kGainDivisor = 64.0;

    enum class Colour { Red, Green, Blue };
    // The filter over (row, col): even row: green, red; odd row: blue, green.
    static Colour colourAt(int row, int col) {
        if ((row & 1) == 0) return (col & 1) == 0 ? Colour::Green : Colour::Red;
        return (col & 1) == 0 ? Colour::Blue : Colour::Green;
    }

    struct Star {
        double x = 0, y = 0;                  // centre at frame 0, chip pixels
        double flux = 0;                      // electrons per second through a white filter
        double red = 1, green = 1, blue = 1;  // filter response to its colour
    };

    struct Options {
        std::uint64_t seed = 0;
        // Random stars from the seed; `stars` are added to them.
        int randomStars = 600;
        std::vector<Star> stars;
        double brightestFlux = 4.0e6;  // electrons per second
        double psfSigma = 1.3;         // Gaussian point-spread, pixels
        // Sky: electrons per second at the chip centre, with a linear gradient
        // (fraction of the centre level across the whole width / height).
        double skyRate = 1500.0;
        double skyGradientX = 0.25, skyGradientY = -0.15;
        double skyRed = 0.8, skyGreen = 1.0, skyBlue = 0.65;
        double darkRate = 4.0;  // electrons per second, every pixel
        int hotPixels = 150;
        double hotRateMin = 2.0e3, hotRateMax = 4.0e4;
        double readNoise = 7.0;  // electrons
        bool noise = true;       // read and shot noise
        // Drift of the stars per frame (the mount tracks imperfectly), pixels.
        double driftX = 0.6, driftY = 0.25;
    };

    struct Exposure {
        double micros = 0;        // exposure time, device time
        int gain = 25;            // analogue gain, counts per electron = gain / 64
        int blackLevel = 16;      // counts added to every pixel
        std::uint64_t frame = 0;  // frame number: drift and noise depend on it
    };

    // The seed: CORVALIS_SIM_SEED when set (decimal or 0x hex), else a fixed one.
    static std::uint64_t defaultSeed();
    static Options defaultOptions();

    StarField();  // defaultOptions()
    explicit StarField(Options options);

    const Options& options() const { return options_; }
    // Every star (random ones first), at frame 0.
    const std::vector<Star>& stars() const { return stars_; }
    // Where a star's centre lies in `frame`.
    void starPosition(const Star& star, std::uint64_t frame, double& x, double& y) const;

    // Renders the window of `width` x `height` pixels whose top-left pixel is chip
    // pixel (x0, y0) into `out` (row-major, `width` values per row). Pixels of the
    // window that lie off the chip are 0; nothing is written outside `out`.
    // The value of a pixel does not depend on the window it is rendered in.
    void render(int x0, int y0, int width, int height, const Exposure& exposure,
                std::uint16_t* out) const;
    std::vector<std::uint16_t> render(int x0, int y0, int width, int height,
                                      const Exposure& exposure) const;

  private:
    Options options_;
    std::vector<Star> stars_;
    struct HotPixel {
        int row, col;
        double rate;
    };
    std::vector<HotPixel> hot_;  // sorted by row, then column
    std::vector<float> normal_;  // standard normal deviates, indexed by a hash
    // The drifting field wraps over the chip plus a margin, so it never empties.
    static constexpr double kMargin = 64.0;
};

}  // namespace corvalis::platform::sim
