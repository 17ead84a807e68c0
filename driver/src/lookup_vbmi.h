#pragma once
#include <cstdint>

namespace ostra {

// True when the CPU can run lookUpRowVbmi (AVX-512 with byte permutes) and it has
// not been switched off.
bool vbmiAvailable();
// Switches the path off (or back on where the CPU has it), so that tests cover the
// portable lookup on any machine.
void setVbmiEnabled(bool enabled);

// The 8-bit table lookup of one row with AVX-512 byte permutes: 64 pixels at a time,
// blue, green and red through their 256-entry tables and interleaved into
// blue-green-red, in picture order (mirrored when `flip`). Handles the first
// floor(w / 64) * 64 pixels of the picture row and returns how many it handled; the
// caller does the rest. Only call it when vbmiAvailable().
int lookUpRowVbmi(const std::uint8_t* b, const std::uint8_t* g, const std::uint8_t* r,
                  std::uint8_t* out, int w, const std::uint8_t* tb, const std::uint8_t* tg,
                  const std::uint8_t* tr, bool flip);

}  // namespace ostra
