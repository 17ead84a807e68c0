#pragma once
// Reads a TIFF file's pages as libtiff's own tiffinfo tool describes them, so the files
// we write are checked by a reader that is not ours.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace testing_tiff {

inline bool haveTiffinfo() {
    return std::system("command -v tiffinfo >/dev/null 2>&1") == 0;
}

// The text tiffinfo prints for each page (directory), in file order.
inline std::vector<std::string> tiffinfoPages(const std::string& path) {
    const std::string command = "tiffinfo '" + path + "' 2>&1";
    std::string text;
    if (std::FILE* out = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
        ::pclose(out);
    }
    std::vector<std::string> pages;
    const std::string start = "TIFF Directory at offset";
    for (std::size_t at = text.find(start); at != std::string::npos;) {
        const std::size_t next = text.find(start, at + 1);
        pages.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return pages;
}

}  // namespace testing_tiff
