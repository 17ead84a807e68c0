#pragma once
#include <string>

#include "cdib.h"

// The display picture: created at the crop size by Mes_Init, replaced by every live
// frame, deleted by Mes_UnInit.
namespace vantelo {

// Creates the picture when there is none and sizes it blank to width x height (24 bits).
void resetDisplayPicture(int width, int height);
void destroyDisplayPicture();
// Null between Mes_UnInit and the next Mes_Init.
CDib* displayPicture();

// Reads the picture file at `path` into `picture`: a name ending in "jpg" or "tif"
// (case-sensitive) is decoded with OpenCV in memory, any other as a bitmap. False, with
// the picture left as it was, for a file that does not load. Writes no file.
bool loadPictureFile(const std::string& path, CDib& picture);

}  // namespace vantelo
