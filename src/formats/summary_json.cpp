#include "formats/summary_json.h"

#include <nlohmann/json.hpp>

namespace tavrik {

namespace {

// Raised when a key's meaning changes; new keys leave it alone.
constexpr int kSummaryVersion = 1;

nlohmann::ordered_json plane(const PlaneReport& p) {
  return {{"map_width", p.mapWidth},
          {"map_height", p.mapHeight},
          {"bank_tiles", p.bankTiles},
          {"new_tiles", p.newTiles},
          {"saved_by_mirroring", p.savedByMirroring}};
}

nlohmann::ordered_json list(const ListReport& l) {
  return {{"tiles", l.tiles}, {"budget", l.budget ? nlohmann::ordered_json(*l.budget) : nlohmann::ordered_json(nullptr)}};
}

}  // namespace

std::string summaryJson(const RunReport& report) {
  nlohmann::ordered_json levels = nlohmann::ordered_json::array();
  for (const LevelReport& level : report.levels)
    levels.push_back({{"name", level.name},
                      {"width", level.width},
                      {"height", level.height},
                      {"sprite", plane(level.sprite)},
                      {"background", plane(level.background)}});
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  for (const WrittenFile& file : report.files) files.push_back({{"path", file.path}, {"bytes", file.bytes}});
  const nlohmann::ordered_json summary = {
      {"version", report.version},
      {"summary_version", kSummaryVersion},
      {"tile_size", report.tileSize},
      {"thresholds", report.thresholds},
      {"levels", std::move(levels)},
      {"lists", {{"sprite", list(report.sprite)}, {"background", list(report.background)}}},
      {"files", std::move(files)},
  };
  // File names need not be UTF-8; their bad bytes become U+FFFD rather than stopping the run.
  return summary.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

void stageSummaryJson(const RunReport& report, const std::string& path, OutputSet& set) {
  const std::string text = summaryJson(report);
  set.add(path).write(text.data(), text.size());
}

}  // namespace tavrik
