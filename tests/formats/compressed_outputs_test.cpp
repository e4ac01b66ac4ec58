// --compress on the outputs of tavrik-batch: the binary files, the assembler source linked with
// the 68000 decoders and run under qemu-m68k, the C source compiled with the C decoders.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "cli/game_fixtures.h"
#include "formats/decoder_harness.h"
#include "imaging/surface.h"

namespace tavrik::test {
namespace {

struct Case {
  std::string name;
  std::vector<std::string> pictures;
  std::vector<std::string> options;
};

std::vector<Case> cases(const TempFolder& scratch) {
  // Three 8 x 8 pictures: empty maps and lists.
  std::vector<std::string> tiny;
  for (const char* name : {"s.bmp", "b.bmp", "f.bmp"}) {
    Surface surface(8, 8);
    surface.fillRect(0, 0, 8, 8);
    tiny.push_back(scratch / name);
    writeBitmapFile(surface, tiny.back());
  }
  return {{"Demo", demoPictures(), {}},
          {"Lv8", demoPictures(), {"--tile-size", "8", "--flips"}},
          {"Cols", demoPictures(), {"--map-order", "columns", "--tile-base", "16,100"}},
          {"Tiny", tiny, {}}};
}

const char* const kTables[] = {"1_lvl", "2_lvl", "1_bin", "2_bin"};

ToolRun convert(const Case& c, const std::vector<std::string>& more, const TempFolder& out) {
  std::vector<std::string> args{"--name", c.name, "--output-dir", out.str()};
  args.insert(args.end(), c.options.begin(), c.options.end());
  args.insert(args.end(), more.begin(), more.end());
  args.insert(args.end(), c.pictures.begin(), c.pictures.end());
  return runTool(args);
}

// The plain files of `c`, as the tables of the sources hold them on the 68000: the map records
// big-endian, by table suffix ("1_lvl").
std::map<std::string, Bytes> plainTables(const Case& c, bool bigEndianMaps) {
  TempFolder out;
  EXPECT_EQ(convert(c, {"--quiet"}, out).status, 0);
  std::map<std::string, Bytes> tables;
  for (const char* t : kTables) {
    std::string file = c.name + t;
    file[file.size() - 4] = '.';
    Bytes bytes = bytesOf(readWholeFile(out / file));
    if (bigEndianMaps && std::string(t).ends_with("lvl"))
      for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    tables[t] = bytes;
  }
  return tables;
}

TEST(CompressedOutputs, BinaryFilesDecodeIntoThePlainFiles) {
  TempFolder scratch;
  for (const Case& c : cases(scratch)) {
    const auto plain = plainTables(c, false);
    TempFolder none, without;
    // --compress none is today's run, byte for byte and message for message.
    const ToolRun a = convert(c, {"--compress", "none"}, none), b = convert(c, {}, without);
    EXPECT_EQ(a.status, 0);
    const auto summary = [](std::string text, const TempFolder& folder) {
      for (size_t at; (at = text.find(folder.str())) != std::string::npos;) text.replace(at, folder.str().size(), "DIR");
      return text;
    };
    EXPECT_EQ(summary(a.out, none), summary(b.out, without));
    EXPECT_EQ(a.err, b.err);
    EXPECT_EQ(none.entries(), without.entries());
    for (const std::string& f : none.entries()) EXPECT_EQ(readWholeFile(none / f), readWholeFile(without / f));

    for (const Compression k : {Compression::Rle, Compression::Lz4}) {
      SCOPED_TRACE(c.name + " " + compressionName(k));
      TempFolder out;
      const ToolRun run = convert(c, {"--quiet", "--compress", compressionName(k)}, out);
      ASSERT_EQ(run.status, 0) << run.err;
      std::vector<std::string> expected;
      for (const char* t : kTables) {
        std::string file = c.name + t + compressionSuffix(k);
        file[c.name.size() + 1] = '.';
        expected.push_back(file);
        const CDecoded decoded = cDecode(k, bytesOf(readWholeFile(out / file)));
        EXPECT_EQ(decoded.status, TAVRIK_DECODE_OK) << file;
        EXPECT_TRUE(decoded.data == plain.at(t)) << file;
      }
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(out.entries(), expected);
      // With every format at once, the sources join the same files.
      TempFolder all;
      ASSERT_EQ(convert(c, {"--quiet", "--compress", compressionName(k), "--format", "c,bin,asm"}, all).status, 0);
      for (const char* source : {".c", ".h", ".s"}) expected.push_back(c.name + source);
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(all.entries(), expected);
      for (const std::string& f : out.entries()) EXPECT_EQ(readWholeFile(all / f), readWholeFile(out / f));
    }
  }
}

// A C file that lists the tables NAME1_lvl ... for m68k/decode.c, with their sizes: the header's
// macros (C), or the assembler's constants as `values` gives them.
std::string linkedStreams(const std::string& name, const std::map<std::string, long>* values) {
  std::string text = "#include <stddef.h>\n";
  if (!values) text += "#include \"" + name + ".h\"\n";
  const auto value = [&](const std::string& constant) {
    return values ? std::to_string(values->count(constant) ? values->at(constant) : -1) : constant;
  };
  for (const char* t : kTables)
    if (values) text += "extern const unsigned char " + name + t + "[];\n";
  text += "struct LinkedStream { const char *name; const unsigned char *stream; unsigned long size, decoded; };\n";
  text += "const struct LinkedStream tavrik_linked_streams[] = {\n";
  for (const char* t : kTables) {
    const std::string label = name + t;
    text += "  {\"" + label + "\", " + label + ", " + value(label + "_SIZE") + ", " + value(label + "_DECODED_SIZE") + "},\n";
  }
  return text + "  {NULL, NULL, 0, 0}};\n";
}

// The absolute symbols (the equ constants) of the assembler source `source`.
std::map<std::string, long> assembledConstants(const std::string& source, const TempFolder& folder) {
  std::map<std::string, long> constants;
  const std::string as = findProgram("m68k-linux-gnu-as"), nm = findProgram("m68k-linux-gnu-nm");
  if (as.empty() || nm.empty()) return constants;
  EXPECT_EQ(runCommand({as, "--mri", "-o", folder / "constants.o", source}).status, 0);
  for (const std::string& line : runCommand({nm, folder / "constants.o"}).outLines()) {
    std::istringstream fields(line);
    std::string hex, type, symbol;
    fields >> hex >> type >> symbol;
    if (type == "a") constants[symbol] = std::stol(hex, nullptr, 16);
  }
  return constants;
}

// A host program that decodes the C tables with tavrik_decoders.h into files named after them.
std::string cDecodeProgram(const std::string& name, Compression k) {
  std::string text = "#include <stdio.h>\n#include \"tavrik_decoders.h\"\n#include \"" + name + ".h\"\n";
  text += "static int put(const char *path, const uint8_t *stream, size_t size, size_t decoded) {\n"
          "  static uint8_t data[1 << 20];\n  size_t n = 0;\n  FILE *file;\n"
          "  if (tavrik_" + std::string(compressionName(k)) + "_decode(stream, size, data, decoded, &n) != "
          "TAVRIK_DECODE_OK || n != decoded) return 1;\n"
          "  file = fopen(path, \"wb\");\n"
          "  return !file || fwrite(data, 1, n, file) != n || fclose(file) != 0;\n}\n"
          "int main(void) {\n  return 0";
  for (const char* t : kTables) {
    const std::string label = name + t;
    text += "\n    | put(\"" + label + "\", " + label + ", " + label + "_SIZE, " + label + "_DECODED_SIZE)";
  }
  return text + ";\n}\n";
}

TEST(CompressedOutputs, SourceTablesDecodeIntoTheirValues) {
  const std::string cc = findProgram("cc");
  TempFolder scratch;
  for (const Case& c : cases(scratch)) {
    const auto plain = plainTables(c, true);
    for (const Compression k : {Compression::Rle, Compression::Lz4})
      for (const char* format : {"asm", "c"}) {
        SCOPED_TRACE(c.name + " " + compressionName(k) + " " + format);
        const bool isC = std::string(format) == "c";
        TempFolder out;
        const ToolRun run = convert(c, {"--quiet", "--compress", compressionName(k), "--format", format}, out);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::map<std::string, long> constants =
            isC ? std::map<std::string, long>{} : assembledConstants(out / (c.name + ".s"), out);
        std::ofstream(out / "linked.c") << linkedStreams(c.name, isC ? nullptr : &constants);

        // On the 68000: the source linked with the decoders, run under qemu-m68k.
        std::vector<std::string> extra{out / "linked.c", out / (c.name + (isC ? ".c" : ".s"))};
        if (isC) extra.insert(extra.begin(), "-I" + out.str());
        const M68kProgram m68k(extra);
        if (m68k.missing().empty()) {
          ASSERT_EQ(m68k.error(), "");
          std::vector<std::string> args;
          for (const char* t : kTables) args.insert(args.end(), {compressionName(k), "=" + c.name + t, t});
          const ToolRun decoded = m68k.run(args, out.str());
          EXPECT_EQ(decoded.status, 0) << decoded.err;
          for (const char* t : kTables) EXPECT_TRUE(bytesOf(readWholeFile(out / t)) == plain.at(t)) << t;
        }

        // On this machine: the C source with the C decoders.
        if (!isC || cc.empty()) continue;
        std::ofstream(out / "main.c") << cDecodeProgram(c.name, k);
        ToolRun built = runCommand({cc, "-std=c99", "-Wall", "-Wextra", "-pedantic", "-Werror",
                                    "-I" TAVRIK_SOURCE_DIR "/decoders", "-o", out / "decode",
                                    out / "main.c", out / (c.name + ".c")});
        ASSERT_EQ(built.status, 0) << built.err;
        EXPECT_EQ(built.err, "");
        built = runCommand({out / "decode"}, out.str());
        EXPECT_EQ(built.status, 0);
        for (const char* t : kTables)
          EXPECT_TRUE(bytesOf(readWholeFile(out / (c.name + t))) == plain.at(t)) << t;
      }
  }
  if (!M68kProgram().missing().empty()) GTEST_SKIP() << M68kProgram().missing();
}

// The bank loop of docs/tavrik-batch.md with --compress: each level's compressed tiles are the
// next level's bank (the empty start bank plain), and every file decodes into the plain loop's.
TEST(CompressedOutputs, CompressedTilesServeAsTheNextBank) {
  const auto loop = [](const std::vector<std::string>& more, const TempFolder& game) {
    std::ofstream(game / "Start1.bin"), std::ofstream(game / "Start2.bin");
    std::string bank = game / "Start";
    for (const std::string n : {"1", "2", "3"}) {
      const std::string level = TAVRIK_SOURCE_DIR "/resources/levels/" + n + "/";
      std::vector<std::string> args{"--quiet", "--flips", "--bank", bank, "--name", "Niv" + n, "--output-dir", game.str()};
      args.insert(args.end(), more.begin(), more.end());
      args.insert(args.end(), {level + "1-sprites.bmp", level + "2-background.bmp", level + "3-full.bmp"});
      const ToolRun run = runTool(args);
      ASSERT_EQ(run.status, 0) << run.err;
      bank = game / ("Niv" + n);
    }
  };
  TempFolder plain;
  loop({}, plain);
  for (const Compression k : {Compression::Rle, Compression::Lz4}) {
    SCOPED_TRACE(compressionName(k));
    TempFolder game;
    loop({"--compress", compressionName(k)}, game);
    for (const std::string& file : plain.entries()) {
      if (file.starts_with("Start")) continue;
      const CDecoded decoded = cDecode(k, bytesOf(readWholeFile(game / (file + compressionSuffix(k)))));
      EXPECT_TRUE(decoded.status == TAVRIK_DECODE_OK && decoded.data == bytesOf(readWholeFile(plain / file))) << file;
    }
    // A damaged stream is no tile file.
    std::string stream = readWholeFile(game / ("Niv32.bin" + std::string(compressionSuffix(k))));
    std::ofstream(game / ("Bad2.bin" + std::string(compressionSuffix(k)))) << stream.substr(0, stream.size() - 1);
    std::filesystem::copy_file(plain / "Niv31.bin", game / "Bad1.bin");
    const std::vector<std::string> demo = demoPictures();
    const ToolRun bad = runTool({"--compress", compressionName(k), "--bank", game / "Bad", "--output-dir", game.str(),
                                 demo[0], demo[1], demo[2]});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "tavrik-batch: Fichier de tuiles incorrect : " + game / "Bad2.bin" + compressionSuffix(k) + ".\n");
  }
}

// A game file's compress key: every map and tile-set file of the game is the stream of the
// plain game's file (the starting bank stays plain, read first).
TEST(CompressedOutputs, GameFilesAreCompressedAsTheGameFileSays) {
  TempFolder plain;
  writeRandomGame(plain.str(), 5, 4, 16, true, true);
  ASSERT_EQ(runTool({"--quiet", "--game", plain / "game.toml"}).status, 0);
  std::vector<std::string> outputs;
  for (const std::string& f : plain.entries())
    if ((f.ends_with(".lvl") || f.ends_with(".bin")) && !f.starts_with("depart")) outputs.push_back(f);
  ASSERT_EQ(outputs.size(), 10u);
  for (const Compression k : {Compression::Rle, Compression::Lz4}) {
    SCOPED_TRACE(compressionName(k));
    TempFolder game;
    writeRandomGame(game.str(), 5, 4, 16, true, true, "Jeu", std::string("compress = \"") + compressionName(k) + "\"\n");
    const ToolRun run = runTool({"--quiet", "--game", game / "game.toml"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& f : outputs) {
      EXPECT_FALSE(std::filesystem::exists(game / f)) << f;
      const CDecoded decoded = cDecode(k, bytesOf(readWholeFile(game / (f + compressionSuffix(k)))));
      EXPECT_TRUE(decoded.status == TAVRIK_DECODE_OK && decoded.data == bytesOf(readWholeFile(plain / f))) << f;
    }
  }
  EXPECT_EQ(runTool({"--game", plain / "game.toml", "--compress", "lz4"}).status, 2);
}

TEST(CompressedOutputs, CompressedNamesAreCheckedAgainstThePictures) {
  // A picture under the name that an output would take is refused before anything is written.
  TempFolder folder;
  const std::vector<std::string> demo = demoPictures();
  const std::string picture = folder / "Demo1.lvl.rle";
  std::filesystem::copy_file(demo[0], picture);
  const ToolRun run = runTool({"--compress", "rle", "--output-dir", folder.str(), picture, demo[1], demo[2]});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("est une des images d'entrée"), std::string::npos) << run.err;
  const ToolRun bad = runTool({"--compress", "zip", demo[0], demo[1], demo[2]});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("compression incorrecte : « zip » (none, rle ou lz4)"), std::string::npos) << bad.err;
  // --render reads plain files only: the option is refused there, not ignored.
  const ToolRun render = runTool({"--render", folder / "r.png", "--maps", folder / "Demo", "--width", "32", "--compress", "lz4"});
  EXPECT_EQ(render.status, 2);
  EXPECT_NE(render.err.find("l'option --compress ne sert pas avec --render"), std::string::npos) << render.err;
}

}  // namespace
}  // namespace tavrik::test
