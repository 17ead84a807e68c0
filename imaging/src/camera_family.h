#pragma once
#include "kd_frame_info.h"
#include "vantelo.h"

// The one place that routes a frame call to the library of the record's camera family,
// always through the call tables (camera_calls.h). Each returns that library's result,
// KD_NOTHING_DONE for a record without a known family.
namespace vantelo {

int grabFamilyFrame(const CameraRecord& record, void* raw);
// `raw` is only read by either decoder.
int decodeFamilyFrame(const CameraRecord& record, const void* raw, void* out, int width, int height,
                      int flag);
int familyImageSize(const CameraRecord& record, int* width, int* height);
// The first family's sensor mode and data width as the camera holds them; the second
// family has neither (KD_NOTHING_DONE).
int familyMode(const CameraRecord& record, int* mode);
int familyDataWide(const CameraRecord& record, int* wide);
// What the family's library knows of the last frame it delivered (combined 1).
int familyFrameInfo(const CameraRecord& record, KdFrameInfo& info);

}  // namespace vantelo
