// A lookup table of tiles by content: which tile of a list a block of pixels equals, as it
// stands or, with mirroring, in which orientation. Used by map building, the band-by-band road
// and the duplicate search; works on any tiles given through a row accessor `rowAt(y)` (S
// colours of row y).
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/colour.h"
#include "tiles/tile_flips.h"
#include "tiles/tile_hash.h"

namespace tavrik {

// Tiles added with rising indices; each distinct content is kept once, with the highest index
// that holds it. With `mirrored`, a tile is also entered in its three mirrored versions, so a
// block is found in whatever orientation it equals a tile.
//
// A tile index also finds duplicates up to mirroring: a tile that find() matches equals an
// added tile in some orientation.
class TileIndex {
 public:
  struct Match {
    int index = -1;  // -1: no tile
    Flip flip = Flip::None;
  };

  TileIndex(int size, bool mirrored, size_t expectedTiles = 0)
      : size_(size), area_(static_cast<size_t>(size) * static_cast<size_t>(size)), mirrored_(mirrored) {
    reserveTable((mirrored ? 4 : 1) * expectedTiles);
    if (mirrored) mirror_.resize(area_);
  }

  int size() const { return size_; }

  // Enters tile `index` (not below any index added before).
  template <class Rows>
  void add(const Rows& rowAt, int index) {
    enter(rowAt, index, Flip::None);
    if (mirrored_) enterMirrored(rowAt, index);
  }

  // The tile that the block equals as it stands, with the highest index; otherwise (mirrored
  // index only) the first of left-right, top-bottom, both in which it equals a tile, with the
  // highest index in that orientation. The block equals tile `index` mirrored by `flip`.
  template <class Rows>
  Match find(const Rows& rowAt) const {
    return matchOf(lookUp(rowAt, hashBlock(rowAt, size_)));
  }

  // find(), and when the block equals no tile, add(rowAt, index) and index -1; the block is
  // hashed once. `content`, when given, gets the stored content of an added block (see content()).
  template <class Rows>
  Match findOrAdd(const Rows& rowAt, int index, int* content = nullptr) {
    const std::uint64_t h = hashBlock(rowAt, size_);
    const int k = lookUp(rowAt, h);
    if (k >= 0) return matchOf(k);
    const int added = store(rowAt, h);
    best_[static_cast<size_t>(added)][static_cast<size_t>(Flip::None)] = index;
    if (content) *content = added;
    if (mirrored_) enterMirrored(rowAt, index);
    return {};
  }

  // The S x S colours of stored content k, row by row (valid until the next add).
  const Colour* content(int k) const { return pixels_.data() + static_cast<size_t>(k) * area_; }

 private:
  template <class Rows>
  bool equal(const Rows& rowAt, int k) const {
    const Colour* tile = pixels_.data() + static_cast<size_t>(k) * area_;
    const size_t rowBytes = static_cast<size_t>(size_) * sizeof(Colour);
    for (int y = 0; y < size_; ++y)
      if (std::memcmp(rowAt(y), tile + static_cast<size_t>(y) * size_, rowBytes) != 0) return false;
    return true;
  }

  // Stored content equal to the block, or -1.
  template <class Rows>
  int lookUp(const Rows& rowAt, std::uint64_t h) const {
    for (size_t slot = h & mask_;; slot = (slot + 1) & mask_) {
      const int k = table_[slot];
      if (k < 0) return -1;
      if (hashes_[static_cast<size_t>(k)] == h && equal(rowAt, k)) return k;
    }
  }

  Match matchOf(int k) const {
    if (k < 0) return {};
    const std::array<int, 4>& best = best_[static_cast<size_t>(k)];
    for (const Flip f : kFlips)
      if (best[static_cast<size_t>(f)] >= 0) return {best[static_cast<size_t>(f)], f};
    return {};
  }

  // Stores a content that lookUp did not find, with hash h; returns its number.
  template <class Rows>
  int store(const Rows& rowAt, std::uint64_t h) {
    if ((hashes_.size() + 1) * 2 > table_.size()) reserveTable(hashes_.size() + 1);
    const int k = static_cast<int>(hashes_.size());
    hashes_.push_back(h);
    best_.push_back({-1, -1, -1, -1});
    for (int y = 0; y < size_; ++y) {
      const Colour* r = rowAt(y);
      pixels_.insert(pixels_.end(), r, r + size_);
    }
    size_t slot = h & mask_;
    while (table_[slot] >= 0) slot = (slot + 1) & mask_;
    table_[slot] = k;
    return k;
  }

  // Records that the block is tile `index` mirrored by `f`; a later index replaces an earlier.
  template <class Rows>
  void enter(const Rows& rowAt, int index, Flip f) {
    const std::uint64_t h = hashBlock(rowAt, size_);
    int k = lookUp(rowAt, h);
    if (k < 0) k = store(rowAt, h);
    best_[static_cast<size_t>(k)][static_cast<size_t>(f)] = index;
  }

  // Enters the block's three mirrored versions as tile `index`.
  template <class Rows>
  void enterMirrored(const Rows& rowAt, int index) {
    const auto mirrorRows = [this](int y) { return mirror_.data() + static_cast<size_t>(y) * size_; };
    for (const Flip f : {Flip::Horizontal, Flip::Vertical, Flip::Both}) {
      copyMirrored(rowAt, size_, f, mirror_.data());
      enter(mirrorRows, index, f);
    }
  }

  // Makes the open-addressing table at least twice as large as `contents`, re-entering what is
  // stored.
  void reserveTable(size_t contents) {
    size_t tableSize = 16;
    while (tableSize < contents * 2) tableSize *= 2;
    if (tableSize <= table_.size()) return;
    table_.assign(tableSize, -1);
    mask_ = tableSize - 1;
    for (size_t k = 0; k < hashes_.size(); ++k) {
      size_t slot = hashes_[k] & mask_;
      while (table_[slot] >= 0) slot = (slot + 1) & mask_;
      table_[slot] = static_cast<int>(k);
    }
  }

  int size_;
  size_t area_;
  bool mirrored_;
  std::vector<Colour> pixels_;              // stored contents, each row by row
  std::vector<std::uint64_t> hashes_;       // per stored content
  std::vector<std::array<int, 4>> best_;    // per stored content and orientation: highest index
  std::vector<int> table_;                  // open addressing over stored contents, -1 = free
  size_t mask_ = 0;
  std::vector<Colour> mirror_;              // one mirrored tile, while it is entered
};

}  // namespace tavrik
