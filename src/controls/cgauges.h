// TCGauge: a progress gauge that draws itself as text, a horizontal or vertical bar, a pie or a
// needle dial, with the percentage overlaid in inverted colours. The picture is composed in
// off-screen images and copied to the screen in one step; Refresh repaints synchronously, so the
// gauge advances while a long step keeps the event loop busy.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "imaging/colour.h"

enum TCGaugeKind : uint8_t { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

// Only bsSingle draws a frame; every other value behaves as bsNone.
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

class TCGauge : public QWidget {
  Q_OBJECT

 public:
  // The default Color: the desktop's window colour, resolved through the colour scheme.
  static constexpr tavrik::Colour clWindow = 0x80000005;

  explicit TCGauge(QWidget* parent = nullptr);

  int GetPercentDone() const;

  void SetProgress(int value);
  int GetProgress() const { return FCurValue; }
  void AddProgress(int delta);

  void SetMinValue(int value);
  void SetMaxValue(int value);
  int GetMinValue() const { return FMinValue; }
  int GetMaxValue() const { return FMaxValue; }

  void SeTCGaugeKind(TCGaugeKind value);
  TCGaugeKind GetKind() const { return FKind; }
  void SetShowText(bool value);
  bool GetShowText() const { return FShowText; }
  void SetBorderStyle(TBorderStyle value);
  TBorderStyle GetBorderStyle() const { return FBorderStyle; }
  void SetForeColor(tavrik::Colour value);
  tavrik::Colour GetForeColor() const { return FForeColor; }
  void SetBackColor(tavrik::Colour value);
  tavrik::Colour GetBackColor() const { return FBackColor; }

  // The control's own colour: the area around the pie and needle dials.
  void SetColor(tavrik::Colour value);
  tavrik::Colour GetColor() const { return FColor; }

  // Paints the control at once (synchronously) when it is visible.
  void Refresh();

  // The picture Paint copies to the screen, composed from scratch (Format_RGB32).
  QImage renderImage() const;

  // Counters for tests and diagnostics: Refresh calls and paint events handled.
  int refreshCount() const { return refreshCount_; }
  int paintCount() const { return paintCount_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // A GDI-style rectangle: right and bottom edges excluded.
  struct Rect {
    int left, top, right, bottom;
  };

  Rect paintRect() const;
  void PaintBackground(QImage& image) const;
  void PaintAsNothing(QImage& image, const Rect& r) const;
  void PaintAsBar(QImage& image, const Rect& r) const;
  void PaintAsPie(QImage& image, const Rect& r) const;
  void PaintAsNeedle(QImage& image, const Rect& r) const;
  void PaintAsText(QImage& image, const Rect& r) const;

  int FMinValue = 0;
  int FMaxValue = 100;
  int FCurValue = 0;
  TCGaugeKind FKind = gkHorizontalBar;
  bool FShowText = true;
  TBorderStyle FBorderStyle = bsSingle;
  tavrik::Colour FForeColor = tavrik::clBlack;
  tavrik::Colour FBackColor = tavrik::clWhite;
  tavrik::Colour FColor = clWindow;

  int refreshCount_ = 0;
  int paintCount_ = 0;
};
