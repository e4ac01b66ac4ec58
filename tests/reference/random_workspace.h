// Random workspaces for the differential tests: planes built from a few tile patterns so that
// duplicate tiles are frequent, odd sizes, mismatched planes, fuchsia corners, working images
// left over from earlier runs, and now and then an icon where a bitmap is expected.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imaging/picture.h"
#include "workspace/workspace.h"

namespace tavrik::testing {

using Rng = std::mt19937_64;

struct RandomWorkspaceOptions {
  int minPlaneSize = 0;           // plane widths and heights are drawn from
  int maxPlaneSize = 72;          // minPlaneSize..maxPlaneSize
  double sameSizeChance = 0.6;    // all three planes of one size
  double iconChance = 0.04;       // per plane: an icon picture instead of a bitmap
  double historyChance = 0.3;     // working images Image5..Image9 hold earlier surfaces
  double oddSettingsChance = 0.3; // thresholds out of order or above 765, 8 or 32 tile size
};

// A palette of `count` colours (at least 1) drawn from the working greys, clFuchsia and
// random 24-bit colours.
std::vector<Colour> randomPalette(Rng& rng, int count);

// A bitmap picture of width x height made of `tileSize` x `tileSize` blocks picked from a small
// bank of random patterns over `palette` (some with a clFuchsia top-left pixel, some all
// fuchsia), with occasional single-pixel noise. tileSize 0 gives independent random pixels.
Picture randomBitmap(Rng& rng, int width, int height, const std::vector<Colour>& palette,
                     int tileSize);

// An icon picture (no surface) of the platform's standard size.
Picture iconPicture();

// Replaces the three planes Image1..Image3 by random pictures. The full plane is mostly the
// sprite plane with some pixels changed, so that the cut-out finds both kinds of pixels.
void randomPlanes(Workspace& ws, Rng& rng, const RandomWorkspaceOptions& options = {});

// A whole random workspace: planes, thresholds, size choice, SpriteSize (0, 8, 16 or 32),
// counters, and sometimes working images with earlier surfaces and control sizes.
// Expects a fresh Workspace.
void randomWorkspace(Workspace& ws, Rng& rng, const RandomWorkspaceOptions& options = {});

// Overwrites about `share` of the whole S x S cells of a bitmap plane with copies of other cells
// mirrored left-right, top-bottom or both (or as they stand), so that mirrored tiles are common.
void mirrorSomeCells(ImageControl& plane, int S, Rng& rng, double share = 0.4);

// A bank of `count` S x S tiles, row by row: cells of the plane (some mirrored), tiles of random
// greys, and repeats of earlier bank tiles.
std::vector<Colour> randomBank(Rng& rng, const ImageControl& plane, int S, int count);

// Deep copy of every image (picture kind, surface pixels, control size) and every value.
// Copy before attaching a progress sink to `to`.
void copyWorkspace(const Workspace& from, Workspace& to);

// Empty when the two workspaces hold the same images (kinds, surface sizes, every pixel,
// control sizes), SpriteSize, labels, settings and progress; otherwise the first difference.
std::string describeDifference(const Workspace& a, const Workspace& b);

// Appends every value that the gauge receives to `sequence`.
void recordProgress(Workspace& ws, std::vector<int>& sequence);

}  // namespace tavrik::testing
