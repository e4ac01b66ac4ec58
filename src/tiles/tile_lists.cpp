// Tile list creation and optimisation, row-wise and with hashed tiles, leaving the strips, the
// scratch strip, the control sizes, the counters and the gauge exactly as the tile-by-tile,
// pixel-by-pixel loops do. The odd cases follow from the single-pixel rules: slots beyond a
// strip's grid read the invalid colour (never removed, copied back as black), the sprite plane's
// tile count bounds the search in both strips, the background's own count its compaction, and
// the scratch strip keeps the size it got at its first access.
#include "tiles/tile_lists.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "passes/parallel_rows.h"
#include "tiles/tile_index.h"
#include "tiles/tile_strip.h"

namespace tavrik {

namespace {

// Writes the bank's tiles into slots 0..B-1 of a strip, pixel by pixel rules.
void writeBank(ImageControl& list, std::span<const Colour> bank, int S) {
  const int count = bankTileCount(bank, S);
  if (count == 0) return;
  Surface& strip = list.surface();
  const size_t area = static_cast<size_t>(S) * static_cast<size_t>(S);
  for (int t = 0; t < count; ++t)
    for (int y = 0; y < S; ++y)
      for (int x = 0; x < S; ++x)
        strip.write(t * S + x, y, bank[static_cast<size_t>(t) * area + static_cast<size_t>(y) * S + x]);
  list.changed();
}

}  // namespace

int bankTileCount(std::span<const Colour> bank, int S) {
  return S > 0 ? static_cast<int>(bank.size() / (static_cast<size_t>(S) * static_cast<size_t>(S))) : 0;
}

std::vector<int> markedByExactSearch(const Surface& strip, int S, const std::vector<int>& slots, bool flips,
                                     int bankSlots) {
  TileIndex index(S, flips, slots.size());
  std::vector<Colour> scratch(static_cast<size_t>(S));
  std::vector<int> marked;
  for (const int t : slots) {
    const auto rows = [&](int b) { return slotRow(strip, S, t, b, scratch.data()); };
    if (index.findOrAdd(rows, t).index >= 0 && t >= bankSlots) marked.push_back(t);
  }
  return marked;
}

void createTileLists(Workspace& ws) { createTileLists(ws, TileSetOptions{}); }

void createTileLists(Workspace& ws, const TileSetOptions& options) {
  ws.SpriteSize = ws.RadioButton1 ? 8 : ws.RadioButton2 ? 16 : 32;
  const int S = ws.SpriteSize;
  const int c1 = ws.Image1.Width() / S, r1 = ws.Image1.Height() / S;
  const int c2 = ws.Image2.Width() / S, r2 = ws.Image2.Height() / S;
  // With a bank, each list holds the bank's tiles in its first slots and the plane's after them.
  const int B1 = bankTileCount(options.spriteBank, S), B2 = bankTileCount(options.backgroundBank, S);
  ws.Image5.SetHeight(S);
  ws.Image5.SetWidth((B1 + c1 * r1) * S);
  ws.Image6.SetHeight(S);
  ws.Image6.SetWidth((B2 + c2 * r2) * S);
  ws.Label23 = std::to_string(B1 + c1 * r1);
  ws.Label26 = std::to_string(B2 + c2 * r2);
  const auto writeBanks = [&] {
    writeBank(ws.Image5, options.spriteBank, S);
    writeBank(ws.Image6, options.backgroundBank, S);
  };
  // The copy walks the sprite plane's grid; without a tile it touches no pixel at all.
  if (c1 <= 0 || r1 <= 0) {
    writeBanks();
    return;
  }
  const int x1 = B1 * S, x2 = B2 * S;  // where the plane's tiles begin in each strip

  // First pixel's order: read Image1, write Image5, read Image2, write Image6.
  // A strip created here is written whole by the copy below when its slots are all reached:
  // always for the sprite list, and for the background list when its grid is no larger than
  // the sprite plane's. Such a strip skips the white fill (a pass over a large grid), and gets
  // it after all if the copy does not run. Strips with a bank are filled as usual.
  const Surface& sprite = ws.Image1.surface();
  const bool spriteListNew = !ws.Image5.hasSurface() && B1 == 0;
  Surface& spriteList = spriteListNew ? ws.Image5.surfaceForOverwrite() : ws.Image5.surface();
  const Surface* background;
  Surface* backgroundList;
  try {
    background = &ws.Image2.surface();
    backgroundList = c2 <= c1 && r2 <= r1 && B2 == 0 ? &ws.Image6.surfaceForOverwrite() : &ws.Image6.surface();
  } catch (...) {
    if (spriteListNew) spriteList.fillRect(0, 0, spriteList.width(), spriteList.height());
    ws.Image5.writePixel(x1, 0, ws.Image1.readPixel(0, 0));
    throw;
  }

  // Sprite list: tile (tx, ty) goes to slot c1 * ty + tx, so row k of tile row ty is one run of
  // c1 * S strip pixels taken from plane row ty * S + k.
  // Tile rows land in separate slots: bands of them go to separate threads.
  const int bands = bandCount(static_cast<long long>(c1) * r1 * S * S);
  forEachBand(r1, bands, [&](int, int begin, int end) {
    for (int ty = begin; ty < end; ++ty)
      for (int k = 0; k < S; ++k)
        copySpan(sprite, 0, ty * S + k, spriteList, x1 + c1 * ty * S, k, c1 * S);
  });

  // Background list: slot c2 * ty + tx over the sprite plane's grid. While no two tiles share a
  // slot the same runs work; otherwise the tiles go in loop order (tx outer, ty inner) so that
  // the later one wins.
  if (c2 >= c1 || r1 <= 1) {
    forEachBand(r1, bands, [&](int, int begin, int end) {
      for (int ty = begin; ty < end; ++ty)
        for (int k = 0; k < S; ++k)
          copySpan(*background, 0, ty * S + k, *backgroundList, x2 + c2 * ty * S, k, c1 * S);
    });
  } else {
    for (int tx = 0; tx < c1; ++tx)
      for (int ty = 0; ty < r1; ++ty)
        for (int k = 0; k < S; ++k)
          copySpan(*background, tx * S, ty * S + k, *backgroundList, x2 + (c2 * ty + tx) * S, k, S);
  }
  ws.Image5.changed();
  ws.Image6.changed();
  writeBanks();
}

namespace {

// How the duplicate search compares: with `flips`, a tile equal to an earlier one mirrored
// left-right, top-bottom or both is a duplicate too. The first `bankSlots` slots are never
// marked, even when they repeat, but the others are compared with them.
struct SearchRules {
  bool flips = false;
  int bankSlots = 0;
};

struct SearchResult {
  bool marked = false;  // some slot was marked
  int savedByMirroring = 0;  // marked only because of mirroring
};

// Each slot's candidate class as the hashes see it: the index (into slots) of the first slot of
// its class and the orientation in which it holds that first slot's colours. Without flips a
// class is one content; with flips, one content in its four orientations. Returns false when
// the hashes cannot tell the classes apart (a collision between two classes). Counts in
// `savedByMirroring` the slots from bankSlots on whose content is new but whose class is not.
bool candidateClasses(const Surface& strip, int S, const std::vector<int>& slots,
                      const std::vector<std::uint64_t>& hashes, const SearchRules& rules,
                      std::vector<int>& first, std::vector<Flip>& orientation, int& savedByMirroring) {
  const int n = static_cast<int>(slots.size());
  struct Entry {
    int first;  // index into slots
    Flip flip;
    bool seen;  // some slot holds this content as it stands
  };
  std::vector<Entry> entries;
  std::vector<std::uint64_t> entryHashes;
  size_t capacity = 16;
  while (capacity < static_cast<size_t>(n) * (rules.flips ? 8 : 2)) capacity *= 2;
  const size_t mask = capacity - 1;
  std::vector<int> table(capacity, -1);  // index into entries, -1: empty
  // Position of hash h in the table: its entry, or the free place where it would go.
  const auto place = [&](std::uint64_t h) {
    size_t pos = static_cast<size_t>(h) & mask;
    while (table[pos] >= 0 && entryHashes[static_cast<size_t>(table[pos])] != h) pos = (pos + 1) & mask;
    return pos;
  };
  const auto add = [&](size_t pos, std::uint64_t h, Entry entry) {
    table[pos] = static_cast<int>(entries.size());
    entries.push_back(entry);
    entryHashes.push_back(h);
  };
  std::vector<Colour> scratch(static_cast<size_t>(S)), mirrored(static_cast<size_t>(S) * S);
  savedByMirroring = 0;
  for (int i = 0; i < n; ++i) {
    const std::uint64_t h = hashes[static_cast<size_t>(i)];
    const size_t pos = place(h);
    if (table[pos] >= 0) {
      Entry& e = entries[static_cast<size_t>(table[pos])];
      first[static_cast<size_t>(i)] = e.first;
      orientation[static_cast<size_t>(i)] = e.flip;
      if (!e.seen && slots[static_cast<size_t>(i)] >= rules.bankSlots) ++savedByMirroring;
      e.seen = true;
      continue;
    }
    first[static_cast<size_t>(i)] = i;
    orientation[static_cast<size_t>(i)] = Flip::None;
    add(pos, h, Entry{i, Flip::None, true});
    if (!rules.flips) continue;
    const int t = slots[static_cast<size_t>(i)];
    for (const Flip f : {Flip::Horizontal, Flip::Vertical, Flip::Both}) {
      copyMirrored([&](int y) { return slotRow(strip, S, t, y, scratch.data()); }, S, f, mirrored.data());
      const std::uint64_t hm = blockHash(mirrored.data(), S);
      const size_t mpos = place(hm);
      if (table[mpos] < 0) add(mpos, hm, Entry{i, f, false});
      // The same hash in this class: a symmetric tile (checked with the candidates). In another
      // class: the classes would meet, which equal contents cannot do.
      else if (entries[static_cast<size_t>(table[mpos])].first != i) return false;
    }
  }
  return true;
}

// The duplicate search on one strip over slots 0..count-1. A slot whose top-left pixel is
// clFuchsia is removed and takes no part. A slot whose top-left pixel lies outside the grid reads
// the invalid colour everywhere: it equals only other such slots, and marking it writes nothing,
// so it never changes anything and is left out. Of the other slots, each one equal to an earlier
// one is marked (every pixel of it inside the grid becomes clFuchsia); comparing with the first
// occurrence of each content is enough, since the content of a slot changes only when it is
// marked, and a marked slot is never compared again. With flips the same holds of the four
// orientations of a content, since mirroring twice gives back the tile or another orientation.
SearchResult markDuplicateSlots(Surface& strip, int S, int count, const SearchRules& rules) {
  if (count < 2 || S <= 0) return {};
  std::vector<int> slots;
  for (int t = 0; t < count; ++t) {
    if (!slotCornerInside(strip, S, t)) break;  // all later corners lie further right
    if (strip.row(0)[static_cast<size_t>(t) * S] != clFuchsia) slots.push_back(t);
  }
  if (slots.size() < 2) return {};

  const int n = static_cast<int>(slots.size());
  std::vector<std::uint64_t> hashes(static_cast<size_t>(n));
  forEachBand(n, bandCount(static_cast<long long>(n) * S * S), [&](int, int begin, int end) {
    std::vector<Colour> scratch(static_cast<size_t>(S));
    for (int i = begin; i < end; ++i)
      hashes[static_cast<size_t>(i)] = slotHash(strip, S, slots[static_cast<size_t>(i)], scratch.data());
  });

  std::vector<int> first(static_cast<size_t>(n));
  std::vector<Flip> orientation(static_cast<size_t>(n), Flip::None);
  SearchResult result;
  bool collided = !candidateClasses(strip, S, slots, hashes, rules, first, orientation, result.savedByMirroring);

  // Check every candidate pair, on several threads. When all hold, slots of one class hold its
  // first slot's colours in the orientation found, and slots of different classes differ, so
  // each slot with an earlier candidate is a duplicate of the first slot of its class. A
  // collision (never seen in practice) falls back to comparing within each hash chain.
  std::vector<int> duplicates;
  if (!collided)
    for (int i = 0; i < n; ++i)
      if (first[static_cast<size_t>(i)] != i) duplicates.push_back(i);
  const int d = static_cast<int>(duplicates.size());
  std::vector<std::uint8_t> collidedIn(static_cast<size_t>(bandCount(static_cast<long long>(d) * S * S)), 0);
  forEachBand(d, static_cast<int>(collidedIn.size()), [&](int band, int begin, int end) {
    std::vector<Colour> scratchA(static_cast<size_t>(S)), scratchB(static_cast<size_t>(S));
    for (int k = begin; k < end; ++k) {
      const size_t i = static_cast<size_t>(duplicates[static_cast<size_t>(k)]);
      if (!slotEqualsMirrored(strip, S, slots[i], slots[static_cast<size_t>(first[i])], orientation[i],
                              scratchA.data(), scratchB.data())) {
        collidedIn[static_cast<size_t>(band)] = 1;
        return;
      }
    }
  });
  collided = collided || std::find(collidedIn.begin(), collidedIn.end(), 1) != collidedIn.end();
  std::vector<int> marked;
  if (!collided) {
    marked.reserve(duplicates.size());
    for (int i : duplicates)
      if (slots[static_cast<size_t>(i)] >= rules.bankSlots) marked.push_back(slots[static_cast<size_t>(i)]);
  } else {
    marked = markedByExactSearch(strip, S, slots, rules.flips, rules.bankSlots);
    if (rules.flips)
      result.savedByMirroring =
          static_cast<int>(marked.size() - markedByExactSearch(strip, S, slots, false, rules.bankSlots).size());
  }

  // Marking: every pixel of each marked slot becomes clFuchsia; slots do not overlap.
  const int m = static_cast<int>(marked.size());
  forEachBand(m, bandCount(static_cast<long long>(m) * S * S), [&](int, int begin, int end) {
    for (int b = 0; b < S; ++b)
      for (int k = begin; k < end; ++k) fillSpan(strip, marked[static_cast<size_t>(k)] * S, b, S, clFuchsia);
  });
  result.marked = !marked.empty();
  return result;
}

// Slots below `count` whose top-left pixel does not read clFuchsia (those outside the grid
// included).
std::vector<int> survivingSlots(const Surface* strip, int S, int count) {
  std::vector<int> kept;
  for (int k = 0; k < count; ++k)
    if (strip->read(k * S, 0) != clFuchsia) kept.push_back(k);
  return kept;
}

// Runs of consecutive surviving slots that land in consecutive scratch slots: (first old slot,
// first new slot, number of slots).
struct Run {
  int from, to, count;
};
std::vector<Run> survivorRuns(const std::vector<int>& kept) {
  std::vector<Run> runs;
  for (int i = 0; i < static_cast<int>(kept.size()); ++i) {
    const int k = kept[static_cast<size_t>(i)];
    if (!runs.empty() && runs.back().from + runs.back().count == k) ++runs.back().count;
    else runs.push_back(Run{k, i, 1});
  }
  return runs;
}

// Number of leading slots that lie wholly inside the grid.
int wholeSlotsInside(const Surface& s, int S) { return s.height() >= S ? s.width() / S : 0; }

// Copies the surviving slots of `strip` to the front of the scratch strip, narrows the strip's
// control to them and copies them back, reporting progress base + 25 * k / count per slot k.
void compact(Workspace& ws, ImageControl& strip, const std::vector<int>& kept, int count, int base,
             Surface* scratch) {
  const int S = ws.SpriteSize;
  const int K = static_cast<int>(kept.size());
  // Leading survivors that have not moved and lie inside both grids come back unchanged, so the
  // copy back may start after them.
  int unmoved = 0;
  if (K > 0) {
    const Surface& from = strip.surface();
    const std::vector<Run> runs = survivorRuns(kept);
    const long long pixels = static_cast<long long>(K) * S * S;
    forEachBand(static_cast<int>(runs.size()), bandCount(pixels), [&](int, int begin, int end) {
      for (int r = begin; r < end; ++r) {
        const Run& run = runs[static_cast<size_t>(r)];
        for (int b = 0; b < S; ++b)
          copySpan(from, run.from * S, b, *scratch, run.to * S, b, run.count * S);
      }
    });
    if (runs.front().from == 0)
      unmoved = std::min({runs.front().count, wholeSlotsInside(from, S), wholeSlotsInside(*scratch, S)});
  }
  for (int k : kept) ws.setProgress(base + static_cast<int>(25LL * k / count));
  strip.SetWidth(K * S);
  if (K > unmoved) {
    Surface& to = strip.surface();  // SetWidth may have grown it
    const int x0 = unmoved * S, width = (K - unmoved) * S;
    forEachBand(S, bandCount(static_cast<long long>(width) * S), [&](int, int begin, int end) {
      for (int y = begin; y < end; ++y) copySpan(*scratch, x0, y, to, x0, y, width);
    });
  }
}

}  // namespace

void optimiseTileLists(Workspace& ws) { optimiseTileLists(ws, TileSetOptions{}); }

OptimiseReport optimiseTileLists(Workspace& ws, const TileSetOptions& options) {
  const int S = ws.SpriteSize;
  if (S == 0) throw Error(kDivisionByZero);
  const int B1 = bankTileCount(options.spriteBank, S), B2 = bankTileCount(options.backgroundBank, S);
  // Each list holds its bank, then its plane's tiles; the sprite plane's tile count bounds the
  // search in both lists.
  const int planeTiles1 = (ws.Image1.Width() / S) * (ws.Image1.Height() / S);
  const int N1 = B1 + planeTiles1;
  const int searched2 = B2 + planeTiles1;
  const int N2 = B2 + (ws.Image2.Width() / S) * (ws.Image2.Height() / S);

  // The loops touch the sprite list from its first slot test on (N1 >= 1) and the background
  // list in the search (searched2 >= 2) or in its compaction (N2 >= 1).
  Surface* spriteList = N1 >= 1 ? &ws.Image5.surface() : nullptr;
  Surface* backgroundList = searched2 >= 2 || N2 >= 1 ? &ws.Image6.surface() : nullptr;

  // A scratch strip created by this run gets the sprite list's control size (set below, after
  // the search, which changes no control size). A large one is made on another thread while the
  // search runs: the first touch of its memory then overlaps the search's work. It is dropped
  // if the compaction turns out not to need it.
  std::unique_ptr<Surface> preparedScratch;
  WorkerThread preparing;
  const int scratchWidth = ws.Image5.Width(), scratchHeight = ws.Image5.Height();
  if (!ws.Image7.hasSurface() && ws.Image7.pictureKind() == PictureKind::None &&
      static_cast<long long>(std::max(scratchWidth, 0)) * std::max(scratchHeight, 0) >= (1LL << 20)) {
    preparing = WorkerThread([&preparedScratch, scratchWidth, scratchHeight] {
      try {
        preparedScratch = std::make_unique<Surface>(scratchWidth, scratchHeight, clWhite);
      } catch (...) {  // out of memory: the surface is made later, where the error is reported
      }
    });
  }

  SearchResult spriteSearch, backgroundSearch;
  if (N1 >= 2) spriteSearch = markDuplicateSlots(*spriteList, S, N1, SearchRules{options.flips, B1});
  if (searched2 >= 2)
    backgroundSearch = markDuplicateSlots(*backgroundList, S, searched2, SearchRules{options.flips, B2});
  for (int i = 0; i < N1; ++i) ws.setProgress(static_cast<int>(50LL * i / N1));

  ws.Image7.SetHeight(ws.Image5.Height());
  ws.Image7.SetWidth(ws.Image5.Width());
  const std::vector<int> kept1 = N1 >= 1 ? survivingSlots(spriteList, S, N1) : std::vector<int>{};
  const std::vector<int> kept2 = N2 >= 1 ? survivingSlots(backgroundList, S, N2) : std::vector<int>{};
  // The scratch strip is first touched by the first surviving tile's copy, at the size just set.
  preparing.join();
  Surface* scratch =
      kept1.empty() && kept2.empty() ? nullptr : &ws.Image7.surface(std::move(preparedScratch));
  preparedScratch.reset();

  compact(ws, ws.Image5, kept1, N1, 50, scratch);
  ws.Label23 = std::to_string(kept1.size());
  // The scratch strip is sized from the sprite list; widen it to the background list's tile
  // count too, or background tiles past its width would come back black.
  if (ws.Image7.Width() < N2 * S) ws.Image7.SetWidth(N2 * S);
  compact(ws, ws.Image6, kept2, N2, 75, scratch);
  ws.Label26 = std::to_string(kept2.size());

  if (spriteSearch.marked || !kept1.empty()) ws.Image5.changed();
  if (backgroundSearch.marked || !kept2.empty()) ws.Image6.changed();
  if (scratch) ws.Image7.changed();
  ws.setProgress(0);
  return OptimiseReport{spriteSearch.savedByMirroring, backgroundSearch.savedByMirroring};
}

}  // namespace tavrik
