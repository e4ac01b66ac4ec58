// The game file: TOML read with toml++, every key through one table of keys, every value checked
// before any picture is read.
#include <toml++/toml.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "files/output_set.h"
#include "formats/source_export.h"
#include "formats/tiled_export.h"
#include "game/base_name.h"
#include "game/game.h"
#include "base/error.h"

namespace tavrik::game {

namespace fs = std::filesystem;

bool Game::writes(GameFormat format) const {
  for (const GameFormat f : formats)
    if (f == format) return true;
  return false;
}

std::optional<FlipBits> Game::mapFlipBits() const {
  if (!flips) return std::nullopt;
  return flipBits ? FlipBits{(*flipBits)[0], (*flipBits)[1]} : FlipBits{};
}

namespace {

std::string inQuotes(const std::string& text) { return "« " + text + " »"; }

// Where a message points: the game file, a line, a key.
struct Place {
  int line = 0;  // 0: the file as a whole
  std::string key;
};

class Reader {
 public:
  explicit Reader(std::string file) : file_(std::move(file)) {
    folder_ = fs::path(file_).parent_path().string();
  }

  [[noreturn]] void fail(const Place& place, const std::string& message) const {
    std::string text = "fichier de jeu " + inQuotes(file_);
    if (place.line > 0) text += format(", ligne %d", place.line);
    if (!place.key.empty()) text += ", clé " + place.key;
    throw GameFileError(text + " : " + message);
  }
  [[noreturn]] void fail(const toml::node& node, const std::string& key, const std::string& message) const {
    fail(Place{static_cast<int>(node.source().begin.line), key}, message);
  }

  // A path of the file, as the runner opens it: relative ones from the game file's folder.
  std::string resolve(const std::string& path) const {
    if (folder_.empty() || fs::path(path).is_absolute()) return path;
    return (fs::path(folder_) / path).string();
  }
  const std::string& folder() const { return folder_; }
  const std::string& file() const { return file_; }

  std::string text(const toml::node& node, const std::string& key) const {
    const std::optional<std::string> value = node.value<std::string>();
    if (!node.is_string() || !value) fail(node, key, "texte attendu");
    return *value;
  }
  std::string nonEmpty(const toml::node& node, const std::string& key, const char* what) const {
    std::string value = text(node, key);
    if (value.empty()) fail(node, key, std::string("valeur vide (") + what + " attendu)");
    return value;
  }
  long long integer(const toml::node& node, const std::string& key) const {
    if (!node.is_integer()) fail(node, key, "entier attendu");
    return *node.value<long long>();
  }
  // An array of `n` integers from `low` to `high`.
  template <size_t N>
  std::array<int, N> integers(const toml::node& node, const std::string& key, long long low, long long high,
                              const std::string& expected) const {
    const toml::array* array = node.as_array();
    if (!array || array->size() != N) fail(node, key, expected);
    std::array<int, N> values{};
    for (size_t k = 0; k < N; ++k) {
      const toml::node& item = *array->get(k);
      if (!item.is_integer()) fail(node, key, expected);
      const long long v = *item.value<long long>();
      if (v < low || v > high) fail(node, key, expected);
      values[k] = static_cast<int>(v);
    }
    return values;
  }

 private:
  std::string file_, folder_;
};

// One key of a table: its name and what reads it. New keys of the game file go here.
template <class Target>
struct Key {
  const char* name;
  std::function<void(const Reader&, const toml::node&, Target&)> read;
  bool required = false;
};

const std::vector<Key<Game>>& gameKeys() {
  static const std::vector<Key<Game>> keys = {
      {"name", [](const Reader& r, const toml::node& n, Game& g) { g.name = r.text(n, "name"); }, true},
      {"output-dir",
       [](const Reader& r, const toml::node& n, Game& g) {
         g.outputDir = r.resolve(r.nonEmpty(n, "output-dir", "un dossier"));
       }},
      {"tile-size",
       [](const Reader& r, const toml::node& n, Game& g) {
         const long long size = r.integer(n, "tile-size");
         if (size != 16 && size != 8)
           r.fail(n, "tile-size", "taille de tuile incorrecte : " + inQuotes(std::to_string(size)) + " (16 ou 8)");
         g.tileSize = static_cast<int>(size);
       }},
      {"thresholds",
       [](const Reader& r, const toml::node& n, Game& g) {
         g.thresholds = r.integers<3>(n, "thresholds", 0, 1023, "seuils incorrects (trois entiers de 0 à 1023 attendus)");
       }},
      {"flips",
       [](const Reader& r, const toml::node& n, Game& g) {
         if (!n.is_boolean()) r.fail(n, "flips", "booléen attendu (true ou false)");
         g.flips = *n.value<bool>();
       }},
      {"flip-bits",
       [](const Reader& r, const toml::node& n, Game& g) {
         const char* expected = "bits de symétrie incorrects (deux bits différents de 8 à 15 attendus)";
         const std::array<int, 2> bits = r.integers<2>(n, "flip-bits", 8, 15, expected);
         if (bits[0] == bits[1]) r.fail(n, "flip-bits", expected);
         g.flipBits = bits;
       }},
      {"max-tiles",
       [](const Reader& r, const toml::node& n, Game& g) {
         g.maxTiles = r.integers<2>(n, "max-tiles", 0, 999999999,
                                    "budgets de tuiles incorrects (deux entiers positifs ou nuls attendus)");
       }},
      {"tile-base",
       [](const Reader& r, const toml::node& n, Game& g) {
         g.tileBase = r.integers<2>(n, "tile-base", 0, 65535,
                                    "bases de tuiles incorrectes (deux entiers de 0 à 65535 attendus)");
       }},
      {"map-order",
       [](const Reader& r, const toml::node& n, Game& g) {
         const std::string order = r.text(n, "map-order");
         if (order != "rows" && order != "columns")
           r.fail(n, "map-order", "ordre des cartes incorrect : " + inQuotes(order) + " (rows ou columns)");
         g.mapOrder = order == "rows" ? MapOrder::Rows : MapOrder::Columns;
       }},
      {"formats",
       [](const Reader& r, const toml::node& n, Game& g) {
         const char* expected = "liste de formats attendue, parmi \"bin\", \"asm\" et \"c\"";
         const toml::array* array = n.as_array();
         if (!array || array->empty()) r.fail(n, "formats", expected);
         g.formats.clear();
         for (const toml::node& item : *array) {
           const std::optional<std::string> name = item.value<std::string>();
           if (!item.is_string() || !name) r.fail(n, "formats", expected);
           const GameFormat format = *name == "bin" ? GameFormat::Bin
                                     : *name == "asm" ? GameFormat::Asm
                                     : *name == "c"   ? GameFormat::C
                                                      : (r.fail(n, "formats", "format incorrect : " + inQuotes(*name) + " (bin, asm ou c)"), GameFormat::Bin);
           if (g.writes(format)) r.fail(n, "formats", "format donné deux fois : " + inQuotes(*name));
           g.formats.push_back(format);
         }
       }},
      {"tiled",
       [](const Reader& r, const toml::node& n, Game& g) { g.tiledDir = r.resolve(r.nonEmpty(n, "tiled", "un dossier")); }},
      {"bank",
       [](const Reader& r, const toml::node& n, Game& g) { g.bank = r.resolve(r.nonEmpty(n, "bank", "un préfixe de fichiers")); }},
  };
  return keys;
}

const std::vector<Key<GameLevel>>& levelKeys() {
  static const std::vector<Key<GameLevel>> keys = {
      {"name", [](const Reader& r, const toml::node& n, GameLevel& l) { l.name = r.text(n, "name"); }, true},
      {"sprites", [](const Reader& r, const toml::node& n, GameLevel& l) { l.sprites = r.resolve(r.nonEmpty(n, "sprites", "un fichier")); }, true},
      {"background", [](const Reader& r, const toml::node& n, GameLevel& l) { l.background = r.resolve(r.nonEmpty(n, "background", "un fichier")); }, true},
      {"full", [](const Reader& r, const toml::node& n, GameLevel& l) { l.full = r.resolve(r.nonEmpty(n, "full", "un fichier")); }, true},
  };
  return keys;
}

// Reads every key of `table` through `keys`; `prefix` names the table's keys in messages.
template <class Target>
void readTable(const Reader& reader, const toml::table& table, const std::vector<Key<Target>>& keys,
               const std::string& prefix, Target& target, const std::set<std::string>& elsewhere = {}) {
  for (const auto& [key, node] : table) {
    const std::string name(key.str());
    if (elsewhere.count(name)) continue;
    const Key<Target>* known = nullptr;
    for (const Key<Target>& k : keys)
      if (name == k.name) known = &k;
    if (!known) reader.fail(Place{static_cast<int>(key.source().begin.line), prefix + name}, "clé inconnue");
    known->read(reader, node, target);
  }
  for (const Key<Target>& k : keys)
    if (k.required && !table.contains(k.name))
      reader.fail(Place{static_cast<int>(table.source().begin.line), prefix + k.name}, "valeur manquante");
}

// Checks that `path` names an existing folder.
void checkFolder(const Reader& reader, const Place& place, const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec.value() == ENAMETOOLONG) reader.fail(place, format("Nom de fichier trop long : %s", path.c_str()));
  if (!fs::exists(status)) reader.fail(place, "dossier introuvable : " + inQuotes(path));
  if (!fs::is_directory(status)) reader.fail(place, "ce n'est pas un dossier : " + inQuotes(path));
}

int lineOf(const toml::table& table, const char* key) {
  const toml::node* node = table.get(key);
  return node ? static_cast<int>(node->source().begin.line) : 0;
}

}  // namespace

std::vector<GameOutput> gameOutputs(const Game& game) {
  std::vector<GameOutput> outputs;
  for (size_t i = 0; i < game.levels.size(); ++i)
    for (const GameFormat format : game.formats)
      for (const std::string& name : levelFileNames(game.levels[i].name, format))
        outputs.push_back({outputPath(game.outputDir, name), static_cast<int>(i)});
  for (const GameFormat format : game.formats)
    for (const std::string& name : tileSetFileNames(game.name, format))
      outputs.push_back({outputPath(game.outputDir, name), -1});
  if (game.tiledDir) {
    for (const std::string& name : tiledTilesetFileNames(game.name)) outputs.push_back({outputPath(*game.tiledDir, name), -1});
    for (size_t i = 0; i < game.levels.size(); ++i)
      outputs.push_back({outputPath(*game.tiledDir, game.levels[i].name + ".tmx"), static_cast<int>(i)});
  }
  return outputs;
}

Game readGameFile(const std::string& path) {
  const Reader reader(path);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) reader.fail(Place{}, "fichier introuvable ou illisible");
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  if (!in) reader.fail(Place{}, "fichier introuvable ou illisible");

  toml::table root;
  try {
    root = toml::parse(bytes.str(), path);
  } catch (const toml::parse_error& e) {
    reader.fail(Place{static_cast<int>(e.source().begin.line), {}},
                "syntaxe TOML incorrecte (" + std::string(e.description()) + ")");
  }

  Game game;
  game.file = path;
  game.outputDir = reader.folder();
  readTable(reader, root, gameKeys(), "", game, {"level"});

  // The levels, in game order.
  const toml::node* levels = root.get("level");
  if (levels && !levels->is_array_of_tables())
    reader.fail(*levels, "level", "tables [[level]] attendues");
  if (!levels || levels->as_array()->empty()) reader.fail(Place{}, "aucun niveau (tables [[level]])");
  for (const toml::node& node : *levels->as_array()) {
    const toml::table& table = *node.as_table();
    GameLevel level;
    level.line = static_cast<int>(table.source().begin.line);
    readTable(reader, table, levelKeys(), "level.", level);
    game.levels.push_back(std::move(level));
  }

  // The values that depend on others.
  const bool sources = game.writes(GameFormat::Asm) || game.writes(GameFormat::C);
  const auto checkName = [&](const std::string& name, const Place& place) {
    if (const std::optional<std::string> problem = baseNameProblem(name)) reader.fail(place, *problem);
    if (sources && !isSourceName(name))
      reader.fail(place, "nom de base incorrect pour les formats asm et c : " + inQuotes(name) +
                             " (une lettre ASCII, puis lettres, chiffres ou _)");
  };
  checkName(game.name, Place{lineOf(root, "name"), "name"});
  if (game.flipBits && !game.flips) reader.fail(Place{lineOf(root, "flip-bits"), "flip-bits"}, "demande flips = true");
  // A base at which not even tile 0 fits its records.
  if (game.tileBase) {
    const MapLayout layout = game.mapLayout();
    for (const MapPlane plane : {MapPlane::Sprite, MapPlane::Background})
      if (layout.base(plane) >= layout.indexLimit())
        reader.fail(Place{lineOf(root, "tile-base"), "tile-base"},
                    format("base de tuiles trop grande pour la carte %s : %d (%lld au plus)",
                           plane == MapPlane::Sprite ? "des sprites" : "de l'arrière-plan", layout.base(plane),
                           layout.indexLimit() - 1));
  }
  std::map<std::string, size_t> names;
  for (size_t i = 0; i < game.levels.size(); ++i) {
    const toml::table& table = *levels->as_array()->get(i)->as_table();
    const Place place{lineOf(table, "name"), "level.name"};
    checkName(game.levels[i].name, place);
    if (!names.emplace(game.levels[i].name, i).second)
      reader.fail(place, "deux niveaux portent le nom " + inQuotes(game.levels[i].name));
  }

  // Folders, then output files: none may be written twice, nor replace a picture.
  checkFolder(reader, Place{lineOf(root, "output-dir"), lineOf(root, "output-dir") ? "output-dir" : ""},
              game.outputDir.empty() ? "." : game.outputDir);
  if (game.tiledDir) checkFolder(reader, Place{lineOf(root, "tiled"), "tiled"}, *game.tiledDir);
  const auto owner = [&](int level) {
    return level < 0 ? std::string("du jeu") : "du niveau " + inQuotes(game.levels[static_cast<size_t>(level)].name);
  };
  const auto placeOf = [&](int level, const char* key) {
    if (level < 0) return Place{lineOf(root, "name"), "name"};
    const toml::table& table = *levels->as_array()->get(static_cast<size_t>(level))->as_table();
    return Place{lineOf(table, key), std::string("level.") + key};
  };
  std::map<std::string, int> written;  // lexically normal path -> its writer
  for (const GameOutput& output : gameOutputs(game)) {
    // The temporary file beside each output is longer than its name: refused now, not after
    // the conversion.
    if (!outputPathFits(output.path))
      reader.fail(placeOf(output.level, "name"), format("Nom de fichier trop long : %s", output.path.c_str()));
    const std::string normal = fs::path(output.path).lexically_normal().string();
    const auto [it, fresh] = written.emplace(normal, output.level);
    if (!fresh)
      reader.fail(placeOf(std::max(output.level, it->second), "name"),
                  "le fichier de sortie " + inQuotes(output.path) + " " + owner(output.level) + " est aussi celui " +
                      owner(it->second));
    for (size_t i = 0; i < game.levels.size(); ++i) {
      const GameLevel& level = game.levels[i];
      const std::pair<const std::string*, const char*> pictures[] = {
          {&level.sprites, "sprites"}, {&level.background, "background"}, {&level.full, "full"}};
      for (const auto& [picture, key] : pictures)
        if (fs::equivalent(output.path, *picture, ec))
          reader.fail(placeOf(static_cast<int>(i), key),
                      "le fichier de sortie " + inQuotes(output.path) + " " + owner(output.level) +
                          " est une des images d'entrée");
    }
  }
  return game;
}

}  // namespace tavrik::game
