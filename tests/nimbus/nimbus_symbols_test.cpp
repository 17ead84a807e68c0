// The shared library's boundary: exactly the Camera* functions of nimbus.h leave
// libnimbus.so, nothing of the camera model, the decode or OpenCV does.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef NIMBUS_LIBRARY_FILE
#error "NIMBUS_LIBRARY_FILE must name the built libnimbus.so"
#endif

namespace {

// Written out from the header by hand, so a function dropped from the export list or
// one exported by mistake both show.
const std::set<std::string> kExports = {
    "CameraInit",
    "CameraUnInit",
    "CameraGetImageData",
    "CameraDecode",
    "CameraGetImageSize",
    "CameraDisplayEnable",
    "CameraGetFrameSpeed",
    "CameraSetFrameSpeed",
    "CameraGetAeState",
    "CameraSetAeState",
    "CameraGetExposureTimeMS",
    "CameraSetExposureTimeMS",
    "CameraGetAnalogGain",
    "CameraSetAnalogGain",
    "CameraGetGain",
    "CameraSetGain",
    "CameraGetGamma",
    "CameraSetGamma",
    "CameraGetContrast",
    "CameraSetContrast",
    "CameraGetSaturation",
    "CameraSetSaturation",
    "CameraSetMonochrome",
    "CameraSetColorEnhancement",
    "CameraSetMirror",
    "CameraWhiteBalance",
    "CameraGetExposureTimeRange",
    "CameraGetAnalogGainRange",
    "CameraGetContrastRange",
    "CameraGetGammaRange",
    "CameraGetSaturationRange",
    "CameraGetGainRange",
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

TEST(NimbusSymbols, ExportsExactlyTheCameraFunctions) {
    ASSERT_EQ(kExports.size(), 32u);
    std::vector<DynamicSymbol> symbols;
    ASSERT_TRUE(definedDynamicSymbols(NIMBUS_LIBRARY_FILE, symbols)) << "nm failed on " << NIMBUS_LIBRARY_FILE;

    std::set<std::string> found;
    for (const auto& symbol : symbols) {
        if (symbol.type == 'A') continue;  // version-script nodes, not code
        EXPECT_TRUE(kExports.count(symbol.name)) << "exported by mistake: " << symbol.name;
        EXPECT_TRUE(symbol.type == 'T' || symbol.type == 't') << symbol.name << " is not a function";
        EXPECT_TRUE(found.insert(symbol.name).second) << "listed twice: " << symbol.name;
    }
    for (const auto& name : kExports) EXPECT_TRUE(found.count(name)) << "missing: " << name;
}

}  // namespace
