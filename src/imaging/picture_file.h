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

// Loads the picture in `fileName`. Throws Error with the loading messages ("Extension de fichier
// graphique inconnue (.%s)", "Impossible d'ouvrir le fichier %s", "Erreur de lecture du flux",
// "Image bitmap incorrecte", "Image icône incorrecte", "MetaFichier incorrect", and with the
// batch rules "Image PNG incorrecte").
Picture loadPictureFile(const std::string& fileName, PictureRules rules = PictureRules::Window);

// Decodes file contents of a known kind (the extension without its dot, any case: bmp, ico,
// emf, wmf, and png with the batch rules). Same errors as loadPictureFile except the open error.
Picture decodePicture(const std::string& extension, std::span<const std::uint8_t> bytes,
                      PictureRules rules = PictureRules::Window);

}  // namespace tavrik
