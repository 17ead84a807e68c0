#pragma once
#include <span>

// The resolution names each camera model offers, in list order.
namespace vantelo {

// Empty for a model without names.
std::span<const char* const> resolutionNames(int model);

}  // namespace vantelo
