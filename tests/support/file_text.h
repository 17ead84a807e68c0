#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Whole files for tests that prepare inputs and read back what was written, and the
// text search their checks use.

// Every byte of the file; empty when it cannot be read.
std::string readText(const std::filesystem::path& path);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
// Replaces the file with `text`, byte for byte.
void writeText(const std::filesystem::path& path, const std::string& text);

// True when `part` occurs in `text`.
bool has(const std::string& text, const std::string& part);
