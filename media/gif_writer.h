// GIF pictures: a 24-bit bitmap reduced to its own 256-colour palette and
// written with libavcodec's GIF encoder.
#pragma once

#include <string>

#include "media/bitmap.h"

namespace zorvex {

// Writes the bitmap as a single-picture GIF file. False with the reason in
// error when the picture is empty or a library step fails.
bool WriteGifPicture(const TBitmap& bitmap, const std::string& path, std::string& error);

}  // namespace zorvex
