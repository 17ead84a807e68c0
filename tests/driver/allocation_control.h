#pragma once
#include <atomic>
#include <cstddef>

// The test binary's own operator new and delete (the whole family, so that every
// allocation pairs with its own release also under the sanitizers): they count every
// allocation and can refuse the large ones, as a starved machine would, to the thread
// that asks for it (the simulated camera and the library's own threads run on).
namespace allocation_control {

inline constexpr std::size_t kLarge = 1 << 20;

// Allocations made by the process so far.
long count();
// While set, every allocation of kLarge bytes or more made by the calling thread fails.
void refuseLarge(bool refuse);

}  // namespace allocation_control
