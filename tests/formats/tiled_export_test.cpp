// --tiled: the map as the Tiled map editor's own renderer draws it must be the grey planes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "formats/format_fixtures.h"
#include "formats/tiled_export.h"
#include "maps/maps_fixtures.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

// Where the two pictures differ, or "" when they are the same.
std::string difference(const Surface& rendered, const Surface& expected) {
  if (rendered.width() != expected.width() || rendered.height() != expected.height())
    return "size " + std::to_string(rendered.width()) + " x " + std::to_string(rendered.height()) +
           " instead of " + std::to_string(expected.width()) + " x " +
           std::to_string(expected.height());
  long long differing = 0;
  std::string first;
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x)
      if ((rendered.read(x, y) & 0xFFFFFF) != expected.read(x, y) && differing++ == 0)
        first = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
  return differing ? std::to_string(differing) + " pixels differ, " + first : "";
}

TEST(TiledMap, RenderedByTiledItIsTheGreyBackgroundAndTheOverlay) {
  const std::string rasterizer = findProgram("tmxrasterizer");
  if (rasterizer.empty()) GTEST_SKIP() << "tmxrasterizer missing (package tiled)";
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // it is a Qt program; no display needed

  struct Case {
    std::string name;  // the first needs escaping in XML and is not ASCII
    int size;
    bool flips;  // mirrored cells carry Tiled's flip flags
    std::vector<std::string> layout = {};  // map records' layout: nothing changes in Tiled
  };
  for (const Case& c : {Case{"Été&<1", 16, false}, Case{"Demo", 8, false}, Case{"Flip", 16, true},
                        Case{"Based", 16, true, {"--tile-base", "300,5", "--map-order", "columns"}}}) {
    const std::string& name = c.name;
    SCOPED_TRACE(name);
    TempFolder tiled, images, bin;
    std::vector<std::string> args{"--quiet", "--name", name, "--tile-size", std::to_string(c.size),
                                  "--tiled", tiled.str(), "--save-images", images.str(),
                                  "--output-dir", bin.str()};
    if (c.flips) args.push_back("--flips");
    args.insert(args.end(), c.layout.begin(), c.layout.end());
    for (const std::string& picture : demoPictures()) args.push_back(picture);
    const ToolRun run = runTool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(tiled.entries(), (std::vector<std::string>{name + ".tmx", name + "1.png", name + "2.png"}));
    EXPECT_EQ(bin.entries().size(), 4u);  // the binary files as ever

    // Without --save-images the tool takes its lean road, which keeps no full planes: the same
    // map and tile sets.
    TempFolder lean;
    args = {"--quiet", "--name", name, "--tile-size", std::to_string(c.size), "--tiled", lean.str(),
            "--output-dir", lean.str()};
    if (c.flips) args.push_back("--flips");
    for (const std::string& picture : demoPictures()) args.push_back(picture);
    ASSERT_EQ(runTool(args).status, 0);
    for (const std::string& file : tiled.entries())
      EXPECT_EQ(readWholeFile(lean / file), readWholeFile(tiled / file)) << file;

    // The background layer alone is the grey background plane; with the sprites, whose white
    // is transparent, it is the overlay preview of the full plane.
    const std::string map = tiled / (name + ".tmx");
    for (const auto& [hide, expected] :
         {std::pair<std::string, std::string>{"sprites", "background-plane.bmp"},
          {"", "full-plane.bmp"}}) {
      const std::string picture = images / ("rendered-" + expected);
      std::vector<std::string> command{rasterizer, "--no-smoothing", map, picture};
      if (!hide.empty()) command.insert(command.end(), {"--hide-layer", hide});
      const ToolRun rendered = runCommand(command);
      ASSERT_EQ(rendered.status, 0) << rendered.err;
      EXPECT_EQ(difference(loadBitmap(picture), loadBitmap(images / expected)), "") << expected;
    }
  }
}

TEST(TiledMap, GridsOfTwoSizesShareTheLargerOneAndCellsWithoutATileStayEmpty) {
  ExportTables tables;
  tables.tileSize = 8;
  tables.background.tileCount = 17;  // two rows of the tile set image: 32 places
  tables.background.tiles.assign(17 * 8 * 2, 0);
  tables.sprite.tileCount = 0;  // no tile: index 0 is not one
  Maps maps;
  using maps_test::mapOf;
  maps.background = mapOf(1, 2, {16, 3});
  maps.sprite = mapOf(2, 1, {0, 0});
  const std::string tmx = tiledMap("L", tables, maps);

  const auto layerData = [&](const std::string& layer) {
    const size_t start = tmx.find("<data encoding=\"csv\">\n", tmx.find("name=\"" + layer + "\""));
    const size_t from = start + 22;
    return tmx.substr(from, tmx.find("</data>", from) - from);
  };
  EXPECT_NE(tmx.find("width=\"2\" height=\"2\" tilewidth=\"8\" tileheight=\"8\""), std::string::npos);
  EXPECT_EQ(layerData("background"), "17,0,\n4,0\n");
  EXPECT_EQ(layerData("sprites"), "0,0,\n0,0\n");
  EXPECT_NE(tmx.find("<tileset firstgid=\"33\" name=\"L1\""), std::string::npos) << tmx;

  const Surface image = tilesetImage(tables.background, 8);
  EXPECT_EQ(image.width(), 128);
  EXPECT_EQ(image.height(), 16);
}

TEST(TiledMap, MissingFolderIsUsageAndAFileThatCannotBeWrittenChangesNoOutput) {
  TempFolder out;
  std::vector<std::string> args{"--output-dir", out.str(), "--tiled", out / "nowhere"};
  for (const std::string& picture : demoPictures()) args.push_back(picture);
  ToolRun run = runTool(args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.errLines().size(), 1u) << run.err;
  EXPECT_TRUE(out.entries().empty());

  // A folder holds the name of the sprite tile set: the map, the other tile set and the four
  // binary files, all of one set, stay unwritten too.
  fs::create_directory(out / "nowhere");
  fs::create_directory(out / "nowhere/Demo1.png");
  run = runTool(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.errLines(), std::vector<std::string>{"tavrik-batch: Impossible de créer le fichier " +
                                                     (out / "nowhere/Demo1.png") + "."});
  EXPECT_EQ(out.entries(), std::vector<std::string>{"nowhere"});
  std::vector<std::string> inside;
  for (const auto& entry : fs::directory_iterator(out / "nowhere"))
    inside.push_back(entry.path().filename().string());
  EXPECT_EQ(inside, std::vector<std::string>{"Demo1.png"});
}

}  // namespace
}  // namespace tavrik::test
