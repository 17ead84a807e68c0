#pragma once
#include <string>

#include "vantelo.h"

// The control panel's value conversions, without any widget: slider positions to the
// bytes the record stores and back, the labels beside the sliders, the exposure fields,
// the progress bars' range and period, and the longest exposure the camera can take.
namespace picture {

// The first family's contrast and gamma sliders run 0..40 and show position - 20.
constexpr int kDisplayOffset = 20;
constexpr int kDisplayMin = -20, kDisplayMax = 20;

// Contrast: display value -> stored byte (0..100) and back (-20..20).
int contrastByte(int display);
int contrastDisplay(int storedByte);
// Gamma: display value -> stored byte (20..150) and back (-20..20).
int gammaByte(int display);
int gammaDisplay(int storedByte);

// "6.878 dB" for gain position 25.
std::string gainLabel(int position);
// " 1.00" for a colour gain of 64 (gains are in 1/64 units).
std::string colourGainLabel(int gain);
// Sharpen strength for slider position 1..30 (0.1 per step) and its "0.10" label.
float sharpenStrength(int position);
std::string sharpenLabel(int position);

// The three exposure fields and the exposure they make.
struct ExposureFields {
    int minutes = 0, seconds = 0, milliseconds = 0;
    bool operator==(const ExposureFields&) const = default;
};
unsigned exposureMs(const ExposureFields& fields);
ExposureFields exposureFields(unsigned exposureMs);

// The most the fields can hold: 55:59.999.
constexpr unsigned kFieldsLongestMs = 55u * 60000u + 59u * 1000u + 999u;
// The longest exposure the open camera takes at the record's frame speed and resolution
// (first family) or by its reported range (second family), never more than the fields
// hold. The first family's sensor counts at most 4090 steps of 1155 rows (651 in the
// half-width mode) plus a remainder, and a row lasts longer at the slower speeds.
unsigned longestExposureMs(const CameraRecord& record);

// Steps of one exposure on the progress bars: 99 beyond 600 000 ms, else
// (exposure + 750) / 15.
int progressRange(unsigned exposureMs);
// Progress timer period in ms: exposure / 100 beyond 600 000 ms, else 10.
int progressPeriod(unsigned exposureMs);

}  // namespace picture
