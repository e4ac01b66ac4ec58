// tavrik-batch's lean road against the window's road (--full-strips) on random pictures written
// to files: exit status, summary, warnings, errors, progress bars and the bytes of every file;
// and, step by step, every gauge value, label and counter.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <map>
#include <sstream>

#include "base/error.h"
#include "cli/batch_run.h"
#include "cli/game_fixtures.h"
#include "cli/lean_run.h"
#include "files/output_set.h"
#include "imaging/bitmap_file.h"
#include "imaging/picture_file.h"
#include "imaging/png_file.h"
#include "maps/export_files.h"
#include "maps/tile_bank.h"
#include "maps/tile_maps.h"
#include "passes/colour_passes.h"
#include "passes/colour_rules.h"
#include "reference/random_workspace.h"
#include "run_tool.h"
#include "tiles/tile_lists.h"

namespace fs = std::filesystem;

namespace tavrik::test {
namespace {

using testing::Rng;

struct Outcome {
  int status = -1;
  std::string out, err;
  std::map<std::string, std::string> files;  // name -> bytes, of the output folder
};

Outcome runInProcess(const batch::Options& options, const fs::path& outputDir) {
  fs::remove_all(outputDir);
  fs::create_directories(outputDir);
  Outcome o;
  std::ostringstream out, err;
  batch::Console console{out, err, true};
  Workspace ws;
  o.status = batch::runBatch(options, ws, console);
  o.out = out.str();
  o.err = err.str();
  for (const auto& entry : fs::directory_iterator(outputDir))
    o.files[entry.path().filename().string()] = readWholeFile(entry.path());
  return o;
}

// The error that converting on the planned road throws ("" when it converts).
std::string conversionError(batch::LeanRun& run) {
  Workspace ws;
  try {
    run.convert(ws);
  } catch (const Error& e) {
    return e.message();
  }
  return "";
}

// Runs tavrik-batch with `options` on the road it chooses, then with --full-strips, and checks
// that both give the same; returns the first outcome.
Outcome bothRoads(batch::Options options, const TempFolder& folder, const std::string& context) {
  const Outcome a = runInProcess(options, folder.path() / "out");
  options.fullStrips = true;
  EXPECT_EQ(batch::LeanRun::plan(options), nullptr);
  const Outcome b = runInProcess(options, folder.path() / "out");
  EXPECT_EQ(a.status, b.status) << context;
  EXPECT_EQ(a.out, b.out) << context;
  EXPECT_EQ(a.err, b.err) << context;
  EXPECT_EQ(a.files, b.files) << context;
  return a;
}

// Three random pictures in `folder`, each a 24-bit bitmap or a PNG file (a 0 x 0 picture as an
// empty file); returns their paths.
std::array<std::string, 3> writeRandomPictures(Rng& rng, const TempFolder& folder, bool sameSize) {
  testing::RandomWorkspaceOptions planes;
  planes.iconChance = 0;
  planes.sameSizeChance = sameSize ? 1 : 0;
  planes.maxPlaneSize = 80;
  Workspace ws;
  testing::randomPlanes(ws, rng, planes);
  // Mirrored cells, for --flips.
  if (rng() % 2) {
    const int S = rng() % 3 == 0 ? 8 : 16;
    for (int n = 1; n <= 3; ++n)
      if (ws.image(n).surfaceIfAny() && !ws.image(n).surfaceIfAny()->empty()) testing::mirrorSomeCells(ws.image(n), S, rng);
  }
  std::array<std::string, 3> paths;
  for (int n = 1; n <= 3; ++n) {
    const Surface& picture = *ws.image(n).surfaceIfAny();
    const bool png = rng() % 3 == 0;
    const std::string& path = paths[static_cast<size_t>(n - 1)] = folder / (std::to_string(n) + (png ? ".png" : ".bmp"));
    if (png && !picture.empty()) writePngFile(picture, path);
    else writeBitmapFile(picture, path);
  }
  return paths;
}

// Files bank1.bin and bank2.bin as an export writes them, with tiles of the pictures reduced to
// the four greys (some mirrored), random tiles and repeats; returns their prefix.
std::string writeRandomBank(Rng& rng, const TempFolder& folder, const batch::Options& o) {
  Workspace ws;
  for (int n = 1; n <= 2; ++n) {
    try {
      ws.loadSlot(n, n == 1 ? o.sprites : o.background, PictureRules::Batch);
    } catch (const Error&) {  // an empty picture: random tiles only
    }
  }
  const std::string prefix = folder / "bank";
  const int S = o.tileSize;
  const GreyRule grey{o.thresholds[0], o.thresholds[1], o.thresholds[2]};
  for (int n = 1; n <= 2; ++n) {
    const std::vector<Colour> tiles = testing::randomBank(rng, ws.image(n), S, static_cast<int>(rng() % 10));
    std::string bytes;
    for (size_t row = 0; row < tiles.size(); row += static_cast<size_t>(S)) {
      unsigned high = 0, low = 0;
      for (int x = 0; x < S; ++x) {
        const Colour c = tiles[row + static_cast<size_t>(x)] == clFuchsia ? clWhite : grey(tiles[row + static_cast<size_t>(x)]);
        const unsigned number = c == clBlack ? 3 : c == clGray ? 2 : c == clSilver ? 1 : 0;
        high |= (number >> 1) << (S - 1 - x);
        low |= (number & 1u) << (S - 1 - x);
      }
      for (const unsigned word : {high, low}) bytes += {static_cast<char>(word >> 8), static_cast<char>(word & 0xFF)};
    }
    std::ofstream(prefix + std::to_string(n) + ".bin", std::ios::binary) << bytes;
  }
  return prefix;
}

batch::Options randomOptions(Rng& rng, const TempFolder& folder, const std::array<std::string, 3>& pictures) {
  batch::Options o;
  o.sprites = pictures[0];
  o.background = pictures[1];
  o.full = pictures[2];
  o.outputDir = folder / "out";
  o.tileSize = rng() % 3 == 0 ? 8 : 16;
  if (rng() % 2) o.thresholds = {static_cast<int>(rng() % 1024), static_cast<int>(rng() % 1024),
                                 static_cast<int>(rng() % 1024)};
  // Mostly every step; else any subset (without one of the tile steps the window's road runs).
  if (rng() % 3 == 0)
    for (bool& step : o.steps) step = rng() % 4 != 0;
  o.name = rng() % 2 ? "Lv" : "";
  const batch::OutputFormat formats[] = {batch::OutputFormat::Bin, batch::OutputFormat::Bin,
                                         batch::OutputFormat::Asm, batch::OutputFormat::C};
  o.formats = {formats[rng() % 4]};
  if (rng() % 4 == 0) o.tiledDir = o.outputDir;
  // Mirrored tiles, flip bits anywhere from 8 to 15, and budgets that some lists pass.
  o.flips = rng() % 2 == 0;
  if (o.flips && rng() % 2) {
    const int h = 8 + static_cast<int>(rng() % 8);
    o.flipBits = std::array<int, 2>{h, 8 + (h - 8 + 1 + static_cast<int>(rng() % 7)) % 8};
  }
  if (rng() % 4 == 0) o.maxTiles = std::array<int, 2>{static_cast<int>(rng() % 30), static_cast<int>(rng() % 30)};
  if (rng() % 3 == 0) o.bank = writeRandomBank(rng, folder, o);
  return o;
}

// The window's step for `step`, as tavrik-batch runs it.
void windowStep(Workspace& ws, batch::Step step, const batch::Options& options, const TileBank& bank) {
  TileSetOptions tileSet;
  tileSet.flips = options.flips;
  tileSet.spriteBank = bank.sprites;
  tileSet.backgroundBank = bank.backgrounds;
  switch (step) {
    case batch::Step::CutOut: cutOut(ws); break;
    case batch::Step::Grey: greyLevels(ws); break;
    case batch::Step::Mask: virtualMask(ws); break;
    case batch::Step::Overlay: overlayPreview(ws); break;
    case batch::Step::Lists: createTileLists(ws, tileSet); break;
    case batch::Step::Optimise: optimiseTileLists(ws, tileSet); break;
    case batch::Step::Maps: break;
  }
}

}  // namespace

TEST(LeanRun, SameOutputsAsTheWindowsRoadOnRandomPictures) {
  const ScopedUnsyncedOutputs unsynced;
  int lean = 0, leanBanked = 0, withFiles = 0, failed = 0;
  for (int seed = 0; seed < 120; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) * 6151 + 5);
    TempFolder folder;
    const auto pictures = writeRandomPictures(rng, folder, rng() % 5 != 0);
    batch::Options options = randomOptions(rng, folder, pictures);
    const bool planned = batch::LeanRun::plan(options) != nullptr;
    lean += planned;
    leanBanked += planned && options.bank;
    const Outcome a = bothRoads(options, folder, "seed " + std::to_string(seed));
    withFiles += !a.files.empty();
    failed += a.status != 0;
  }
  EXPECT_GT(lean, 60);
  EXPECT_GT(leanBanked, 15);
  EXPECT_GT(withFiles, 60);
  EXPECT_GT(failed, 0);  // steps run without list creation divide by zero
}

TEST(LeanRun, EveryStepShowsTheWindowsGaugeValuesAndCounters) {
  const ScopedUnsyncedOutputs unsynced;
  int compared = 0, banked = 0;
  for (int seed = 0; seed < 120; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) * 31 + 11);
    TempFolder folder;
    const auto pictures = writeRandomPictures(rng, folder, true);
    batch::Options options = randomOptions(rng, folder, pictures);
    options.steps[static_cast<int>(batch::Step::Lists)] = true;
    options.steps[static_cast<int>(batch::Step::Optimise)] = true;
    options.steps[static_cast<int>(batch::Step::Maps)] = true;
    const std::unique_ptr<batch::LeanRun> run = batch::LeanRun::plan(options);
    if (!run) continue;  // an empty picture
    ++compared;
    const std::string context = "seed " + std::to_string(seed);

    Workspace leanWs, windowWs;
    for (Workspace* ws : {&leanWs, &windowWs}) {
      ws->CSpinEdit1 = options.thresholds[0];
      ws->CSpinEdit2 = options.thresholds[1];
      ws->CSpinEdit3 = options.thresholds[2];
      ws->RadioButton1 = options.tileSize == 8;
      ws->RadioButton2 = options.tileSize == 16;
    }
    const TileBank bank = options.bank ? readTileBank(*options.bank, options.tileSize) : TileBank{};
    banked += options.bank.has_value();
    run->convert(leanWs, bank);
    windowWs.loadSlot(1, options.sprites, PictureRules::Batch);
    windowWs.loadSlot(2, options.background, PictureRules::Batch);
    windowWs.loadSlot(3, options.full, PictureRules::Batch);
    for (const batch::StepInfo& info : batch::kSteps) {
      if (!options.runs(info.step)) continue;
      std::vector<int> leanProgress, windowProgress;
      testing::recordProgress(leanWs, leanProgress);
      testing::recordProgress(windowWs, windowProgress);
      run->replay(leanWs, info.step);
      std::optional<Maps> windowMaps;
      if (info.step == batch::Step::Maps) {
        MapOptions mapOptions;
        mapOptions.drawPreviews = false;
        if (options.flips) mapOptions.flips = FlipBits{};
        windowMaps = buildMaps(windowWs, mapOptions);
      } else {
        windowStep(windowWs, info.step, options, bank);
      }
      EXPECT_EQ(leanProgress, windowProgress) << context << " " << info.name;
      EXPECT_EQ(leanWs.progress(), windowWs.progress()) << context << " " << info.name;
      EXPECT_EQ(leanWs.SpriteSize, windowWs.SpriteSize) << context << " " << info.name;
      EXPECT_EQ(leanWs.Label23, windowWs.Label23) << context << " " << info.name;
      EXPECT_EQ(leanWs.Label26, windowWs.Label26) << context << " " << info.name;
      if (windowMaps) {
        EXPECT_EQ(run->maps().sprite.cells, windowMaps->sprite.cells) << context;
        EXPECT_EQ(run->maps().background.cells, windowMaps->background.cells) << context;
        EXPECT_EQ(run->maps().sprite.unmatched, windowMaps->sprite.unmatched) << context;
        EXPECT_EQ(run->maps().sprite.flips, windowMaps->sprite.flips) << context;
        EXPECT_EQ(run->maps().background.flips, windowMaps->background.flips) << context;
        EXPECT_EQ(run->maps().background.unmatched, windowMaps->background.unmatched) << context;
        EXPECT_EQ(run->maps().sprite.unmatchedCells, windowMaps->sprite.unmatchedCells) << context;
        EXPECT_EQ(run->maps().background.unmatchedCells, windowMaps->background.unmatchedCells) << context;
      }
    }
    for (const std::string* label : {&leanWs.Label4, &leanWs.Label5, &leanWs.Label7, &leanWs.Label8,
                                     &leanWs.Label15, &leanWs.Label16})
      EXPECT_NE(*label, "N/A") << context;
    EXPECT_EQ(leanWs.Label4 + leanWs.Label5 + leanWs.Label7 + leanWs.Label8 + leanWs.Label15 + leanWs.Label16,
              windowWs.Label4 + windowWs.Label5 + windowWs.Label7 + windowWs.Label8 + windowWs.Label15 +
                  windowWs.Label16)
        << context;
  }
  EXPECT_GT(compared, 90);
  EXPECT_GT(banked, 25);
}

TEST(LeanRun, TakenOnlyByUncompressedBitmapsOfOneSizeWithTheTileStepsAndNoImages) {
  TempFolder folder;
  const Surface picture(40, 24, clSilver);
  for (const char* name : {"s.bmp", "b.bmp", "f.BMP", "other.bmp", "small.bmp", "s.png"})
    writeBitmapFile(std::string(name) == "other.bmp" ? Surface(40, 24, clBlack)
                    : std::string(name) == "small.bmp" ? Surface(40, 16) : picture,
                    folder / name);
  // An 8-bit run-length file: loads, but is not read in bands.
  const unsigned char rle[] = {
      'B', 'M', 64, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,                   // file header
      40, 0, 0, 0, 40, 0, 0, 0, 24, 0, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0,    // 40 x 24, 8 bits, RLE8
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,       // two colours
      0xC0, 0xC0, 0xC0, 0, 0, 0, 0, 0,                                  // colour table
      0, 1};                                                            // end of the picture
  {
    std::ofstream out(folder / "rle.bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(rle), sizeof rle);
  }
  const std::optional<Surface> rleLoaded = readBitmapFile(folder / "rle.bmp");
  ASSERT_TRUE(rleLoaded.has_value());
  ASSERT_EQ(rleLoaded->width(), 40);
  ASSERT_EQ(rleLoaded->height(), 24);
  batch::Options plain;
  plain.sprites = folder / "s.bmp";
  plain.background = folder / "b.bmp";
  plain.full = folder / "f.BMP";
  EXPECT_NE(batch::LeanRun::plan(plain), nullptr);
  plain.full = folder / "other.bmp";  // other pixels, same size
  EXPECT_NE(batch::LeanRun::plan(plain), nullptr);
  plain.steps = {false, false, false, false, true, true, true};
  EXPECT_NE(batch::LeanRun::plan(plain), nullptr);

  auto declined = [&](const std::function<void(batch::Options&)>& change) {
    batch::Options o = plain;
    change(o);
    return batch::LeanRun::plan(o) == nullptr;
  };
  EXPECT_TRUE(declined([&](batch::Options& o) { o.saveImagesDir = folder.str(); }));
  EXPECT_TRUE(declined([](batch::Options& o) { o.fullStrips = true; }));
  EXPECT_FALSE(declined([&](batch::Options& o) { o.bank = folder / "bank"; }));
  EXPECT_FALSE(declined([](batch::Options& o) { o.flips = true; }));
  EXPECT_FALSE(declined([](batch::Options& o) { o.maxTiles = std::array<int, 2>{1, 1}; }));
  for (batch::Step step : {batch::Step::Lists, batch::Step::Optimise, batch::Step::Maps})
    EXPECT_TRUE(declined([step](batch::Options& o) { o.steps[static_cast<int>(step)] = false; }));
  EXPECT_TRUE(declined([&](batch::Options& o) { o.background = folder / "small.bmp"; }));
  EXPECT_TRUE(declined([&](batch::Options& o) { o.full = folder / "small.bmp"; }));
  EXPECT_TRUE(declined([&](batch::Options& o) { o.sprites = folder / "s.png"; }));
  EXPECT_TRUE(declined([&](batch::Options& o) { o.background = folder / "rle.bmp"; }));
  EXPECT_TRUE(declined([&](batch::Options& o) { o.full = folder / "missing.bmp"; }));
  EXPECT_TRUE(declined([&](batch::Options& o) { o.full = folder.str(); }));
}

TEST(LeanRun, APictureCutShortDuringTheRunFailsWithTheReadErrorAndWritesNothing) {
  TempFolder folder;
  const Surface picture(64, 64, clGray);
  for (const char* name : {"s.bmp", "b.bmp", "f.bmp"}) writeBitmapFile(picture, folder / name);
  batch::Options options;
  options.sprites = folder / "s.bmp";
  options.background = folder / "b.bmp";
  options.full = folder / "f.bmp";
  options.outputDir = folder.str();
  const std::unique_ptr<batch::LeanRun> run = batch::LeanRun::plan(options);
  ASSERT_NE(run, nullptr);
  fs::resize_file(folder / "b.bmp", 54 + 64 * 3 * 20);
  EXPECT_EQ(conversionError(*run), "Erreur de lecture du flux");
  // The whole tool, with the file cut short before it starts, says the same as the window's road.
  std::ostringstream out, err;
  batch::Console console{out, err, false};
  Workspace whole;
  EXPECT_EQ(batch::runBatch(options, whole, console), 1);
  EXPECT_EQ(err.str(), "tavrik-batch: Erreur de lecture du flux.\n");
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"b.bmp", "f.bmp", "s.bmp"}));
}

TEST(LeanRun, DamagedPicturesGiveTheErrorOfLoadingThemInOrder) {
  const ScopedUnsyncedOutputs unsynced;
  int failures = 0, lean = 0;
  std::map<std::string, int> messages;
  for (int seed = 0; seed < 80; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) * 977 + 3);
    TempFolder folder;
    const auto pictures = writeRandomPictures(rng, folder, true);
    batch::Options options = randomOptions(rng, folder, pictures);
    options.steps = {true, true, true, true, true, true, true};
    // One or two pictures cut short or with a byte changed (a PNG's CRC or data, a bitmap's
    // header or pixels).
    const int damaged = 1 + static_cast<int>(rng() % 2);
    for (int d = 0; d < damaged; ++d) {
      const std::string& path = pictures[rng() % 3];
      std::string bytes = readWholeFile(path);
      // Mostly past the headers, so that the run is planned on the lean road.
      const size_t from = rng() % 4 == 0 || bytes.size() < 80 ? 8 : 64;
      if (bytes.size() <= from) continue;
      if (rng() % 2) {
        bytes.resize(from + rng() % (bytes.size() - from));
      } else {
        bytes[from + rng() % (bytes.size() - from)] ^= static_cast<char>(1 + rng() % 255);
      }
      std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    lean += batch::LeanRun::plan(options) != nullptr;
    const Outcome a = bothRoads(options, folder, "seed " + std::to_string(seed));
    failures += a.status != 0;
    if (a.status != 0) ++messages[a.err];
  }
  EXPECT_GT(lean, 20);
  EXPECT_GT(failures, 20);
  EXPECT_GE(messages.size(), 3u);
}

}  // namespace tavrik::test

namespace tavrik::test {

TEST(LeanRun, TwoDamagedPicturesGiveTheErrorOfTheFirstInLoadingOrder) {
  const ScopedUnsyncedOutputs unsynced;
  TempFolder folder;
  // The sprite plane's end chunk is damaged (an error met after its last row); the background
  // plane is cut short once the run is planned (an error met in its first rows). Read side by
  // side, the background's error comes first; loaded in order, the sprite plane's.
  const Surface picture(32, 48, clGray);
  writePngFile(picture, folder / "s.png");
  writeBitmapFile(picture, folder / "b.bmp");
  writeBitmapFile(picture, folder / "f.bmp");
  std::string sprite = readWholeFile(folder / "s.png");
  ASSERT_EQ(sprite.substr(sprite.size() - 8, 4), "IEND");
  sprite.back() = static_cast<char>(sprite.back() ^ 0x55);  // its CRC
  std::ofstream(folder / "s.png", std::ios::binary | std::ios::trunc) << sprite;

  batch::Options options;
  options.sprites = folder / "s.png";
  options.background = folder / "b.bmp";
  options.full = folder / "f.bmp";
  const std::unique_ptr<batch::LeanRun> run = batch::LeanRun::plan(options);
  ASSERT_NE(run, nullptr);
  fs::resize_file(folder / "b.bmp", 54 + 32 * 3 * 8);  // the bottom 8 rows only
  std::string spriteError, backgroundError;
  try {
    loadPictureFile(options.sprites, PictureRules::Batch);
  } catch (const Error& e) {
    spriteError = e.message();
  }
  try {
    loadPictureFile(options.background, PictureRules::Batch);
  } catch (const Error& e) {
    backgroundError = e.message();
  }
  EXPECT_EQ(spriteError, "Image PNG incorrecte");
  EXPECT_EQ(backgroundError, "Erreur de lecture du flux");
  EXPECT_EQ(conversionError(*run), spriteError);
}

}  // namespace tavrik::test

namespace tavrik::test {

namespace {

// A 1-bit bottom-up bitmap of `width` x `height` pixels, white but for the 16 x 16 blocks
// `blackBlocks` (column, row of 16-pixel cells, column below width / 8 / 2) in black, written as a
// sparse file: its rows of zeros take no disk.
void writeSparseBitmap(const fs::path& path, int width, int height, const std::vector<std::pair<int, int>>& blackBlocks) {
  const std::uint32_t stride = static_cast<std::uint32_t>((width + 31) / 32 * 4);
  const std::uint32_t offset = 14 + 40 + 8;
  const std::uint64_t size = offset + static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
  std::string header(offset, '\0');
  auto put32 = [&](size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) header[at + static_cast<size_t>(k)] = static_cast<char>(v >> (8 * k));
  };
  header[0] = 'B';
  header[1] = 'M';
  put32(2, static_cast<std::uint32_t>(size));
  put32(10, offset);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  put32(26, 1 | 1 << 16);  // one plane, 1 bit per pixel
  put32(46, 2);            // two colours: 0 white, 1 black
  put32(54, 0xFFFFFF);
  {
    std::ofstream out(path, std::ios::binary);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
  }
  fs::resize_file(path, size);
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  for (const auto& [column, row] : blackBlocks)
    for (int y = row * 16; y < row * 16 + 16; ++y) {
      out.seekp(static_cast<std::streamoff>(offset + static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height - 1 - y) + 2 * column));
      out.write("\xFF\xFF", 2);
    }
}

}  // namespace

TEST(LeanRun, APictureAboveTheSizeLoadedWholeConvertsInBandsAndOnlyThere) {
  // 64 x (2^22 + 64): 4096 pixels above what the window's road loads, 32 MiB files of zeros.
  const int W = 64, H = (1 << 22) + 64, rows = H / 16;
  TempFolder folder;
  writeSparseBitmap(folder / "s.bmp", W, H, {{0, 0}});
  writeSparseBitmap(folder / "f.bmp", W, H, {{0, 0}});
  writeSparseBitmap(folder / "b.bmp", W, H, {{3, rows - 1}});
  batch::Options options;
  options.sprites = folder / "s.bmp";
  options.background = folder / "b.bmp";
  options.full = folder / "f.bmp";
  options.outputDir = folder / "out";
  options.name = "Lv";
  ASSERT_NE(batch::LeanRun::plan(options), nullptr);
  const Outcome lean = runInProcess(options, folder / "out");
  ASSERT_EQ(lean.status, 0) << lean.err;
  // Sprite map: the black block's cell 0, every other cell 1; background map: all 0 but the last.
  const size_t cells = static_cast<size_t>(W / 16) * rows;
  std::string sprite(2 * cells, '\0'), background(2 * cells, '\0');
  for (size_t c = 1; c < cells; ++c) sprite[2 * c] = 1;
  background[2 * (cells - 1)] = 1;
  EXPECT_TRUE(lean.files.at("Lv1.lvl") == sprite);
  EXPECT_TRUE(lean.files.at("Lv2.lvl") == background);
  EXPECT_EQ(lean.files.at("Lv1.bin").size(), 2u * 64);
  EXPECT_EQ(lean.files.at("Lv2.bin").size(), 2u * 64);

  // The window's road refuses it as before.
  options.fullStrips = true;
  const Outcome window = runInProcess(options, folder / "out");
  EXPECT_EQ(window.status, 1);
  EXPECT_EQ(window.err, "tavrik-batch: Image bitmap incorrecte.\n");
  EXPECT_TRUE(window.files.empty());

  // Cut short once planned: its read error, not its size.
  options.fullStrips = false;
  const std::unique_ptr<batch::LeanRun> run = batch::LeanRun::plan(options);
  ASSERT_NE(run, nullptr);
  fs::resize_file(folder / "b.bmp", fs::file_size(folder / "b.bmp") - 100);
  EXPECT_EQ(conversionError(*run), "Erreur de lecture du flux");
}

}  // namespace tavrik::test
