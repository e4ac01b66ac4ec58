// PROVISIONAL: replaced by the real passes.
#include "passes/colour_passes.h"

#include "imaging/error.h"

namespace tavrik {
void cutOut(Workspace&) { throw Error("non disponible"); }
void greyLevels(Workspace&) { throw Error("non disponible"); }
void virtualMask(Workspace&) { throw Error("non disponible"); }
void overlayPreview(Workspace&) { throw Error("non disponible"); }
}  // namespace tavrik
