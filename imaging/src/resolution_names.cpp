#include "resolution_names.h"

#include "vantelo.h"

namespace vantelo {
namespace {

// The trailing blanks are part of the names.
constexpr const char* kModel1[] = {"3488*2616", "1600*1200", "1280*960", "800*600", "640*480"};
constexpr const char* kModel2[] = {"640*480",   "1024*768",  "1280*960",
                                   "1600*1200", "3264*2448", "1280*1024 ROI"};
constexpr const char* kModel3[] = {"2592*1944", "1280*960", "1024*768", "640*480", "1280*1024 ROI"};
constexpr const char* kModel4[] = {"2048*1536", "1024*768", "640*480", "512*384", "1280*1024 ROI"};
constexpr const char* kModel5[] = {"1280*1024", "640*512", "640*480 ROI", "320*240 ROI"};
constexpr const char* kModel7[] = {"1280*1024", "640*512", "320*240 "};
constexpr const char* kModel8[] = {"1280*1024", "640*480", "320*240 ", "640*480_ROI",
                                   "320*240_ROI"};
constexpr const char* kModel9[] = {"2048*256 COLOR", "1024*768 B/W", "1024*768 2X1",
                                   "1024*768 2X2"};
constexpr const char* kModel10[] = {"1360*1024", "680*512", "340*256"};
constexpr const char* kModel11[] = {"1360*1024"};
constexpr const char* kModel14[] = {"2048*1536 ", "1024*768_BIN", "512*384_BIN", "320*240 ",
                                    "3032*2016",  "(2*2bin)",     "(4*4bin)"};
constexpr const char* kModel15[] = {"1280*1024", "640*480", "320*240 "};
constexpr const char* kModel21[] = {"3032*2016", "(2*2bin)", "(4*4bin)"};

}  // namespace

std::span<const char* const> resolutionNames(int model) {
    switch (model) {
        case 1:
            return kModel1;
        case 2:
            return kModel2;
        case 3:
            return kModel3;
        case 4:
            return kModel4;
        case 5:
        case 6:
            return kModel5;
        case 7:
            return kModel7;
        case 8:
            return kModel8;
        case 9:
            return kModel9;
        case 10:
        case 12:
        case 13:
            return kModel10;
        case 11:
            return kModel11;
        case 14:
            return kModel14;
        case 15:
            return kModel15;
        case KD_FAMILY_OSTRA:
            return kModel21;
        default:
            return {};
    }
}

}  // namespace vantelo
