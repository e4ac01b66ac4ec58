// --format asm and --format c, checked by the tools that consume them: the 68000 GNU assembler
// and the C compiler must give back exactly the values of the binary files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "formats/format_fixtures.h"
#include "imaging/surface.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

// One conversion, written both as the binary files and as sources.
struct Case {
  std::string name;
  int tileSize;
  int pictureWidth, pictureHeight;
  std::vector<std::string> pictures;
  std::vector<std::string> options = {};  // further options of both runs
  long flipH = -1, flipV = -1;            // the mirror bits, with --flips
};

// Three 8 x 8 pictures: no whole 16-pixel cell, so empty maps and empty lists.
std::vector<std::string> tinyPictures(const TempFolder& folder) {
  std::vector<std::string> files;
  for (const char* name : {"s.bmp", "b.bmp", "f.bmp"}) {
    Surface surface(8, 8);
    surface.fillRect(0, 0, 8, 8);
    files.push_back(folder / name);
    writeBitmapFile(surface, files.back());
  }
  return files;
}

std::vector<Case> cases(const TempFolder& scratch) {
  const std::vector<std::string> demoFiles = demoPictures();
  return {{"Demo", 16, 512, 224, demoFiles},
          {"lv_8b", 8, 512, 224, demoFiles},
          {"Tiny_1", 16, 8, 8, tinyPictures(scratch)},
          {"Mirror", 16, 512, 224, demoFiles, {"--flips", "--flip-bits", "9,12"}, 9, 12},
          {"Based", 8, 512, 224, demoFiles, {"--flips", "--tile-base", "3,900", "--map-order", "columns"}, 14, 15}};
}

// Runs the tool for `c` with `--format format` into `folder`.
void convert(const Case& c, const std::string& format, const TempFolder& folder) {
  std::vector<std::string> args{"--quiet", "--format", format, "--name", c.name, "--tile-size",
                                std::to_string(c.tileSize), "--output-dir", folder.str()};
  args.insert(args.end(), c.options.begin(), c.options.end());
  args.insert(args.end(), c.pictures.begin(), c.pictures.end());
  const ToolRun run = runTool(args);
  ASSERT_EQ(run.status, 0) << run.err;
}

// Converts `c` as the binary files into `bin` and as `format` into `source`, which must then
// hold exactly `sources` (the names after the base name).
void convertBoth(const Case& c, const std::string& format, const TempFolder& bin,
                 const TempFolder& source, const std::vector<std::string>& sources) {
  convert(c, "bin", bin);
  convert(c, format, source);
  std::vector<std::string> names;
  for (const std::string& suffix : sources) names.push_back(c.name + suffix);
  EXPECT_EQ(source.entries(), names);
}

// The binary files of `c`, by suffix ("1.lvl", ...).
std::map<std::string, std::string> binaryFiles(const Case& c, const TempFolder& folder) {
  std::map<std::string, std::string> files;
  for (const char* suffix : {"1.lvl", "2.lvl", "1.bin", "2.bin"})
    files[suffix] = readWholeFile(folder / (c.name + suffix));
  return files;
}

// The constants as the assembler or the compiler saw them, against the binary files' sizes
// and the pictures' grid.
void expectConstants(const Case& c, const std::map<std::string, std::string>& files,
                     const std::map<std::string, long>& constants) {
  const auto value = [&](const std::string& suffix) {
    const auto it = constants.find(c.name + suffix);
    EXPECT_NE(it, constants.end()) << c.name + suffix;
    return it == constants.end() ? -1 : it->second;
  };
  const long s = c.tileSize;
  EXPECT_EQ(value("_TILE_SIZE"), s);
  if (c.flipH >= 0) {
    EXPECT_EQ(value("_FLIP_H_BIT"), c.flipH);
    EXPECT_EQ(value("_FLIP_V_BIT"), c.flipV);
  } else {
    EXPECT_EQ(constants.count(c.name + "_FLIP_H_BIT") + constants.count(c.name + "_FLIP_V_BIT"), 0u);
  }
  for (const std::string n : {"1", "2"}) {
    SCOPED_TRACE(c.name + n);
    EXPECT_EQ(value(n + "_lvl_WIDTH"), c.pictureWidth / s);
    EXPECT_EQ(value(n + "_lvl_HEIGHT"), c.pictureHeight / s);
    EXPECT_EQ(value(n + "_lvl_LENGTH") * 2, static_cast<long>(files.at(n + ".lvl").size()));
    EXPECT_EQ(value(n + "_bin_TILES") * s * 4, static_cast<long>(files.at(n + ".bin").size()));
    EXPECT_EQ(value(n + "_bin_LENGTH") * 2, static_cast<long>(files.at(n + ".bin").size()));
  }
}

// A map file's little-endian records, as big-endian words.
std::string swapped(std::string bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

TEST(SourceFormats, AssembledTablesHoldTheValuesOfTheBinaryFiles) {
  const std::string as = findProgram("m68k-linux-gnu-as");
  const std::string objcopy = findProgram("m68k-linux-gnu-objcopy");
  const std::string nm = findProgram("m68k-linux-gnu-nm");
  if (as.empty() || objcopy.empty() || nm.empty())
    GTEST_SKIP() << "m68k-linux-gnu-as, -objcopy or -nm missing (package binutils-m68k-linux-gnu)";

  TempFolder scratch;
  for (const Case& c : cases(scratch)) {
    SCOPED_TRACE(c.name);
    TempFolder bin, source;
    convertBoth(c, "asm", bin, source, {".s"});
    const auto files = binaryFiles(c, bin);

    // MRI mode: the Motorola syntax of the 68000's own assemblers.
    const std::string object = source / "level.o";
    ToolRun run = runCommand({as, "-M", "-o", object, source / (c.name + ".s")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    run = runCommand({objcopy, "-O", "binary", "-j", ".data", object, source / "data"});
    ASSERT_EQ(run.status, 0) << run.err;
    // The 68000 is big-endian: the map words come out byte-swapped against the .lvl files,
    // the tile words exactly as in the .bin files.
    const std::string lvl1 = swapped(files.at("1.lvl")), lvl2 = swapped(files.at("2.lvl"));
    EXPECT_EQ(readWholeFile(source / "data"), lvl1 + lvl2 + files.at("1.bin") + files.at("2.bin"));

    // Symbols: "VALUE TYPE NAME"; the tables global data (D), the constants absolute (a).
    run = runCommand({nm, object});
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, long> constants, labels;
    for (const std::string& line : run.outLines()) {
      std::istringstream fields(line);
      std::string hex, type, symbol;
      fields >> hex >> type >> symbol;
      const long value = std::stol(hex, nullptr, 16);
      if (type == "a") constants[symbol] = value;
      else if (type == "D") labels[symbol] = value;
      else ADD_FAILURE() << line;
    }
    const long a = 0, b = a + static_cast<long>(lvl1.size()), d = b + static_cast<long>(lvl2.size());
    EXPECT_EQ(labels, (std::map<std::string, long>{
                          {c.name + "1_lvl", a}, {c.name + "2_lvl", b}, {c.name + "1_bin", d},
                          {c.name + "2_bin", d + static_cast<long>(files.at("1.bin").size())}}));
    expectConstants(c, files, constants);
  }
}

// A C program that includes the header, prints the macros and writes the arrays back out in the
// binary files' byte orders.
std::string writeBackProgram(const std::string& name) {
  std::string text = "#include <stdio.h>\n#include \"" + name + ".h\"\n" + R"(
static int put(const char *path, const uint16_t *values, long count, int bigEndian) {
  FILE *file = fopen(path, "wb");
  long i;
  if (!file) return 1;
  for (i = 0; i < count; ++i) {
    const int high = values[i] >> 8, low = values[i] & 0xFF;
    fputc(bigEndian ? high : low, file);
    fputc(bigEndian ? low : high, file);
  }
  return fclose(file) != 0;
}

int main(void) {
)";
  for (const char* macro : {"_TILE_SIZE", "1_lvl_WIDTH", "1_lvl_HEIGHT", "1_lvl_LENGTH",
                            "1_bin_TILES", "1_bin_LENGTH", "2_lvl_WIDTH", "2_lvl_HEIGHT",
                            "2_lvl_LENGTH", "2_bin_TILES", "2_bin_LENGTH"})
    text += "  printf(\"" + name + macro + " %ld\\n\", (long)" + name + macro + ");\n";
  for (const char* macro : {"_FLIP_H_BIT", "_FLIP_V_BIT"})
    text += "#ifdef " + name + macro + "\n  printf(\"" + name + macro + " %ld\\n\", (long)" + name +
            macro + ");\n#endif\n";
  text += "  return put(\"" + name + "1.lvl\", " + name + "1_lvl, " + name + "1_lvl_LENGTH, 0)\n";
  text += "       | put(\"" + name + "2.lvl\", " + name + "2_lvl, " + name + "2_lvl_LENGTH, 0)\n";
  text += "       | put(\"" + name + "1.bin\", " + name + "1_bin, " + name + "1_bin_LENGTH, 1)\n";
  text += "       | put(\"" + name + "2.bin\", " + name + "2_bin, " + name + "2_bin_LENGTH, 1);\n}\n";
  return text;
}

TEST(SourceFormats, CompiledArraysWriteBackTheBinaryFiles) {
  const std::string cc = findProgram("cc");
  if (cc.empty()) GTEST_SKIP() << "no C compiler (cc) on PATH";

  TempFolder scratch;
  for (const Case& c : cases(scratch)) {
    SCOPED_TRACE(c.name);
    TempFolder bin, source;
    convertBoth(c, "c", bin, source, {".c", ".h"});
    std::ofstream(source / "main.c") << writeBackProgram(c.name);

    ToolRun run = runCommand({cc, "-std=c99", "-Wall", "-Wextra", "-pedantic", "-Werror", "-o",
                              source / "writeback", source / "main.c", source / (c.name + ".c")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");  // no warning either
    TempFolder written;
    run = runCommand({source / "writeback"}, written.str());
    ASSERT_EQ(run.status, 0) << run.err;

    const auto files = binaryFiles(c, bin);
    EXPECT_EQ(binaryFiles(c, written), files);
    std::map<std::string, long> constants;
    for (const std::string& line : run.outLines()) {
      const size_t blank = line.find(' ');
      constants[line.substr(0, blank)] = std::stol(line.substr(blank + 1));
    }
    expectConstants(c, files, constants);
  }
}

// A level of `columns` x `rows` tiles of 8 pixels drawn from a few random grey tiles, some of
// them mirrored, as the three pictures of `folder`.
std::vector<std::string> randomLevel(const TempFolder& folder, std::mt19937& rng, int columns, int rows) {
  const Colour greys[] = {clBlack, clGray, clSilver, clWhite};
  std::vector<std::array<Colour, 64>> pool(3 + rng() % 6);
  for (auto& tile : pool)
    for (Colour& c : tile) c = greys[rng() % 4];
  Surface plane(columns * 8, rows * 8);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const auto& tile = pool[rng() % pool.size()];
      const unsigned flip = rng() % 4;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          plane.write(c * 8 + x, r * 8 + y, tile[static_cast<size_t>((flip & 2 ? 7 - y : y) * 8 + (flip & 1 ? 7 - x : x))]);
    }
  std::vector<std::string> files;
  for (const char* name : {"s.bmp", "b.bmp", "f.bmp"}) {
    files.push_back(folder / name);
    writeBitmapFile(plane, files.back());
  }
  return files;
}

// Checks, compiled against the tables of the same level written plain (Plain), with tile bases
// (Based) and by columns (Cols): every based value less its base is the plain value, and the
// column-ordered table is the plain one transposed.
std::string layoutCheckProgram() {
  std::string text = "#include <stdio.h>\n#include \"Plain.h\"\n#include \"Based.h\"\n#include \"Cols.h\"\n";
  text += R"(
static int check(const char *what, const uint16_t *plain, const uint16_t *based, long base,
                 const uint16_t *cols, long width, long height, long length) {
  long i, r, c;
  int bad = 0;
  if (length != width * height) { printf("%s: %ld values for %ld x %ld\n", what, length, width, height); return 1; }
  for (i = 0; i < length; ++i)
    if (based[i] - base != plain[i]) { printf("%s: based[%ld] - %ld = %ld, plain %u\n", what, i, base, based[i] - base, (unsigned)plain[i]); bad = 1; break; }
  for (r = 0; r < height; ++r)
    for (c = 0; c < width; ++c)
      if (cols[c * height + r] != plain[r * width + c]) {
        printf("%s: column %ld row %ld differs\n", what, c, r);
        return 1;
      }
  return bad;
}

int main(void) {
  printf("bases %ld %ld, by columns %ld\n", (long)Based1_lvl_TILE_BASE, (long)Based2_lvl_TILE_BASE, (long)Cols_MAP_BY_COLUMNS);
  return check("sprite", Plain1_lvl, Based1_lvl, Based1_lvl_TILE_BASE, Cols1_lvl, Plain1_lvl_WIDTH, Plain1_lvl_HEIGHT, Plain1_lvl_LENGTH)
       | check("background", Plain2_lvl, Based2_lvl, Based2_lvl_TILE_BASE, Cols2_lvl, Plain2_lvl_WIDTH, Plain2_lvl_HEIGHT, Plain2_lvl_LENGTH);
}
)";
  return text;
}

TEST(SourceFormats, CompiledTablesKeepTheirBasesAndColumnOrderOnRandomLevels) {
  const std::string cc = findProgram("cc");
  if (cc.empty()) GTEST_SKIP() << "no C compiler (cc) on PATH";
  std::mt19937 rng(22);
  for (int level = 0; level < 4; ++level) {
    TempFolder pictures, source;
    const int columns = 1 + static_cast<int>(rng() % 12), rows = 1 + static_cast<int>(rng() % 9);
    const std::vector<std::string> files = randomLevel(pictures, rng, columns, rows);
    const bool flips = level % 2 == 1;
    // The largest bases that the lists leave room for are in reach.
    const long limit = flips ? 16384 : 65536;
    const long n1 = static_cast<long>(rng() % static_cast<unsigned>(limit - 64));
    const long n2 = level == 0 ? 0 : limit - 64 + static_cast<long>(rng() % 2);
    const std::string context = "level " + std::to_string(level) + ", " + std::to_string(columns) + " x " +
                                std::to_string(rows) + ", bases " + std::to_string(n1) + "," + std::to_string(n2);
    SCOPED_TRACE(context);
    const std::pair<std::string, std::vector<std::string>> runs[] = {
        {"Plain", {}},
        {"Based", {"--tile-base", std::to_string(n1) + "," + std::to_string(n2)}},
        {"Cols", {"--map-order", "columns"}}};
    for (const auto& [name, extra] : runs) {
      std::vector<std::string> args{"--quiet", "--steps", "lists,optimise,maps", "--tile-size", "8", "--format", "c",
                                    "--name", name, "--output-dir", source.str()};
      if (flips) args.push_back("--flips");
      args.insert(args.end(), extra.begin(), extra.end());
      args.insert(args.end(), files.begin(), files.end());
      const ToolRun run = runTool(args);
      ASSERT_EQ(run.status, 0) << name << "\n" << run.err;
    }
    std::ofstream(source / "check.c") << layoutCheckProgram();
    ToolRun run = runCommand({cc, "-std=c99", "-Wall", "-Wextra", "-pedantic", "-Werror", "-o", source / "check",
                              source / "check.c", source / "Plain.c", source / "Based.c", source / "Cols.c"});
    ASSERT_EQ(run.status, 0) << run.err;
    run = runCommand({source / "check"});
    EXPECT_EQ(run.status, 0) << run.out;
    ASSERT_FALSE(run.outLines().empty());
    EXPECT_EQ(run.outLines()[0], "bases " + std::to_string(n1) + " " + std::to_string(n2) + ", by columns 1");
  }
}

TEST(SourceFormats, BadFormatsNamesAndFilesFailOnOneLineWithoutPartialFiles) {
  TempFolder folder;
  const std::vector<std::string> pictures = tinyPictures(folder);
  const TempFolder out;
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"--output-dir", out.str()});
    args.insert(args.end(), pictures.begin(), pictures.end());
    return runTool(args);
  };
  // Usage: exit 2, one line, nothing written.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--format", "bas"},
                                             {"--format=C"},
                                             {"--format", "c", "--name", "2Niv"},
                                             {"--name", "Été", "--format", "asm"},
                                             {"--format", "asm", "--name", ""},
                                             {"--format", "c", "--name", "a-b"},
                                             {"--format", "bin,bin"},
                                             {"--format", "asm,c,asm"},
                                             {"--format", "bin,"},
                                             {"--format", "bin,c", "--name", "2Niv"}}) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.status, 2) << args[1];
    EXPECT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_NE(r.err.find("(voir tavrik-batch --help)"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(out.entries().empty());
  // Every format of a list is checked against the pictures.
  fs::copy_file(pictures[0], out / "Demo.h");
  const ToolRun overwrite = runTool({"--format", "bin,asm,c", "--output-dir", out.str(), out / "Demo.h",
                                     pictures[1], pictures[2]});
  EXPECT_EQ(overwrite.status, 2);
  EXPECT_NE(overwrite.err.find("le fichier de sortie « " + (out / "Demo.h") + " » (--output-dir) est une des images"),
            std::string::npos);
  fs::remove(out / "Demo.h");

  // The header and the source are one set: when the source cannot be created (a folder holds
  // its name), neither appears, and no temporary file stays behind.
  fs::create_directory(out / "Demo.c");
  const ToolRun r = run({"--format", "c"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.errLines(), std::vector<std::string>{"tavrik-batch: Impossible de créer le fichier " +
                                                   (out / "Demo.c") + "."});
  EXPECT_EQ(out.entries(), std::vector<std::string>{"Demo.c"});
}

}  // namespace
}  // namespace tavrik::test

namespace tavrik::test {
namespace {

// Every file that the runs of `lists` write, by name, each list a --format value.
std::map<std::string, std::string> formatOutputs(const std::vector<std::string>& pictures,
                                                 const std::vector<std::string>& lists,
                                                 const std::vector<std::string>& options) {
  std::map<std::string, std::string> files;
  for (const std::string& list : lists) {
    const TempFolder out;
    std::vector<std::string> args{"--quiet", "--format", list, "--output-dir", out.str(), "--tiled", out.str()};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), pictures.begin(), pictures.end());
    const ToolRun run = runTool(args);
    EXPECT_EQ(run.status, 0) << list << ": " << run.err;
    // Each run also writes the Tiled map, which must not depend on the formats.
    for (const std::string& name : out.entries()) {
      const std::string bytes = readWholeFile(out / name);
      EXPECT_EQ(files.emplace(name, bytes).first->second, bytes) << name;
    }
  }
  return files;
}

TEST(SourceFormats, SeveralFormatsInOneCallWriteWhatSingleRunsWrite) {
  const std::vector<std::string> demo = demoPictures();
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, {"--flips", "--tile-size", "8", "--name", "Lv_2"}}) {
    const auto one = formatOutputs(demo, {"c,bin,asm"}, options);
    EXPECT_EQ(one.size(), 10u);  // 4 binary, 1 assembler, 2 C, 3 Tiled
    EXPECT_EQ(one, formatOutputs(demo, {"bin", "asm", "c"}, options));
  }

  // The summary names every file, in the order of the list.
  const TempFolder out;
  std::vector<std::string> args{"--format", "asm,bin", "--name", "Niv", "--output-dir", out.str()};
  args.insert(args.end(), demo.begin(), demo.end());
  const ToolRun run = runTool(args);
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> listed;
  for (const std::string& line : run.outLines())
    if (line.rfind("  ", 0) == 0) listed.push_back(line.substr(2, line.find(" (") - 2));
  const std::vector<std::string> expected{out / "Niv.s", out / "Niv1.lvl", out / "Niv2.lvl", out / "Niv1.bin",
                                          out / "Niv2.bin"};
  EXPECT_EQ(listed, expected);
}

}  // namespace
}  // namespace tavrik::test
