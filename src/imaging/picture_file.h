// Loading a picture file: the kind by extension, then the decoder of that kind.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "imaging/picture.h"

namespace tavrik {

// The extension of a file name: the part after its last ".", provided that no folder separator
// ("\", "/") or ":" follows it; otherwise empty.
std::string fileExtension(const std::string& fileName);

// Which picture files a face accepts: the window's kinds (bmp, ico, emf, wmf), or those of
// tavrik-batch, which also reads png.
enum class PictureRules { Window, Batch };

// Loads the picture in `fileName`; only a regular file is read, and anything else gives
// "Impossible d'ouvrir le fichier %s" at once, without being opened in a way that blocks.
// Throws Error with the loading messages ("Extension de fichier
// graphique inconnue (.%s)", "Impossible d'ouvrir le fichier %s", "Erreur de lecture du flux",
// "Image bitmap incorrecte", "Image icône incorrecte", "MetaFichier incorrect", and with the
// batch rules "Image PNG incorrecte").
Picture loadPictureFile(const std::string& fileName, PictureRules rules = PictureRules::Window);

// What the window's picture preview shows of a file: its kind and size, and for a bitmap a
// thumbnail of at most maxWidth x maxHeight pixels (see readBitmapThumbnail) instead of all of
// its pixels. The same errors as loadPictureFile with the window's rules.
struct PictureThumbnail {
  PictureKind kind = PictureKind::None;
  int width = 0, height = 0;
  Surface pixels;  // bitmaps only
};
PictureThumbnail loadPictureThumbnail(const std::string& fileName, int maxWidth, int maxHeight);

// Decodes file contents of a known kind (the extension without its dot, any case: bmp, ico,
// emf, wmf, and png with the batch rules). Same errors as loadPictureFile except the open error.
Picture decodePicture(const std::string& extension, std::span<const std::uint8_t> bytes,
                      PictureRules rules = PictureRules::Window);

}  // namespace tavrik
