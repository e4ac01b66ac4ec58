#include "reference/literal_decode.h"

namespace tavrik::literal {

Surface decodePlane(const std::vector<std::uint8_t>& map, const std::vector<std::uint8_t>& tiles,
                    int columns, const RecordLayout& layout) {
  const int s = layout.tileSize;
  const int cells = static_cast<int>(map.size() / 2);
  const int rows = columns > 0 ? cells / columns : 0;
  const int tileCount = static_cast<int>(tiles.size()) / (4 * s);
  Surface plane(columns * s, rows * s, clFuchsia);
  for (int cell = 0; cell < columns * rows; ++cell) {
    int record = map[static_cast<size_t>(2 * cell)] + 256 * map[static_cast<size_t>(2 * cell + 1)];
    bool mirrorX = false, mirrorY = false;
    if (layout.flips) {
      mirrorX = (record >> layout.horizontalBit) & 1;
      mirrorY = (record >> layout.verticalBit) & 1;
      record &= ~((1 << layout.horizontalBit) | (1 << layout.verticalBit));
    }
    if (record >= tileCount) continue;
    for (int y = 0; y < s; ++y) {
      const size_t at = static_cast<size_t>(record * 4 * s + 4 * y);
      const int first = tiles[at] * 256 + tiles[at + 1];
      const int second = tiles[at + 2] * 256 + tiles[at + 3];
      for (int x = 0; x < s; ++x) {
        const int bit = s - 1 - x;
        const int number = 2 * ((first >> bit) & 1) + ((second >> bit) & 1);
        const Colour colours[] = {clWhite, clSilver, clGray, clBlack};
        const int px = mirrorX ? s - 1 - x : x;
        const int py = mirrorY ? s - 1 - y : y;
        plane.write((cell % columns) * s + px, (cell / columns) * s + py, colours[number]);
      }
    }
  }
  return plane;
}

}  // namespace tavrik::literal
