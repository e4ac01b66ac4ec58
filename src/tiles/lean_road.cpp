#include "tiles/lean_road.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "base/error.h"
#include "passes/colour_rules.h"
#include "passes/parallel_rows.h"
#include "tiles/tile_index.h"
#include "tiles/tile_flips.h"
#include "tiles/tile_hash.h"

namespace tavrik {

namespace {

// Distinct tiles in the order they were added, each with the slot it was first found at. With
// mirroring a tile is also found in its mirrored versions. The tiles' colours are those that
// the index stores.
class DistinctTiles {
 public:
  DistinctTiles(int size, bool mirrored) : index_(size, mirrored) {}

  int count() const { return static_cast<int>(slots_.size()); }
  const Colour* tile(int i) const { return index_.content(contents_[static_cast<size_t>(i)]); }
  int slot(int i) const { return slots_[static_cast<size_t>(i)]; }

  // The tile that the block (row y at rowAt(y)) equals, and how the block mirrors it; added with
  // `slot` when it is new.
  template <class Rows>
  TileIndex::Match findOrAdd(const Rows& rowAt, int slot) {
    int content = 0;
    const TileIndex::Match match = index_.findOrAdd(rowAt, count(), &content);
    if (match.index >= 0) return match;
    slots_.push_back(slot);
    contents_.push_back(content);
    return {count() - 1, Flip::None};
  }

 private:
  TileIndex index_;
  std::vector<int> slots_;
  std::vector<int> contents_;  // per tile, its content in the index
};

// What one band of tile rows found: its planes' distinct tiles and, per cell of its rows, the
// index of the cell's tile among them (-1: a removed tile, top-left pixel clFuchsia).
struct BandResult {
  BandResult(int size, bool mirrored)
      : sprite(size, mirrored), background(size, mirrored), spriteRemoved(size, false), backgroundRemoved(size, false) {}
  DistinctTiles sprite, background;
  // With mirroring, the distinct contents of removed cells: no list tile equals one as it
  // stands, but one may mirrored, so they are matched once the lists are complete. Such a cell
  // holds -2 - its content's index.
  DistinctTiles spriteRemoved, backgroundRemoved;
  std::vector<std::uint8_t> cutOutColumns;
  int firstRow = 0, endRow = 0;  // its tile rows
  std::exception_ptr error;
};

// Rows of a sequential picture read on a thread of its own, ahead of the tiles: the bands are
// asked for in the order given, and decoded while the ones before are worked on. They are handed
// over in blocks of about kBlockBytes of pixels (many bands when the picture is narrow), so that
// the threads meet once per block rather than once per band.
class ReadAheadRows final : public PlaneRows {
 public:
  struct Band {
    int y, count;
  };
  // The bands in order: `tileRows` bands of `rows` rows, then one of `rest` rows if any. Computed
  // when asked, since a tall, narrow picture may have hundreds of millions of them.
  struct Plan {
    int rows, tileRows, rest;
    size_t size() const { return static_cast<size_t>(tileRows) + (rest > 0 ? 1 : 0); }
    Band operator[](size_t i) const {
      return i < static_cast<size_t>(tileRows) ? Band{static_cast<int>(i) * rows, rows} : Band{tileRows * rows, rest};
    }
    int largest() const { return std::max(tileRows > 0 ? rows : 0, rest); }
  };
  static constexpr size_t kBlockBytes = size_t{1} << 20;

  ReadAheadRows(std::unique_ptr<PlaneRows> inner, Plan plan) : inner_(std::move(inner)), plan_(plan) {
    const size_t bandPixels = static_cast<size_t>(plan_.largest()) * static_cast<size_t>(inner_->width());
    perBlock_ = std::max<size_t>(1, kBlockBytes / std::max<size_t>(1, bandPixels * sizeof(Colour)));
    perBlock_ = std::min(perBlock_, std::max<size_t>(1, plan_.size()));
    for (Block& block : blocks_) block.pixels.resize(perBlock_ * bandPixels);
    try {
      worker_ = std::thread([this] { produce(); });
    } catch (const std::system_error&) {  // no thread to be had: read when asked
    }
  }
  ~ReadAheadRows() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  int width() const override { return inner_->width(); }
  int height() const override { return inner_->height(); }
  void read(int y, int count, Colour* out, std::size_t stride) override {
    if (next_ >= plan_.size() || plan_[next_].y != y || plan_[next_].count != count)
      throw std::logic_error("rows read out of the planned order");
    const size_t width = static_cast<size_t>(inner_->width());
    if (!worker_.joinable()) {
      inner_->read(y, count, out, stride);
      ++next_;
      return;
    }
    Block& block = blocks_[(next_ / perBlock_) % 2];
    if (!ready_) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return block.filled || error_; });
      if (!block.filled) std::rethrow_exception(error_);
      ready_ = true;
    }
    // Every band of a block but the picture's last has plan_.rows rows.
    const Colour* from = block.pixels.data() + (next_ % perBlock_) * static_cast<size_t>(plan_.rows) * width;
    for (int k = 0; k < count; ++k)
      std::copy_n(from + static_cast<size_t>(k) * width, width, out + static_cast<size_t>(k) * stride);
    ++next_;
    if (next_ % perBlock_ == 0 || next_ == plan_.size()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        block.filled = false;
      }
      ready_ = false;
      changed_.notify_all();
    }
  }
  bool sequential() const override { return true; }

 private:
  struct Block {
    std::vector<Colour> pixels;  // perBlock_ bands, one after the other
    bool filled = false;         // holds its bands, not yet all read
  };

  void produce() {
    const size_t width = static_cast<size_t>(inner_->width());
    for (size_t first = 0, n = 0; first < plan_.size(); first += perBlock_, ++n) {
      Block& block = blocks_[n % 2];
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !block.filled || stop_; });
        if (stop_) return;
      }
      try {
        Colour* to = block.pixels.data();
        for (size_t i = first; i < std::min(first + perBlock_, plan_.size()); ++i) {
          inner_->read(plan_[i].y, plan_[i].count, to, width);
          to += static_cast<size_t>(plan_[i].count) * width;
        }
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = std::current_exception();
        changed_.notify_all();
        return;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        block.filled = true;
      }
      changed_.notify_all();
    }
  }

  std::unique_ptr<PlaneRows> inner_;
  Plan plan_;
  size_t perBlock_ = 1;  // bands a block
  Block blocks_[2];
  size_t next_ = 0;      // the band the next read asks for
  bool ready_ = false;   // the block of next_ is known to be filled
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::exception_ptr error_;
  std::thread worker_;
};

enum Plane { kSprite, kBackground, kFull };
using Readers = std::array<std::unique_ptr<PlaneRows>, 3>;

class Road {
 public:
  Road(const PlaneRowsOpener& sprite, const PlaneRowsOpener& background, const PlaneRowsOpener& full,
       const LeanSettings& settings)
      : open_{&sprite, &background, &full}, settings_(settings) {
    // The banks are given to merge().
    settings_.spriteBank = {};
    settings_.backgroundBank = {};
  }

  // Reads, passes and hashes every band; the openers are not used afterwards.
  void scan() {
    const int S = settings_.tileSize;
    // The first band's readers; they also tell the size and whether the rows come in order only.
    Readers first;
    for (int p = kSprite; p <= kFull; ++p) {
      first[static_cast<size_t>(p)] = (*open_[p])();
      sequential_[static_cast<size_t>(p)] = first[static_cast<size_t>(p)]->sequential();
    }
    // The full plane is read for the cut-out, or to the end when its errors may lie anywhere.
    withFull_ = settings_.cutOut || sequential_[kFull];
    if (!withFull_) first[kFull].reset();
    W_ = first[kSprite]->width();
    H_ = first[kSprite]->height();
    C_ = W_ / S;
    R_ = H_ / S;
    result_.width = W_;
    result_.height = H_;
    result_.cutOutColumns.assign(static_cast<size_t>(W_), 0);
    for (TileMap* map : {&result_.maps.sprite, &result_.maps.background}) {
      map->columns = C_;
      map->rows = R_;
      map->cells.assign(static_cast<size_t>(C_) * R_, 0);
      if (settings_.flips) map->flips.assign(map->cells.size(), Flip::None);
    }

    // Bands of tile rows, each on its own thread; the rows below the last whole tile row go with
    // the last band. Pictures read in order only make one band, each read ahead on its own
    // thread.
    const bool inOrder = sequential_[kSprite] || sequential_[kBackground] || sequential_[kFull];
    const long long work = static_cast<long long>(W_) * H_ * (withFull_ ? 3 : 2);
    const int wanted = inOrder ? 1 : settings_.bands > 0 ? settings_.bands : bandCount(work);
    const int bands = R_ > 0 ? std::max(1, std::min(wanted, R_)) : 1;
    if (inOrder)
      for (int p = kSprite; p <= kFull; ++p)
        if (first[static_cast<size_t>(p)] && sequential_[static_cast<size_t>(p)])
          first[static_cast<size_t>(p)] = std::make_unique<ReadAheadRows>(std::move(first[static_cast<size_t>(p)]), readPlan(static_cast<Plane>(p)));
    std::vector<BandResult> found;
    found.reserve(static_cast<size_t>(bands));
    for (int b = 0; b < bands; ++b) found.emplace_back(S, settings_.flips);
    if (R_ > 0) {
      forEachBand(R_, bands, [&](int band, int begin, int end) {
        runBand(found[static_cast<size_t>(band)], begin, end, band == 0 ? &first : nullptr);
      });
    } else {
      runBand(found[0], 0, 0, &first);
    }
    for (const BandResult& band : found)
      if (band.error) std::rethrow_exception(band.error);
    found_ = std::move(found);
    for (const PlaneRowsOpener*& opener : open_) opener = nullptr;
  }

  // Each list is its bank's tiles, every one kept (repeats included), then the bands' distinct
  // tiles in band order, each kept when it equals no earlier list tile (in any orientation, with
  // mirroring). A cell then takes what an index of the whole list finds for its content, as the
  // maps find it: the highest index as it stands, else the first orientation and the highest
  // index in it (a bank may hold a content twice, or mirrored copies). Each distinct content of a
  // band is looked up once.
  LeanResult merge(std::span<const Colour> spriteBank, std::span<const Colour> backgroundBank) {
    for (BandResult& band : found_)
      for (size_t x = 0; x < band.cutOutColumns.size(); ++x) result_.cutOutColumns[x] |= band.cutOutColumns[x];
    mergePlane(found_, &BandResult::sprite, &BandResult::spriteRemoved, spriteBank, result_.maps.sprite,
               result_.sprite);
    mergePlane(found_, &BandResult::background, &BandResult::backgroundRemoved, backgroundBank,
               result_.maps.background, result_.background);
    found_.clear();
    return std::move(result_);
  }

 private:
  // Rows below the last whole tile row are read for the cut-out, and to the end of a picture
  // read in order only.
  bool readsRest(Plane p) const {
    if (p == kFull) return withFull_;
    return sequential_[static_cast<size_t>(p)] || (p == kSprite && settings_.cutOut);
  }

  ReadAheadRows::Plan readPlan(Plane p) const {
    const int S = settings_.tileSize;
    return {S, R_, readsRest(p) ? H_ - R_ * S : 0};
  }

  void runBand(BandResult& out, int firstRow, int endRow, Readers* given) {
    out.firstRow = firstRow;
    out.endRow = endRow;
    try {
      Readers readers;
      if (given) {
        readers = std::move(*given);
      } else {
        readers[kSprite] = (*open_[kSprite])();
        readers[kBackground] = (*open_[kBackground])();
        if (withFull_) readers[kFull] = (*open_[kFull])();
      }
      scanBand(out, firstRow, endRow, readers);
    } catch (...) {
      out.error = std::current_exception();
    }
  }

  void scanBand(BandResult& out, int firstRow, int endRow, Readers& readers) {
    const int S = settings_.tileSize;
    const size_t W = static_cast<size_t>(W_);
    PlaneRows* const sprite = readers[kSprite].get();
    PlaneRows* const background = readers[kBackground].get();
    PlaneRows* const full = readers[kFull].get();
    const bool cutOut = settings_.cutOut;
    std::vector<Colour> s(W * S), b(W * S), f(full ? W * S : 0);
    out.cutOutColumns.assign(W, 0);
    const GreyRule reduce{settings_.thresholds[0], settings_.thresholds[1], settings_.thresholds[2]};
    const int tiled = C_ * S;  // columns that belong to a tile

    // The colour passes over `count` rows of the buffers; only the cut-out's columns when the
    // rows hold no tile.
    auto passes = [&](int count, bool tiles) {
      for (int k = 0; k < count; ++k) {
        Colour* __restrict rs = s.data() + k * W;
        if (cutOut) {
          const Colour* __restrict rf = f.data() + k * W;
          std::uint8_t* __restrict flags = out.cutOutColumns.data();
          for (size_t x = 0; x < W; ++x) {
            const bool differ = rs[x] != rf[x];
            rs[x] = differ ? clFuchsia : rs[x];
            flags[x] |= differ;
          }
        }
        if (tiles && settings_.grey) {
          Colour* __restrict rb = b.data() + k * W;
          for (int x = 0; x < tiled; ++x) {
            const Colour p = rs[x];
            rs[x] = p == clFuchsia ? p : reduce(p);
            rb[x] = reduce(rb[x]);
          }
        }
        if (tiles && settings_.mask) {
          Colour changed;
          for (int x = 0; x < tiled; ++x) rs[x] = maskColour(rs[x], changed);
        }
      }
    };

    // One plane's cell at column tx of the buffer: its tile among the band's distinct tiles
    // (index -1 for a removed tile), and how the cell mirrors it.
    auto cut = [&](const std::vector<Colour>& rows, int tx, int slot, DistinctTiles& tiles, DistinctTiles& removed,
                   TileMap& map) {
      const Colour* origin = rows.data() + static_cast<size_t>(tx) * S;
      const auto rowAt = [origin, W](int y) { return origin + y * W; };
      if (*origin == clFuchsia) {
        map.cells[static_cast<size_t>(slot)] = settings_.flips ? -2 - removed.findOrAdd(rowAt, slot).index : -1;
        return;
      }
      const TileIndex::Match found = tiles.findOrAdd(rowAt, slot);
      map.cells[static_cast<size_t>(slot)] = found.index;
      if (!map.flips.empty()) map.flips[static_cast<size_t>(slot)] = found.flip;
    };

    for (int ty = firstRow; ty < endRow; ++ty) {
      sprite->read(ty * S, S, s.data(), W);
      background->read(ty * S, S, b.data(), W);
      if (full) full->read(ty * S, S, f.data(), W);
      passes(S, true);
      for (int tx = 0; tx < C_; ++tx) {
        const int slot = ty * C_ + tx;
        cut(s, tx, slot, out.sprite, out.spriteRemoved, result_.maps.sprite);
        cut(b, tx, slot, out.background, out.backgroundRemoved, result_.maps.background);
      }
      tileRowDone();
    }
    // Rows below the last whole tile row: the cut-out's columns, and the end of the pictures
    // read in order.
    const int rest = H_ - R_ * S;
    if (endRow == R_ && rest > 0) {
      if (readsRest(kSprite)) sprite->read(R_ * S, rest, s.data(), W);
      if (readsRest(kBackground)) background->read(R_ * S, rest, b.data(), W);
      if (full) full->read(R_ * S, rest, f.data(), W);
      passes(rest, false);
    }
  }

  // Counts a tile row done, and tells the new percentage when it grows.
  void tileRowDone() {
    if (!settings_.progress) return;
    const int percent = static_cast<int>(100 * (rowsDone_.fetch_add(1, std::memory_order_relaxed) + 1) / R_);
    if (percent <= shown_.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> lock(progressMutex_);
    if (percent <= shown_.load(std::memory_order_relaxed)) return;
    shown_.store(percent, std::memory_order_relaxed);
    settings_.progress(percent);
  }

  // Cell c holds list tile `index` mirrored by `flip` (flips kept only with mirroring); with no
  // tile (index < 0) it holds 0 and counts as unmatched. Returns whether it has a tile.
  static bool setCell(TileMap& map, size_t c, int index, Flip flip) {
    const bool matched = index >= 0;
    map.cells[c] = matched ? index : 0;
    if (!map.flips.empty()) map.flips[c] = matched ? flip : Flip::None;
    if (!matched) {
      ++map.unmatched;
      map.unmatchedCells.push_back(c);
    }
    return matched;
  }

  void mergePlane(std::vector<BandResult>& found, DistinctTiles BandResult::*plane,
                  DistinctTiles BandResult::*removedPlane, std::span<const Colour> bank, TileMap& map,
                  LeanList& out) {
    const int S = settings_.tileSize;
    const size_t area = static_cast<size_t>(S) * S;
    const bool mirrored = settings_.flips;
    const int B = static_cast<int>(bank.size() / area);
    const auto rowsAt = [S](const Colour* t) { return [t, S](int y) { return t + static_cast<size_t>(y) * S; }; };

    // The index grows with the list: a tile that it finds in some orientation is no new tile, and
    // a new one enters with the next index, so that at the end it is the index of the whole list.
    out = LeanList{};
    out.tileSize = S;
    out.pixels.assign(bank.begin(), bank.begin() + static_cast<std::ptrdiff_t>(B * area));
    TileIndex index(S, mirrored);
    for (int i = 0; i < B; ++i) {
      out.slots.push_back(i);
      index.add(rowsAt(bank.data() + i * area), i);
    }
    for (BandResult& band : found) {
      const DistinctTiles& local = band.*plane;
      for (int i = 0; i < local.count(); ++i) {
        if (index.findOrAdd(rowsAt(local.tile(i)), out.count()).index >= 0) continue;
        out.slots.push_back(B + local.slot(i));
        out.pixels.insert(out.pixels.end(), local.tile(i), local.tile(i) + area);
      }
    }

    std::vector<Colour> turned(area);
    const auto lookUp = [&](const Colour* t, Flip f) {
      if (f == Flip::None) return index.find(rowsAt(t));
      copyMirrored(rowsAt(t), S, f, turned.data());
      return index.find(rowsAt(turned.data()));
    };
    constexpr TileIndex::Match kUnknown{-2, Flip::None};
    std::vector<std::uint8_t> seen(static_cast<size_t>(out.count()), 0);  // per list tile: bit o when a
                                                                           // kept cell is it mirrored by o
    for (const BandResult& band : found) {
      const DistinctTiles& local = band.*plane;
      const DistinctTiles& removed = band.*removedPlane;
      // Per band tile and orientation, and per removed content: the list tile it is.
      std::vector<TileIndex::Match> tiles(static_cast<size_t>(local.count()) * 4, kUnknown);
      std::vector<TileIndex::Match> gone(static_cast<size_t>(removed.count()), kUnknown);
      for (size_t c = static_cast<size_t>(band.firstRow) * C_; c < static_cast<size_t>(band.endRow) * C_; ++c) {
        const int k = map.cells[c];
        TileIndex::Match to;  // -1: a removed cell without mirroring matches nothing
        if (k >= 0) {
          const Flip f = mirrored ? map.flips[c] : Flip::None;
          TileIndex::Match& known = tiles[static_cast<size_t>(k) * 4 + static_cast<size_t>(f)];
          if (known.index == kUnknown.index) known = lookUp(local.tile(k), f);
          to = known;
        } else if (k <= -2) {
          TileIndex::Match& known = gone[static_cast<size_t>(-2 - k)];
          if (known.index == kUnknown.index) known = lookUp(removed.tile(-2 - k), Flip::None);
          to = known;
        }
        if (!setCell(map, c, to.index, to.flip) || !mirrored) continue;
        // Removed slots take no part in the optimisation.
        if (k >= 0) seen[static_cast<size_t>(to.index)] |= static_cast<std::uint8_t>(1u << static_cast<unsigned>(to.flip));
      }
    }
    // Contents that only mirroring removed: each content that cells hold mirrored from a list
    // tile, since no list tile holds it as it stands.
    out.savedByMirroring = 0;
    for (const std::uint8_t bits : seen) out.savedByMirroring += std::popcount(static_cast<unsigned>(bits & 0xEu));
  }

  const PlaneRowsOpener* open_[3];
  LeanSettings settings_;
  LeanResult result_;
  std::vector<BandResult> found_;
  std::array<bool, 3> sequential_{};
  bool withFull_ = false;
  std::atomic<long long> rowsDone_{0};  // tile rows cut, every band
  std::atomic<int> shown_{-1};          // the percentage last told
  std::mutex progressMutex_;
  int W_ = 0, H_ = 0, C_ = 0, R_ = 0;
};

}  // namespace

struct LeanScan::Impl {
  // Made in place: the road's progress counters and lock do not move.
  Impl(const PlaneRowsOpener& sprite, const PlaneRowsOpener& background, const PlaneRowsOpener& full,
       const LeanSettings& settings)
      : road(sprite, background, full, settings) {}
  Road road;
};

LeanScan::LeanScan(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
LeanScan::LeanScan(LeanScan&&) noexcept = default;
LeanScan& LeanScan::operator=(LeanScan&&) noexcept = default;
LeanScan::~LeanScan() = default;

LeanResult LeanScan::merge(std::span<const Colour> spriteBank, std::span<const Colour> backgroundBank) && {
  const std::unique_ptr<Impl> impl = std::move(impl_);
  return impl->road.merge(spriteBank, backgroundBank);
}

LeanScan scanLeanRoad(const PlaneRowsOpener& sprite, const PlaneRowsOpener& background,
                      const PlaneRowsOpener& full, const LeanSettings& settings) {
  auto impl = std::make_unique<LeanScan::Impl>(sprite, background, full, settings);
  impl->road.scan();
  return LeanScan(std::move(impl));
}

LeanResult runLeanRoad(const PlaneRowsOpener& sprite, const PlaneRowsOpener& background,
                       const PlaneRowsOpener& full, const LeanSettings& settings) {
  return scanLeanRoad(sprite, background, full, settings).merge(settings.spriteBank, settings.backgroundBank);
}

}  // namespace tavrik
