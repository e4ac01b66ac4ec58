// Literal reference of "Création des MAPS": the command's loops as written, one pixel operation
// of the image controls at a time. Slow (L x C x R x S² comparisons); for differential tests on
// small workspaces only. It carries the same mends as the real command: unmatched cells are 0,
// the refusals of too many tiles and of tiles above 16 pixels, and file errors; a file whose
// writing fails is removed.
#pragma once
#include <optional>
#include <string>

#include "maps/export_files.h"
#include "maps/tile_maps.h"
#include "workspace/workspace.h"

namespace tavrik::literal {

// With `flips`, cells also match mirrored tiles, and the map records carry the flip bits.
Maps buildMaps(Workspace& ws, const std::optional<FlipBits>& flips = std::nullopt);
ExportResult exportFiles(Workspace& ws, const Maps& maps, const std::string& folder = {});
ExportResult createMaps(Workspace& ws, const std::string& folder = {},
                        const std::optional<FlipBits>& flips = std::nullopt);

}  // namespace tavrik::literal
