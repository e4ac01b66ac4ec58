// tavrik-bench: times every step of the conversion on the three pictures of a folder written by
// tavrik-scene, and with --literal also the literal reference of each step on the same input,
// checking that both leave the same workspace, gauge sequence and files.
//
//   tavrik-bench [--literal] [--window] [--flips] [--header] [--min-time SECONDS] FOLDER
//
// Prints one table row per step: step, size, fast time, literal time, ratio, check. Each step
// starts from a copy of the workspace that the previous step left (the copy is not timed), and
// a fast step is repeated on fresh copies until it has run for --min-time seconds (default 0.5,
// at least once); the best time counts. "road" is the whole conversion in one go on a fresh
// workspace, as tavrik-batch runs it: loading the three planes, the seven steps without map
// previews, the four files. --window draws the map previews as the window does and reports,
// per stage, the gauge's changes and the longest time without one. --flips runs the road with
// mirrored tiles (tavrik-batch --flips).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/error.h"
#include "maps/export_files.h"
#include "maps/tile_maps.h"
#include "passes/colour_passes.h"
#include "tiles/tile_lists.h"
#include "workspace/workspace.h"

#ifdef TAVRIK_BENCH_LITERAL
#include "reference/literal_maps.h"
#include "reference/literal_steps.h"
#include "reference/random_workspace.h"
#endif

namespace fs = std::filesystem;
using namespace tavrik;

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Row {
  explicit Row(std::string name) : step(std::move(name)) {}
  std::string step;
  double fast = -1;
  double literal = -1;  // < 0: not run
  std::string check;    // "same", "DIFFERS: ...", or "" when not compared
};

std::string sizeText;
bool header = false;

void print(const Row& r) {
  char fast[32], literal[32], ratio[32];
  std::snprintf(fast, sizeof fast, "%.6f", r.fast);
  if (r.literal >= 0) {
    std::snprintf(literal, sizeof literal, "%.3f", r.literal);
    std::snprintf(ratio, sizeof ratio, "%.0f", r.fast > 0 ? r.literal / r.fast : 0.0);
  } else {
    std::snprintf(literal, sizeof literal, "-");
    std::snprintf(ratio, sizeof ratio, "-");
  }
  std::printf("%-16s %-11s %12s %12s %10s  %s\n", r.step.c_str(), sizeText.c_str(), fast, literal, ratio,
              r.check.empty() ? "-" : r.check.c_str());
  std::fflush(stdout);
}


#ifdef TAVRIK_BENCH_LITERAL
std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
#endif

struct TempFolder {
  fs::path path;
  explicit TempFolder(const std::string& tag) {
    path = fs::temp_directory_path() / ("tavrik-bench-" + tag + "-" + std::to_string(::getpid()));
    fs::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

void loadPlanes(Workspace& ws, const fs::path& folder) {
  ws.OpenPictureDialog1FileName = (folder / "sprites.bmp").string();
  ws.loadSlot(1, (folder / "sprites.bmp").string());
  ws.loadSlot(2, (folder / "background.bmp").string());
  ws.loadSlot(3, (folder / "full.bmp").string());
}

}  // namespace

int main(int argc, char** argv) {
  bool withLiteral = false;
  bool window = false;
  bool flips = false;
  double minTime = 0.5;
  std::string folderArg;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--literal") withLiteral = true;
    else if (a == "--header") header = true;
    else if (a == "--window") window = true;
    else if (a == "--flips") flips = true;
    else if (a == "--min-time" && i + 1 < argc) minTime = std::atof(argv[++i]);
    else folderArg = a;
  }
  if (folderArg.empty()) {
    std::fprintf(stderr, "usage: tavrik-bench [--literal] [--window] [--flips] [--header] [--min-time SECONDS] FOLDER\n");
    return 2;
  }
#ifndef TAVRIK_BENCH_LITERAL
  if (withLiteral) {
    std::fprintf(stderr, "tavrik-bench: built without the literal reference (configure with tests on)\n");
    return 2;
  }
#endif
  const fs::path folder = folderArg;
  if (header)
    std::printf("%-16s %-11s %12s %12s %10s  %s\n", "step", "size", "fast (s)", "literal (s)", "ratio", "check");

  try {
    // Loading, several times on fresh workspaces.
    Row load{"load (3 planes)"};
    {
      double best = 1e30, spent = 0;
      do {
        Workspace ws;
        const auto start = Clock::now();
        loadPlanes(ws, folder);
        const double t = since(start);
        best = std::min(best, t);
        spent += t;
        if (sizeText.empty()) sizeText = ws.Label4 + "x" + ws.Label5;
      } while (spent < minTime);
      load.fast = best;
    }
    print(load);

    // The whole road in one go, as tavrik-batch runs it, with the time of each stage of the
    // best run (fresh memory included, as in a real run).
    TempFolder roadFolder("road");
    Row road("road (all)");
    std::vector<std::pair<std::string, double>> stages;
    std::vector<std::string> gaugeLines;
    {
      double best = 1e30, spent = 0;
      do {
        std::vector<std::pair<std::string, double>> times;
        auto ws = std::make_unique<Workspace>();
        const auto start = Clock::now();
        auto lap = start;
        // Gauge: the longest time within a stage without a change of the gauge.
        auto lastChange = start;
        double still = 0;
        int changes = 0;
        ws->setProgressSink([&](int) {
          const auto now = Clock::now();
          still = std::max(still, std::chrono::duration<double>(now - lastChange).count());
          lastChange = now;
          ++changes;
        });
        std::vector<std::string> gauge;
        auto stage = [&](const char* name) {
          const auto now = Clock::now();
          const double t = std::chrono::duration<double>(now - lap).count();
          times.emplace_back(name, t);
          still = std::max(still, std::chrono::duration<double>(now - lastChange).count());
          char line[160];
          std::snprintf(line, sizeof line, "gauge  %-16s %9.3f s, %4d changes, longest without a change %.3f s", name, t,
                        changes, still);
          gauge.emplace_back(line);
          lap = lastChange = now;
          still = 0;
          changes = 0;
        };
        loadPlanes(*ws, folder);
        stage("load");
        cutOut(*ws);
        stage("cutout");
        greyLevels(*ws);
        stage("grey");
        virtualMask(*ws);
        stage("mask");
        overlayPreview(*ws);
        stage("overlay");
        TileSetOptions tileSet;
        tileSet.flips = flips;
        createTileLists(*ws, tileSet);
        stage("lists");
        optimiseTileLists(*ws, tileSet);
        stage("optimise");
        MapOptions options;
        options.drawPreviews = window;
        if (flips) options.flips = FlipBits{};
        const Maps maps = buildMaps(*ws, options);
        stage(window ? "maps+previews" : "maps (no prev.)");
        exportFiles(*ws, maps, roadFolder.path.string());
        stage("export");
        ws.reset();
        stage("release");
        const double t = since(start);
        if (t < best) {
          best = t;
          stages = std::move(times);
          gaugeLines = std::move(gauge);
        }
        spent += t;
      } while (spent < minTime);
      road.fast = best;
    }

#ifdef TAVRIK_BENCH_LITERAL
    if (withLiteral) {
      using testing::copyWorkspace;
      using testing::describeDifference;
      // The state before each step, advanced by the fast steps.
      auto current = std::make_unique<Workspace>();
      loadPlanes(*current, folder);
      double fastSum = 0, literalSum = 0;
      bool allLiteral = withLiteral;

      // Runs a fast step on copies of `current` (best of several), then the literal one; checks
      // both against each other and moves `current` on to the fast result.
      auto measure = [&](const std::string& name, const std::function<void(Workspace&)>& fast,
                         const std::function<void(Workspace&)>& slow,
                         const std::function<std::string(Workspace&, Workspace&)>& compareExtra) {
        Row row{name};
        std::unique_ptr<Workspace> after;
        std::vector<int> fastProgress;
        double best = 1e30, spent = 0;
        do {
          auto ws = std::make_unique<Workspace>();
          copyWorkspace(*current, *ws);
          std::vector<int> progress;
          testing::recordProgress(*ws, progress);
          const auto start = Clock::now();
          fast(*ws);
          const double t = since(start);
          ws->setProgressSink(nullptr);
          best = std::min(best, t);
          spent += t;
          fastProgress = std::move(progress);
          after = std::move(ws);
        } while (spent < minTime);
        row.fast = best;
        fastSum += best;
        if (withLiteral && slow) {
          auto ws = std::make_unique<Workspace>();
          copyWorkspace(*current, *ws);
          std::vector<int> progress;
          testing::recordProgress(*ws, progress);
          const auto start = Clock::now();
          slow(*ws);
          row.literal = since(start);
          ws->setProgressSink(nullptr);
          literalSum += row.literal;
          std::string difference = describeDifference(*after, *ws);
          if (difference.empty() && progress != fastProgress) difference = "gauge sequence";
          if (difference.empty() && compareExtra) difference = compareExtra(*after, *ws);
          row.check = difference.empty() ? "same" : "DIFFERS: " + difference;
        } else {
          allLiteral = false;
        }
        print(row);
        current = std::move(after);
      };

      measure("cutout", cutOut, literal::cutOut, nullptr);
      measure("grey", greyLevels, literal::greyLevels, nullptr);
      measure("mask", virtualMask, literal::virtualMask, nullptr);
      measure("overlay", overlayPreview, literal::overlayPreview, nullptr);
      using Step = void (*)(Workspace&);  // the window's steps, without tile-set options
      measure("lists", Step{createTileLists}, Step{literal::createTileLists}, nullptr);
      measure("optimise", Step{optimiseTileLists}, Step{literal::optimiseTileLists}, nullptr);

      // Maps with previews, as the window builds them; the literal command always draws them.
      std::optional<Maps> fastMaps, literalMaps;
      measure(
          "maps+previews", [&](Workspace& ws) { fastMaps = buildMaps(ws); },
          [&](Workspace& ws) { literalMaps = literal::buildMaps(ws); },
          [&](Workspace&, Workspace&) -> std::string {
            if (fastMaps->sprite.cells != literalMaps->sprite.cells) return "sprite map";
            if (fastMaps->background.cells != literalMaps->background.cells) return "background map";
            return {};
          });
      {
        // Without previews, as tavrik-batch builds them (timed only; the maps equal the above).
        Row row{"maps (no prev.)"};
        double best = 1e30, spent = 0;
        do {
          Workspace ws;
          copyWorkspace(*current, ws);
          MapOptions options;
          options.drawPreviews = false;
          const auto start = Clock::now();
          const Maps maps = buildMaps(ws, options);
          const double t = since(start);
          best = std::min(best, t);
          spent += t;
          if (maps.sprite.cells != fastMaps->sprite.cells) row.check = "DIFFERS: sprite map";
        } while (spent < minTime);
        row.fast = best;
        print(row);
      }
      // current now holds the workspace after the maps (previews drawn).
      TempFolder fastFolder("fast"), literalFolder("literal");
      measure(
          "export", [&](Workspace& ws) { exportFiles(ws, *fastMaps, fastFolder.path.string()); },
          [&](Workspace& ws) { literal::exportFiles(ws, *literalMaps, literalFolder.path.string()); },
          [&](Workspace& ws, Workspace&) -> std::string {
            for (const char* pattern : {"%s1.lvl", "%s2.lvl", "%s1.bin", "%s2.bin"}) {
              const std::string name = format(pattern, ws.Edit6.c_str());
              if (readFile((fastFolder.path / name).string()) != readFile((literalFolder.path / name).string()))
                return name;
            }
            return {};
          });
      Row steps{"7 steps (sum)"};
      steps.fast = fastSum;
      if (allLiteral) {
        steps.literal = literalSum;
        steps.check = "-";
      }
      print(steps);
      std::fprintf(stderr, "sprite tiles %s, background tiles %s\n", current->Label23.c_str(),
                   current->Label26.c_str());
    }
#else
    (void)withLiteral;
#endif
    for (const auto& [name, seconds] : stages) {
      Row row("road: " + name);
      row.fast = seconds;
      print(row);
    }
    print(road);
    if (window)
      for (const std::string& line : gaugeLines) std::printf("%s\n", line.c_str());
  } catch (const Error& e) {
    std::fprintf(stderr, "tavrik-bench: %s\n", e.message().c_str());
    return 1;
  }
  return 0;
}
