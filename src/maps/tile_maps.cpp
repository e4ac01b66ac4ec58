#include "maps/tile_maps.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "imaging/bitmap_font.h"
#include "imaging/error.h"
#include "imaging/surface.h"
#include "passes/parallel_rows.h"
#include "tiles/tile_hash.h"

namespace tavrik {

namespace {

// The first L tiles of a strip, each distinct content once with the highest index that holds
// it. Tiles are read as the surface reads them: pixels outside the grid give the invalid colour.
class TileIndex {
 public:
  TileIndex(const Surface& strip, int size, int count, Workspace& ws, int progressBase)
      : size_(size), area_(static_cast<size_t>(size) * static_cast<size_t>(size)) {
    // Slots from `stored` on lie wholly right of the grid: every pixel reads invalid, so they
    // are one content, held at its highest index count - 1.
    const long long touching =
        strip.width() > 0 ? (static_cast<long long>(strip.width()) + size - 1) / size : 0;
    stored_ = static_cast<int>(std::min<long long>(count, touching));
    const int stored = stored_;
    const bool invalidTail = count > stored;
    const size_t capacityTiles = static_cast<size_t>(stored) + (invalidTail ? 1 : 0);
    size_t tableSize = 16;
    while (tableSize < capacityTiles * 2) tableSize *= 2;
    table_.assign(tableSize, -1);
    mask_ = tableSize - 1;

    std::vector<Colour> scratch(area_);
    for (int i = 0; i < stored; ++i) {
      ws.setProgress(progressBase + static_cast<int>(static_cast<long long>(i) * 50 / count));
      const int x0 = i * size;
      if (x0 + size <= strip.width() && size <= strip.height()) {
        add([&](int y) { return strip.row(y) + x0; }, i);
      } else {
        for (int y = 0; y < size; ++y)
          for (int x = 0; x < size; ++x) scratch[static_cast<size_t>(y * size + x)] = strip.read(x0 + x, y);
        add([&](int y) { return scratch.data() + static_cast<size_t>(y) * size; }, i);
      }
    }
    if (invalidTail) {
      std::fill(scratch.begin(), scratch.end(), invalidColour);
      add([&](int y) { return scratch.data() + static_cast<size_t>(y) * size; }, count - 1);
    }
  }

  // Number of leading slots read one by one (the others read invalid everywhere).
  int stored() const { return stored_; }

  // Highest list index of the tile equal to the block, or -1.
  template <class Rows>
  int find(const Rows& rowAt) const {
    const std::uint64_t h = hashBlock(rowAt, size_);
    for (size_t slot = h & mask_;; slot = (slot + 1) & mask_) {
      const int k = table_[slot];
      if (k < 0) return -1;
      if (hashes_[static_cast<size_t>(k)] == h && equal(rowAt, k)) return indices_[static_cast<size_t>(k)];
    }
  }

 private:
  template <class Rows>
  bool equal(const Rows& rowAt, int k) const {
    const Colour* tile = pixels_.data() + static_cast<size_t>(k) * area_;
    const size_t rowBytes = static_cast<size_t>(size_) * sizeof(Colour);
    for (int y = 0; y < size_; ++y)
      if (std::memcmp(rowAt(y), tile + static_cast<size_t>(y) * size_, rowBytes) != 0) return false;
    return true;
  }

  template <class Rows>
  void add(const Rows& rowAt, int index) {
    const std::uint64_t h = hashBlock(rowAt, size_);
    size_t slot = h & mask_;
    for (;; slot = (slot + 1) & mask_) {
      const int k = table_[slot];
      if (k < 0) break;
      if (hashes_[static_cast<size_t>(k)] == h && equal(rowAt, k)) {
        indices_[static_cast<size_t>(k)] = index;  // a later equal tile wins
        return;
      }
    }
    table_[slot] = static_cast<int>(hashes_.size());
    hashes_.push_back(h);
    indices_.push_back(index);
    for (int y = 0; y < size_; ++y) {
      const Colour* r = rowAt(y);
      pixels_.insert(pixels_.end(), r, r + size_);
    }
  }

  int size_;
  size_t area_;
  int stored_ = 0;
  std::vector<Colour> pixels_;         // stored tiles, each row by row
  std::vector<std::uint64_t> hashes_;  // per stored tile
  std::vector<int> indices_;           // per stored tile: its highest list index
  std::vector<int> table_;             // open addressing over stored tiles, -1 = free
  size_t mask_ = 0;
};

// Reports the gauge values i × 50 / count + base for i = from … count − 1. Only their changes
// are visible, so one call per distinct value suffices.
void reportRemainingProgress(Workspace& ws, int base, long long from, long long count) {
  for (long long i = from; i < count;) {
    const long long value = i * 50 / count;
    ws.setProgress(base + static_cast<int>(value));
    i = std::max(i + 1, ((value + 1) * count + 49) / 50);
  }
}

TileMap emptyMap(const ImageControl& plane, int size) {
  TileMap map;
  map.columns = std::max(plane.Width() / size, 0);
  map.rows = std::max(plane.Height() / size, 0);
  map.cells.assign(static_cast<size_t>(map.columns) * static_cast<size_t>(map.rows), 0);
  map.unmatched = static_cast<long long>(map.cells.size());
  return map;
}

void preparePreview(ImageControl& preview, const ImageControl& plane, const TileMap& map) {
  preview.SetWidth(map.columns * kPreviewCellSize);
  preview.SetHeight(map.rows * kPreviewCellSize);
  preview.fillRect(0, 0, plane.Width() - 1, plane.Height() - 1);
}

void matchCells(Workspace& ws, ImageControl& planeControl, ImageControl& listControl,
                const std::string& counter, int size, int progressBase, TileMap& map) {
  const int count = textToInt(counter);
  if (count <= 0) return;
  ws.setProgress(progressBase);  // tile 0 begins
  if (map.cells.empty()) {
    reportRemainingProgress(ws, progressBase, 1, count);
    return;
  }
  // The first comparison touches the plane, then the list.
  const Surface& plane = planeControl.surface();
  const Surface& list = listControl.surface();
  const TileIndex tiles(list, size, count, ws, progressBase);
  reportRemainingProgress(ws, progressBase, tiles.stored(), count);

  // Cells are independent: row bands on several threads, each writing its own cells.
  const long long area = static_cast<long long>(size) * size;
  const int bands = bandCount(static_cast<long long>(map.cells.size()) * area);
  std::vector<long long> unmatchedPerBand(static_cast<size_t>(bands), 0);
  forEachBand(map.rows, bands, [&](int band, int rowBegin, int rowEnd) {
    std::vector<Colour> scratch(static_cast<size_t>(area));
    long long unmatched = 0;
    for (int r = rowBegin; r < rowEnd; ++r) {
      const int y0 = r * size;
      for (int c = 0; c < map.columns; ++c) {
        const int x0 = c * size;
        int found;
        if (x0 + size <= plane.width() && y0 + size <= plane.height()) {
          found = tiles.find([&](int y) { return plane.row(y0 + y) + x0; });
        } else {  // a plane control larger than its picture: pixels beyond it read invalid
          for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
              scratch[static_cast<size_t>(y * size + x)] = plane.read(x0 + x, y0 + y);
          found = tiles.find([&](int y) { return scratch.data() + static_cast<size_t>(y) * size; });
        }
        if (found < 0) ++unmatched;
        map.cells[static_cast<size_t>(r) * map.columns + c] = found < 0 ? 0 : found;
      }
    }
    unmatchedPerBand[static_cast<size_t>(band)] = unmatched;
  });
  long long unmatched = 0;
  for (long long u : unmatchedPerBand) unmatched += u;
  map.unmatched = unmatched;
}

// The numbers go column by column, each covering what earlier texts left in its cell's row.
// A text is 13 pixels high and the rows are 20 apart, so texts of different rows never meet:
// drawing row by row, columns from left to right within a row, gives the same pixels and walks
// the surface in memory order.
void drawPreview(ImageControl& preview, const TileMap& map) {
  if (map.cells.empty()) return;
  static_assert(kFontLineHeight <= kPreviewCellSize);
  Surface& surface = preview.surface();
  char text[16];
  for (int r = 0; r < map.rows; ++r) {
    const std::int32_t* cells = map.cells.data() + static_cast<size_t>(r) * map.columns;
    for (int c = 0; c < map.columns; ++c) {
      const auto end = std::to_chars(text, text + sizeof text, cells[c]).ptr;
      surface.drawText(c * kPreviewCellSize, r * kPreviewCellSize,
                       std::string_view(text, static_cast<size_t>(end - text)));
    }
  }
  preview.changed();
}

}  // namespace

Maps buildMaps(Workspace& ws, const MapOptions& options) {
  const int size = ws.SpriteSize;
  if (size == 0) throw Error(kDivisionByZero);
  Maps maps;
  maps.sprite = emptyMap(ws.Image1, size);
  maps.background = emptyMap(ws.Image2, size);

  if (options.drawPreviews) preparePreview(ws.Image8, ws.Image1, maps.sprite);
  matchCells(ws, ws.Image1, ws.Image5, ws.Label23, size, 0, maps.sprite);
  if (options.drawPreviews) drawPreview(ws.Image8, maps.sprite);
  ws.setProgress(50);

  if (options.drawPreviews) preparePreview(ws.Image9, ws.Image2, maps.background);
  matchCells(ws, ws.Image2, ws.Image6, ws.Label26, size, 50, maps.background);
  if (options.drawPreviews) drawPreview(ws.Image9, maps.background);
  ws.setProgress(0);
  return maps;
}

}  // namespace tavrik
