// The shared library's boundary: exactly the 46 driver functions leave libostra.so,
// nothing of its workings (C++ classes, helpers, the libraries it links) does.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef OSTRA_LIBRARY_FILE
#error "OSTRA_LIBRARY_FILE must name the built libostra.so"
#endif

namespace {

// Written out from the header by hand, so that a function dropped from the export list
// or one exported by mistake both show.
const std::set<std::string> kExports = {
    "OstraIICameraInit",
    "OstraIICameraUnInit",
    "OstraIICameraPlay",
    "OstraIICameraPause",
    "OstraIICameraStop",
    "OstraIICameraSetVideoMessage",
    "OstraIICameraDisplayEnable",
    "OstraIICameraGrabFrame",
    "OstraIICameraDecode",
    "OstraIICameraCaptureFile",
    "OstraIICameraSetResolution",
    "OstraIICameraGetResolution",
    "OstraIICameraGetImageSize",
    "OstraIICameraSetAeState",
    "OstraIICameraGetAeState",
    "OstraIICameraSetExposureTime",
    "OstraIICameraGetExposureTime",
    "OstraIICameraGetRowTime",
    "OstraIICameraRestartLongExposure",
    "OstraIICameraSetLongExpPower",
    "OstraIICameraGetLongExpPower",
    "OstraIICameraSetAnalogGain",
    "OstraIICameraGetAnalogGain",
    "OstraIICameraSetAWBState",
    "OstraIICameraGetAWBState",
    "OstraIICameraSetGain",
    "OstraIICameraGetGain",
    "OstraIICameraSetGamma",
    "OstraIICameraGetGamma",
    "OstraIICameraSetContrast",
    "OstraIICameraGetContrast",
    "OstraIICameraSetSaturation",
    "OstraIICameraGetSaturation",
    "OstraIICameraSetColorEnhancement",
    "OstraIICameraGetColorEnhancement",
    "OstraIICameraSetMonochrome",
    "OstraIICameraGetMonochrome",
    "OstraIICameraSetMirror",
    "OstraIICameraGetMirror",
    "OstraIICameraSetFrameSpeed",
    "OstraIICameraGetFrameSpeed",
    "OstraIICameraSetDataWide",
    "OstraIICameraGetDataWide",
    "OstraIICameraSaveParameter",
    "OstraIICameraReadParameter",
    "OstraIICameraGetCurrentParameterTeam",
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

TEST(OstraSymbols, ExportsExactlyTheDriverFunctions) {
    ASSERT_EQ(kExports.size(), 46u);
    std::vector<DynamicSymbol> symbols;
    ASSERT_TRUE(definedDynamicSymbols(OSTRA_LIBRARY_FILE, symbols)) << "nm failed on " << OSTRA_LIBRARY_FILE;

    std::set<std::string> found;
    for (const auto& symbol : symbols) {
        // Version-script nodes are absolute symbols, not code.
        if (symbol.type == 'A') continue;
        EXPECT_TRUE(kExports.count(symbol.name)) << "exported by mistake: " << symbol.name;
        EXPECT_TRUE(symbol.type == 'T' || symbol.type == 't') << symbol.name << " is not a function";
        EXPECT_TRUE(found.insert(symbol.name).second) << "listed twice: " << symbol.name;
    }
    for (const auto& name : kExports) EXPECT_TRUE(found.count(name)) << "missing: " << name;
    EXPECT_EQ(found.size(), 46u);
}

}  // namespace
