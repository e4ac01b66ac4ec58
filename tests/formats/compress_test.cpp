// --compress: the rle and lz4 streams, decoded by liblz4, by the C decoders and by the 68000
// decoders under an emulator, on made-up tables and on the tables of the demo and a bench scene.
#include <gtest/gtest.h>
#include <lz4.h>

#include <fstream>
#include <random>

#include "formats/decoder_harness.h"

namespace tavrik::test {
namespace {

struct Table {
  std::string name;
  Bytes bytes;
};

Bytes bigEndian(const std::vector<std::uint16_t>& words) { return wordBytes(words, true); }

// The four files of one conversion of `pictures`, named `label` and the file's name.
void addConversion(std::vector<Table>& tables, const std::string& label,
                   const std::vector<std::string>& pictures, const std::vector<std::string>& options) {
  TempFolder out;
  std::vector<std::string> args{"--quiet", "--output-dir", out.str()};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), pictures.begin(), pictures.end());
  const ToolRun run = runTool(args);
  ASSERT_EQ(run.status, 0) << run.err;
  for (const std::string& file : out.entries()) tables.push_back({label + " " + file, bytesOf(readWholeFile(out / file))});
}

std::vector<Table> tables() {
  std::mt19937 rng(24);
  const auto randomWords = [&](size_t n) {
    std::vector<std::uint16_t> w(n);
    for (auto& v : w) v = static_cast<std::uint16_t>(rng());
    return w;
  };
  std::vector<Table> t{{"empty", {}}, {"one record", {0x12, 0x34}}, {"one byte", {0x7F}}};
  t.push_back({"all equal", bigEndian(std::vector<std::uint16_t>(5000, 0x0101))});
  std::vector<std::uint16_t> w;
  for (int i = 0; i < 3000; ++i) w.push_back(static_cast<std::uint16_t>(i * 7919));
  t.push_back({"all different", bigEndian(w)});
  // Runs of 32767, 32768, 32769 and 100000 words: a control word counts 32768 at most.
  w.clear();
  for (const size_t n : {32767u, 32768u, 32769u, 100000u}) w.insert(w.end(), n, static_cast<std::uint16_t>(n));
  t.push_back({"long runs", bigEndian(w)});
  // 70001 words without a run: literal stretches of 32768 at most, then an odd byte.
  Bytes literal = bigEndian(randomWords(70001));
  literal.push_back(0xEE);
  t.push_back({"long literal, odd length", literal});
  // Pairs and triples of equal words between single ones: the coder's choices at the edges.
  w.clear();
  for (int i = 0; i < 3000; ++i) w.insert(w.end(), 1 + i % 4, static_cast<std::uint16_t>(i));
  t.push_back({"short runs", bigEndian(w)});
  Bytes random(4097);
  for (auto& b : random) b = static_cast<std::uint8_t>(rng());
  t.push_back({"random bytes", random});
  // A sparse map: mostly tile 0, some cells elsewhere.
  w.assign(20000, 0);
  for (auto& v : w)
    if (rng() % 8 == 0) v = static_cast<std::uint16_t>(rng() % 300);
  t.push_back({"sparse map", bigEndian(w)});

  addConversion(t, "demo", demoPictures(), {});
  addConversion(t, "demo 8 flips", demoPictures(), {"--tile-size", "8", "--flips"});
  // A bench scene of 1024 x 512 pixels.
  TempFolder scene;
  const ToolRun made = runCommand({TAVRIK_BINARY_DIR "/bench/tavrik-scene", "1024x512", scene.str()});
  EXPECT_EQ(made.status, 0) << made.err;
  if (made.status == 0)
    addConversion(t, "scene", {scene / "sprites.bmp", scene / "background.bmp", scene / "full.bmp"}, {});
  return t;
}

const std::vector<Table>& allTables() {
  static const std::vector<Table> t = tables();
  return t;
}

const Compression kFormats[] = {Compression::Rle, Compression::Lz4};

TEST(Compression, StreamsDecodeIntoThePlainTables) {
  M68kProgram m68k;
  if (m68k.missing().empty()) {
    ASSERT_EQ(m68k.error(), "");
  }
  TempFolder streams;
  std::vector<std::string> m68kArgs;
  std::vector<std::pair<std::string, const Table*>> m68kOutputs;

  for (const Table& table : allTables())
    for (const Compression c : kFormats) {
      SCOPED_TRACE(table.name + " " + compressionName(c));
      const Bytes stream = compressBytes(c, table.bytes);
      ASSERT_GE(stream.size(), 4u);
      const std::uint32_t length = static_cast<std::uint32_t>(stream[0]) << 24 | stream[1] << 16 | stream[2] << 8 | stream[3];
      EXPECT_EQ(length, table.bytes.size());
      if (c == Compression::Rle) {
        EXPECT_LE(stream.size(), rleBound(table.bytes.size()));
      } else {
        // liblz4 reads the block.
        Bytes plain(table.bytes.size() + 1);
        const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(stream.data() + 4),
                                          reinterpret_cast<char*>(plain.data()),
                                          static_cast<int>(stream.size() - 4), static_cast<int>(plain.size()));
        ASSERT_EQ(n, static_cast<int>(table.bytes.size()));
        plain.resize(static_cast<size_t>(n));
        EXPECT_TRUE(plain == table.bytes);
      }
      const CDecoded decoded = cDecode(c, stream);
      EXPECT_EQ(decoded.status, TAVRIK_DECODE_OK);
      EXPECT_TRUE(decoded.data == table.bytes);

      const std::string in = streams / std::to_string(m68kOutputs.size());
      std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                               static_cast<std::streamsize>(stream.size()));
      m68kArgs.insert(m68kArgs.end(), {compressionName(c), in, in + ".out"});
      m68kOutputs.push_back({in + ".out", &table});
    }

  if (!m68k.missing().empty()) GTEST_SKIP() << m68k.missing();
  const ToolRun run = m68k.run(m68kArgs);
  EXPECT_EQ(run.status, 0) << run.err;
  for (size_t k = 0; k < m68kOutputs.size(); ++k)
    EXPECT_TRUE(bytesOf(readWholeFile(m68kOutputs[k].first)) == m68kOutputs[k].second->bytes)
        << m68kOutputs[k].second->name << " " << m68kArgs[3 * k];
}

// The rle stream byte by byte, as docs/compression.md gives it.
TEST(Compression, RleStreamLayout) {
  const std::vector<std::pair<Bytes, Bytes>> cases = {
      {{}, {0, 0, 0, 0}},
      {{0x12, 0x34}, {0, 0, 0, 2, 0x00, 0x00, 0x12, 0x34}},
      {{0x12, 0x34, 0x56}, {0, 0, 0, 3, 0x00, 0x00, 0x12, 0x34, 0x56}},
      {{1, 2, 1, 2}, {0, 0, 0, 4, 0x80, 0x01, 1, 2}},
      // A pair after a literal stays in it; three equal words make a run.
      {{9, 9, 1, 2, 1, 2, 3, 3, 3, 3, 3, 3, 4, 4},
       {0, 0, 0, 14, 0x00, 0x02, 9, 9, 1, 2, 1, 2, 0x80, 0x02, 3, 3, 0x00, 0x00, 4, 4}},
  };
  for (const auto& [plain, stream] : cases) EXPECT_TRUE(compressBytes(Compression::Rle, plain) == stream);
}

// Damaged streams: the C decoders say what is wrong, never reading or writing outside the
// buffers (the sanitizers watch).
TEST(Compression, DecodersRefuseDamagedStreams) {
  struct Damaged {
    const char* what;
    Compression c;
    Bytes stream;
    int status;
  };
  const std::vector<Damaged> damaged = {
      {"no length", Compression::Rle, {0, 0, 0}, TAVRIK_DECODE_TRUNCATED},
      {"rle run past the length", Compression::Rle, {0, 0, 0, 4, 0x80, 0x02, 1, 2}, TAVRIK_DECODE_OVERRUN},
      {"rle literal past the length", Compression::Rle, {0, 0, 0, 2, 0x00, 0x01, 1, 2, 3, 4}, TAVRIK_DECODE_OVERRUN},
      {"rle literal cut", Compression::Rle, {0, 0, 0, 4, 0x00, 0x01, 1, 2, 3}, TAVRIK_DECODE_TRUNCATED},
      {"rle odd byte missing", Compression::Rle, {0, 0, 0, 1}, TAVRIK_DECODE_TRUNCATED},
      {"lz4 offset 0", Compression::Lz4, {0, 0, 0, 8, 0x10, 'a', 0, 0, 0x30}, TAVRIK_DECODE_OFFSET},
      {"lz4 offset before the start", Compression::Lz4, {0, 0, 0, 8, 0x10, 'a', 2, 0, 0x30}, TAVRIK_DECODE_OFFSET},
      {"lz4 match past the length", Compression::Lz4, {0, 0, 0, 4, 0x10, 'a', 1, 0}, TAVRIK_DECODE_OVERRUN},
      {"lz4 long match past the length", Compression::Lz4, {0, 0, 0, 9, 0x1F, 'a', 1, 0, 255, 255, 0}, TAVRIK_DECODE_OVERRUN},
      {"lz4 literals past the length", Compression::Lz4, {0, 0, 0, 1, 0x20, 'a', 'b'}, TAVRIK_DECODE_OVERRUN},
      {"lz4 literal length cut", Compression::Lz4, {0, 0, 1, 44, 0xF0, 255}, TAVRIK_DECODE_TRUNCATED},
      {"lz4 without a token", Compression::Lz4, {0, 0, 0, 0}, TAVRIK_DECODE_TRUNCATED},
  };
  for (const Damaged& d : damaged) EXPECT_EQ(cDecode(d.c, d.stream).status, d.status) << d.what;

  std::mt19937 rng(1);
  for (const Table& table : allTables())
    for (const Compression c : kFormats) {
      SCOPED_TRACE(table.name + " " + compressionName(c));
      const Bytes stream = compressBytes(c, table.bytes);
      // Every cut (a few hundred for long streams) ends too early.
      const size_t step = std::max<size_t>(1, stream.size() / 300);
      for (size_t n = 0; n < stream.size(); n += n + 40 < stream.size() ? step : 1)
        ASSERT_NE(cDecode(c, Bytes(stream.begin(), stream.begin() + static_cast<long>(n))).status, TAVRIK_DECODE_OK) << n;
      Bytes longer = stream;
      longer.push_back(0);
      EXPECT_EQ(cDecode(c, longer).status, TAVRIK_DECODE_TRAILING);
      if (!table.bytes.empty()) {
        EXPECT_EQ(cDecode(c, stream, static_cast<long>(table.bytes.size()) - 1).status, TAVRIK_DECODE_CAPACITY);
      }
      // Random damage: any verdict, but a stream taken as good gives its whole length.
      if (stream.size() > 20000 || stream.size() <= 4) continue;
      for (int k = 0; k < 200; ++k) {
        Bytes bad = stream;
        for (int flips = 1 + k % 3; flips > 0; --flips) bad[4 + rng() % (bad.size() - 4)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        const CDecoded result = cDecode(c, bad);
        if (result.status == TAVRIK_DECODE_OK) {
          EXPECT_EQ(result.data.size(), table.bytes.size());
        }
      }
    }
}

}  // namespace
}  // namespace tavrik::test
