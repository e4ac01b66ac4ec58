// Command line of tavrik-batch: the options, their defaults, and their parsing.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "game/base_name.h"
#include "formats/map_picture.h"
#include "maps/map_layout.h"
#include "tiles/tile_flips.h"

namespace tavrik::batch {

// The window's seven commands, in the order of its buttons from top to bottom, which is the
// order in which the tool always runs them.
enum class Step { CutOut, Grey, Mask, Overlay, Lists, Optimise, Maps };
inline constexpr int kStepCount = 7;

struct StepInfo {
  Step step;
  const char* name;     // as typed after --steps
  const char* caption;  // the window's button caption
};
inline constexpr std::array<StepInfo, kStepCount> kSteps{{
    {Step::CutOut, "cutout", "Détourage des sprites"},
    {Step::Grey, "grey", "Couleur -> NG4"},
    {Step::Mask, "mask", "Application du masque virtuel"},
    {Step::Overlay, "overlay", "Aperçu de la superposition"},
    {Step::Lists, "lists", "Création des listes de sprites"},
    {Step::Optimise, "optimise", "Optimisation des listes"},
    {Step::Maps, "maps", "Création des MAPS"},
}};

// --format: the four binary files, an assembler source, or a C header and source.
enum class OutputFormat { Bin, Asm, C };
// The name of a format as --format takes it.
const char* formatName(OutputFormat format);
// File format of the images that --save-images writes.
enum class ImageFormat { Bmp, Png };

struct Options {
  std::string name = "Demo";                      // --name (Edit6)
  std::array<int, 3> thresholds{100, 170, 300};   // --thresholds (CSpinEdit1..3)
  int tileSize = 16;                              // --tile-size (RadioButton2 / RadioButton1)
  std::array<bool, kStepCount> steps{true, true, true, true, true, true, true};  // --steps
  std::string outputDir;                          // --output-dir ("" = current folder)
  std::optional<std::string> saveImagesDir;       // --save-images
  std::vector<OutputFormat> formats{OutputFormat::Bin};  // --format: each once, in the given order
  ImageFormat imageFormat = ImageFormat::Bmp;     // --image-format
  std::optional<std::string> tiledDir;            // --tiled
  bool quiet = false;                             // --quiet
  bool fullStrips = false;                        // --full-strips: the window's road, whole strips
  bool flips = false;                             // --flips
  std::optional<std::array<int, 2>> flipBits;     // --flip-bits (left-right, top-bottom)
  std::optional<std::string> bank;                // --bank (prefix of the two tile files)
  std::optional<std::array<int, 2>> maxTiles;     // --max-tiles (sprite list, background list)
  std::optional<std::string> game;                // --game (a game file instead of three pictures)
  std::optional<std::array<int, 2>> tileBase;     // --tile-base (sprite map, background map)
  MapOrder mapOrder = MapOrder::Rows;             // --map-order
  // --render: draws the files of an earlier run into a PNG picture instead of converting.
  std::optional<std::string> render;              // --render (the picture's path)
  std::optional<std::string> maps, tiles;         // --maps, --tiles (prefixes of the files)
  std::optional<std::array<int, 2>> width;        // --width (sprite map, background map)
  RenderedPlane plane = RenderedPlane::Level;     // --plane
  std::optional<std::string> depfile;             // --depfile (a make rule of the run)
  std::optional<std::string> summaryJson;         // --summary-json
  std::string sprites, background, full;          // the three positional arguments

  bool runs(Step step) const { return steps[static_cast<int>(step)]; }
  bool writes(OutputFormat format) const {
    for (const OutputFormat f : formats)
      if (f == format) return true;
    return false;
  }

  // Where the map records keep the mirror bits: with --flips, those of --flip-bits or the
  // default ones; none without.
  std::optional<FlipBits> mapFlipBits() const {
    if (!flips) return std::nullopt;
    return flipBits ? FlipBits{(*flipBits)[0], (*flipBits)[1]} : FlipBits{};
  }
  // How the map records are written (or, with --render, were written).
  MapLayout mapLayout() const { return MapLayout{mapFlipBits(), mapOrder, tileBase}; }
  // What --render reads and draws: the tiles default to the maps' prefix.
  RenderRequest renderRequest() const {
    RenderRequest request;
    request.plane = plane;
    request.maps = maps.value_or("");
    request.tiles = tiles ? *tiles : request.maps;
    if (width) request.columns = *width;
    request.tileSize = tileSize;
    request.layout = mapLayout();
    return request;
  }
};

struct ParseResult {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  Options options;
  std::string error;  // one-line French message, for UsageError
};

// Parses the arguments after the program name. Options may come before, between or after the
// three files; "--" ends the options; "--opt=value" and "--opt value" are both accepted.
ParseResult parseOptions(const std::vector<std::string>& args);

// The options refused beside --game (null-terminated): those that the game file sets, and
// those of a single run only.
extern const char* const kNotWithGame[];

// Number of characters of a UTF-8 text (bytes that do not continue a sequence).
int countCharacters(const std::string& text);

// A name or value as the messages quote it: « text ».
std::string quoted(const std::string& text);

// The French usage text of --help, and the version line of --version.
std::string usageText();
std::string versionText();

}  // namespace tavrik::batch
