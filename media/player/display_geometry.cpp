#include "media/player/display_geometry.h"

#include <cmath>

namespace zorvex {

double PictureAspect(float aspectSetting, int width, int height, int sarNum, int sarDen,
                     const TRect& area) {
    const bool areaEmpty = area.Width <= 0 || area.Height <= 0;
    if (aspectSetting < 0 && !areaEmpty) {
        return static_cast<double>(area.Width) / area.Height;
    }
    double aspect = aspectSetting;
    if (aspect <= 0) {
        aspect = (sarNum != 0 && sarDen != 0) ? static_cast<double>(sarNum) / sarDen : 0.0;
        if (aspect <= 0) aspect = 1.0;
        if (height > 0) aspect *= static_cast<double>(width) / height;
    }
    return aspect;
}

TRect PictureRectangle(const TRect& area, double aspect) {
    if (aspect <= 0 || area.Width <= 0 || area.Height <= 0) return {area.X, area.Y, 0, 0};
    int height = area.Height;
    int width = static_cast<int>(std::nearbyint(height * aspect)) & ~1;
    if (width > area.Width) {
        width = area.Width;
        height = static_cast<int>(std::nearbyint(width / aspect)) & ~1;
    }
    return {area.X + (area.Width - width) / 2, area.Y + (area.Height - height) / 2, width, height};
}

}  // namespace zorvex
