#pragma once
#include "vantelo.h"

// What "Default" puts into the record for each family: the second family's neutral
// values with unit colour gains; for the first family the colour gains stay as they are.
void setFamilyDefaults(CameraRecord& record, int family);
