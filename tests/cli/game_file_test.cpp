// A bad game file is refused with status 2 before any picture is read, on one line naming the
// file, the line and the key; options that the file sets are refused beside --game.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/batch_run.h"
#include "cli/run_tool.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

const std::string kLevel = "[[level]]\nname = \"Niv1\"\nsprites = \"s.bmp\"\nbackground = \"b.bmp\"\nfull = \"f.bmp\"\n";

struct Case {
  const char* what;
  std::string text;  // the game file
  int line;          // 0: no line named
  std::string key;   // "" : no key named
  std::string message;
};

TEST(GameFile, ErrorsNameTheFileTheLineAndTheKeyWithStatus2AndNothingWritten) {
  const Case cases[] = {
      {"syntax error", "name = \"Jeu\"\ntile-size = \n" + kLevel, 2, "", "syntaxe TOML incorrecte"},
      {"unknown key", "name = \"Jeu\"\ntile_size = 8\n" + kLevel, 2, "tile_size", "clé inconnue"},
      {"unknown level key", "name = \"Jeu\"\n" + kLevel + "sprite = \"x.bmp\"\n", 7, "level.sprite", "clé inconnue"},
      {"wrong type", "name = \"Jeu\"\n\ntile-size = \"16\"\n" + kLevel, 3, "tile-size", "entier attendu"},
      {"wrong type of a list", "name = \"Jeu\"\nthresholds = [1, 2]\n" + kLevel, 2, "thresholds", "seuils incorrects"},
      {"bad value", "name = \"Jeu\"\ntile-size = 32\n" + kLevel, 2, "tile-size", "taille de tuile incorrecte"},
      {"bad format", "name = \"Jeu\"\nformats = [\"bin\", \"png\"]\n" + kLevel, 2, "formats", "format incorrect : « png »"},
      {"bad map order", "name = \"Jeu\"\nmap-order = \"diagonal\"\n" + kLevel, 2, "map-order", "ordre des cartes incorrect"},
      {"tile base too large", "name = \"Jeu\"\nflips = true\ntile-base = [0, 16384]\n" + kLevel, 3, "tile-base",
       "base de tuiles trop grande pour la carte de l'arrière-plan : 16384 (16383 au plus)"},
      {"flip bits without flips", "name = \"Jeu\"\nflip-bits = [8, 9]\n" + kLevel, 2, "flip-bits", "demande flips = true"},
      {"missing name", "tile-size = 8\n" + kLevel, 1, "name", "valeur manquante"},
      {"missing level value", "name = \"Jeu\"\n\n[[level]]\nname = \"Niv1\"\nsprites = \"s.bmp\"\nbackground = \"b.bmp\"\n", 3,
       "level.full", "valeur manquante"},
      {"no level", "name = \"Jeu\"\n", 0, "", "aucun niveau"},
      {"level not a table list", "name = \"Jeu\"\nlevel = 3\n", 2, "level", "tables [[level]] attendues"},
      {"duplicate level name", "name = \"Jeu\"\n" + kLevel + kLevel, 8, "level.name", "deux niveaux portent le nom « Niv1 »"},
      {"bad level name", "name = \"Jeu\"\n[[level]]\nname = \"a/b\"\nsprites = \"s.bmp\"\nbackground = \"b.bmp\"\nfull = \"f.bmp\"\n",
       3, "level.name", "le caractère / est interdit"},
      {"name not an identifier for sources", "name = \"1Jeu\"\nformats = [\"asm\"]\n" + kLevel, 1, "name",
       "nom de base incorrect pour les formats asm et c"},
      {"colliding outputs", "name = \"Niv1\"\nformats = [\"asm\"]\n" + kLevel, 4, "level.name",
       "Niv1.s » du jeu est aussi celui du niveau « Niv1 »"},
      {"output over a picture", "name = \"Jeu\"\ntiled = \".\"\n" + kLevel + "", 0, "", ""},
      {"missing folder", "name = \"Jeu\"\noutput-dir = \"nowhere\"\n" + kLevel, 2, "output-dir", "dossier introuvable"},
      {"path too long once the temporary file counts", "name = \"Jeu\"\noutput-dir = \"long\"\n" + kLevel, 4, "level.name",
       "Nom de fichier trop long : "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    std::string text = c.text;
    int line = c.line;
    std::string key = c.key, message = c.message;
    if (std::string(c.what) == "output over a picture") {
      // The game's sprite tile set picture would replace the level's full plane.
      text.replace(text.find("f.bmp"), 5, "Jeu1.png");
      line = 7, key = "level.full", message = "Jeu1.png » du jeu est une des images d'entrée";
      std::ofstream(folder / "Jeu1.png") << "picture";
    }
    if (std::string(c.what).rfind("path too long", 0) == 0) {
      // A folder whose path leaves room for the names but not for their temporary files.
      std::string dir = folder.str();
      while (4070 - dir.size() > 202) dir.append("/").append(200, 'd');
      const size_t last = 4070 - dir.size() - 1;
      dir.append("/").append(last, 'd');
      fs::create_directories(dir);
      text.replace(text.find("\"long\""), 6, "\"" + dir + "\"");
    }
    std::ofstream(folder / "game.toml") << text;
    const std::vector<std::string> before = folder.entries();
    std::ostringstream out, err;
    batch::Console console{out, err, false};
    const int status = batch::runCommandLine({"--game", folder / "game.toml"}, console);
    EXPECT_EQ(status, 2);
    const std::string expected = "tavrik-batch: fichier de jeu « " + (folder / "game.toml") + " »" +
                                 (line ? ", ligne " + std::to_string(line) : "") + (key.empty() ? "" : ", clé " + key) +
                                 " : ";
    EXPECT_EQ(err.str().rfind(expected, 0), 0u) << err.str();
    EXPECT_NE(err.str().find(message), std::string::npos) << err.str();
    EXPECT_EQ(ToolRun::lines(err.str()).size(), 1u) << err.str();
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(folder.entries(), before);
  }
}

TEST(GameFile, OptionsThatTheFileSetsAndPicturesAreRefusedBesideGame) {
  TempFolder folder;
  std::ofstream(folder / "game.toml") << "name = \"Jeu\"\n" + kLevel;
  const std::vector<std::vector<std::string>> refused = {
      {"--name", "X"}, {"--tile-size=8"}, {"--flips"}, {"--format", "asm"}, {"--output-dir", "."}, {"--bank", "b"},
      {"--max-tiles", "1,1"}, {"--thresholds", "1,2,3"}, {"--tiled", "."}, {"--steps", "none"}, {"--save-images", "."},
      {"--full-strips"}, {"--tile-base", "1,1"}, {"--map-order", "columns"}, {"--render", "x.png"},
      {"s.bmp", "b.bmp", "f.bmp"}};
  for (const std::vector<std::string>& extra : refused) {
    SCOPED_TRACE(extra.front());
    std::vector<std::string> args{"--game", folder / "game.toml"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::ostringstream out, err;
    batch::Console console{out, err, false};
    EXPECT_EQ(batch::runCommandLine(args, console), 2);
    EXPECT_NE(err.str().find(extra.front()[0] == '-' ? "ne se combine pas avec --game" : "--game ne prend pas d'images"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"game.toml"});
  }
}

}  // namespace
}  // namespace tavrik::test
