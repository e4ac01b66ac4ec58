#include "controls/cgauges.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPaintEvent>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

#include "base/error.h"

namespace {

constexpr const char* kRangeError = "La valeur doit être comprise entre %d et %d";

QRgb toRgb(tavrik::Colour c) {
  c = tavrik::resolveForWrite(c);
  return qRgb(tavrik::redOf(c), tavrik::greenOf(c), tavrik::blueOf(c));
}

QColor toQColor(tavrik::Colour c) { return QColor(toRgb(c)); }

// A painter on an off-screen image with the pixel-exact settings the drawing steps rely on.
struct ImagePainter : QPainter {
  explicit ImagePainter(QImage& image) : QPainter(&image) {
    setRenderHint(QPainter::Antialiasing, false);
    setRenderHint(QPainter::TextAntialiasing, false);
  }
};

// FillRect(l, t, r, b): right and bottom edges excluded; an empty rectangle draws nothing.
void fillGdiRect(QImage& image, int l, int t, int r, int b, tavrik::Colour colour) {
  if (r <= l || b <= t) return;
  ImagePainter p(image);
  p.fillRect(QRect(l, t, r - l, b - t), toQColor(colour));
}

// A painter set up for an ellipse or pie in the GDI box (l, t, r, b): one-pixel pen, clipped to
// the box. Returns the Qt rectangle that covers the same pixels as the GDI box.
QRectF gdiBox(QPainter& p, int l, int t, int r, int b, tavrik::Colour pen, tavrik::Colour brush) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  p.setClipRect(QRect(l, t, r - l, b - t));
  p.setPen(QPen(toQColor(pen), 1));
  p.setBrush(toQColor(brush));
  return QRectF(l + 0.5, t + 0.5, r - l - 1, b - t - 1);
}

void gdiEllipse(QImage& image, int l, int t, int r, int b, tavrik::Colour pen, tavrik::Colour brush) {
  ImagePainter p(image);
  const QRectF box = gdiBox(p, l, t, r, b, pen, brush);
  if (box.width() <= 0 || box.height() <= 0) return;
  p.drawEllipse(box);
}

// Pie(l, t, r, b, x1, y1, x2, y2): the wedge runs counter-clockwise (as seen on screen) from the
// direction of the radial point (x1, y1) to that of (x2, y2), both taken from the box's centre.
// Qt's arc angles are parametric, so each direction is converted on the unit circle of the box.
void gdiPie(QImage& image, int l, int t, int r, int b, int x1, int y1, int x2, int y2,
            tavrik::Colour pen, tavrik::Colour brush) {
  ImagePainter p(image);
  const QRectF box = gdiBox(p, l, t, r, b, pen, brush);
  if (box.width() <= 0 || box.height() <= 0) return;
  const double cx = (l + r) / 2.0, cy = (t + b) / 2.0;
  const double rx = std::abs(r - l) / 2.0, ry = std::abs(b - t) / 2.0;
  auto angle = [&](int x, int y) {
    return std::atan2(-(y - cy) / ry, (x - cx) / rx) * 180.0 / std::numbers::pi;
  };
  const double a1 = angle(x1, y1);
  double span = angle(x2, y2) - a1;
  while (span <= 0) span += 360.0;  // equal directions give the whole ellipse
  p.drawPie(box, qRound(a1 * 16), qRound(span * 16));
}

// MoveTo(x0, y0) + LineTo(x1, y1): the last point is not drawn.
void gdiLine(QImage& image, int x0, int y0, int x1, int y1, tavrik::Colour colour) {
  const QRgb rgb = toRgb(colour);
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    if (image.valid(x0, y0)) image.setPixel(x0, y0, rgb);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

// The dial formulas floor products of sines and cosines; they are evaluated in extended
// precision so that exact values (sin π = 0) do not drop a pixel through rounding noise.
int floorInt(long double x) { return static_cast<int>(std::floor(x)); }

}  // namespace

TCGauge::TCGauge(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(100, 100);
}

int TCGauge::GetPercentDone() const {
  const std::int64_t span = std::int64_t(FMaxValue) - FMinValue;
  const std::int64_t done = std::int64_t(FCurValue) - FMinValue;
  if (span == 0) return 0;
  // done lies within 0..span, so the floored quotient is the truncated one.
  return static_cast<int>(done * 100 / span);
}

void TCGauge::SetProgress(int value) {
  const int before = GetPercentDone();
  const int t = value < FMinValue ? FMinValue : value > FMaxValue ? FMaxValue : value;
  if (t == FCurValue) return;
  FCurValue = t;
  if (GetPercentDone() != before) Refresh();
}

void TCGauge::AddProgress(int delta) {
  // Saturate instead of overflowing; SetProgress clamps to the range anyway.
  const std::int64_t sum = std::int64_t(FCurValue) + delta;
  SetProgress(static_cast<int>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX)));
  Refresh();
}

void TCGauge::SetMinValue(int value) {
  if (value == FMinValue) return;
  if (value > FMaxValue) {
    const int upper = static_cast<int>(static_cast<std::uint32_t>(FMaxValue) - 1u);
    throw tavrik::Error(tavrik::format(kRangeError, -2147483647, upper));
  }
  FMinValue = value;
  if (FCurValue < value) FCurValue = value;
  Refresh();
}

void TCGauge::SetMaxValue(int value) {
  if (value == FMaxValue) return;
  if (value < FMinValue) {
    const int lower = static_cast<int>(static_cast<std::uint32_t>(FMinValue) + 1u);
    throw tavrik::Error(tavrik::format(kRangeError, lower, 2147483647));
  }
  FMaxValue = value;
  if (FCurValue > value) FCurValue = value;
  Refresh();
}

void TCGauge::SeTCGaugeKind(TCGaugeKind value) {
  if (value == FKind) return;
  FKind = value;
  Refresh();
}

void TCGauge::SetShowText(bool value) {
  if (value == FShowText) return;
  FShowText = value;
  Refresh();
}

void TCGauge::SetBorderStyle(TBorderStyle value) {
  if (value == FBorderStyle) return;
  FBorderStyle = value;
  Refresh();
}

void TCGauge::SetForeColor(tavrik::Colour value) {
  if (value == FForeColor) return;
  FForeColor = value;
  Refresh();
}

void TCGauge::SetBackColor(tavrik::Colour value) {
  if (value == FBackColor) return;
  FBackColor = value;
  Refresh();
}

void TCGauge::SetColor(tavrik::Colour value) {
  if (value == FColor) return;
  FColor = value;
  update();
}

void TCGauge::Refresh() {
  ++refreshCount_;
  repaint();
}

void TCGauge::paintEvent(QPaintEvent*) {
  ++paintCount_;
  const QImage picture = renderImage();
  QPainter p(this);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(0, 0, picture);
}

TCGauge::Rect TCGauge::paintRect() const {
  Rect r{0, 0, width(), height()};
  if (FBorderStyle == bsSingle) r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  return r;
}

QImage TCGauge::renderImage() const {
  if (width() <= 0 || height() <= 0) return QImage();
  QImage base(width(), height(), QImage::Format_RGB32);
  PaintBackground(base);
  const Rect r = paintRect();
  QImage overlay(base.size(), QImage::Format_RGB32);
  PaintBackground(overlay);
  switch (FKind) {
    case gkText: PaintAsNothing(overlay, r); break;
    case gkHorizontalBar:
    case gkVerticalBar: PaintAsBar(overlay, r); break;
    case gkPie: PaintAsPie(overlay, r); break;
    case gkNeedle: PaintAsNeedle(overlay, r); break;
  }
  {
    QPainter p(&base);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.drawImage(0, 0, overlay);
  }
  if (FShowText) PaintAsText(base, r);
  return base;
}

// BLACKNESS over the control's rectangle.
void TCGauge::PaintBackground(QImage& image) const {
  QPainter p(&image);
  p.setCompositionMode(QPainter::RasterOp_ClearDestination);
  p.fillRect(QRect(0, 0, width(), height()), Qt::black);
}

void TCGauge::PaintAsNothing(QImage& image, const Rect& r) const {
  fillGdiRect(image, r.left, r.top, r.right, r.bottom, FBackColor);
}

void TCGauge::PaintAsBar(QImage& image, const Rect& r) const {
  const int w = r.right - r.left + 1;
  const int h = r.bottom - r.top + 1;
  fillGdiRect(image, r.left, r.top, r.right, r.bottom, FBackColor);
  const int p = GetPercentDone();
  // floor(P × 0.01 × n) for P in 0..100, computed exactly.
  if (FKind == gkHorizontalBar) {
    int f = static_cast<int>(std::int64_t(p) * w / 100);
    if (f > w) f = w;
    // The rectangle's right and bottom edges are F and H themselves, not offsets from R.
    if (f > 0) fillGdiRect(image, r.left, r.top, f, h, FForeColor);
  } else {
    int f = static_cast<int>(std::int64_t(p) * h / 100);
    if (f >= h) f = h - 1;
    fillGdiRect(image, r.left, h - f, w, h, FForeColor);
  }
}

void TCGauge::PaintAsPie(QImage& image, const Rect& r) const {
  int w = r.right - r.left, h = r.bottom - r.top;
  if (FBorderStyle == bsSingle) ++w, ++h;
  fillGdiRect(image, r.left, r.top, r.right, r.bottom, FColor);
  gdiEllipse(image, r.left, r.top, w, h, FForeColor, FBackColor);
  const int p = GetPercentDone();
  if (p < 1) return;
  const int mx = w / 2, my = h / 2;
  const long double a = (p * 0.02L + 0.5L) * std::numbers::pi_v<long double>;
  gdiPie(image, r.left, r.top, w, h, floorInt(mx * (1 - std::cos(a))), floorInt(my * (1 - std::sin(a))),
         mx, 0, FForeColor, FForeColor);
}

void TCGauge::PaintAsNeedle(QImage& image, const Rect& r) const {
  int w = r.right - r.left, h = r.bottom - r.top;
  if (FBorderStyle == bsSingle) ++w, ++h;
  fillGdiRect(image, r.left, r.top, r.right, r.bottom, FColor);
  // The upper half of an ellipse twice as high as R: a half-dial standing on its base.
  gdiPie(image, r.left, r.top, w, 2 * h - 1, r.left + w, r.bottom - 1, r.left, r.bottom - 1, FForeColor,
         FBackColor);
  gdiLine(image, r.left, r.bottom, r.left + w, r.bottom, FForeColor);
  const int p = GetPercentDone();
  if (p < 1) return;
  const int mx = width() / 2;
  const long double a = p * 0.01L * std::numbers::pi_v<long double>;
  gdiLine(image, mx, r.bottom - 1, floorInt((1 - std::cos(a)) * mx),
          floorInt((1 - std::sin(a)) * (r.bottom - 1)), FForeColor);
}

void TCGauge::PaintAsText(QImage& image, const Rect& r) const {
  QImage text(image.size(), QImage::Format_RGB32);
  PaintBackground(text);
  const QString s = QString::number(GetPercentDone()) + QLatin1Char('%');
  QFont f = font();
  // Aliased glyphs: every text pixel is pure white, so the inversion is exact.
  f.setStyleStrategy(QFont::NoAntialias);
  {
    ImagePainter p(text);
    p.setFont(f);
    const QFontMetrics fm(f, &text);
    const int x = (r.right - r.left + 1 - fm.horizontalAdvance(s)) / 2;
    const int y = (r.bottom - r.top + 1 - fm.height()) / 2;
    if (r.right > r.left && r.bottom > r.top) {
      p.setClipRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
      p.setPen(Qt::white);
      p.drawText(x, y + fm.ascent(), s);
    }
  }
  QPainter p(&image);
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.drawImage(0, 0, text);
}
