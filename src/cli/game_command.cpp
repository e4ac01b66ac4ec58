#include "cli/game_command.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/batch_run.h"
#include "cli/progress_bar.h"
#include "formats/run_report.h"
#include "maps/tile_bank.h"
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

// The files of --depfile and --summary-json beside a game, and what they may not be: the game
// file, the pictures, the starting bank, the game's outputs.
ReportFiles gameReportFiles(const Options& options, const game::Game& game) {
  ReportFiles files{options.depfile, options.summaryJson, {{game.file, "est le fichier de jeu"}}, {}};
  for (const game::GameLevel& level : game.levels)
    for (const std::string* picture : {&level.sprites, &level.background, &level.full})
      files.inputs.push_back({*picture, "est une des images d'entrée"});
  if (game.bank)
    for (const char* n : {"1.bin", "2.bin"})
      files.inputs.push_back({bankFilePath(*game.bank + n, game.compression), "est un fichier de la banque (bank)"});
  for (const game::GameOutput& output : game::gameOutputs(game)) files.targets.push_back({output.path, "--game"});
  return files;
}

// What the make rule and the JSON summary say of a game that succeeded.
RunReport gameRunReport(const game::Game& game, const game::GameReport& report, const ReportFiles& files,
                        OutputSet& written) {
  RunReport run;
  run.version = TAVRIK_VERSION;
  run.tileSize = game.tileSize;
  run.thresholds = report.chosenThresholds ? *report.chosenThresholds : game.thresholds;
  for (const game::LevelReport& level : report.levels) {
    LevelReport& r = run.levels.emplace_back();
    r.name = level.name;
    r.width = level.width;
    r.height = level.height;
    for (const auto& [from, to] : {std::pair{&level.sprite, &r.sprite}, std::pair{&level.background, &r.background}})
      *to = PlaneReport{from->mapWidth, from->mapHeight, from->bankTiles, from->newTiles, from->savedByMirroring};
  }
  run.sprite.tiles = report.spriteTiles;
  run.background.tiles = report.backgroundTiles;
  if (game.maxTiles) {
    run.sprite.budget = (*game.maxTiles)[0];
    run.background.budget = (*game.maxTiles)[1];
  }
  run.files = written.written();
  for (const ReportFiles::Input& input : files.inputs) run.inputs.push_back(input.path);
  return run;
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

  const ReportFiles reportFiles = gameReportFiles(options, game);
  if (const std::optional<std::string> problem = reportFilesProblem(reportFiles)) {
    console.err << usageErrorLine(*problem) << '\n';
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
  // The make rule and the summary describe a game whose files are in place.
  OutputSet reports;
  if (ok && (options.depfile || options.summaryJson)) try {
    stageReportFiles(gameRunReport(game, report, reportFiles, files), reportFiles, reports);
    reports.commit();
  } catch (const std::exception& e) {
    console.err << errorLine(userMessage(e)) << '\n';
    ok = false;
  }

  if (!options.quiet) {
    std::ostream& out = console.out;
    if (ok) {
      for (size_t i = 0; i < report.levels.size(); ++i) printLevel(out, game, report.levels[i], i);
      out << "Jeu " << game.name << " : " << game.levels.size() << (game.levels.size() > 1 ? " niveaux" : " niveau")
          << '\n';
      if (const auto& t = report.chosenThresholds) out << "Seuils choisis : " << (*t)[0] << ',' << (*t)[1] << ',' << (*t)[2] << '\n';
      out << "Nombre de sprites (plan de sprites) : " << report.spriteTiles << '\n';
      out << "Nombre de sprites (arrière-plan) : " << report.backgroundTiles << '\n';
    }
    if (!files.committed().empty() || !reports.committed().empty()) {
      out << "Fichiers écrits :\n";
      for (const OutputSet* set : {&files, &reports})
        for (const std::string& path : set->committed()) out << "  " << path << " (" << sizeOf(path) << " octets)\n";
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
