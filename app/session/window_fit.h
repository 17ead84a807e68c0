#pragma once
#include "vantelo.h"

// Placement of the image window and the mapping of a selection onto the sensor
// picture. Plain arithmetic on the record's rectangles, kept apart from the windows so
// that the numbers can be checked alone.

struct WindowPlacement {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where the image window goes for a crop region in an area of available width x
// height: centred at natural size when it fits (and full screen is off), otherwise
// scaled to fit from the top-left corner keeping the aspect ratio. The crop size is
// capped at image size - 1 in each direction.
WindowPlacement fitImageWindow(const RECT& crop, int imageWidth, int imageHeight,
                               int availableWidth, int availableHeight, bool fullScreen);

// The crop rectangle and sensor window for a selection drawn in a view whose client
// rectangle shows the whole picture of imageWidth x imageHeight.
struct SelectionCrop {
    RECT crop{};
    int roiX0 = 0, roiY0 = 0, roiX1 = 0, roiY1 = 0;
};
// False (nothing to map) when the client rectangle is empty, or when the selection
// covers less than 2 picture pixels across or down: its crop would be empty.
bool cropFromSelection(const RECT& client, const RECT& selection, int imageWidth, int imageHeight,
                       SelectionCrop& out);
