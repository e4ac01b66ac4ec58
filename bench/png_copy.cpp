// tavrik-png-copy: writes a picture as an 8-bit RGB PNG (not interlaced, libspng's default
// compression and adaptive filtering), whatever its number of colours, for timing the PNG road.
//
//   tavrik-png-copy IN.bmp OUT.png
#include <spng.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "base/error.h"
#include "imaging/bitmap_file.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IN.bmp OUT.png\n", argv[0]);
    return 2;
  }
  try {
    const std::optional<tavrik::Surface> picture = tavrik::readBitmapFile(argv[1]);
    if (!picture || picture->empty()) {
      std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
      return 1;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(argv[2], "wb"), &std::fclose);
    std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(SPNG_CTX_ENCODER), &spng_ctx_free);
    if (!out || !ctx) return 1;
    spng_ihdr ihdr{};
    ihdr.width = static_cast<std::uint32_t>(picture->width());
    ihdr.height = static_cast<std::uint32_t>(picture->height());
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    ihdr.bit_depth = 8;
    int code = spng_set_png_file(ctx.get(), out.get());
    if (!code) code = spng_set_ihdr(ctx.get(), &ihdr);
    if (!code) code = spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
    std::vector<std::uint8_t> row(ihdr.width * 3);
    for (int y = 0; !code && y < picture->height(); ++y) {
      const tavrik::Colour* src = picture->row(y);
      for (std::uint32_t x = 0; x < ihdr.width; ++x) {
        row[3 * x] = static_cast<std::uint8_t>(tavrik::redOf(src[x]));
        row[3 * x + 1] = static_cast<std::uint8_t>(tavrik::greenOf(src[x]));
        row[3 * x + 2] = static_cast<std::uint8_t>(tavrik::blueOf(src[x]));
      }
      code = spng_encode_row(ctx.get(), row.data(), row.size());
    }
    if (code != SPNG_EOI) {
      std::fprintf(stderr, "%s: %s\n", argv[0], spng_strerror(code));
      return 1;
    }
  } catch (const tavrik::Error& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
