// The shared library's boundary: exactly the 25 imaging functions leave libvantelo.so,
// nothing of its workings (C++ classes, helpers, the libraries it links) does.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef VANTELO_LIBRARY_FILE
#error "VANTELO_LIBRARY_FILE must name the built libvantelo.so"
#endif

namespace {

// Written out from the header by hand, so that a function dropped from the export list
// or one exported by mistake both show.
const std::set<std::string> kExports = {
    "KdCamera_RefreshCamera",
    "KdCamera_ReadWrite",
    "KdCamera_GrabFrame",
    "KdCamera_Decode",
    "KdCamera_GetImageSize",
    "KdCamera_Registerpixel",
    "Mes_Init",
    "Mes_UnInit",
    "Mes_SnapToBuffList",
    "Mes_ClearBuffList",
    "Mes_SaveBuffList",
    "Mes_ShowBuffList",
    "Mes_DisplayBuffList",
    "Mes_Crop",
    "Mes_Crop16",
    "Mes_CopyToShowBuffer",
    "Mes_ShowBuffer",
    "Mes_ShowFile",
    "Mes_DisplayFile",
    "Mes_InitHistogram",
    "Mes_DrawHistogramFram",
    "Mes_DrawHistogramData",
    "Mes_SetLevelsValues",
    "Mes_GetLevelsValues",
    "Mes_AutoLevels",
};

struct DynamicSymbol {
    std::string name;
    char type = 0;
};

// The defined entries of the library's dynamic symbol table as nm lists them
// ("address type name", the version after '@' cut off). False when nm cannot run.
bool definedDynamicSymbols(const std::string& library, std::vector<DynamicSymbol>& out) {
    const std::string command = "nm -D --defined-only '" + library + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return false;
    std::string text;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, n);
    if (::pclose(pipe) != 0) return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) continue;
        name = name.substr(0, name.find('@'));
        out.push_back({name, type[0]});
    }
    return true;
}

TEST(VanteloSymbols, ExportsExactlyTheImagingFunctions) {
    ASSERT_EQ(kExports.size(), 25u);
    std::vector<DynamicSymbol> symbols;
    ASSERT_TRUE(definedDynamicSymbols(VANTELO_LIBRARY_FILE, symbols))
        << "nm failed on " << VANTELO_LIBRARY_FILE;

    std::set<std::string> found;
    for (const auto& symbol : symbols) {
        // Version-script nodes are absolute symbols, not code.
        if (symbol.type == 'A') continue;
        EXPECT_TRUE(kExports.count(symbol.name)) << "exported by mistake: " << symbol.name;
        EXPECT_TRUE(symbol.type == 'T' || symbol.type == 't')
            << symbol.name << " is not a function";
        EXPECT_TRUE(found.insert(symbol.name).second) << "listed twice: " << symbol.name;
    }
    for (const auto& name : kExports) EXPECT_TRUE(found.count(name)) << "missing: " << name;
    EXPECT_EQ(found.size(), 25u);
}

}  // namespace
