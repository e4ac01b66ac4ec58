// Gallery of the custom controls: the five gauge kinds at several percentages, with and without
// a frame and text, and a few spin edits (one set up like the main window's thresholds).
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QWidget>

#include "controls/cgauges.h"
#include "controls/cspin.h"

namespace {

QFont gaugeFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  font.setBold(true);
  return font;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y) {
  auto* l = new QLabel(text, parent);
  l->move(x, y);
  return l;
}

TCGauge* gauge(QWidget* parent, TCGaugeKind kind, int percent, QRect bounds, TBorderStyle border = bsSingle,
               bool text = true) {
  auto* g = new TCGauge(parent);
  g->setGeometry(bounds);
  g->setFont(gaugeFont());
  g->SetColor(tavrik::clRed);
  g->SeTCGaugeKind(kind);
  g->SetBorderStyle(border);
  g->SetShowText(text);
  g->SetProgress(percent);
  return g;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The Windows face of the spin edits' font, when the machine has it.
  const QString msSansSerif = QStringLiteral("/usr/share/wine/fonts/ms_sans_serif.ttf");
  if (QFile::exists(msSansSerif)) QFontDatabase::addApplicationFont(msSansSerif);
  QFont windowFont(QStringLiteral("MS Sans Serif"));
  windowFont.setPixelSize(11);

  QWidget window;
  window.setWindowTitle(QStringLiteral("Tavrik controls"));
  window.setFont(windowFont);
  QPalette palette = window.palette();
  palette.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  window.setPalette(palette);
  window.setAutoFillBackground(true);

  // The main window's gauge: 409 x 17, framed bar.
  label(&window, QStringLiteral("CGauge1 (409 x 17) at 0 %, 50 %, 100 %, 57 % on 0..1000, 42 % red on silver:"), 8, 8);
  for (int i = 0; i < 3; ++i) gauge(&window, gkHorizontalBar, i * 50, QRect(8, 26 + i * 22, 409, 17));
  TCGauge* thousand = gauge(&window, gkHorizontalBar, 0, QRect(8, 92, 409, 17));
  thousand->SetMaxValue(1000);
  thousand->SetProgress(573);
  TCGauge* coloured = gauge(&window, gkHorizontalBar, 42, QRect(8, 114, 409, 17));
  coloured->SetForeColor(tavrik::clRed);
  coloured->SetBackColor(tavrik::clSilver);

  // Every kind at four percentages.
  const int percents[] = {0, 25, 57, 100};
  const char* kinds[] = {"gkText", "gkHorizontalBar", "gkVerticalBar", "gkPie", "gkNeedle"};
  const int top = 150;
  for (int k = 0; k < 5; ++k) label(&window, QString::fromLatin1(kinds[k]), 60 + k * 112, top);
  for (int row = 0; row < 4; ++row) {
    label(&window, QString::number(percents[row]) + QStringLiteral(" %"), 8, top + 38 + row * 70);
    for (int k = 0; k < 5; ++k)
      gauge(&window, static_cast<TCGaugeKind>(k), percents[row], QRect(60 + k * 112, top + 18 + row * 70, 100, 60));
  }

  // Without frame, without text, and both.
  const int top2 = top + 18 + 4 * 70 + 4;
  label(&window, QStringLiteral("bsNone"), 8, top2 + 8);
  label(&window, QStringLiteral("no text"), 8, top2 + 70);
  label(&window, QStringLiteral("neither"), 8, top2 + 132);
  for (int k = 0; k < 5; ++k) {
    gauge(&window, static_cast<TCGaugeKind>(k), 66, QRect(60 + k * 112, top2, 100, 58), bsNone, true);
    gauge(&window, static_cast<TCGaugeKind>(k), 66, QRect(60 + k * 112, top2 + 62, 100, 58), bsSingle, false);
    gauge(&window, static_cast<TCGaugeKind>(k), 66, QRect(60 + k * 112, top2 + 124, 100, 58), bsNone, false);
  }

  // Spin edits.
  const int spinX = 450;
  label(&window, QStringLiteral("Spin edits:"), spinX, 8);
  label(&window, QStringLiteral("0..1023, typing off"), spinX, 28);
  auto* threshold = new TCSpinEdit(&window);
  threshold->setGeometry(spinX, 44, 97, 22);
  threshold->SetMaxValue(1023);
  threshold->SetEditorEnabled(false);
  threshold->SetValue(100);

  label(&window, QStringLiteral("no bounds, step 5"), spinX, 72);
  auto* free = new TCSpinEdit(&window);
  free->setGeometry(spinX, 88, 97, 22);
  free->SetIncrement(5);
  free->SetValue(-7);

  label(&window, QStringLiteral("read-only, taller"), spinX + 104, 28);
  auto* readOnly = new TCSpinEdit(&window);
  readOnly->setGeometry(spinX + 104, 44, 70, 30);
  readOnly->SetValue(42);
  readOnly->setReadOnly(true);

  label(&window, QStringLiteral("set 10 high"), spinX + 104, 80);
  auto* tiny = new TCSpinEdit(&window);
  tiny->setGeometry(spinX + 104, 96, 70, 10);  // grows to its minimum height
  tiny->SetValue(1500);

  // A standalone arrow pair that takes the focus (focus mark on the active arrow), and one with
  // its down arrow shown pressed.
  label(&window, QStringLiteral("TCSpinButton: focused, pressed"), spinX, 116);
  auto* focused = new TCSpinButton(&window);
  focused->SetBounds(spinX, 132, 20, 25);
  focused->SetTabStop(true);
  auto* pressed = new TCSpinButton(&window);
  pressed->SetBounds(spinX + 30, 132, 20, 25);
  pressed->DecButton()->setDown(true);

  window.resize(640, top2 + 192);
  window.show();
  window.activateWindow();
  focused->setFocus();
  return app.exec();
}
