#pragma once
#include <vector>

// Unsharp mask on a 24-bit picture (3 bytes per pixel, rows unpadded): a separable
// Gaussian blur of 11 taps whose integer weights are truncated and deliberately not
// normalised, so the filter also lifts or lowers flat areas a little. Keeps its
// scratch planes between calls, so the display thread does not allocate per frame.
class SharpenFilter {
  public:
    // 1 done; 0 no picture (null or empty), nothing done; -2 out of memory, picture
    // untouched. `threshold` is compared as an unsigned byte.
    int apply(unsigned char* pixels, int width, int height, double sigma, double amount,
              int threshold);

    // The 11 weights for i = -5 .. 5 at `sigma`.
    static void kernel(double sigma, int weights[11]);

  private:
    std::vector<int> rows_;     // horizontal pass, all three channels
    std::vector<int> columns_;  // mirrored byte offsets of columns -5 .. width + 4
    std::vector<int> lines_;    // mirrored rows -5 .. height + 4
};
