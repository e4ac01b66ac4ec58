// Option parsing of tavrik-batch, in-process.
#include <gtest/gtest.h>

#include "cli/batch_options.h"
#include "cli/progress_bar.h"

namespace tavrik::batch {
namespace {

using Action = ParseResult::Action;

ParseResult parse(std::vector<std::string> args) { return parseOptions(args); }

ParseResult parseWithFiles(std::vector<std::string> options) {
  options.insert(options.end(), {"a.bmp", "b.bmp", "c.bmp"});
  return parseOptions(options);
}

TEST(Options, DefaultsAreTheWindowDefaults) {
  const ParseResult r = parse({"s.bmp", "b.bmp", "f.bmp"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  const Options& o = r.options;
  EXPECT_EQ(o.name, "Demo");
  EXPECT_EQ(o.thresholds, (std::array<int, 3>{100, 170, 300}));
  EXPECT_EQ(o.tileSize, 16);
  for (const StepInfo& info : kSteps) EXPECT_TRUE(o.runs(info.step)) << info.name;
  EXPECT_EQ(o.outputDir, "");
  EXPECT_FALSE(o.saveImagesDir.has_value());
  EXPECT_FALSE(o.quiet);
  EXPECT_EQ(o.sprites, "s.bmp");
  EXPECT_EQ(o.background, "b.bmp");
  EXPECT_EQ(o.full, "f.bmp");
}

TEST(Options, EveryOptionInBothSpellingsAndAnywhere) {
  const ParseResult r = parse({"--name", "Niv1", "s.bmp", "--thresholds=1,2,1023", "b.bmp",
                               "--tile-size", "8", "--output-dir=out", "--save-images", "img",
                               "--quiet", "f.bmp", "--steps", "grey,cutout"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  const Options& o = r.options;
  EXPECT_EQ(o.name, "Niv1");
  EXPECT_EQ(o.thresholds, (std::array<int, 3>{1, 2, 1023}));
  EXPECT_EQ(o.tileSize, 8);
  EXPECT_EQ(o.outputDir, "out");
  EXPECT_EQ(o.saveImagesDir, "img");
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.sprites, "s.bmp");
  EXPECT_EQ(o.background, "b.bmp");
  EXPECT_EQ(o.full, "f.bmp");
  EXPECT_TRUE(o.runs(Step::CutOut));
  EXPECT_TRUE(o.runs(Step::Grey));
  EXPECT_FALSE(o.runs(Step::Mask));
  EXPECT_FALSE(o.runs(Step::Maps));
}

TEST(Options, StepsNoneAndDoubleDash) {
  ParseResult r = parseWithFiles({"--steps", "none"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  for (const StepInfo& info : kSteps) EXPECT_FALSE(r.options.runs(info.step)) << info.name;

  r = parse({"--", "--name", "-x.bmp", "-"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.sprites, "--name");
  EXPECT_EQ(r.options.background, "-x.bmp");
  EXPECT_EQ(r.options.full, "-");
  EXPECT_EQ(r.options.name, "Demo");
}

TEST(Options, NameLengthCountsCharactersNotBytes) {
  // Seven accented letters are 14 bytes of UTF-8 and fit; eight do not.
  ParseResult r = parseWithFiles({"--name", "ééééééé"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.name, "ééééééé");
  r = parseWithFiles({"--name", "Niveau12"});
  EXPECT_EQ(r.action, Action::UsageError);
  EXPECT_NE(r.error.find("trop long"), std::string::npos) << r.error;
  r = parseWithFiles({"--name", "éééééééé"});
  EXPECT_EQ(r.action, Action::UsageError);
  // The empty name is the window's too: files 1.lvl, 2.lvl, 1.bin, 2.bin.
  r = parseWithFiles({"--name", ""});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.name, "");
  EXPECT_EQ(countCharacters("a€b"), 3);
}

TEST(Options, HelpAndVersionWinOverFiles) {
  EXPECT_EQ(parse({"--help"}).action, Action::Help);
  EXPECT_EQ(parse({"a", "--version", "b"}).action, Action::Version);
  EXPECT_EQ(versionText().rfind("tavrik-batch ", 0), 0u);
  EXPECT_NE(usageText().find("--thresholds"), std::string::npos);
}

// Every refused command line gives one French line and no run.
TEST(Options, UsageErrorsAreOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {"a.bmp", "b.bmp"},
      {"a.bmp", "b.bmp", "c.bmp", "d.bmp"},
      {},
      {"--bogus", "a", "b", "c"},
      {"-h", "a", "b", "c"},
      {"a", "b", "c", "--name"},
      {"--quiet=yes", "a", "b", "c"},
      {"--name", "a/b", "a", "b", "c"},
      {"--name", "/", "a", "b", "c"},
      {"--thresholds", "100,170", "a", "b", "c"},
      {"--thresholds", "100,170,300,400", "a", "b", "c"},
      {"--thresholds", "100,170,1024", "a", "b", "c"},
      {"--thresholds", "-1,170,300", "a", "b", "c"},
      {"--thresholds", "abc,170,300", "a", "b", "c"},
      {"--thresholds", "100, 170,300", "a", "b", "c"},
      {"--thresholds", "100,,300", "a", "b", "c"},
      {"--thresholds", "99999999999999999999,1,2", "a", "b", "c"},
      {"--tile-size", "32", "a", "b", "c"},
      {"--tile-size", "16px", "a", "b", "c"},
      {"--steps", "cutout,zoom", "a", "b", "c"},
      {"--steps", "", "a", "b", "c"},
      {"--steps", "none,maps", "a", "b", "c"},
      {"--steps", "Cutout", "a", "b", "c"},
      {"--output-dir", "", "a", "b", "c"},
      {"--save-images=", "a", "b", "c"},
  };
  for (const auto& args : bad) {
    const ParseResult r = parseOptions(args);
    std::string joined;
    for (const auto& a : args) joined += "[" + a + "]";
    EXPECT_EQ(r.action, Action::UsageError) << joined;
    EXPECT_FALSE(r.error.empty()) << joined;
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << joined;
  }
}

TEST(Options, ThresholdBoundsAndLeadingZeros) {
  const ParseResult r = parseWithFiles({"--thresholds", "0,0999,1023"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.thresholds, (std::array<int, 3>{0, 999, 1023}));
}

TEST(ProgressLine, FixedWidthWhateverTheCaption) {
  const std::string a = progressLine("Couleur -> NG4", 0);
  const std::string b = progressLine("Création des listes de sprites", 100);
  EXPECT_EQ(countCharacters(a), countCharacters(b));
  EXPECT_NE(a.find("[------------------------------]   0 %"), std::string::npos) << a;
  EXPECT_NE(b.find("[##############################] 100 %"), std::string::npos) << b;
  EXPECT_NE(progressLine("x", 50).find("[###############---------------]  50 %"), std::string::npos);
}

}  // namespace
}  // namespace tavrik::batch
