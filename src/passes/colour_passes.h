// The four colour passes over the planes (cut-out, grey levels, virtual mask, overlay).
#pragma once
#include "workspace/workspace.h"

namespace tavrik {

void cutOut(Workspace& ws);          // "Détourage des sprites"
void greyLevels(Workspace& ws);      // "Couleur -> NG4"
void virtualMask(Workspace& ws);     // "Application du masque virtuel"
void overlayPreview(Workspace& ws);  // "Aperçu de la superposition"

}  // namespace tavrik
