#include "cli/render_run.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <system_error>

#include "base/error.h"
#include "files/output_set.h"
#include "formats/map_picture.h"

namespace tavrik::batch {

namespace {

const char* planeName(RenderedPlane plane) {
  switch (plane) {
    case RenderedPlane::Level: return "level";
    case RenderedPlane::Sprite: return "sprite";
    case RenderedPlane::Background: return "background";
    case RenderedPlane::SpriteTiles: return "sprite-tiles";
    case RenderedPlane::BackgroundTiles: return "background-tiles";
  }
  return "";
}

}  // namespace

int runRender(const Options& options, Console& console) {
  const RenderRequest request = options.renderRequest();
  const std::string& output = *options.render;
  for (const std::string& input : renderedFiles(request)) {
    std::error_code ec;
    if (std::filesystem::equivalent(output, input, ec)) {
      console.err << usageErrorLine("le fichier de sortie " + quoted(output) + " (--render) est un des fichiers lus")
                  << '\n';
      return kExitUsage;
    }
  }

  Rendering rendering;
  OutputSet set;
  try {
    rendering = render(request);
    stageRendering(rendering.picture, output, set);
    set.commit();
  } catch (const std::exception& e) {
    console.err << errorLine(userMessage(e)) << '\n';
    return kExitFailure;
  }

  if (!options.quiet) {
    std::ostream& out = console.out;
    for (const RenderedSource& source : rendering.sources) {
      const bool sprite = source.plane == MapPlane::Sprite;
      out << (sprite ? "Tuiles des sprites : " : "Tuiles de l'arrière-plan : ") << source.tileFile << " ("
          << source.tileCount << (source.tileCount > 1 ? " tuiles)\n" : " tuile)\n");
      if (!source.mapFile.empty())
        out << (sprite ? "Carte des sprites : " : "Carte de l'arrière-plan : ") << source.mapFile << " ("
            << source.columns << " x " << source.rows << " cases)\n";
    }
    out << "Dessin : " << planeName(options.plane) << " (" << rendering.picture.width() << " x "
        << rendering.picture.height() << ")\n";
    out << "Fichiers écrits :\n";
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(output, ec);
    out << "  " << output << " (" << (ec ? 0 : size) << " octets)\n";
  }
  return flushOutput(console);
}

}  // namespace tavrik::batch
