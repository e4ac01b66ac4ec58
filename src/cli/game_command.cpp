#include "cli/game_command.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/progress_bar.h"
#include "game/game.h"
#include "game/game_run.h"
#include "base/error.h"

namespace tavrik::batch {

namespace {

// One progress line per level: its name and how far the game has come.
class GameConsole final : public game::GameObserver {
 public:
  GameConsole(const game::Game& game, Console& console, bool quiet)
      : game_(game), console_(console), bar_(console.err, console.progressBar && !quiet) {}

  void levelStarted(size_t index) override {
    bar_.begin(format("Niveau %zu/%zu : %s", index + 1, game_.levels.size(), game_.levels[index].name.c_str()));
    bar_.update(0);
  }
  void levelProgress(size_t, int percent) override { bar_.update(percent); }
  void writing() override { bar_.begin("Écriture des fichiers"); }
  void levelDone(size_t, const game::LevelReport&) override {
    bar_.update(100);
    bar_.end(true);
  }
  void warning(const std::string& message) override {
    bar_.end(false);
    console_.err << "tavrik-batch: " << message << '\n';
  }
  void failed() { bar_.end(false); }
  void done() {
    bar_.update(100);
    bar_.end(true);
  }

 private:
  const game::Game& game_;
  Console& console_;
  ProgressBar bar_;
};

std::uintmax_t sizeOf(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

void printLevel(std::ostream& out, const game::Game& game, const game::LevelReport& r, size_t index) {
  const game::GameLevel& level = game.levels[index];
  out << "Niveau " << r.name << " : " << level.sprites << " (" << r.width << " x " << r.height << ")\n";
  const auto plane = [&](const char* title, const game::PlaneReport& p) {
    out << "  Nombre de sprites (" << title << ") : " << p.bankTiles + p.newTiles << " (" << p.newTiles
        << (p.newTiles > 1 ? " nouveaux" : " nouveau") << ")\n";
  };
  plane("plan de sprites", r.sprite);
  plane("arrière-plan", r.background);
  if (game.flips) {
    out << "  Tuiles économisées par symétrie (plan de sprites) : " << r.sprite.savedByMirroring << '\n';
    out << "  Tuiles économisées par symétrie (arrière-plan) : " << r.background.savedByMirroring << '\n';
  }
}

}  // namespace

int runGameCommand(const Options& options, Console& console) {
  game::Game game;
  try {
    game = game::readGameFile(*options.game);
  } catch (const game::GameFileError& e) {
    console.err << "tavrik-batch: " << e.what() << '\n';
    return kExitUsage;
  }

  GameConsole observer(game, console, options.quiet);
  OutputSet files;
  game::GameReport report;
  bool ok = true;
  try {
    game::runGame(game, files, report, observer);
    observer.done();
  } catch (const std::exception& e) {
    observer.failed();
    console.err << errorLine(userMessage(e)) << '\n';
    ok = false;
  }

  if (!options.quiet) {
    std::ostream& out = console.out;
    if (ok) {
      for (size_t i = 0; i < report.levels.size(); ++i) printLevel(out, game, report.levels[i], i);
      out << "Jeu " << game.name << " : " << game.levels.size() << (game.levels.size() > 1 ? " niveaux" : " niveau")
          << '\n';
      out << "Nombre de sprites (plan de sprites) : " << report.spriteTiles << '\n';
      out << "Nombre de sprites (arrière-plan) : " << report.backgroundTiles << '\n';
    }
    if (!files.committed().empty()) {
      out << "Fichiers écrits :\n";
      for (const std::string& path : files.committed()) out << "  " << path << " (" << sizeOf(path) << " octets)\n";
    }
  }
  console.out.flush();
  if (!console.out) {
    console.err << "tavrik-batch: écriture impossible sur la sortie standard\n";
    return kExitFailure;
  }
  return ok ? kExitSuccess : kExitFailure;
}

}  // namespace tavrik::batch
