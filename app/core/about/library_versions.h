// The versions of the libraries the program runs with, as found at run time
// (the About window shows them).
#pragma once

#include <QString>

namespace zorvex::app {

// "libavutil 57.28.100, libavcodec 59.37.100, ..." for the FFmpeg libraries the
// loader has loaded; loads them first when they are not yet. When they cannot
// be loaded: "未找到 (" + the loader's reason + ")".
QString FFmpegVersionsText();

// The Qt library's version ("6.4.2"), not the one the program was built with.
QString QtVersionText();

}  // namespace zorvex::app
