#pragma once
#include <cstdio>
#include <functional>
#include <string>

namespace corvalis {

// Replaces the file at `path` only once its new contents are complete: `fill` writes
// them into a temporary file in the same folder (a hidden name of our own that no
// user file takes), which is flushed to the disk and then renamed over `path`. A
// failure at any step removes the temporary file and leaves whatever was at `path`
// byte for byte. A target that exists but may not be written (read-only, or not a
// regular file) is refused and left alone; a replaced file keeps its permission bits.
//
// `fill` returns false when it could not write everything (errno telling why when it
// can). On failure the result is false, `error` says what happened with the system's
// reason, and errno holds that reason.
bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& fill,
                 std::string& error);

}  // namespace corvalis
