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

// Names that cannot make sane file names, and options given twice, are refused with one line
// that names the problem and never echoes the bad bytes.
TEST(Options, BaseNamesMustBeTextWithoutControlsAndOptionsComeOnce) {
  const struct {
    std::vector<std::string> args;
    std::string error;  // empty: accepted
  } cases[] = {
      {{"--name", "Été"}, ""},
      {{"--name", "N\xF0\x9F\x8E\xAE"}, ""},  // U+1F3AE, four bytes
      {{"--name", "a\tb"}, "nom de base incorrect : les caractères de contrôle sont interdits"},
      {{"--name", "a\nb"}, "nom de base incorrect : les caractères de contrôle sont interdits"},
      {{"--name", "a\x7F"}, "nom de base incorrect : les caractères de contrôle sont interdits"},
      {{"--name", "a\xC2\x85"}, "nom de base incorrect : les caractères de contrôle sont interdits"},
      // Format characters: right-to-left override, soft hyphen, zero-width joiner, byte order
      // mark, a tag (four bytes); the Arabic letter beside them is an ordinary one.
      {{"--name", "ab\u202Ecd"}, "nom de base incorrect : le caractère de mise en forme U+202E est interdit"},
      {{"--name", "\u00AD"}, "nom de base incorrect : le caractère de mise en forme U+00AD est interdit"},
      {{"--name", "a\u200Db"}, "nom de base incorrect : le caractère de mise en forme U+200D est interdit"},
      {{"--name", "\uFEFFa"}, "nom de base incorrect : le caractère de mise en forme U+FEFF est interdit"},
      {{"--name", "a\U000E0041"}, "nom de base incorrect : le caractère de mise en forme U+E0041 est interdit"},
      {{"--name", "\u0628\u2067"}, "nom de base incorrect : le caractère de mise en forme U+2067 est interdit"},
      {{"--name", "\u0628\u200A"}, ""},  // a hair space is a visible space, not a format character
      {{"--name", "\xE9t\xE9"}, "nom de base incorrect : ce n'est pas du texte UTF-8"},  // Latin-1
      {{"--name", "a\xC3"}, "nom de base incorrect : ce n'est pas du texte UTF-8"},      // cut short
      {{"--name", "\xC0\xAF"}, "nom de base incorrect : ce n'est pas du texte UTF-8"},  // overlong /
      {{"--name", "\xED\xA0\x80"}, "nom de base incorrect : ce n'est pas du texte UTF-8"},  // surrogate
      {{"--name", "\xF4\x90\x80\x80"}, "nom de base incorrect : ce n'est pas du texte UTF-8"},
      {{"--name", "a", "--name", "b"}, "l'option --name est donnée deux fois"},
      {{"--name=a", "--name=a"}, "l'option --name est donnée deux fois"},
      {{"--steps", "grey", "--steps=maps"}, "l'option --steps est donnée deux fois"},
      {{"--thresholds", "1,2,3", "--thresholds", "1,2,3"}, "l'option --thresholds est donnée deux fois"},
      {{"--tile-size", "8", "--tile-size", "16"}, "l'option --tile-size est donnée deux fois"},
      {{"--output-dir", "a", "--output-dir", "b"}, "l'option --output-dir est donnée deux fois"},
      {{"--save-images", "a", "--save-images", "b"}, "l'option --save-images est donnée deux fois"},
      {{"--quiet", "--quiet"}, ""},
  };
  for (const auto& c : cases) {
    const ParseResult r = parseWithFiles(c.args);
    std::string joined;
    for (const auto& a : c.args) joined += "[" + a + "]";
    if (c.error.empty()) {
      EXPECT_EQ(r.action, Action::Run) << joined << " " << r.error;
    } else {
      EXPECT_EQ(r.action, Action::UsageError) << joined;
      EXPECT_EQ(r.error, c.error) << joined;
    }
  }
}

TEST(Options, ThresholdBoundsAndLeadingZeros) {
  const ParseResult r = parseWithFiles({"--thresholds", "0,0999,1023"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.thresholds, (std::array<int, 3>{0, 999, 1023}));
  // The tile size reads its digits the same way.
  const std::pair<const char*, int> sizes[] = {{"016", 16}, {"08", 8}, {"000000016", 16}, {"+16", 0},
                                               {"0016px", 0}, {"0000000016", 0}, {"160", 0}, {"0", 0}};
  for (const auto& [text, size] : sizes) {
    const ParseResult t = parseWithFiles({"--tile-size", text});
    EXPECT_EQ(t.action, size ? Action::Run : Action::UsageError) << text;
    if (size) EXPECT_EQ(t.options.tileSize, size) << text;
    else EXPECT_EQ(t.error, std::string("taille de tuile incorrecte : « ") + text + " » (16 ou 8)");
  }
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
