// Where a picture goes inside the display area.
#pragma once

#include "media/player/display_surface.h"

namespace zorvex {

// The display aspect ratio of a picture: aspectSetting above 0 forces it; 0 uses
// the picture's own (its pixel aspect sarNum/sarDen, 1 when unknown, times
// width / height); below 0 fills the display area.
double PictureAspect(float aspectSetting, int width, int height, int sarNum, int sarDen,
                     const TRect& area);

// The largest rectangle of that aspect centred in the area, with an even width
// and height (rounded to nearest, halves to even).
TRect PictureRectangle(const TRect& area, double aspect);

}  // namespace zorvex
