// PROVISIONAL: replaced by the real export.
#include "maps/export_files.h"

#include "imaging/error.h"

namespace tavrik {
ExportResult exportFiles(Workspace&, const Maps&, const std::string&) {
  throw Error("non disponible");
}
ExportResult createMaps(Workspace& ws, const std::string& folder, const MapOptions& options) {
  const Maps maps = buildMaps(ws, options);
  return exportFiles(ws, maps, folder);
}
}  // namespace tavrik
