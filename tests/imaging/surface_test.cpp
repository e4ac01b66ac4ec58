#include <gtest/gtest.h>

#include "base/error.h"
#include "imaging/colour.h"
#include "imaging/image_control.h"
#include "imaging/surface.h"
#include "workspace/workspace.h"

using namespace tavrik;

TEST(Colour, WriteRuleResolvesSchemeValuesAndKeepsPlainColours) {
  EXPECT_EQ(resolveForWrite(invalidColour), clBlack);
  EXPECT_EQ(resolveForWrite(0x80000005u), schemeColour(5));
  EXPECT_EQ(resolveForWrite(0x123456u), 0x123456u);
  EXPECT_EQ(brightness(invalidColour), 765);
  EXPECT_EQ(brightness(rgb(99, 99, 99)), 297);
}

TEST(Surface, ReadsOutsideGiveInvalidColourAndWritesThereAreDropped) {
  Surface s(20, 10);
  EXPECT_EQ(s.read(0, 0), clWhite);
  EXPECT_EQ(s.read(19, 9), clWhite);
  for (auto [x, y] : {std::pair{-1, 0}, {20, 0}, {0, 10}, {0, -1}}) {
    EXPECT_EQ(s.read(x, y), invalidColour);
    s.write(x, y, clBlack);
  }
  for (Colour c : s.pixels()) EXPECT_EQ(c, clWhite);
  s.write(3, 4, invalidColour);
  EXPECT_EQ(s.read(3, 4), clBlack);
}

TEST(Surface, FillRectExcludesRightColumnAndBottomRowAndClips) {
  Surface s(20, 20, clBlack);
  s.fillRect(0, 0, 10, 10);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_EQ(s.read(x, y), (x <= 9 && y <= 9) ? clWhite : clBlack);
  s.fillRect(-5, 15, 100, 100);
  EXPECT_EQ(s.read(19, 19), clWhite);
  EXPECT_EQ(s.read(19, 14), clBlack);
}

TEST(ImageControl, SurfaceAccessCreatesWhiteSurfaceOfControlSize) {
  Workspace ws;
  Surface& s = ws.Image1.surface();
  EXPECT_EQ(s.width(), 105);
  EXPECT_EQ(s.height(), 105);
  EXPECT_EQ(ws.Image1.readPixel(0, 0), clWhite);
  EXPECT_EQ(ws.Image1.readPixel(104, 104), clWhite);
  EXPECT_EQ(ws.Image1.readPixel(105, 0), invalidColour);
  EXPECT_EQ(ws.Image1.Width(), 105);
  EXPECT_EQ(ws.Label4, "N/A");
}

TEST(ImageControl, ResizingKeepsPixelsAndGrowsWorkingImagesOnly) {
  Workspace ws;
  ws.Image5.SetHeight(16);
  ws.Image5.SetWidth(288);
  ws.Image5.writePixel(287, 0, clGray);
  EXPECT_EQ(ws.Image5.surface().width(), 288);
  ws.Image5.SetWidth(64);
  EXPECT_EQ(ws.Image5.Width(), 64);
  EXPECT_EQ(ws.Image5.readPixel(287, 0), clGray);
  // Widening past the grid grows it: old pixels stay, new ones are white.
  ws.Image5.SetWidth(576);
  EXPECT_EQ(ws.Image5.surface().width(), 576);
  EXPECT_EQ(ws.Image5.readPixel(287, 0), clGray);
  EXPECT_EQ(ws.Image5.readPixel(300, 0), clWhite);
  ws.Image5.writePixel(300, 0, clBlack);
  EXPECT_EQ(ws.Image5.readPixel(300, 0), clBlack);
  EXPECT_EQ(ws.Image5.readPixel(576, 0), invalidColour);
}

TEST(ImageControl, ListFirstTouchedAtWidthZeroComesBackWhenWidened) {
  Workspace ws;
  ws.Image6.SetHeight(16);
  ws.Image6.SetWidth(0);
  ws.Image6.writePixel(0, 0, clBlack);
  EXPECT_EQ(ws.Image6.readPixel(0, 0), invalidColour);
  ws.Image6.SetWidth(32);
  ws.Image6.writePixel(0, 0, clBlack);
  EXPECT_EQ(ws.Image6.readPixel(0, 0), clBlack);
}

TEST(ImageControl, AutoSizeSlotKeepsGridWhenControlIsResized) {
  Workspace ws;
  ws.Image1.surface();
  ws.Image1.SetWidth(300);
  EXPECT_EQ(ws.Image1.surface().width(), 105);
}

TEST(Errors, BoxTextAddsFullStopAfterCharactersAboveDot) {
  EXPECT_EQ(errorBoxText("Image bitmap incorrecte"), "Image bitmap incorrecte.");
  EXPECT_EQ(errorBoxText("Extension de fichier graphique inconnue (.jpg)"),
            "Extension de fichier graphique inconnue (.jpg)");
  EXPECT_EQ(errorBoxText("Division par zéro"), "Division par zéro.");
  EXPECT_EQ(errorBoxText("fin."), "fin.");
  EXPECT_EQ(errorBoxText("a-"), "a-");
  EXPECT_EQ(errorBoxText(""), "");
}

TEST(Errors, ApplicationTitleFromProgramPath) {
  EXPECT_EQ(applicationTitle("/usr/bin/tavrik"), "tavrik");
  EXPECT_EQ(applicationTitle("C:\\Jeux\\TAVRIK.EXE.bin"), "Tavrik");
  EXPECT_EQ(applicationTitle("build/TaVrIk-Batch"), "Tavrik-batch");
}

TEST(Workspace, ProgressIsClampedAndReportedOnlyOnChange) {
  Workspace ws;
  std::vector<int> seen;
  ws.setProgress(0);
  ws.setProgressSink([&](int p) { seen.push_back(p); });
  for (int p : {0, 5, 5, 150, 100, -3, 0, 7}) ws.setProgress(p);
  EXPECT_EQ(seen, (std::vector<int>{5, 100, 0, 7}));
}

TEST(Workspace, TextToIntFollowsTheFrameworkConversion) {
  EXPECT_EQ(textToInt("224"), 224);
  EXPECT_EQ(textToInt("  -12"), -12);
  EXPECT_EQ(textToInt("+7"), 7);
  EXPECT_EQ(textToInt("$1F"), 31);
  EXPECT_EQ(textToInt("0x10"), 16);
  EXPECT_EQ(textToInt("2147483647"), 2147483647);
  for (const char* bad : {"N/A", "", " ", "12a", "12 ", "2147483648", "-", "$"}) {
    try {
      textToInt(bad);
      ADD_FAILURE() << bad;
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), std::string("'") + bad + "' n'est pas une valeur entière correcte");
    }
  }
}
