// The literal, slow reference of the colour passes and the tile-list steps: the documented
// loops, in their order, through single-pixel reads and writes only. The fast steps must leave
// a workspace exactly as these do.
#pragma once
#include "tiles/tile_lists.h"
#include "workspace/workspace.h"

namespace tavrik::literal {

void cutOut(Workspace& ws);
void greyLevels(Workspace& ws);
void virtualMask(Workspace& ws);
void overlayPreview(Workspace& ws);

void createTileLists(Workspace& ws);
void optimiseTileLists(Workspace& ws);

// The same with tile-set options: the bank's tiles written into the first slots after the
// plane's tiles; the pairwise search comparing each pair in the four orientations and never
// marking a bank slot. The report's counts come from a second literal run without flips on a
// copy of the workspace.
void createTileLists(Workspace& ws, const TileSetOptions& options);
OptimiseReport optimiseTileLists(Workspace& ws, const TileSetOptions& options);

}  // namespace tavrik::literal
