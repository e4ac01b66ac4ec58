// PROVISIONAL: replaced by the decoders.
#include "imaging/picture_file.h"

#include "imaging/error.h"

namespace tavrik {

std::string fileExtension(const std::string& fileName) {
  const auto dot = fileName.find_last_of('.');
  if (dot == std::string::npos) return {};
  if (fileName.find_first_of("\\/:", dot) != std::string::npos) return {};
  return fileName.substr(dot + 1);
}

Picture loadPictureFile(const std::string& fileName) {
  throw Error(format("Impossible d'ouvrir le fichier %s", fileName.c_str()));
}

Picture decodePicture(const std::string&, std::span<const std::uint8_t>) {
  throw Error("Image bitmap incorrecte");
}

}  // namespace tavrik
