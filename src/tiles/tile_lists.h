// Tile lists: slicing both planes into strips, and removing duplicate tiles.
#pragma once
#include "workspace/workspace.h"

namespace tavrik {

void createTileLists(Workspace& ws);    // "Création des listes de sprites"
void optimiseTileLists(Workspace& ws);  // "Optimisation des listes"

}  // namespace tavrik
