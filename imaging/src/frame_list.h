#pragma once

// The process-wide list of captured frames and their thumbnails.
namespace vantelo {

// Frees every raw frame and sets the count to 0; the thumbnails stay.
void resetFrameList();
// Frees every raw frame and every thumbnail and sets the count to 0.
void releaseFrameList();

}  // namespace vantelo
