// The render's round trip: tavrik-batch --render draws files back into pictures, which must be
// exactly the pictures that the same run saved (--save-images, --tiled).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap_file.h"
#include "imaging/png_file.h"
#include "run_tool.h"

namespace tavrik::test {

// A BMP or PNG picture, by its extension; empty when it cannot be read.
inline Surface loadSavedPicture(const std::string& path) {
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0) return readPngFile(path).value_or(Surface());
  const std::string bytes = readWholeFile(path);
  return decodeBitmap(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// Where two pictures differ, "" when they are the same.
inline std::string pictureDifference(const Surface& got, const Surface& want) {
  if (got.width() != want.width() || got.height() != want.height())
    return "size " + std::to_string(got.width()) + " x " + std::to_string(got.height()) + " instead of " +
           std::to_string(want.width()) + " x " + std::to_string(want.height());
  long long differing = 0;
  std::string first;
  for (int y = 0; y < want.height(); ++y)
    for (int x = 0; x < want.width(); ++x)
      if (got.read(x, y) != want.read(x, y) && differing++ == 0)
        first = ", first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
  return differing ? std::to_string(differing) + " pixels differ" + first : "";
}

// Runs tavrik-batch --render with `args` and --plane `plane` into a scratch folder and expects
// exactly the picture in the file `expected`.
inline void expectRendering(const std::vector<std::string>& args, const std::string& plane,
                            const std::string& expected, const std::string& context) {
  TempFolder drawn;
  std::vector<std::string> command{"--render", drawn / "drawn.png", "--plane", plane};
  command.insert(command.end(), args.begin(), args.end());
  const ToolRun run = runTool(command);
  ASSERT_EQ(run.status, 0) << context << " " << plane << "\n" << run.err;
  EXPECT_EQ(pictureDifference(loadSavedPicture(drawn / "drawn.png"), loadSavedPicture(expected)), "")
      << context << ": --plane " << plane << " against " << expected;
}

// The two grey planes and the overlay preview that --save-images wrote into `images`, from the
// files that `args` name (--maps, --width, ...).
inline void expectRenderedPlanes(const std::vector<std::string>& args, const std::string& images,
                                 const std::string& context) {
  expectRendering(args, "sprite", images + "/sprite-plane.bmp", context);
  expectRendering(args, "background", images + "/background-plane.bmp", context);
  expectRendering(args, "level", images + "/full-plane.bmp", context);
}

}  // namespace tavrik::test
