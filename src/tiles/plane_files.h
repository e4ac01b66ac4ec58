// The rows of picture files for the lean road: uncompressed bitmaps and PNG files read a band at a
// time, and the errors that loading them whole gives.
#pragma once
#include <memory>
#include <string>

#include "tiles/lean_road.h"

namespace tavrik {

// Rows of the picture in `fileName`; null when it is not a picture that can be read in bands (a
// ".bmp" file that does not open as an uncompressed bitmap, a ".png" file whose header does not
// read, another extension, a picture too large): loading it whole then gives the picture or its
// error.
std::unique_ptr<PlaneRows> openPlaneRows(const std::string& fileName);

// Gives the error that loading the picture in `fileName` gives, if any. One larger than those
// loaded whole is read through its rows to its end instead, so that its own error is given
// rather than its size.
void checkPictureFile(const std::string& fileName);

// Opens readers of `fileName`, each through openPlaneRows; one that no longer opens (the file
// changed since it was first opened) gives the error of loading it, or a read error.
PlaneRowsOpener planeRowsOpener(const std::string& fileName);

}  // namespace tavrik
