#include "controls/cgauges.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <functional>

#include "base/error.h"

namespace {

constexpr QRgb kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kSilver = 0xFFC0C0C0;

QFont arialBold13() {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  font.setBold(true);
  return font;
}

// A gauge like the main window's: 409 x 17, red Color, Arial bold 13 px.
struct Gauge : TCGauge {
  explicit Gauge(int w = 409, int h = 17, bool text = false) {
    resize(w, h);
    setFont(arialBold13());
    SetColor(tavrik::clRed);
    SetShowText(text);
  }
};

// Checks every pixel of a rectangle (inclusive bounds) against the expected colour.
void expectArea(const QImage& img, int x0, int y0, int x1, int y1, QRgb colour, const char* what) {
  int bad = 0;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (img.pixel(x, y) != colour && bad++ < 3)
        ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is " << std::hex << img.pixel(x, y)
                      << ", expected " << colour;
  EXPECT_EQ(bad, 0) << what;
}

void expectFrame(const QImage& img, QRgb colour) {
  const int r = img.width() - 1, b = img.height() - 1;
  expectArea(img, 0, 0, r, 0, colour, "top frame");
  expectArea(img, 0, b, r, b, colour, "bottom frame");
  expectArea(img, 0, 0, 0, b, colour, "left frame");
  expectArea(img, r, 0, r, b, colour, "right frame");
}

}  // namespace

TEST(GaugeValues, DefaultsAndPercentages) {
  TCGauge g;
  EXPECT_EQ(g.width(), 100);
  EXPECT_EQ(g.height(), 100);
  EXPECT_TRUE(g.testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_EQ(g.GetMinValue(), 0);
  EXPECT_EQ(g.GetMaxValue(), 100);
  EXPECT_EQ(g.GetKind(), gkHorizontalBar);
  EXPECT_EQ(g.GetBorderStyle(), bsSingle);
  EXPECT_EQ(g.GetForeColor(), tavrik::clBlack);
  EXPECT_EQ(g.GetBackColor(), tavrik::clWhite);

  g.SetMaxValue(3);
  g.SetProgress(2);
  EXPECT_EQ(g.GetPercentDone(), 66);  // rounded down
  // done × 100 does not fit 32 bits here.
  g.SetMaxValue(2000000000);
  g.SetProgress(1999999999);
  EXPECT_EQ(g.GetPercentDone(), 99);
  g.SetMinValue(-2000000000);
  g.SetProgress(0);
  EXPECT_EQ(g.GetPercentDone(), 50);
}

TEST(GaugeValues, ProgressIsClamped) {
  TCGauge g;
  g.SetProgress(150);
  EXPECT_EQ(g.GetProgress(), 100);
  EXPECT_EQ(g.GetPercentDone(), 100);
  g.SetProgress(-5);
  EXPECT_EQ(g.GetProgress(), 0);
  g.SetProgress(60);
  g.AddProgress(2147483647);  // saturates instead of wrapping round to a negative sum
  EXPECT_EQ(g.GetProgress(), 100);
  g.AddProgress(-250);
  EXPECT_EQ(g.GetProgress(), 0);
}

TEST(GaugeValues, RangeErrorsNameTheRangeAndChangeNothing) {
  TCGauge g;
  g.SetProgress(40);
  try {
    g.SetMinValue(200);
    FAIL() << "no error";
  } catch (const tavrik::Error& e) {
    EXPECT_EQ(e.message(), "La valeur doit être comprise entre -2147483647 et 99");
  }
  EXPECT_EQ(g.GetMinValue(), 0);
  EXPECT_EQ(g.GetProgress(), 40);
  try {
    g.SetMaxValue(-1);
    FAIL() << "no error";
  } catch (const tavrik::Error& e) {
    EXPECT_EQ(e.message(), "La valeur doit être comprise entre 1 et 2147483647");
  }
  EXPECT_EQ(g.GetMaxValue(), 100);
  EXPECT_EQ(g.GetProgress(), 40);

  // Raising the bottom above the progress pulls it up; equal bounds give 0 %.
  g.SetMinValue(100);
  EXPECT_EQ(g.GetProgress(), 100);
  EXPECT_EQ(g.GetPercentDone(), 0);
  EXPECT_THROW(g.SetMaxValue(99), tavrik::Error);
  g.SetMaxValue(300);
  g.SetProgress(250);
  g.SetMaxValue(200);
  EXPECT_EQ(g.GetProgress(), 200);
}

TEST(GaugeRepaint, OnlyWhenTheWholePercentageChanges) {
  Gauge g;
  g.show();
  QApplication::processEvents();
  g.SetMaxValue(1000);
  g.SetProgress(2);
  const int start = g.paintCount();
  g.SetProgress(3);  // still 0 %
  EXPECT_EQ(g.paintCount(), start);
  g.SetProgress(9);
  EXPECT_EQ(g.paintCount(), start);
  g.SetProgress(10);  // 1 %: painted before SetProgress returns
  EXPECT_EQ(g.paintCount(), start + 1);
  g.SetProgress(10);
  g.SetProgress(5000);  // clamped to 1000: 100 %
  EXPECT_EQ(g.paintCount(), start + 2);
  g.AddProgress(0);  // always repaints
  EXPECT_EQ(g.paintCount(), start + 3);
  g.SeTCGaugeKind(gkHorizontalBar);  // unchanged: nothing
  g.SetShowText(false);
  g.SetForeColor(tavrik::clBlack);
  EXPECT_EQ(g.paintCount(), start + 3);
  g.SeTCGaugeKind(gkPie);
  g.SetBackColor(tavrik::clSilver);
  EXPECT_EQ(g.paintCount(), start + 5);
  EXPECT_EQ(g.grab().toImage().convertToFormat(QImage::Format_RGB32), g.renderImage());
}

TEST(GaugeBar, HorizontalWithFrame) {
  Gauge g;
  g.SetForeColor(tavrik::clRed);
  g.SetBackColor(tavrik::clSilver);
  QImage img = g.renderImage();
  ASSERT_EQ(img.format(), QImage::Format_RGB32);
  ASSERT_EQ(img.size(), QSize(409, 17));
  expectFrame(img, kBlack);  // black whatever the colours
  expectArea(img, 1, 1, 407, 15, kSilver, "0 %: no bar");

  g.SetProgress(50);
  img = g.renderImage();
  expectFrame(img, kBlack);
  expectArea(img, 1, 1, 203, 15, kRed, "50 % bar");
  expectArea(img, 204, 1, 407, 15, kSilver, "50 % empty part");

  g.SetProgress(100);
  img = g.renderImage();
  expectFrame(img, kBlack);
  expectArea(img, 1, 1, 407, 15, kRed, "100 % covers R");
}

TEST(GaugeBar, HorizontalWithoutFrame) {
  Gauge g;
  g.SetBorderStyle(bsNone);
  g.SetProgress(50);
  QImage img = g.renderImage();
  expectArea(img, 0, 0, 204, 16, kBlack, "50 % bar");
  expectArea(img, 205, 0, 408, 16, kWhite, "50 % empty part");
  g.SetProgress(100);
  expectArea(g.renderImage(), 0, 0, 408, 16, kBlack, "100 %");
  g.SetBorderStyle(bsDialog);  // behaves as bsNone
  expectArea(g.renderImage(), 0, 0, 408, 16, kBlack, "100 % bsDialog");
}

TEST(GaugeBar, VerticalClampsToOneRowShort) {
  Gauge g;
  g.SeTCGaugeKind(gkVerticalBar);
  expectArea(g.renderImage(), 1, 1, 407, 15, kWhite, "0 %");
  g.SetProgress(50);  // H = 16, F = 8: rows 8..15
  QImage img = g.renderImage();
  expectFrame(img, kBlack);
  expectArea(img, 1, 1, 407, 7, kWhite, "50 % empty part");
  expectArea(img, 1, 8, 407, 15, kBlack, "50 % bar");
  g.SetForeColor(tavrik::clRed);
  g.SetProgress(100);  // F = H - 1 = 15 still covers R
  img = g.renderImage();
  expectFrame(img, kBlack);
  expectArea(img, 1, 1, 407, 15, kRed, "100 %");

  g.SetBorderStyle(bsNone);  // H = 18, F = 17: the top row of R stays BackColor
  img = g.renderImage();
  expectArea(img, 0, 0, 408, 0, kWhite, "top row");
  expectArea(img, 0, 1, 408, 16, kRed, "100 % without frame");
}

TEST(GaugeText, InvertsWhatIsBeneathAndStaysInsideR) {
  for (TBorderStyle border : {bsSingle, bsNone}) {
    Gauge g(409, 17, false);
    g.SetBorderStyle(border);
    g.SetForeColor(tavrik::clRed);
    g.SetProgress(50);
    const QImage plain = g.renderImage();
    g.SetShowText(true);
    const QImage text = g.renderImage();
    const int inset = border == bsSingle ? 1 : 0;
    int changed = 0, overBar = 0, overBack = 0, minX = 1000, maxX = -1;
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 409; ++x) {
        if (plain.pixel(x, y) == text.pixel(x, y)) continue;
        ++changed;
        EXPECT_TRUE(x >= inset && x < 409 - inset && y >= inset && y < 17 - inset) << x << "," << y;
        // Exact inversion: red becomes cyan, white becomes black.
        EXPECT_EQ(text.pixel(x, y), plain.pixel(x, y) ^ 0x00FFFFFF) << x << "," << y;
        if (plain.pixel(x, y) == kRed) ++overBar;
        if (plain.pixel(x, y) == kWhite) ++overBack;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
      }
    EXPECT_GT(changed, 40);
    // "50%" straddles the end of the bar, near the middle of the control.
    EXPECT_GT(overBar, 0);
    EXPECT_GT(overBack, 0);
    EXPECT_LT(std::abs((minX + maxX) / 2 - 204), 4);
  }
}

TEST(GaugeText, ClippedToRInASmallGauge) {
  Gauge g(20, 9, true);
  QFont big = arialBold13();
  big.setPixelSize(30);
  g.setFont(big);
  g.SetProgress(100);
  QImage img = g.renderImage();
  expectFrame(img, kBlack);  // the text would cover the frame without the clip
  bool inverted = false;
  for (int y = 1; y < 8; ++y)
    for (int x = 1; x < 19; ++x) inverted |= img.pixel(x, y) == kWhite;
  EXPECT_TRUE(inverted);
}

TEST(GaugeText, TextKindShowsOnlyTheBackgroundAndText) {
  Gauge g(100, 40, false);
  g.SeTCGaugeKind(gkText);
  g.SetProgress(80);
  QImage img = g.renderImage();
  expectFrame(img, kBlack);
  expectArea(img, 1, 1, 98, 38, kWhite, "text kind without text");
  g.SetMinValue(80);
  g.SetMaxValue(80);  // equal bounds: 0 %
  EXPECT_EQ(g.GetPercentDone(), 0);
}

TEST(GaugeDial, PieWedgeGrowsClockwiseFromNoon) {
  Gauge g(101, 101, false);
  g.SeTCGaugeKind(gkPie);
  g.SetBorderStyle(bsNone);
  g.SetForeColor(tavrik::clBlack);
  g.SetBackColor(tavrik::clWhite);
  // Points well inside each quarter of the dial, and a corner outside it.
  auto at = [&](int dx, int dy) { return g.renderImage().pixel(50 + dx, 50 + dy); };
  const QRgb corner0 = g.renderImage().pixel(2, 2);
  EXPECT_EQ(corner0, kRed);
  EXPECT_EQ(at(20, -20), kWhite);  // 0 %: dial only
  EXPECT_EQ(at(-20, 20), kWhite);
  g.SetProgress(25);
  EXPECT_EQ(at(20, -20), kBlack);  // top right
  EXPECT_EQ(at(20, 20), kWhite);
  EXPECT_EQ(at(-20, -20), kWhite);
  g.SetProgress(50);
  EXPECT_EQ(at(20, 20), kBlack);
  EXPECT_EQ(at(-20, 20), kWhite);
  g.SetProgress(75);
  EXPECT_EQ(at(-20, 20), kBlack);
  EXPECT_EQ(at(-20, -20), kWhite);
  g.SetProgress(100);
  EXPECT_EQ(at(-20, -20), kBlack);
  EXPECT_EQ(g.renderImage().pixel(2, 2), kRed);  // outside the ellipse: Color
}

TEST(GaugeDial, NeedleAndBaseLine) {
  Gauge g(101, 60, false);
  g.SeTCGaugeKind(gkNeedle);
  g.SetForeColor(tavrik::clRed);
  QImage img = g.renderImage();
  // R = (1, 1, 100, 59), W = 100: the base line runs along the frame's bottom row, columns 1..100.
  EXPECT_EQ(img.pixel(0, 59), kBlack);
  expectArea(img, 1, 59, 100, 59, kRed, "base line");
  EXPECT_EQ(img.pixel(50, 30), kWhite);  // 0 %: no needle
  EXPECT_EQ(img.pixel(3, 3), kRed);      // outside the dial: Color (red too)
  g.SetProgress(50);  // straight up from (50, 57) to (50, 0), the last point excluded
  img = g.renderImage();
  expectArea(img, 50, 1, 50, 57, kRed, "needle at 50 %");
  EXPECT_EQ(img.pixel(47, 30), kWhite);
  EXPECT_EQ(img.pixel(53, 30), kWhite);
  g.SetProgress(25);  // up and to the left
  img = g.renderImage();
  EXPECT_EQ(img.pixel(50, 30), kWhite);
  int left = 0;
  for (int x = 15; x < 50; ++x) left += img.pixel(x, 30) == kRed;
  EXPECT_EQ(left, 1);
}
