// The literal, slow reference of the colour passes and the tile-list steps: the documented
// loops, in their order, through single-pixel reads and writes only. The fast steps must leave
// a workspace exactly as these do.
#pragma once
#include "workspace/workspace.h"

namespace tavrik::literal {

void cutOut(Workspace& ws);
void greyLevels(Workspace& ws);
void virtualMask(Workspace& ws);
void overlayPreview(Workspace& ws);

void createTileLists(Workspace& ws);
void optimiseTileLists(Workspace& ws);

}  // namespace tavrik::literal
