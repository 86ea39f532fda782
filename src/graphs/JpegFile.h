// Snapshot pictures as baseline JPEG files, through libjpeg.
#pragma once

#include <string>

#include "UserText.h"

class QImage;

// A JPEG quality outside 1 to 100.
class ERangeError : public EOrvanelError {
  public:
    using EOrvanelError::EOrvanelError;
};

// Raises ERangeError unless 1 <= quality <= 100.
void CheckJpegQuality(int quality);

// Writes the picture as a baseline JPEG (24-bit colour) at the quality given, replacing the file
// whole (written beside it and renamed), so that a web server serving the folder never reads half
// a picture. Raises ERangeError for a bad quality (before anything is written) and EOrvanelError,
// naming the file, when it cannot be encoded or written.
void SaveImageAsJpeg(const QImage& image, const std::string& path, int quality);
