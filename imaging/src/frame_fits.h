#pragma once
#include <string>

#include "common/bayer_pattern.h"
#include "frame_list.h"
#include "vantelo.h"

// Saving a buffered frame of the first family as FITS: the raw Bayer mosaic as the
// camera delivered it, cut to the record's crop, with what the frame list kept about
// the exposure.
namespace vantelo {

// A rectangle of the stored mosaic, in sensor samples (right and bottom exclusive).
struct MosaicCut {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The mosaic samples under the record's crop rectangle. The crop is drawn on the
// upright picture the decode shows: the mosaic as read, its rows turned over by the
// vertical mirror and its columns by the horizontal one; in mode 1 a picture column
// is two mosaic columns.
MosaicCut mosaicCutOfCrop(const CameraRecord& record, int mode);

// The pattern at the first sample of a cut: the sensor's GRBG moved by the parities of
// the cut's offset.
corvalis::BayerPattern cutPattern(const MosaicCut& cut);

// Writes "<basePath>.fits": the cut of the mosaic, top sensor row first, 8-bit samples
// or 16-bit ones in host order (the camera's 12 bits at the top of the word), with
// EXPTIME, DATE-OBS, GAIN, binning, BAYERPAT and, for a stacked frame, NCOMBINE. 1 done;
// 0 refused (not a first-family frame, a frame smaller than its mode's mosaic) or not
// written (the reason on standard error).
int saveFits(const CameraRecord& record, const BufferedFrame& frame, const std::string& basePath);

}  // namespace vantelo
