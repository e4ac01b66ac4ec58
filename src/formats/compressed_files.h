// The four binary files as compressed streams: NAME1.lvl.lz4 ... (or .rle).
#pragma once
#include <string>
#include <vector>

#include "files/output_set.h"
#include "formats/compress.h"
#include "maps/export_files.h"

namespace tavrik {

// The names of the four files of `compression`, in the order they are staged: those of
// exportFileNames with the compression's suffix ("Demo1.lvl.lz4").
std::vector<std::string> compressedFileNames(const std::string& name, Compression compression);

// Stages the four files of `tables` (see exportTables) into `set` in `folder` ("" = the current
// folder), each the stream of `compression` that decodes into the plain file's bytes: the map
// records little-endian, the tile words big-endian.
void stageCompressedFiles(const std::string& name, const ExportTables& tables, Compression compression,
                          const std::string& folder, OutputSet& set);

}  // namespace tavrik
