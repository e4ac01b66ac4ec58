// The four output files of "Création des MAPS", and the whole command.
#pragma once
#include <string>
#include <vector>

#include "maps/tile_maps.h"
#include "workspace/workspace.h"

namespace tavrik {

struct ExportResult {
  std::vector<std::string> files;  // paths written, in order
  std::string closingMessage;      // "Les fichiers ont été enregistrés avec l'image : %s"
};

// Writes "%s1.lvl", "%s2.lvl", "%s1.bin", "%s2.bin" into `folder` ("" = the current folder).
ExportResult exportFiles(Workspace& ws, const Maps& maps, const std::string& folder = {});

// The whole command: buildMaps, then exportFiles.
ExportResult createMaps(Workspace& ws, const std::string& folder = {},
                        const MapOptions& options = {});

}  // namespace tavrik
