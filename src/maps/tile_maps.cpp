#include "maps/tile_maps.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>
#include <string_view>

#include "base/error.h"
#include "imaging/bitmap_font.h"
#include "imaging/surface.h"
#include "passes/parallel_rows.h"
#include "tiles/tile_index.h"

namespace tavrik {

namespace {

// The first L tiles of a strip in a tile index, read as the surface reads them: pixels
// outside the grid give the invalid colour. Reports the gauge value for each tile read.
class StripTiles {
 public:
  StripTiles(const Surface& strip, int size, int count, bool mirrored, Workspace& ws, int progressBase)
      : stored_(storedSlots(strip, size, count)),
        index_(size, mirrored, static_cast<size_t>(stored_) + (count > stored_ ? 1 : 0)) {
    const int stored = stored_;
    const bool invalidTail = count > stored;
    std::vector<Colour> scratch(static_cast<size_t>(size) * static_cast<size_t>(size));
    const auto scratchRows = [&](int y) { return scratch.data() + static_cast<size_t>(y) * size; };
    for (int i = 0; i < stored; ++i) {
      ws.setProgress(progressBase + static_cast<int>(static_cast<long long>(i) * 50 / count));
      const int x0 = i * size;
      if (x0 + size <= strip.width() && size <= strip.height()) {
        index_.add([&](int y) { return strip.row(y) + x0; }, i);
      } else {
        for (int y = 0; y < size; ++y)
          for (int x = 0; x < size; ++x) scratch[static_cast<size_t>(y * size + x)] = strip.read(x0 + x, y);
        index_.add(scratchRows, i);
      }
    }
    if (invalidTail) {
      std::fill(scratch.begin(), scratch.end(), invalidColour);
      index_.add(scratchRows, count - 1);
    }
  }

  // Number of leading slots read one by one (the others read invalid everywhere).
  int stored() const { return stored_; }
  const TileIndex& index() const { return index_; }

 private:
  // Slots from this one on lie wholly right of the grid: every pixel reads invalid, so they
  // are one content, held at its highest index count - 1.
  static int storedSlots(const Surface& strip, int size, int count) {
    const long long touching =
        strip.width() > 0 ? (static_cast<long long>(strip.width()) + size - 1) / size : 0;
    return static_cast<int>(std::min<long long>(count, touching));
  }

  int stored_;
  TileIndex index_;
};

TileMap emptyMap(const ImageControl& plane, int size, bool mirrored) {
  TileMap map;
  map.columns = std::max(plane.Width() / size, 0);
  map.rows = std::max(plane.Height() / size, 0);
  map.cells.assign(static_cast<size_t>(map.columns) * static_cast<size_t>(map.rows), 0);
  if (mirrored) map.flips.assign(map.cells.size(), Flip::None);
  map.unmatched = static_cast<long long>(map.cells.size());
  map.unmatchedCells.resize(map.cells.size());
  std::iota(map.unmatchedCells.begin(), map.unmatchedCells.end(), size_t{0});
  return map;
}

void preparePreview(ImageControl& preview, const ImageControl& plane, const TileMap& map) {
  preview.SetWidth(map.columns * kPreviewCellSize);
  preview.SetHeight(map.rows * kPreviewCellSize);
  preview.fillRect(0, 0, plane.Width() - 1, plane.Height() - 1);
}

void matchCells(Workspace& ws, ImageControl& planeControl, ImageControl& listControl,
                const std::string& counter, int size, int progressBase, bool mirrored, TileMap& map) {
  const int count = textToInt(counter);
  if (count <= 0) return;
  ws.setProgress(progressBase);  // tile 0 begins
  if (map.cells.empty()) {
    reportProgressSteps(ws, progressBase, 50, 1, count);
    return;
  }
  // The first comparison touches the plane, then the list.
  const Surface& plane = planeControl.surface();
  const Surface& list = listControl.surface();
  const StripTiles strip(list, size, count, mirrored, ws, progressBase);
  const TileIndex& tiles = strip.index();
  reportProgressSteps(ws, progressBase, 50, strip.stored(), count);

  // Cells are independent: row bands on several threads, each writing its own cells.
  const long long area = static_cast<long long>(size) * size;
  const int bands = bandCount(static_cast<long long>(map.cells.size()) * area);
  std::vector<std::vector<size_t>> unmatchedPerBand(static_cast<size_t>(bands));
  forEachBand(map.rows, bands, [&](int band, int rowBegin, int rowEnd) {
    std::vector<Colour> scratch(static_cast<size_t>(area));
    std::vector<size_t>& unmatched = unmatchedPerBand[static_cast<size_t>(band)];
    for (int r = rowBegin; r < rowEnd; ++r) {
      const int y0 = r * size;
      for (int c = 0; c < map.columns; ++c) {
        const int x0 = c * size;
        TileIndex::Match found;
        if (x0 + size <= plane.width() && y0 + size <= plane.height()) {
          found = tiles.find([&](int y) { return plane.row(y0 + y) + x0; });
        } else {  // a plane control larger than its picture: pixels beyond it read invalid
          for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
              scratch[static_cast<size_t>(y * size + x)] = plane.read(x0 + x, y0 + y);
          found = tiles.find([&](int y) { return scratch.data() + static_cast<size_t>(y) * size; });
        }
        const size_t cell = static_cast<size_t>(r) * map.columns + c;
        if (found.index < 0) unmatched.push_back(cell);
        map.cells[cell] = found.index < 0 ? 0 : found.index;
        if (mirrored) map.flips[cell] = found.flip;
      }
    }
  });
  map.unmatchedCells.clear();
  for (const std::vector<size_t>& cells : unmatchedPerBand)
    map.unmatchedCells.insert(map.unmatchedCells.end(), cells.begin(), cells.end());
  map.unmatched = static_cast<long long>(map.unmatchedCells.size());
}

// The legend's colours: black as it stands, red left-right, blue top-bottom, green both.
Colour flipInk(Flip f) {
  switch (f) {
    case Flip::None: return clBlack;
    case Flip::Horizontal: return clRed;
    case Flip::Vertical: return clBlue;
    case Flip::Both: return clGreen;
  }
  return clBlack;
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
      const Colour ink = map.flips.empty() ? clBlack : flipInk(map.flips[static_cast<size_t>(r) * map.columns + c]);
      surface.drawText(c * kPreviewCellSize, r * kPreviewCellSize,
                       std::string_view(text, static_cast<size_t>(end - text)), ink);
    }
  }
  preview.changed();
}

}  // namespace

void reportProgressSteps(Workspace& ws, int base, int span, long long from, long long count) {
  for (long long i = from; i < count;) {
    const long long value = i * span / count;
    ws.setProgress(base + static_cast<int>(value));
    // The first i whose value is higher: i × span ≥ (value + 1) × count.
    i = std::max(i + 1, ((value + 1) * count + span - 1) / span);
  }
}

Maps buildMaps(Workspace& ws, const MapOptions& options) {
  const int size = ws.SpriteSize;
  if (size == 0) throw Error(kDivisionByZero);
  const bool mirrored = options.flips.has_value();
  Maps maps;
  maps.sprite = emptyMap(ws.Image1, size, mirrored);
  maps.background = emptyMap(ws.Image2, size, mirrored);
  maps.layout.flipBits = options.flips;

  if (options.drawPreviews) preparePreview(ws.Image8, ws.Image1, maps.sprite);
  matchCells(ws, ws.Image1, ws.Image5, ws.Label23, size, 0, mirrored, maps.sprite);
  if (options.drawPreviews) drawPreview(ws.Image8, maps.sprite);
  ws.setProgress(50);

  if (options.drawPreviews) preparePreview(ws.Image9, ws.Image2, maps.background);
  matchCells(ws, ws.Image2, ws.Image6, ws.Label26, size, 50, mirrored, maps.background);
  if (options.drawPreviews) drawPreview(ws.Image9, maps.background);
  ws.setProgress(0);
  return maps;
}

}  // namespace tavrik
