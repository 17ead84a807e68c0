// The shared library's boundary: exactly the 25 imaging functions and the frame
// information leave libvantelo.so,
// nothing of its workings (C++ classes, helpers, the libraries it links) does.
#include <gtest/gtest.h>

#include "library_exports.h"

#include <set>
#include <string>

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

// Added beside them, under names of their own (kd_frame_info.h).
const std::set<std::string> kAddedExports = {"CorvalisKdFrameInfo", "CorvalisKdListFrameInfo",
                                             "CorvalisKdSnapToBuffList"};

TEST(VanteloSymbols, ExportsExactlyTheImagingFunctions) {
    ASSERT_EQ(kExports.size(), 25u);
    expectExactExports(VANTELO_LIBRARY_FILE, kExports, kAddedExports);
}

}  // namespace
