#pragma once
#include <string>

#include "frame_list.h"
#include "vantelo.h"

// Saving a buffered frame to a file in the record's save format.
namespace vantelo {

enum SaveFormat {
    kSaveJpeg = KD_SAVE_JPEG,
    kSaveBmp = KD_SAVE_BMP,
    kSaveRaw = KD_SAVE_RAW,
    kSaveTiff = KD_SAVE_TIFF,
    kSaveFits = KD_SAVE_FITS
};

// Writes `frame` to `basePath` plus the extension of the record's save format (any
// value other than 1, 4, 8 and 16 writes a bitmap; 16 the raw mosaic as FITS, see
// frame_fits.h). A bitmap or JPEG save narrows the
// record's crop to a width of a multiple of four, which the record keeps. A JPEG gets
// the logo "addlogo.jpg" of the configuration folder stamped into its bottom-right
// corner when that file loads.
// A TIFF save adds a page to an existing file. A file is replaced only once the new one
// is complete, and no temporary file of a fixed name is used, so a failed save leaves
// an earlier file of that name byte for byte; a read-only file is refused. 1 done; 0 the
// file could not be written or the frame could not be decoded (the reason on standard
// error); -2 out of memory. Throws nothing but std::bad_alloc.
int saveFrame(CameraRecord& record, const BufferedFrame& frame, const std::string& basePath);

// The logo stamped into JPEG saves, in the program's configuration folder
// (corvalis::configurationFolder()).
inline constexpr const char* kLogoFileName = "addlogo.jpg";

}  // namespace vantelo
