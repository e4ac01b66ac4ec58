// tavrik-scene: writes the three pictures of a made-up level of any size as 24-bit bitmaps,
// for timing the conversion on large levels.
//
//   tavrik-scene [--seed N] [--free-sprites] SIZE|WIDTHxHEIGHT FOLDER
//
// writes FOLDER/sprites.bmp, FOLDER/background.bmp and FOLDER/full.bmp. The level is a stack of
// floors, each 32 tiles high: sky with clouds, a ground line that wanders, platforms, rows of
// blocks and pipes, built from a bank of a few hundred distinct 16 x 16 tiles in the four greys
// (some in other colours that the grey pass reduces). Sprites stand on top: the full plane is
// the background with the sprites drawn over it; the sprite plane holds the sprite pixels where
// sprites are and a key colour (pure green, never used elsewhere) everywhere else, so that the
// cut-out separates them. Sprites sit on the tile grid unless --free-sprites puts them at any
// pixel position, which makes most sprite-plane cells distinct (about 14,000 at 8192 x 8192).
// The same seed and size always give the same files.
//
// Rows are made one band of 16 pixel rows at a time, bottom band first, and streamed to the
// files, so the generator needs little memory whatever the size.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using Rgb = std::uint32_t;  // 0x00RRGGBB
constexpr int kTile = 16;
constexpr Rgb kBlack = 0x000000, kGray = 0x808080, kSilver = 0xC0C0C0, kWhite = 0xFFFFFF;
constexpr Rgb kKey = 0x00FF00;         // sprite plane outside the sprites
constexpr Rgb kTransparent = 0xFFFFFFFFu;  // sprite design: no pixel here
constexpr int kFloorRows = 32;         // tile rows per floor

using Rng = std::mt19937_64;

int uniform(Rng& rng, int lo, int hi) {  // lo..hi inclusive
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}
bool chance(Rng& rng, double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

struct TileImage {
  Rgb px[kTile][kTile];
};

// Non-grey colours that the grey pass reduces (none is the key colour).
constexpr Rgb kColours[] = {0x3A5F0B, 0x8B4513, 0x1E90FF, 0xC04040, 0xE0C020, 0x406080,
                            0x20A060, 0x704090, 0xD08050, 0x506070};

// Tile kinds of the bank.
enum Kind { Sky, Cloud, Surface, Dirt, Platform, Brick, Bonus, PipeLeft, PipeRight, Hill, Bush, KindCount };
constexpr int kKindCount[KindCount] = {3, 24, 24, 60, 30, 30, 16, 12, 12, 40, 30};

class TileBank {
 public:
  explicit TileBank(Rng& rng) {
    for (int k = 0; k < KindCount; ++k) {
      first_[k] = static_cast<int>(tiles_.size());
      for (int v = 0; v < kKindCount[k]; ++v) tiles_.push_back(make(static_cast<Kind>(k), v, rng));
    }
  }
  int size() const { return static_cast<int>(tiles_.size()); }
  const TileImage& operator[](int id) const { return tiles_[static_cast<size_t>(id)]; }
  // A tile of the kind; low variants are the most frequent, as a level repeats its main tiles.
  int pick(Kind kind, Rng& rng) const {
    const int n = kKindCount[kind];
    const int v = chance(rng, 0.7) ? uniform(rng, 0, std::min(n, 4) - 1) : uniform(rng, 0, n - 1);
    return first_[kind] + v;
  }
  int id(Kind kind, int variant) const { return first_[kind] + variant % kKindCount[kind]; }

 private:
  static TileImage make(Kind kind, int variant, Rng& rng) {
    TileImage t;
    const Rgb greys[4] = {kBlack, kGray, kSilver, kWhite};
    // Every tile but the sky gets its own speckles, so the bank's tiles are distinct.
    auto fill = [&](auto colourAt) {
      for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) t.px[y][x] = colourAt(x, y);
    };
    const bool coloured = variant % 5 == 4;  // a fifth of each kind in other colours
    const Rgb tint = kColours[static_cast<size_t>(variant) % std::size(kColours)];
    switch (kind) {
      case Sky:  // flat or lightly dithered
        fill([&](int x, int y) { return variant == 0 ? kWhite : ((x + y) % (variant + 3) == 0 ? kSilver : kWhite); });
        return t;
      case Cloud:
        fill([&](int x, int y) {
          const int dx = x - 8, dy = y - 9 + variant % 3;
          return dx * dx + 2 * dy * dy < 40 + variant * 3 ? (y > 11 ? kSilver : kWhite) : kWhite;
        });
        break;
      case Surface:
        fill([&](int, int y) { return y < 3 ? (coloured ? tint : kGray) : y < 5 ? kBlack : kSilver; });
        break;
      case Dirt:
        fill([&](int, int) { return coloured ? kColours[rng() % std::size(kColours)] : greys[uniform(rng, 0, 2)]; });
        break;
      case Platform:
        fill([&](int x, int y) { return y == 0 || y == 15 || x == 0 ? kBlack : y < 8 ? (coloured ? tint : kGray) : kSilver; });
        break;
      case Brick:
        fill([&](int x, int y) {
          const bool mortar = y % 8 == 7 || (x + (y / 8) * 8) % 16 == 15;
          return mortar ? kBlack : (coloured ? tint : kGray);
        });
        break;
      case Bonus:
        fill([&](int x, int y) {
          if (x == 0 || y == 0 || x == 15 || y == 15) return kBlack;
          return (x > 5 && x < 10 && y > 3 && y < 12) ? kWhite : (coloured ? tint : kSilver);
        });
        break;
      case PipeLeft:
      case PipeRight:
        fill([&](int x, int) {
          const int edge = kind == PipeLeft ? x : 15 - x;
          return edge < 2 ? kBlack : edge < 6 ? kSilver : (coloured ? tint : kGray);
        });
        break;
      case Hill:
        fill([&](int x, int y) { return y > 15 - (x < 8 ? x : 15 - x) - variant % 4 ? (coloured ? tint : kSilver) : kWhite; });
        break;
      case Bush:
        fill([&](int x, int y) {
          const int dx = x - 8, dy = y - 12;
          return dx * dx + dy * dy < 50 ? (coloured ? tint : kGray) : kWhite;
        });
        break;
      case KindCount:
        break;
    }
    // Speckles: a few pixels of another grey, placed by the variant.
    const int speckles = 3 + variant % 5;
    for (int s = 0; s < speckles; ++s) t.px[uniform(rng, 0, 15)][uniform(rng, 0, 15)] = greys[uniform(rng, 0, 3)];
    t.px[variant / 16 % 16][variant % 16] = variant % 2 ? kBlack : kGray;
    return t;
  }

  std::vector<TileImage> tiles_;
  int first_[KindCount] = {};
};

// Tile ids of the whole level, row by row.
std::vector<int> layOut(const TileBank& bank, int columns, int rows, Rng& rng) {
  std::vector<int> map(static_cast<size_t>(columns) * static_cast<size_t>(rows));
  auto at = [&](int c, int r) -> int& { return map[static_cast<size_t>(r) * columns + c]; };
  for (int top = 0; top < rows; top += kFloorRows) {
    const int height = std::min(kFloorRows, rows - top);
    // Sky, with the occasional cloud.
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < columns; ++c) at(c, top + r) = bank.id(Sky, chance(rng, 0.9) ? 0 : uniform(rng, 1, 2));
    // Ground line: wanders between a third and nine tenths of the floor.
    int ground = height * 3 / 4;
    for (int c = 0; c < columns; ++c) {
      if (chance(rng, 0.15)) ground += uniform(rng, -1, 1);
      ground = std::clamp(ground, std::max(1, height / 3), std::max(1, height * 9 / 10));
      if (ground >= height) continue;
      at(c, top + ground) = bank.pick(Surface, rng);
      for (int r = ground + 1; r < height; ++r) at(c, top + r) = bank.pick(Dirt, rng);
      if (ground >= 1 && chance(rng, 0.08)) at(c, top + ground - 1) = bank.pick(Bush, rng);
      if (ground >= 2 && chance(rng, 0.05)) at(c, top + ground - 1) = bank.pick(Hill, rng);
    }
    // Clouds, platforms, block rows and pipes, per stretch of 16 columns.
    for (int c0 = 0; c0 < columns; c0 += 16) {
      if (height < 8) break;
      if (chance(rng, 0.6)) {  // a cloud 3 x 2
        const int cc = c0 + uniform(rng, 0, 12), cr = top + uniform(rng, 0, height / 4);
        const int v = uniform(rng, 0, 3) * 6;
        for (int i = 0; i < 6; ++i)
          if (cc + i % 3 < columns && cr + i / 3 < top + height) at(cc + i % 3, cr + i / 3) = bank.id(Cloud, v + i);
      }
      if (chance(rng, 0.7)) {  // a platform
        const int length = uniform(rng, 3, 9), pc = c0 + uniform(rng, 0, 8), pr = top + uniform(rng, height / 4, height / 2);
        for (int i = 0; i < length && pc + i < columns; ++i) at(pc + i, pr) = bank.pick(Platform, rng);
      }
      if (chance(rng, 0.5)) {  // a row of bricks with a bonus block or two
        const int length = uniform(rng, 2, 7), bc = c0 + uniform(rng, 0, 8), br = top + uniform(rng, height / 3, height / 2 + 2);
        for (int i = 0; i < length && bc + i < columns; ++i)
          at(bc + i, br) = chance(rng, 0.25) ? bank.pick(Bonus, rng) : bank.pick(Brick, rng);
      }
      if (chance(rng, 0.3)) {  // a pipe from the ground up
        const int pc = c0 + uniform(rng, 0, 13), tall = uniform(rng, 2, 4);
        const int v = uniform(rng, 0, 11);
        for (int r = top + height * 3 / 4 - tall; r < top + height * 3 / 4 && pc + 1 < columns; ++r) {
          at(pc, r) = bank.id(PipeLeft, v);
          at(pc + 1, r) = bank.id(PipeRight, v);
        }
      }
    }
  }
  return map;
}

// Sprite designs: 16 x 16 or 32 x 32 (4 quadrants), a rounded body with transparent corners.
struct Design {
  int size;
  std::vector<Rgb> px;  // size x size, kTransparent where the design has no pixel
  Rgb at(int x, int y) const { return px[static_cast<size_t>(y) * size + x]; }
};

std::vector<Design> makeDesigns(Rng& rng, int count) {
  std::vector<Design> designs;
  const Rgb inks[] = {kBlack, kGray, kSilver, kWhite, 0x202020, 0x604020, 0xA03030, 0x3050C0};
  for (int d = 0; d < count; ++d) {
    Design design;
    design.size = d % 6 == 5 ? 32 : 16;
    const int n = design.size;
    design.px.assign(static_cast<size_t>(n) * n, kTransparent);
    const double radius = n * (0.52 + 0.04 * (d % 3));
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const double dx = x + 0.5 - n / 2.0, dy = y + 0.5 - n / 2.0;
        if (dx * dx * 0.8 + dy * dy > radius * radius * 0.75) continue;  // corners stay open
        const bool outline = dx * dx * 0.8 + dy * dy > radius * radius * 0.5;
        design.px[static_cast<size_t>(y) * n + x] = outline ? kBlack : inks[rng() % std::size(inks)];
      }
    designs.push_back(std::move(design));
  }
  return designs;
}

struct Sprite {
  int x, y;  // top-left pixel
  int design;
};

std::vector<Sprite> placeSprites(const std::vector<Design>& designs, int width, int height,
                                 bool free, Rng& rng) {
  std::vector<Sprite> sprites;
  const int columns = width / kTile, rows = height / kTile;
  if (columns < 2 || rows < 2) return sprites;
  // About one sprite per 57 cells (about 14,000 distinct sprite-plane cells at 8192 x 8192 with
  // free positions).
  const long long count = static_cast<long long>(columns) * rows / 57 + 1;
  std::vector<std::uint8_t> taken(static_cast<size_t>(columns) * rows, 0);
  for (long long i = 0; i < count; ++i) {
    const int d = static_cast<int>(rng() % designs.size());
    const int n = designs[static_cast<size_t>(d)].size;
    if (free) {
      sprites.push_back({uniform(rng, 0, std::max(0, width - n)), uniform(rng, 0, std::max(0, height - n)), d});
      continue;
    }
    // On the grid, without overlap (a few tries, then skip).
    const int cells = n / kTile;
    for (int attempt = 0; attempt < 4; ++attempt) {
      const int c = uniform(rng, 0, columns - cells), r = uniform(rng, 0, rows - cells);
      bool clear = true;
      for (int j = 0; j < cells * cells; ++j) clear = clear && !taken[static_cast<size_t>(r + j / cells) * columns + c + j % cells];
      if (!clear) continue;
      for (int j = 0; j < cells * cells; ++j) taken[static_cast<size_t>(r + j / cells) * columns + c + j % cells] = 1;
      sprites.push_back({c * kTile, r * kTile, d});
      break;
    }
  }
  return sprites;
}

class BmpWriter {
 public:
  BmpWriter(const std::string& path, int width, int height) : path_(path), width_(width) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) die("cannot create " + path);
    stride_ = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t image = static_cast<std::uint64_t>(stride_) * static_cast<std::uint64_t>(height);
    std::uint8_t h[54] = {'B', 'M'};
    auto put32 = [&](int at, std::uint64_t v) {
      const std::uint32_t w = v > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(v);
      for (int k = 0; k < 4; ++k) h[at + k] = static_cast<std::uint8_t>(w >> (8 * k));
    };
    put32(2, 54 + image);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    h[26] = 1;
    h[28] = 24;
    put32(34, image);
    write(h, sizeof h);
    line_.assign(stride_, 0);
  }
  ~BmpWriter() {
    if (file_ && std::fclose(file_) != 0) die("cannot write " + path_);
  }
  // Rows must come bottom row first.
  void row(const Rgb* px) {
    for (int x = 0; x < width_; ++x) {
      line_[static_cast<size_t>(x) * 3] = static_cast<std::uint8_t>(px[x]);
      line_[static_cast<size_t>(x) * 3 + 1] = static_cast<std::uint8_t>(px[x] >> 8);
      line_[static_cast<size_t>(x) * 3 + 2] = static_cast<std::uint8_t>(px[x] >> 16);
    }
    write(line_.data(), stride_);
  }

 private:
  [[noreturn]] static void die(const std::string& message) {
    std::fprintf(stderr, "tavrik-scene: %s\n", message.c_str());
    std::exit(1);
  }
  void write(const void* data, size_t n) {
    if (std::fwrite(data, 1, n, file_) != n) die("cannot write " + path_);
  }
  std::string path_;
  int width_;
  std::FILE* file_ = nullptr;
  size_t stride_ = 0;
  std::vector<std::uint8_t> line_;
};

int usage() {
  std::fprintf(stderr,
               "usage: tavrik-scene [--seed N] [--free-sprites] SIZE|WIDTHxHEIGHT FOLDER\n"
               "writes FOLDER/sprites.bmp, FOLDER/background.bmp, FOLDER/full.bmp\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 1;
  bool free = false;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--free-sprites") free = true;
    else if (a == "--seed" && i + 1 < argc) seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--help") return usage();
    else positional.push_back(a);
  }
  if (positional.size() != 2) return usage();
  int width = 0, height = 0;
  {
    const std::string& s = positional[0];
    const size_t x = s.find('x');
    width = std::atoi(s.substr(0, x).c_str());
    height = x == std::string::npos ? width : std::atoi(s.substr(x + 1).c_str());
  }
  if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > (1LL << 32)) return usage();
  const std::filesystem::path folder = positional[1];
  std::filesystem::create_directories(folder);

  Rng rng(seed);
  const TileBank bank(rng);
  const int columns = (width + kTile - 1) / kTile, rows = (height + kTile - 1) / kTile;
  const std::vector<int> map = layOut(bank, columns, rows, rng);
  const std::vector<Design> designs = makeDesigns(rng, 64);
  std::vector<Sprite> sprites = placeSprites(designs, width, height, free, rng);
  // Sprites by top row, so that each band finds its sprites quickly.
  std::stable_sort(sprites.begin(), sprites.end(), [](const Sprite& a, const Sprite& b) { return a.y < b.y; });

  BmpWriter spriteFile((folder / "sprites.bmp").string(), width, height);
  BmpWriter backgroundFile((folder / "background.bmp").string(), width, height);
  BmpWriter fullFile((folder / "full.bmp").string(), width, height);

  const size_t w = static_cast<size_t>(width);
  std::vector<Rgb> back(w * kTile), full(w * kTile), spr(w * kTile);
  for (int band = rows - 1; band >= 0; --band) {
    const int y0 = band * kTile;
    const int y1 = std::min(height, y0 + kTile);
    for (int y = y0; y < y1; ++y) {
      Rgb* b = back.data() + static_cast<size_t>(y - y0) * w;
      for (int c = 0; c < columns; ++c) {
        const TileImage& t = bank[map[static_cast<size_t>(band) * columns + c]];
        const int x0 = c * kTile;
        for (int x = x0; x < std::min(width, x0 + kTile); ++x) b[x] = t.px[y - y0][x - x0];
      }
    }
    std::copy(back.begin(), back.end(), full.begin());
    std::fill(spr.begin(), spr.end(), kKey);
    // Sprites that reach into the band (at most 32 pixels high), in placement order by top row.
    const auto first = std::lower_bound(sprites.begin(), sprites.end(), y0 - 32,
                                        [](const Sprite& s, int y) { return s.y < y; });
    for (auto it = first; it != sprites.end() && it->y < y1; ++it) {
      const Design& d = designs[static_cast<size_t>(it->design)];
      for (int y = std::max(y0, it->y); y < std::min(y1, it->y + d.size); ++y)
        for (int x = it->x; x < std::min(width, it->x + d.size); ++x) {
          const Rgb p = d.at(x - it->x, y - it->y);
          if (p == kTransparent) continue;
          const size_t i = static_cast<size_t>(y - y0) * w + static_cast<size_t>(x);
          full[i] = p;
          spr[i] = p;
        }
    }
    for (int y = y1 - 1; y >= y0; --y) {
      const size_t i = static_cast<size_t>(y - y0) * w;
      spriteFile.row(spr.data() + i);
      backgroundFile.row(back.data() + i);
      fullFile.row(full.data() + i);
    }
  }
  std::printf("%d x %d, %d bank tiles, %zu sprites%s, seed %llu -> %s\n", width, height, bank.size(),
              sprites.size(), free ? " at free positions" : " on the grid",
              static_cast<unsigned long long>(seed), folder.string().c_str());
  return 0;
}
