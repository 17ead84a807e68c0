#pragma once
#include "cdib.h"

// The display picture: created at the crop size by Mes_Init, replaced by every live
// frame, deleted by Mes_UnInit.
namespace vantelo {

// Creates the picture when there is none and sizes it blank to width x height (24 bits).
void resetDisplayPicture(int width, int height);
void destroyDisplayPicture();
// Null between Mes_UnInit and the next Mes_Init.
CDib* displayPicture();

}  // namespace vantelo
