// Windows bitmap (DIB) files: decoding into a surface, and writing a surface back out.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "imaging/surface.h"

namespace tavrik {

// Decodes a whole ".bmp" file. An empty input gives a 0 x 0 surface. Throws Error with
// "Erreur de lecture du flux" or "Image bitmap incorrecte".
Surface decodeBitmap(std::span<const std::uint8_t> bytes);

// Writes `surface` as a 24-bit, bottom-up, uncompressed bitmap file. Throws Error naming the
// file when it cannot be created or written.
void writeBitmapFile(const Surface& surface, const std::string& fileName);

}  // namespace tavrik
