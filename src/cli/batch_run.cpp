#include "cli/batch_run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "cli/game_command.h"
#include "cli/lean_run.h"
#include "cli/progress_bar.h"
#include "cli/render_run.h"
#include "files/output_set.h"
#include "formats/depfile.h"
#include "formats/run_report.h"
#include "formats/source_export.h"
#include "formats/summary_json.h"
#include "formats/tiled_export.h"
#include "imaging/bitmap_file.h"
#include "imaging/picture_file.h"
#include "imaging/png_file.h"
#include "imaging/worker_thread.h"
#include "maps/export_files.h"
#include "maps/tile_bank.h"
#include "maps/tile_maps.h"
#include "passes/colour_passes.h"
#include "tiles/tile_lists.h"

#ifndef TAVRIK_VERSION
#define TAVRIK_VERSION "unknown"
#endif

namespace tavrik::batch {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "tavrik-batch: ";
constexpr const char* kNameTooLong = "Nom de fichier trop long : %s";

// The working images that --save-images writes, with their file names before the extension.
struct SavedImage {
  int number;
  const char* baseName;
};
constexpr SavedImage kSavedImages[] = {
    {1, "sprite-plane"}, {2, "background-plane"}, {3, "full-plane"},
    {5, "sprite-list"},  {6, "background-list"},  {7, "scratch-strip"},
    {8, "sprite-map"},   {9, "background-map"},
};

std::string savedImagePath(const Options& options, const SavedImage& saved) {
  const char* extension = options.imageFormat == ImageFormat::Png ? ".png" : ".bmp";
  return outputPath(*options.saveImagesDir, saved.baseName + std::string(extension));
}

// Checks that `path` names an existing folder; returns the problem otherwise.
std::optional<std::string> folderProblem(const std::string& path, const char* option) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec.value() == ENAMETOOLONG) return format(kNameTooLong, path.c_str());
  if (!fs::exists(status))
    return std::string("dossier introuvable pour ") + option + " : " + quoted(path);
  if (!fs::is_directory(status))
    return std::string("ce n'est pas un dossier (") + option + ") : " + quoted(path);
  return std::nullopt;
}

SourceLanguage sourceLanguage(OutputFormat outputFormat) {
  return outputFormat == OutputFormat::Asm ? SourceLanguage::Assembler : SourceLanguage::C;
}

// The names that the maps step writes in --output-dir, every format of --format in its order.
std::vector<std::string> outputNames(const Options& options) {
  std::vector<std::string> names;
  for (const OutputFormat format : options.formats) {
    const std::vector<std::string> more = format == OutputFormat::Bin
                                              ? exportFileNames(options.name)
                                              : sourceFileNames(options.name, sourceLanguage(format));
    names.insert(names.end(), more.begin(), more.end());
  }
  return names;
}

// Whether two paths name one file, whether it exists yet or not.
bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  const fs::path x = fs::weakly_canonical(fs::absolute(a, ec), ec);
  if (ec) return false;
  const fs::path y = fs::weakly_canonical(fs::absolute(b, ec), ec);
  return !ec && x == y;
}

// The files of the bank that --bank reads.
std::vector<std::string> bankFiles(const Options& options) {
  if (!options.bank) return {};
  return {*options.bank + "1.bin", *options.bank + "2.bin"};
}

// Every file that the run may write, with the option that names its folder.
std::vector<OutputTarget> outputTargets(const Options& options) {
  std::vector<OutputTarget> targets;
  if (options.runs(Step::Maps)) {
    for (const std::string& name : outputNames(options))
      targets.push_back({outputPath(options.outputDir, name), "--output-dir"});
    if (options.tiledDir)
      for (const std::string& name : tiledFileNames(options.name))
        targets.push_back({outputPath(*options.tiledDir, name), "--tiled"});
  }
  if (options.saveImagesDir)
    for (const SavedImage& saved : kSavedImages)
      targets.push_back({savedImagePath(options, saved), "--save-images"});
  return targets;
}

// The problem with the files of --depfile and --summary-json, if any: a folder that is not
// there, a file that is a picture, a bank file, an output or the other one; with --depfile, a
// path that no make rule can hold.
std::optional<std::string> reportFilesProblem(const Options& options) {
  const std::pair<const std::optional<std::string>*, const char*> reports[] = {
      {&options.depfile, "--depfile"}, {&options.summaryJson, "--summary-json"}};
  for (const auto& [file, option] : reports) {
    if (!*file) continue;
    const std::string folder = fs::path(**file).parent_path().string();
    if (!folder.empty())
      if (std::optional<std::string> problem = folderProblem(folder, option)) return problem;
    const std::string named = std::string("le fichier ") + quoted(**file) + " (" + option + ")";
    std::error_code ec;
    if (fs::is_directory(**file, ec)) return named + " est un dossier";
    if (!outputPathFits(**file)) return format(kNameTooLong, (*file)->c_str());
    for (const std::string* input : {&options.sprites, &options.background, &options.full})
      if (sameFile(**file, *input)) return named + " est une des images d'entrée";
    for (const std::string& bankFile : bankFiles(options))
      if (sameFile(**file, bankFile)) return named + " est un fichier de la banque (--bank)";
    for (const OutputTarget& target : outputTargets(options))
      if (sameFile(**file, target.path))
        return named + " est aussi un fichier de sortie (" + target.option + ")";
  }
  if (options.depfile && options.summaryJson && sameFile(*options.depfile, *options.summaryJson))
    return "le fichier " + quoted(*options.summaryJson) + " (--summary-json) est aussi celui de --depfile";
  if (options.depfile) {
    std::vector<std::pair<std::string, bool>> paths{
        {options.sprites, false}, {options.background, false}, {options.full, false}};
    for (const std::string& bankFile : bankFiles(options)) paths.emplace_back(bankFile, false);
    for (const OutputTarget& target : outputTargets(options)) paths.emplace_back(target.path, true);
    if (options.summaryJson) paths.emplace_back(*options.summaryJson, true);
    for (const auto& [path, target] : paths)
      if (makePathProblem(path, target)) return format(kNotForMake, quoted(path).c_str());
  }
  return std::nullopt;
}

std::uintmax_t sizeOf(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

// Runs `action`; returns the console line of the error that it raised, if any.
std::optional<std::string> attempt(const std::function<void()>& action) {
  try {
    action();
    return std::nullopt;
  } catch (const std::exception& e) {
    return errorLine(userMessage(e));
  }
}

// Same, with the error written out at once. Returns false on failure.
bool guarded(Console& console, const std::function<void()>& action) {
  const std::optional<std::string> error = attempt(action);
  if (error) console.err << *error << '\n';
  return !error;
}

void warnUnmatched(Console& console, const TileMap& map, const char* which) {
  if (map.unmatched <= 0) return;
  console.err << kPrefix << "attention : " << map.unmatched << (map.unmatched > 1 ? " cases" : " case")
              << " de la carte " << which << " sans tuile correspondante dans la liste\n";
}

// The steps expect three pictures of one size and check nothing; say so when they are not.
void warnPlanes(Console& console, Workspace& ws, const Options& options) {
  const std::string* files[] = {&options.sprites, &options.background, &options.full};
  // An empty picture leaves its slot at its previous size, which the window's labels (and the
  // summary) show: say both.
  const std::string* labels[][2] = {{&ws.Label4, &ws.Label5}, {&ws.Label7, &ws.Label8},
                                     {&ws.Label15, &ws.Label16}};
  for (int slot = 1; slot <= 3; ++slot) {
    const ImageControl& image = ws.image(slot);
    if (image.pictureWidth() <= 0 || image.pictureHeight() <= 0)
      console.err << kPrefix << "attention : l'image " << quoted(*files[slot - 1])
                  << " est vide (aucun pixel ; la fenêtre affiche " << *labels[slot - 1][0]
                  << " x " << *labels[slot - 1][1] << ")\n";
  }
  const ImageControl& a = ws.Image1;
  const ImageControl& b = ws.Image2;
  const ImageControl& c = ws.Image3;
  // An icon or a metafile cannot be processed at all; the first step will say so.
  const bool bitmaps = a.pictureKind() == PictureKind::Bitmap &&
                       b.pictureKind() == PictureKind::Bitmap &&
                       c.pictureKind() == PictureKind::Bitmap;
  if (bitmaps && (a.pictureWidth() != b.pictureWidth() || a.pictureWidth() != c.pictureWidth() ||
       a.pictureHeight() != b.pictureHeight() || a.pictureHeight() != c.pictureHeight()))
    console.err << kPrefix << "attention : les trois images n'ont pas la même taille ("
                << a.pictureWidth() << " x " << a.pictureHeight() << ", " << b.pictureWidth()
                << " x " << b.pictureHeight() << ", " << c.pictureWidth() << " x "
                << c.pictureHeight() << ")\n";
}

// A plane narrower or lower than a tile gives no tile: its map and its list stay empty, and so
// do their files. Said once they are written (a failed run keeps its one line); an empty
// picture has its own warning.
void warnSmallPlanes(Console& console, Workspace& ws, const Options& options, const LeanRun* lean) {
  const std::string* files[] = {&options.sprites, &options.background};
  for (int slot = 1; slot <= 2; ++slot) {
    const ImageControl& image = ws.image(slot);
    if (!lean && image.pictureKind() != PictureKind::Bitmap) continue;
    const int width = lean ? lean->width() : image.pictureWidth();
    const int height = lean ? lean->height() : image.pictureHeight();
    const int S = options.tileSize;
    if (width <= 0 || height <= 0 || (width >= S && height >= S)) continue;
    console.err << kPrefix << "attention : l'image " << quoted(*files[slot - 1]) << " (" << width << " x "
                << height << ") est plus petite qu'une tuile (" << S << " x " << S
                << ") : sa carte et ses tuiles sont vides\n";
  }
}

// Loads the three planes, each decoded on a thread of its own (a PNG decodes on one core), then
// puts them into their slots in order; the first that failed, in slot order, is reported and
// stops the road, as loading them one after the other would.
bool loadPlanes(const Options& options, Workspace& ws, Console& console) {
  const std::string* files[3] = {&options.sprites, &options.background, &options.full};
  std::optional<Picture> pictures[3];
  std::optional<std::string> errors[3];
  auto load = [&](int k) {
    errors[k] = attempt([&] { pictures[k] = loadPictureFile(*files[k], PictureRules::Batch); });
  };
  {
    // A thread that cannot start loads its plane here (see WorkerThread).
    std::vector<WorkerThread> others;
    others.reserve(2);
    for (int k = 1; k < 3; ++k) others.emplace_back([&load, k] { load(k); });
    load(0);
  }
  for (int k = 0; k < 3; ++k) {
    if (errors[k]) {
      console.err << *errors[k] << '\n';
      return false;
    }
    ws.setSlotPicture(k + 1, std::move(*pictures[k]));
  }
  return true;
}

// The bar of the lean road's reading: drawn from the first progress told once the reading has
// lasted `delay`, so that a short run shows the bars of the steps only.
class ReadingBar {
 public:
  ReadingBar(ProgressBar& bar, std::chrono::milliseconds delay)
      : bar_(bar), delay_(delay), start_(std::chrono::steady_clock::now()) {}
  void update(int percent) {
    if (!shown_ && std::chrono::steady_clock::now() - start_ < delay_) return;
    if (!shown_) bar_.begin(kReadingCaption);
    shown_ = true;
    bar_.update(percent);
  }
  void end(bool succeeded) {
    if (shown_) bar_.end(succeeded);
  }

 private:
  static constexpr const char* kReadingCaption = "Lecture des images";
  ProgressBar& bar_;
  std::chrono::milliseconds delay_;
  std::chrono::steady_clock::time_point start_;
  bool shown_ = false;
};

// Budget message: list, count, budget.
constexpr const char* kOverBudget = "Trop de tuiles dans la liste %s : %d (budget de %d)";

// Stops the run when a list holds more tiles than its budget.
void checkTileBudgets(const Workspace& ws, const std::array<int, 2>& budgets) {
  const struct {
    const std::string& counter;
    const char* list;
    int budget;
  } lists[] = {{ws.Label23, "des sprites", budgets[0]}, {ws.Label26, "de l'arrière-plan", budgets[1]}};
  for (const auto& l : lists) {
    int count = 0;
    if (tryTextToInt(l.counter, count) && count > l.budget)
      throw Error(format(kOverBudget, l.list, count, l.budget));
  }
}

// What the dependency file and the JSON summary say of this run (the files written aside).
RunReport runReport(const Options& options, const Workspace& ws, const TileBank& bank,
                    const OptimiseReport& mirrored, const std::array<int, 2> (&mapGrids)[2]) {
  RunReport report;
  report.version = TAVRIK_VERSION;
  report.tileSize = options.tileSize;
  report.thresholds = options.thresholds;
  const auto count = [](const std::string& label) {
    int value = 0;
    return tryTextToInt(label, value) && value > 0 ? value : 0;
  };
  LevelReport level;
  level.name = options.name;
  level.width = count(ws.Label4);
  level.height = count(ws.Label5);
  const struct {
    PlaneReport& plane;
    ListReport& list;
    const std::vector<Colour>& bank;
    const std::string& counter;
    int saved;
    const std::array<int, 2>& grid;
  } planes[] = {{level.sprite, report.sprite, bank.sprites, ws.Label23, mirrored.spriteSavedByMirroring, mapGrids[0]},
                {level.background, report.background, bank.backgrounds, ws.Label26,
                 mirrored.backgroundSavedByMirroring, mapGrids[1]}};
  for (size_t k = 0; k < 2; ++k) {
    const auto& p = planes[k];
    p.plane.mapWidth = p.grid[0];
    p.plane.mapHeight = p.grid[1];
    p.plane.bankTiles = bankTileCount(p.bank, options.tileSize);
    p.list.tiles = count(p.counter);
    p.plane.newTiles = std::max(0, p.list.tiles - p.plane.bankTiles);
    p.plane.savedByMirroring = p.saved;
    if (options.maxTiles) p.list.budget = (*options.maxTiles)[k];
  }
  report.levels.push_back(std::move(level));
  report.inputs = {options.sprites, options.background, options.full};
  for (const std::string& file : bankFiles(options)) report.inputs.push_back(file);
  return report;
}

}  // namespace

int flushOutput(Console& console) {
  console.out.flush();
  if (console.out) return kExitSuccess;
  console.err << kPrefix << "écriture impossible sur la sortie standard\n";
  return kExitFailure;
}

std::optional<std::string> outputsProblem(const std::vector<OutputTarget>& targets,
                                          const std::vector<std::string>& inputs) {
  // The temporary files are longer than the final names: a run must not do all its work and
  // then fail to create them.
  for (const OutputTarget& target : targets)
    if (!outputPathFits(target.path)) return format(kNameTooLong, target.path.c_str());
  for (const OutputTarget& target : targets) {
    for (const std::string& input : inputs) {
      std::error_code ec;
      if (fs::equivalent(target.path, input, ec))
        return std::string("le fichier de sortie ") + quoted(target.path) + " (" + target.option +
               ") est une des images d'entrée";
    }
  }
  return std::nullopt;
}

std::string errorLine(const std::string& message) {
  std::string text = errorBoxText(message);
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return kPrefix + text;
}

std::string usageErrorLine(const std::string& message) {
  return kPrefix + message + " (voir tavrik-batch --help)";
}

int runBatch(const Options& options, Workspace& ws, Console& console) {
  std::optional<std::string> problem;
  if (!options.outputDir.empty()) problem = folderProblem(options.outputDir, "--output-dir");
  if (!problem && options.saveImagesDir)
    problem = folderProblem(*options.saveImagesDir, "--save-images");
  if (!problem && options.tiledDir) problem = folderProblem(*options.tiledDir, "--tiled");
  if (!problem)
    problem = outputsProblem(outputTargets(options), {options.sprites, options.background, options.full});
  if (!problem) problem = reportFilesProblem(options);
  if (problem) {
    console.err << usageErrorLine(*problem) << '\n';
    return kExitUsage;
  }

  // The window's controls, as the user would have set them.
  ws.CSpinEdit1 = options.thresholds[0];
  ws.CSpinEdit2 = options.thresholds[1];
  ws.CSpinEdit3 = options.thresholds[2];
  ws.RadioButton1 = options.tileSize == 8;
  ws.RadioButton2 = options.tileSize == 16;
  ws.Edit6 = options.name;
  ws.OpenPictureDialog1FileName = options.sprites;

  // The bank is read whole before anything else, so that the run may write over its files.
  TileBank bank;
  if (options.bank && !guarded(console, [&] { bank = readTileBank(*options.bank, options.tileSize); }))
    return kExitFailure;
  TileSetOptions tileSet;
  tileSet.flips = options.flips;
  tileSet.spriteBank = bank.sprites;
  tileSet.backgroundBank = bank.backgrounds;
  OptimiseReport optimised;  // of the window's road; the lean road keeps its own

  ProgressBar bar(console.err, console.progressBar && !options.quiet);
  ws.setProgressSink([&bar](int percent) { bar.update(percent); });

  // Pictures that allow it go the lean road: converted at once, band by band, the steps then
  // only showing their results. The others are loaded whole for the window's steps.
  const std::unique_ptr<LeanRun> lean = LeanRun::plan(options);
  bool ok = true;
  if (lean) {
    ReadingBar reading(bar, console.readingBarDelay);
    const std::optional<std::string> error =
        attempt([&] { lean->convert(ws, bank, [&reading](int percent) { reading.update(percent); }); });
    // The bar's line ends before the error is written on its own line.
    reading.end(!error);
    if (error) console.err << *error << '\n';
    ok = !error;
  } else {
    ok = loadPlanes(options, ws, console);
  }

  // The lean road takes only non-empty pictures of one size: nothing to warn about.
  if (ok && !lean) warnPlanes(console, ws, options);

  // The four files go out as one set; `exported` tells whether all of them are in place.
  OutputSet files;
  bool exported = false;
  std::array<int, 2> mapGrids[2]{};  // columns and rows of the sprite and background maps
  for (const StepInfo& info : kSteps) {
    if (!ok) break;
    if (!options.runs(info.step)) continue;
    bar.begin(info.caption);
    std::optional<Maps> maps;
    const std::optional<std::string> error = attempt([&] {
      // The lean road's steps before the maps only show what the conversion gave.
      if (lean && info.step != Step::Maps) lean->replay(ws, info.step);
      else switch (info.step) {
        case Step::CutOut: cutOut(ws); break;
        case Step::Grey: greyLevels(ws); break;
        case Step::Mask: virtualMask(ws); break;
        case Step::Overlay: overlayPreview(ws); break;
        case Step::Lists: createTileLists(ws, tileSet); break;
        case Step::Optimise: optimised = optimiseTileLists(ws, tileSet); break;
        case Step::Maps: {
          if (options.maxTiles && !options.runs(Step::Optimise)) checkTileBudgets(ws, *options.maxTiles);
          if (lean) {
            lean->replay(ws, Step::Maps);
            maps = std::move(lean->maps());
          } else {
            // The previews only matter when the images are saved.
            MapOptions mapOptions;
            mapOptions.drawPreviews = options.saveImagesDir.has_value();
            mapOptions.flips = options.mapFlipBits();
            maps = buildMaps(ws, mapOptions);
            maps->layout = options.mapLayout();
          }
          // The set's folders are locked before its first file, in one order.
          std::vector<std::string> folders{options.outputDir};
          if (options.tiledDir) folders.push_back(*options.tiledDir);
          files.lockFolders(folders);
          // The sources and the Tiled map share one set of tables, built when the first of
          // them needs it: after the name's check for the sources, after the binary files
          // (which encode their own) for the Tiled map.
          std::optional<ExportTables> tables;
          for (const OutputFormat format : options.formats) {
            if (format == OutputFormat::Bin) {
              stageExportFiles(ws, *maps, options.outputDir, files);
            } else {
              checkSourceName(ws.Edit6);
              if (!tables) tables = exportTables(ws, *maps);
              stageSource(ws.Edit6, *tables, sourceLanguage(format), options.outputDir, files);
            }
          }
          if (options.tiledDir) {
            if (!tables) tables = exportTables(ws, *maps);
            stageTiled(ws.Edit6, *tables, *maps, *options.tiledDir, files);
          }
          files.commit();
          exported = true;
          break;
        }
      }
      if (info.step == Step::Optimise && options.maxTiles) checkTileBudgets(ws, *options.maxTiles);
    });
    ok = !error;
    // The bar's line ends before the error is written on its own line.
    bar.end(ok);
    if (error) console.err << *error << '\n';
    if (maps) {
      mapGrids[0] = {maps->sprite.columns, maps->sprite.rows};
      mapGrids[1] = {maps->background.columns, maps->background.rows};
      warnUnmatched(console, maps->sprite, "des sprites");
      warnUnmatched(console, maps->background, "de l'arrière-plan");
    }
    if (exported && info.step == Step::Maps) warnSmallPlanes(console, ws, options, lean.get());
  }
  ws.setProgressSink(nullptr);
  // A set that failed lets go of its folders now: a run waiting for one of them may hold the
  // folder of the images.
  files.abandon();

  // The images are saved even after a failure, to show how far the conversion went; they too
  // go out as one set.
  OutputSet images;
  if (options.saveImagesDir) {
    const bool saved = guarded(console, [&] {
      for (const SavedImage& image : kSavedImages) {
        const Surface* surface = ws.image(image.number).surfaceIfAny();
        if (!surface || surface->empty()) continue;
        StagedFile& file = images.add(savedImagePath(options, image));
        if (options.imageFormat == ImageFormat::Png) writePng(*surface, file);
        else writeBitmap(*surface, file);
      }
      images.commit();
    });
    ok = ok && saved;
  }

  // The make rule and the summary describe a run that succeeded, once its files are in place.
  OutputSet reports;
  if (ok && (options.depfile || options.summaryJson)) {
    const OptimiseReport mirrored = lean ? lean->report() : optimised;
    RunReport report = runReport(options, ws, bank, mirrored, mapGrids);
    for (const OutputSet* set : {&files, &images})
      for (WrittenFile& file : set->written()) report.files.push_back(std::move(file));
    ok = guarded(console, [&] {
      if (options.summaryJson) stageSummaryJson(report, *options.summaryJson, reports);
      if (options.depfile) {
        std::vector<std::string> alsoMade;
        if (options.summaryJson) alsoMade.push_back(*options.summaryJson);
        stageDepfile(report, alsoMade, *options.depfile, reports);
      }
      reports.commit();
    });
  }

  if (!options.quiet) {
    std::ostream& out = console.out;
    // After a failure, only what was written.
    if (ok) {
      const auto plane = [&](const char* title, const std::string& file, const std::string& w,
                             const std::string& h) {
        out << title << " : " << file << " (" << w << " x " << h << ")\n";
      };
      plane("Plan de sprites", options.sprites, ws.Label4, ws.Label5);
      plane("Arrière-plan", options.background, ws.Label7, ws.Label8);
      plane("Plan complet", options.full, ws.Label15, ws.Label16);
      std::string ran;
      for (const StepInfo& info : kSteps)
        if (options.runs(info.step)) ran += std::string(ran.empty() ? "" : ", ") + info.name;
      out << "Étapes : " << (ran.empty() ? "aucune" : ran) << '\n';
      out << "Nombre de sprites (plan de sprites) : " << ws.Label23 << '\n';
      out << "Nombre de sprites (arrière-plan) : " << ws.Label26 << '\n';
      if (options.bank) {
        const int S = options.tileSize;
        out << "Banque de tuiles : " << *options.bank << " (" << bankTileCount(bank.sprites, S) << " + "
            << bankTileCount(bank.backgrounds, S) << " tuiles)\n";
      }
      if (options.flips && options.runs(Step::Optimise)) {
        const OptimiseReport report = lean ? lean->report() : optimised;
        out << "Tuiles économisées par symétrie (plan de sprites) : " << report.spriteSavedByMirroring << '\n';
        out << "Tuiles économisées par symétrie (arrière-plan) : " << report.backgroundSavedByMirroring << '\n';
      }
    }
    const auto list = [&](const char* title, const std::vector<std::string>& paths) {
      if (paths.empty()) return;
      out << title << " :\n";
      for (const std::string& path : paths) out << "  " << path << " (" << sizeOf(path) << " octets)\n";
    };
    std::vector<std::string> written = files.committed();
    written.insert(written.end(), reports.committed().begin(), reports.committed().end());
    list("Fichiers écrits", written);
    list("Images enregistrées", images.committed());
    if (ok && exported) out << closingMessage(ws) << '\n';
  }
  const int flushed = flushOutput(console);
  return ok ? flushed : kExitFailure;
}

int runCommandLine(const std::vector<std::string>& args, Console& console) {
  const ParseResult parsed = parseOptions(args);
  switch (parsed.action) {
    case ParseResult::Action::Help:
      console.out << usageText();
      return flushOutput(console);
    case ParseResult::Action::Version:
      console.out << versionText();
      return flushOutput(console);
    case ParseResult::Action::UsageError:
      console.err << usageErrorLine(parsed.error) << '\n';
      return kExitUsage;
    case ParseResult::Action::Run:
      break;
  }
  if (parsed.options.game) return runGameCommand(parsed.options, console);
  if (parsed.options.render) return runRender(parsed.options, console);
  Workspace ws;
  return runBatch(parsed.options, ws, console);
}

}  // namespace tavrik::batch
