// PROVISIONAL: replaced by the real steps.
#include "tiles/tile_lists.h"

#include "imaging/error.h"

namespace tavrik {
void createTileLists(Workspace&) { throw Error("non disponible"); }
void optimiseTileLists(Workspace&) { throw Error("non disponible"); }
}  // namespace tavrik
