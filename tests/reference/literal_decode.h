// Literal decoding of the output files back into planes, for round-trip tests: each map record
// gives a tile index and two mirror bits, each tile record S rows of two bit-plane words.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/surface.h"

namespace tavrik::literal {

struct RecordLayout {
  int tileSize = 16;
  bool flips = false;   // records carry mirror bits
  int horizontalBit = 14;
  int verticalBit = 15;
};

// Rebuilds a plane of `columns` cells per row from a map file's and a tile file's bytes: cell
// (c, r) is tile `index` mirrored as its bits say, each pixel's colour number 0..3 drawn as
// white, silver, grey, black. An index beyond the tiles leaves the cell fuchsia.
Surface decodePlane(const std::vector<std::uint8_t>& map, const std::vector<std::uint8_t>& tiles,
                    int columns, const RecordLayout& layout);

}  // namespace tavrik::literal
