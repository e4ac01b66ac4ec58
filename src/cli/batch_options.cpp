#include "cli/batch_options.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "formats/source_export.h"
#include "game/base_name.h"

#ifndef TAVRIK_VERSION
#define TAVRIK_VERSION "unknown"
#endif

namespace tavrik::batch {

namespace {

ParseResult usageError(std::string message) {
  ParseResult result;
  result.action = ParseResult::Action::UsageError;
  result.error = std::move(message);
  return result;
}

std::vector<std::string> splitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

// A non-negative decimal integer of at most 9 digits.
bool parseCount(const std::string& text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

// A threshold: decimal digits only, 0..1023.
bool parseThreshold(const std::string& text, int& value) {
  int v = 0;
  if (!parseCount(text, v) || v > 1023) return false;
  value = v;
  return true;
}

// Two comma-separated counts.
bool parsePair(const std::string& text, std::array<int, 2>& pair) {
  const std::vector<std::string> parts = splitCommas(text);
  return parts.size() == 2 && parseCount(parts[0], pair[0]) && parseCount(parts[1], pair[1]);
}

// The options that only a conversion reads.
bool convertsOnly(const std::string& flag) {
  for (const char* option : {"--name", "--thresholds", "--steps", "--output-dir", "--save-images", "--format",
                             "--image-format", "--tiled", "--full-strips", "--bank", "--max-tiles", "--depfile",
                             "--summary-json"})
    if (flag == option) return true;
  return false;
}

// The checks of --render once every option is read: it reads files of earlier runs, not pictures.
ParseResult renderUsage(ParseResult& result, const std::vector<std::string>& seen,
                        const std::vector<std::string>& files) {
  const Options& o = result.options;
  for (const std::string& flag : seen)
    if (convertsOnly(flag)) return usageError("l'option " + flag + " ne sert pas avec --render");
  if (!files.empty()) return usageError("l'option --render ne prend pas d'images : " + quoted(files[0]));
  const bool tileSheet = o.plane == RenderedPlane::SpriteTiles || o.plane == RenderedPlane::BackgroundTiles;
  if (tileSheet) {
    if (!o.maps && !o.tiles) return usageError("l'option --render demande --tiles ou --maps");
  } else {
    if (!o.maps) return usageError("l'option --render demande --maps (les cartes PREFIXE1.lvl et PREFIXE2.lvl)");
    if (!o.width) return usageError("l'option --render demande --width (la largeur des cartes en cases)");
  }
  return result;
}

// The value named `name` among `choices`, if any.
template <class T>
std::optional<T> choose(const std::string& name, std::initializer_list<std::pair<const char*, T>> choices) {
  for (const auto& [text, value] : choices)
    if (name == text) return value;
  return std::nullopt;
}

}  // namespace

const char* const kNotWithGame[] = {"--name",   "--thresholds", "--tile-size",  "--steps",     "--output-dir",
                                    "--save-images", "--format", "--image-format", "--tiled",   "--full-strips",
                                    "--flips",  "--flip-bits",  "--bank",       "--max-tiles", "--tile-base",
                                    "--map-order", "--render", "--maps", "--tiles", "--width", "--plane", nullptr};

std::string quoted(const std::string& text) { return "« " + text + " »"; }

const char* formatName(OutputFormat format) {
  switch (format) {
    case OutputFormat::Bin: return "bin";
    case OutputFormat::Asm: return "asm";
    case OutputFormat::C: return "c";
  }
  return "";
}

int countCharacters(const std::string& text) {
  int count = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

ParseResult parseOptions(const std::vector<std::string>& args) {
  ParseResult result;
  Options& o = result.options;
  std::vector<std::string> files;
  std::set<std::string> given;  // options with a value seen so far
  std::vector<std::string> seen;  // every option, in order
  bool optionsEnded = false;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    std::string flag = arg;
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      flag = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }

    const bool takesValue = flag == "--name" || flag == "--thresholds" || flag == "--tile-size" ||
                            flag == "--steps" || flag == "--output-dir" || flag == "--save-images" ||
                            flag == "--format" || flag == "--image-format" || flag == "--tiled" ||
                            flag == "--flip-bits" || flag == "--bank" || flag == "--max-tiles" ||
                            flag == "--tile-base" || flag == "--map-order" || flag == "--render" ||
                            flag == "--maps" || flag == "--tiles" || flag == "--width" || flag == "--plane" ||
                            flag == "--game" || flag == "--depfile" || flag == "--summary-json";
    const bool isSwitch = flag == "--quiet" || flag == "--full-strips" || flag == "--help" ||
                          flag == "--version" || flag == "--flips";
    if (!takesValue && !isSwitch) return usageError("option inconnue : " + flag);
    if (isSwitch && inlineValue) return usageError("l'option " + flag + " ne prend pas de valeur");
    seen.push_back(flag);

    if (flag == "--help") {
      result.action = ParseResult::Action::Help;
      return result;
    }
    if (flag == "--version") {
      result.action = ParseResult::Action::Version;
      return result;
    }
    if (flag == "--quiet") {
      o.quiet = true;
      continue;
    }
    if (flag == "--full-strips") {
      o.fullStrips = true;
      continue;
    }
    if (flag == "--flips") {
      o.flips = true;
      continue;
    }

    std::string value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return usageError("l'option " + flag + " demande une valeur");
    }

    // An option given twice is most likely a mistake in a script; none silently wins.
    if (!given.insert(flag).second) return usageError("l'option " + flag + " est donnée deux fois");

    if (flag == "--name") {
      if (const std::optional<std::string> problem = baseNameProblem(value)) return usageError(*problem);
      o.name = value;
    } else if (flag == "--thresholds") {
      const std::vector<std::string> parts = splitCommas(value);
      bool ok = parts.size() == 3;
      for (size_t k = 0; ok && k < 3; ++k) ok = parseThreshold(parts[k], o.thresholds[k]);
      if (!ok)
        return usageError("seuils incorrects : " + quoted(value) +
                          " (trois entiers de 0 à 1023 séparés par des virgules attendus)");
    } else if (flag == "--tile-size") {
      // Decimal digits, leading zeros allowed as in the other numbers.
      int size = 0;
      if (!parseCount(value, size) || (size != 16 && size != 8)) return usageError("taille de tuile incorrecte : " + quoted(value) + " (16 ou 8)");
      o.tileSize = size;
    } else if (flag == "--steps") {
      std::array<bool, kStepCount> chosen{};
      const std::vector<std::string> names = splitCommas(value);
      if (names.size() == 1 && names[0] == "none") {
        o.steps = chosen;
        continue;
      }
      for (const std::string& name : names) {
        bool known = false;
        for (const StepInfo& info : kSteps) {
          if (name == info.name) {
            chosen[static_cast<int>(info.step)] = true;
            known = true;
          }
        }
        if (!known) {
          if (name == "none")
            return usageError("l'étape none ne se combine pas avec d'autres étapes");
          return usageError("étape inconnue : " + quoted(name) +
                            " (cutout, grey, mask, overlay, lists, optimise, maps ou none)");
        }
      }
      o.steps = chosen;
    } else if (flag == "--output-dir" || flag == "--save-images" || flag == "--tiled") {
      if (value.empty()) return usageError("l'option " + flag + " demande un dossier");
      if (flag == "--output-dir") o.outputDir = value;
      else if (flag == "--save-images") o.saveImagesDir = value;
      else o.tiledDir = value;
    } else if (flag == "--format") {
      o.formats.clear();
      for (const std::string& name : splitCommas(value)) {
        const std::optional<OutputFormat> chosen =
            choose<OutputFormat>(name, {{"bin", OutputFormat::Bin}, {"asm", OutputFormat::Asm}, {"c", OutputFormat::C}});
        if (!chosen) return usageError("format incorrect : " + quoted(name) + " (bin, asm ou c)");
        if (o.writes(*chosen)) return usageError("le format " + name + " est donné deux fois dans --format");
        o.formats.push_back(*chosen);
      }
    } else if (flag == "--image-format") {
      const std::optional<ImageFormat> chosen =
          choose<ImageFormat>(value, {{"bmp", ImageFormat::Bmp}, {"png", ImageFormat::Png}});
      if (!chosen) return usageError("format d'image incorrect : " + quoted(value) + " (bmp ou png)");
      o.imageFormat = *chosen;
    } else if (flag == "--flip-bits") {
      std::array<int, 2> bits{};
      if (!parsePair(value, bits) || bits[0] < 8 || bits[0] > 15 || bits[1] < 8 || bits[1] > 15 ||
          bits[0] == bits[1])
        return usageError("bits de symétrie incorrects : " + quoted(value) +
                          " (deux bits différents de 8 à 15 séparés par une virgule attendus)");
      o.flipBits = bits;
    } else if (flag == "--bank") {
      if (value.empty()) return usageError("l'option --bank demande un préfixe de fichiers");
      o.bank = value;
    } else if (flag == "--game") {
      if (value.empty()) return usageError("l'option --game demande un fichier de jeu");
      o.game = value;
    } else if (flag == "--depfile" || flag == "--summary-json") {
      if (value.empty()) return usageError("l'option " + flag + " demande un nom de fichier");
      (flag == "--depfile" ? o.depfile : o.summaryJson) = value;
    } else if (flag == "--max-tiles") {
      std::array<int, 2> budgets{};
      if (!parsePair(value, budgets))
        return usageError("budgets de tuiles incorrects : " + quoted(value) +
                          " (deux entiers positifs ou nuls séparés par une virgule attendus)");
      o.maxTiles = budgets;
    } else if (flag == "--tile-base") {
      std::array<int, 2> bases{};
      if (!parsePair(value, bases))
        return usageError("bases de tuiles incorrectes : " + quoted(value) +
                          " (deux entiers positifs ou nuls séparés par une virgule attendus)");
      o.tileBase = bases;
    } else if (flag == "--map-order") {
      const std::optional<MapOrder> chosen =
          choose<MapOrder>(value, {{"rows", MapOrder::Rows}, {"columns", MapOrder::Columns}});
      if (!chosen) return usageError("ordre des cartes incorrect : " + quoted(value) + " (rows ou columns)");
      o.mapOrder = *chosen;
    } else if (flag == "--render" || flag == "--maps" || flag == "--tiles") {
      if (value.empty())
        return usageError("l'option " + flag + (flag == "--render" ? " demande un fichier" : " demande un préfixe de fichiers"));
      if (flag == "--render") o.render = value;
      else if (flag == "--maps") o.maps = value;
      else o.tiles = value;
    } else if (flag == "--width") {
      const std::vector<std::string> parts = splitCommas(value);
      std::array<int, 2> columns{};
      bool ok = parts.size() <= 2;
      for (size_t k = 0; ok && k < parts.size(); ++k) ok = parseCount(parts[k], columns[k]) && columns[k] > 0;
      if (!ok)
        return usageError("largeur incorrecte : " + quoted(value) +
                          " (un nombre de cases positif, ou deux séparés par une virgule)");
      if (parts.size() == 1) columns[1] = columns[0];
      o.width = columns;
    } else if (flag == "--plane") {
      const std::optional<RenderedPlane> chosen = choose<RenderedPlane>(
          value, {{"level", RenderedPlane::Level}, {"sprite", RenderedPlane::Sprite},
                  {"background", RenderedPlane::Background}, {"sprite-tiles", RenderedPlane::SpriteTiles},
                  {"background-tiles", RenderedPlane::BackgroundTiles}});
      if (!chosen)
        return usageError("plan incorrect : " + quoted(value) +
                          " (level, sprite, background, sprite-tiles ou background-tiles)");
      o.plane = *chosen;
    }
  }

  // A game file decides everything of its conversion: the options that it sets, and those of a
  // single run, are refused beside it, so that no value comes from two places.
  if (o.game) {
    for (const char* const* option = kNotWithGame; *option; ++option)
      if (std::find(seen.begin(), seen.end(), *option) != seen.end())
        return usageError(std::string("l'option ") + *option + " ne se combine pas avec --game (le fichier de jeu en décide)");
    // The game's runner does not give its report to these writers yet: refused rather than
    // silently left unwritten.
    for (const char* option : {"--depfile", "--summary-json"})
      if (std::find(seen.begin(), seen.end(), option) != seen.end())
        return usageError(std::string("l'option ") + option + " ne se combine pas encore avec --game");
    if (!files.empty())
      return usageError("--game ne prend pas d'images : elles sont dans le fichier de jeu (" + quoted(files[0]) + ")");
    return result;
  }

  if (o.flipBits && !o.flips) return usageError("l'option --flip-bits demande --flips");

  // A base at which not even tile 0 fits is refused before any work.
  if (o.tileBase) {
    const MapLayout layout = o.mapLayout();
    for (const MapPlane plane : {MapPlane::Sprite, MapPlane::Background}) {
      if (layout.base(plane) < layout.indexLimit()) continue;
      std::string limit = format("%lld au plus", layout.indexLimit() - 1);
      if (layout.flipBits) limit += format(" sous le bit de symétrie %d", layout.flipBits->lowest());
      return usageError(format("base de tuiles trop grande pour la carte %s : %d (%s)",
                               plane == MapPlane::Sprite ? "des sprites" : "de l'arrière-plan",
                               layout.base(plane), limit.c_str()));
    }
  }

  if (o.render) return renderUsage(result, seen, files);
  for (const char* option : {"--maps", "--tiles", "--width", "--plane"})
    if (given.count(option)) return usageError(std::string("l'option ") + option + " demande --render");

  // The base name starts every label of the sources.
  for (const OutputFormat format : o.formats)
    if (format != OutputFormat::Bin && !isSourceName(o.name))
      return usageError("nom de base incorrect pour --format " + std::string(formatName(format)) + " : " +
                        quoted(o.name) + " (une lettre ASCII, puis lettres, chiffres ou _)");

  if (files.size() != 3)
    return usageError(format("trois fichiers attendus (SPRITES ARRIERE-PLAN COMPLET), %zu donné%s",
                             files.size(), files.size() > 1 ? "s" : ""));
  o.sprites = files[0];
  o.background = files[1];
  o.full = files[2];
  return result;
}

std::string usageText() {
  return "Usage : tavrik-batch [OPTIONS] SPRITES ARRIERE-PLAN COMPLET\n"
         "        tavrik-batch --render IMAGE.png --maps PREFIXE --width CASES [OPTIONS]\n"
         "        tavrik-batch --game FICHIER [--quiet]\n"
         "\n"
         "Convertit les trois images d'un niveau (plan de sprites, arrière-plan, plan complet ;\n"
         "fichiers bitmap .bmp ou PNG .png de même taille) en tuiles de quatre niveaux de gris et\n"
         "en cartes d'indices de tuiles, et écrit les fichiers NOM1.lvl, NOM2.lvl, NOM1.bin et\n"
         "NOM2.bin. Dans une image PNG, un pixel dont l'opacité est sous 128 (sur 255) devient\n"
         "fuchsia, la couleur transparente du plan de sprites.\n"
         "\n"
         "Options :\n"
         "  --name NOM             nom de base des fichiers, 7 caractères au plus (défaut : Demo)\n"
         "  --thresholds T1,T2,T3  seuils noir/gris foncé, gris foncé/gris clair, gris clair/blanc,\n"
         "                         entiers de 0 à 1023 (défaut : 100,170,300)\n"
         "  --tile-size 16|8       taille des tuiles en pixels (défaut : 16)\n"
         "  --steps LISTE          étapes à exécuter, séparées par des virgules (défaut : toutes) ;\n"
         "                         elles s'exécutent toujours dans l'ordre ci-dessous ;\n"
         "                         none : chargement des images seulement\n"
         "  --output-dir DOSSIER   dossier des quatre fichiers (défaut : le dossier courant)\n"
         "  --save-images DOSSIER  enregistre aussi les images de travail (BMP 24 bits)\n"
         "  --format bin|asm|c     bin : les quatre fichiers binaires (défaut) ; asm : un source\n"
         "                         assembleur NOM.s (dc.w) ; c : NOM.h et NOM.c (C99) ; plusieurs\n"
         "                         formats séparés par des virgules (bin,asm,c) écrivent chacun\n"
         "                         leurs fichiers\n"
         "  --image-format bmp|png format des images de --save-images (défaut : bmp) ; png :\n"
         "                         PNG 8 bits RVB, ou à palette quand elle suffit\n"
         "  --tiled DOSSIER        écrit aussi le niveau en carte Tiled : NOM.tmx, NOM1.png et\n"
         "                         NOM2.png\n"
         "  --full-strips          construit les bandes de tuiles complètes comme la fenêtre\n"
         "                         (plus lent, plus de mémoire ; mêmes fichiers)\n"
         "  --flips                une tuile miroir d'une autre (gauche-droite, haut-bas ou les\n"
         "                         deux) n'est enregistrée qu'une fois ; la carte dit comment\n"
         "                         la retourner\n"
         "  --flip-bits H,V        bits des cartes qui disent le retournement gauche-droite et\n"
         "                         haut-bas, de 8 à 15 (défaut : 14,15) ; avec --flips\n"
         "  --bank PREFIXE         banque de tuiles partagée : PREFIXE1.bin et PREFIXE2.bin\n"
         "                         d'une conversion précédente passent en tête des listes, et\n"
         "                         leurs indices ne changent jamais\n"
         "  --max-tiles N1,N2      nombre de tuiles au plus des listes de sprites et\n"
         "                         d'arrière-plan après l'optimisation ; au-delà, échec\n"
         "  --depfile FICHIER      écrit aussi une règle make : les fichiers écrits dépendent\n"
         "                         des images et de la banque lues\n"
         "  --summary-json FICHIER écrit aussi le résumé en JSON (tuiles, cartes, fichiers)\n"
         "  --game FICHIER         convertit tous les niveaux d'un jeu décrit par un fichier TOML,\n"
         "                         dans l'ordre, sur une banque de tuiles commune (voir\n"
         "                         docs/games.md) ; sans images ni options de conversion\n"
         "  --tile-base N1,N2      ajouté à chaque indice de tuile des cartes de sprites et\n"
         "                         d'arrière-plan (défaut : 0,0 ; une case sans tuile reste 0)\n"
         "  --map-order rows|columns  ordre des cartes : ligne par ligne (défaut) ou colonne\n"
         "                         par colonne, chaque colonne de haut en bas\n"
         "  --quiet                ni progression ni résumé\n"
         "  --help                 affiche cette aide et quitte\n"
         "  --version              affiche la version et quitte\n"
         "\n"
         "Rendu : redessine en PNG les fichiers d'une conversion (sans images en entrée ;\n"
         "--tile-size, --flips, --flip-bits, --tile-base et --map-order disent comment ils\n"
         "ont été écrits) :\n"
         "  --render IMAGE.png     écrit l'image\n"
         "  --maps PREFIXE         cartes PREFIXE1.lvl (sprites) et PREFIXE2.lvl (arrière-plan)\n"
         "  --tiles PREFIXE        tuiles PREFIXE1.bin et PREFIXE2.bin (défaut : celui de --maps)\n"
         "  --width C1[,C2]        largeur des cartes en cases (C1,C2 quand elles diffèrent)\n"
         "  --plane level|sprite|background|sprite-tiles|background-tiles  ce qui est dessiné :\n"
         "                         le niveau (défaut : l'arrière-plan, les sprites par-dessus),\n"
         "                         un plan, ou les tuiles d'une liste, 16 par rangée\n"
         "\n"
         "Étapes :\n"
         "  cutout    Détourage des sprites\n"
         "  grey      Couleur -> NG4\n"
         "  mask      Application du masque virtuel\n"
         "  overlay   Aperçu de la superposition\n"
         "  lists     Création des listes de sprites\n"
         "  optimise  Optimisation des listes\n"
         "  maps      Création des MAPS (cartes et écriture des quatre fichiers)\n"
         "\n"
         "Images enregistrées par --save-images (celles qui ont au moins un pixel) :\n"
         "  sprite-plane.bmp, background-plane.bmp, full-plane.bmp, sprite-list.bmp,\n"
         "  background-list.bmp, scratch-strip.bmp, sprite-map.bmp, background-map.bmp\n"
         "  (.png au lieu de .bmp avec --image-format png)\n"
         "\n"
         "Codes de sortie :\n"
         "  0  succès\n"
         "  1  échec du chargement d'une image, d'une étape, d'une écriture ou d'un rendu\n"
         "  2  mauvaise utilisation (option ou valeur incorrecte, dossier introuvable)\n"
         "\n"
         "Exemple :\n"
         "  tavrik-batch --name Niv1 --output-dir sortie 1-sprites.bmp 2-background.bmp 3-full.bmp\n"
         "  tavrik-batch --render niv1.png --maps sortie/Niv1 --width 32\n";
}

std::string versionText() { return std::string("tavrik-batch ") + TAVRIK_VERSION + "\n"; }

}  // namespace tavrik::batch
