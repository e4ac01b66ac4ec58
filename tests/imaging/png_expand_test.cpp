// The reader's own expansion of stored samples (PngRowExpander, used for every picture that is not
// interlaced) against libspng's expansion to RGBA with tRNS applied, for every colour type, bit
// depth, with and without tRNS, at odd widths: the same colours.
#include <gtest/gtest.h>
#include <spng.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "imaging/png_file.h"

using namespace tavrik;

namespace {

struct Shape {
  int colourType, depth;
  bool trns;
  int paletteSize;  // palette pictures: entries, fewer than the depth can index for the bad case
};

// A PNG file of random samples written by libspng's encoder; a quarter of the pixels take the
// tRNS key (grey, RGB) so that it matters.
std::vector<std::uint8_t> encodeRandom(const Shape& shape, int width, int height, std::mt19937& random) {
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr ihdr{};
  ihdr.width = static_cast<std::uint32_t>(width);
  ihdr.height = static_cast<std::uint32_t>(height);
  ihdr.bit_depth = static_cast<std::uint8_t>(shape.depth);
  ihdr.color_type = static_cast<std::uint8_t>(shape.colourType);
  spng_set_ihdr(ctx, &ihdr);
  const unsigned channels = shape.colourType == 2 ? 3 : shape.colourType == 4 ? 2 : shape.colourType == 6 ? 4 : 1;
  const std::uint32_t top = shape.depth == 16 ? 0xFFFF : (1u << shape.depth) - 1;
  std::vector<std::uint16_t> key(3);
  for (std::uint16_t& k : key) k = static_cast<std::uint16_t>(random() % (top + 1));
  if (shape.colourType == 3) {
    spng_plte plte{};
    plte.n_entries = static_cast<std::uint32_t>(shape.paletteSize);
    for (int i = 0; i < shape.paletteSize; ++i)
      plte.entries[i] = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                         static_cast<std::uint8_t>(random()), 0};
    spng_set_plte(ctx, &plte);
  }
  if (shape.trns) {
    spng_trns trns{};
    trns.gray = key[0];
    trns.red = key[0];
    trns.green = key[1];
    trns.blue = key[2];
    if (shape.colourType == 3) {
      trns.n_type3_entries = static_cast<std::uint32_t>(random() % (shape.paletteSize + 1));
      for (std::uint32_t i = 0; i < trns.n_type3_entries; ++i) trns.type3_alpha[i] = static_cast<std::uint8_t>(random());
    }
    spng_set_trns(ctx, &trns);
  }
  // Samples from the high bits of each byte, 16-bit ones in host order (SPNG_FMT_PNG).
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * channels * shape.depth + 7) / 8;
  std::vector<std::uint8_t> image(rowBytes * height, 0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.data() + rowBytes * y;
    for (int x = 0; x < width; ++x) {
      const bool keyed = random() % 4 == 0;
      for (unsigned c = 0; c < channels; ++c) {
        const std::uint32_t v = keyed && c < 3 ? key[c] : random() % (top + 1);
        const std::size_t i = static_cast<std::size_t>(x) * channels + c;
        if (shape.depth == 16) {
          const std::uint16_t w = static_cast<std::uint16_t>(v);
          std::memcpy(row + 2 * i, &w, 2);
        } else if (shape.depth == 8) {
          row[i] = static_cast<std::uint8_t>(v);
        } else {
          const std::size_t bit = i * shape.depth;
          row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - shape.depth - bit % 8));
        }
      }
    }
  }
  const int code = spng_encode_image(ctx, image.data(), image.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
  EXPECT_EQ(code, 0) << spng_strerror(code);
  std::size_t size = 0;
  int error = 0;
  auto* bytes = static_cast<std::uint8_t*>(spng_get_png_buffer(ctx, &size, &error));
  std::vector<std::uint8_t> file(bytes, bytes + size);
  std::free(bytes);
  spng_ctx_free(ctx);
  return file;
}

// libspng's decoding to RGBA8 (RGBA16 for 16-bit channels) with tRNS applied, then the reader's
// rule: alpha below 128 gives clFuchsia.
std::vector<Colour> libspngColours(const std::vector<std::uint8_t>& file, bool wide) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, file.data(), file.size());
  const int fmt = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
  std::size_t size = 0;
  std::vector<Colour> colours;
  if (spng_decoded_image_size(ctx, fmt, &size) == 0) {
    std::vector<std::uint8_t> image(size);
    if (spng_decode_image(ctx, image.data(), size, fmt, SPNG_DECODE_TRNS) == 0) {
      const auto to8 = [](std::uint16_t v) { return (std::uint32_t{v} * 255 + 32767) / 65535; };
      for (std::size_t i = 0; i < size / (wide ? 8 : 4); ++i) {
        std::uint32_t c[4];
        for (int k = 0; k < 4; ++k) {
          if (wide) {
            std::uint16_t v;
            std::memcpy(&v, image.data() + 8 * i + 2 * k, 2);
            c[k] = to8(v);
          } else {
            c[k] = image[4 * i + k];
          }
        }
        colours.push_back(c[3] < 128 ? clFuchsia : rgb(c[0], c[1], c[2]));
      }
    }
  }
  spng_ctx_free(ctx);
  return colours;
}

TEST(PngExpand, EveryColourTypeDepthAndTransparencyExpandsAsLibspngDoes) {
  const Shape shapes[] = {
      {0, 1, false, 0}, {0, 1, true, 0}, {0, 2, false, 0}, {0, 2, true, 0}, {0, 4, false, 0}, {0, 4, true, 0},
      {0, 8, false, 0}, {0, 8, true, 0}, {0, 16, false, 0}, {0, 16, true, 0},
      {2, 8, false, 0}, {2, 8, true, 0}, {2, 16, false, 0}, {2, 16, true, 0},
      {3, 1, false, 2}, {3, 1, true, 2}, {3, 2, false, 4}, {3, 2, true, 4}, {3, 4, false, 16}, {3, 4, true, 16},
      {3, 8, false, 256}, {3, 8, true, 256}, {3, 8, true, 200},
      {4, 8, false, 0}, {4, 16, false, 0}, {6, 8, false, 0}, {6, 16, false, 0},
      // Indices past the palette: libspng makes them opaque black, and so must the reader.
      {3, 1, false, 1}, {3, 2, true, 3}, {3, 4, false, 9}, {3, 8, false, 100},
  };
  std::mt19937 random(20);
  for (const Shape& shape : shapes) {
    for (const int width : {1, 2, 3, 5, 7, 8, 9, 13, 17, 31, 33}) {
      SCOPED_TRACE("colour type " + std::to_string(shape.colourType) + ", depth " + std::to_string(shape.depth) +
                   (shape.trns ? ", tRNS" : "") + ", palette " + std::to_string(shape.paletteSize) + ", width " +
                   std::to_string(width));
      const std::vector<std::uint8_t> file = encodeRandom(shape, width, 4, random);
      const std::vector<Colour> expected = libspngColours(file, shape.depth == 16);
      std::vector<Colour> ours;
      std::string error;
      try {
        const Surface surface = decodePng(file);
        ours.assign(surface.pixels().begin(), surface.pixels().end());
      } catch (const Error& e) {
        error = e.message();
      }
      ASSERT_EQ(expected.size(), static_cast<std::size_t>(width) * 4);
      EXPECT_EQ(error, "");
      EXPECT_EQ(ours, expected);
    }
  }
}

}  // namespace
