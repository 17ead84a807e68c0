#pragma once
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

#include "frame_layout.h"

namespace ostra {

// Conversions from the camera context's setting values to processor parameters
// (both processors always receive the same values).
inline float gainFactor(int units64) {
    return static_cast<float>(units64) * 0.015625f;
}
inline float gammaExponent(int value) {
    return static_cast<float>(value + 48) * 0.0078125f;
}
inline float contrastFactor(int value) {
    return static_cast<float>(value + 100) * 0.01f;
}
inline float saturationFactor(int value) {
    return static_cast<float>(value) * 0.0078125f;
}

// Turns one Bayer frame into a bottom-up blue-green-red picture with the picture
// settings applied: bilinear demosaic, rotate/mirror, one-push white balance, green
// smoothing, tone curve, colour gains and saturation. One design for 8-bit samples
// (ColorProcessor8) and 16-bit samples in host order (ColorProcessor16).
//
// The parameters are cached in three lookup tables. A setter rebuilds them at once,
// holding the decode lock for the rebuild, so a decode never reads a table that is
// half rebuilt and a setter waits for at most one decode.
//
// The frame is processed in one pass over its rows: each output row is demosaiced,
// smoothed, mapped through the tables and written at its mirrored, bottom-up place,
// so no whole-frame intermediate exists and no step sweeps the frame on its own.
template <typename Sample>
class ColorProcessor {
  public:
    static constexpr int kMaxValue = std::numeric_limits<Sample>::max();  // N: 255 or 65535
    static constexpr int kTableSize = kMaxValue + 1;
    // One-push white balance keeps its gains within these limits.
    static constexpr float kMinBalanceGain = sizeof(Sample) == 1 ? 1.0f : 0.2f;
    static constexpr float kMaxBalanceGain = sizeof(Sample) == 1 ? 2.0f : 3.5f;

    explicit ColorProcessor(std::mutex& decodeLock);
    ColorProcessor(const ColorProcessor&) = delete;
    ColorProcessor& operator=(const ColorProcessor&) = delete;

    void setGains(float blue, float green, float red);
    void setContrast(float factor);   // clamped to 0..3.55
    void setGamma(float exponent);    // clamped to 0..2
    void setSaturation(float value);  // clamped to 0..2, kept as 16.16 fixed point
    void setWhiteBalancePending(bool pending) {
        balancePending_.store(pending, std::memory_order_relaxed);
    }
    bool whiteBalancePending() const { return balancePending_.load(std::memory_order_relaxed); }
    void gains(float& blue, float& green, float& red) const;
    // Processing size of the mode; false when the row buffers cannot be allocated
    // (the processor then skips its colour work and leaves the output as it was).
    bool setSize(int width, int height);
    // Bayer pattern code 1..7; other values are refused (false).
    bool setPatternCode(int code);

    int width() const { return width_; }
    int height() const { return height_; }
    int patternCode() const { return patternCode_; }
    float contrast() const { return contrast_; }
    float gamma() const { return gamma_; }
    std::int32_t saturationFixed() const { return saturation_; }
    void channelMeans(float& blue, float& green, float& red) const;
    const Sample* table(int channel) const {
        return tables_[channel].data();
    }  // 0 blue, 1 green, 2 red

    // Decodes `mosaic` (W x H samples in host order) into `dst`, which holds
    // layout.outputWidth x layout.outputHeight pixels of three samples each; with
    // `to8` and 16-bit samples each output sample is the high byte of the value.
    // The caller holds the decode lock. False (and `dst` untouched) when the layout
    // does not match the processor's size or its row buffers are missing.
    bool process(const Sample* mosaic, std::uint8_t* dst, const FrameLayout& layout, bool to8);

    // Rows of one decode may be shared between two threads (1 or 2).
    void setThreads(int threads) { threads_ = threads < 2 ? 1 : 2; }

  private:
    struct Rows;
    void rebuildTablesLocked();
    void measureWhiteBalance(const Sample* mosaic, const FrameLayout& layout);
    template <typename Out>
    void processRows(const Sample* mosaic, Out* dst, const FrameLayout& layout, int firstRow,
                     int endRow, Rows& rows) const;

    std::mutex& decodeLock_;
    float contrast_ = 1.0f;
    float gamma_ = 1.0f;
    std::int32_t saturation_ = 65536;
    int width_ = 0, height_ = 0;
    int patternCode_ = 1;
    float blueGain_ = 1.0f, greenGain_ = 1.0f, redGain_ = 1.0f;
    std::atomic<bool> balancePending_{false};
    float meanBlue_ = 0.0f, meanGreen_ = 0.0f, meanRed_ = 0.0f;
    std::vector<Sample> tables_[3];
    std::vector<Sample> tone_;  // the tone curve, kept to rebuild without allocating
    static constexpr int kWorkers = 2;
    int threads_ = 1;
    std::vector<Sample> rowStore_;  // row buffers of the one-pass decode, per worker
    bool rowsReady_ = false;
};

using ColorProcessor8 = ColorProcessor<std::uint8_t>;
using ColorProcessor16 = ColorProcessor<std::uint16_t>;

extern template class ColorProcessor<std::uint8_t>;
extern template class ColorProcessor<std::uint16_t>;

}  // namespace ostra
