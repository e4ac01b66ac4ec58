// tavrik-window-check: drives the real window (offscreen) through a whole conversion of the
// scene in FOLDER (written by tavrik-scene) and reports, per button: the handler's time, the
// gauge's repaints during it, the image views' repaints once it has returned and how long they
// took, then the time of scrolling each large view to its far corner. A view converts only the
// part of its surface that is exposed, so a repaint costs the same on 8192 x 8192 planes as on
// small ones.
//
//   tavrik-window-check FOLDER
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <cstdio>
#include <vector>

#include "app/image_view.h"
#include "app/main_form.h"
#include "controls/cgauges.h"
#include "app/error_box.h"
#include "app/picture_dialog.h"

namespace {

int viewPaints(TForm1& form) {
  int n = 0;
  for (tavrik::ImageView* v : {form.Image1, form.Image2, form.Image3, form.Image4, form.Image5,
                               form.Image6, form.Image7, form.Image8, form.Image9})
    n += v->paintCount();
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tavrik-window-check FOLDER\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  int failures = 0;
  tavrik::setBoxHook([&](const tavrik::BoxRecord& box) {
    if (box.kind == tavrik::BoxKind::Error) {
      ++failures;
      std::fprintf(stderr, "error box: %s\n", box.text.toStdString().c_str());
    }
  });

  TForm1 form;
  const char* files[] = {"sprites.bmp", "background.bmp", "full.bmp"};
  tavrik::TOpenPictureDialog* dialogs[] = {form.OpenPictureDialog1, form.OpenPictureDialog2,
                                           form.OpenPictureDialog3};
  for (int i = 0; i < 3; ++i) {
    const QString file = folder.absoluteFilePath(QString::fromLatin1(files[i]));
    dialogs[i]->setRunner([file](tavrik::TOpenPictureDialog&, QWidget*)
                              -> std::optional<tavrik::TOpenPictureDialog::Choice> {
      return tavrik::TOpenPictureDialog::Choice{file, 1};
    });
  }
  form.show();
  QApplication::processEvents();

  std::printf("%-34s %10s %8s %12s %12s\n", "button", "step (s)", "gauge", "view paints",
              "repaint (s)");
  const std::vector<QToolButton*> buttons = {
      form.SpeedButton1, form.SpeedButton2, form.SpeedButton3, form.SpeedButton4,
      form.SpeedButton5, form.SpeedButton6, form.SpeedButton8, form.SpeedButton7,
      form.SpeedButton9, form.SpeedButton10};
  for (QToolButton* button : buttons) {
    const int gaugeBefore = form.CGauge1->paintCount();
    const int viewsBefore = viewPaints(form);
    QElapsedTimer timer;
    timer.start();
    button->click();
    const double step = timer.nsecsElapsed() / 1e9;
    const int gauge = form.CGauge1->paintCount() - gaugeBefore;
    const int paintedDuring = viewPaints(form) - viewsBefore;
    timer.restart();
    QApplication::processEvents();
    const double repaint = timer.nsecsElapsed() / 1e9;
    const int painted = viewPaints(form) - viewsBefore;
    std::printf("%-34s %10.3f %8d %12d %12.4f%s\n", button->text().toStdString().c_str(), step,
                gauge, painted, repaint, paintedDuring ? "  (views painted during the step!)" : "");
  }

  std::printf("\n%-34s %12s %12s\n", "scrolled to the far corner", "view paints", "repaint (s)");
  for (QScrollArea* area : form.findChildren<QScrollArea*>()) {
    QWidget* inner = area->widget();
    if (!inner || inner->width() * static_cast<long long>(inner->height()) < 1000000) continue;
    const int before = viewPaints(form);
    QElapsedTimer timer;
    timer.start();
    area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    QApplication::processEvents();
    std::printf("%-34s %12d %12.4f\n",
                (area->objectName() + " (" + inner->objectName() + " " +
                 QString::number(inner->width()) + " x " + QString::number(inner->height()) + ")")
                    .toStdString()
                    .c_str(),
                viewPaints(form) - before, timer.nsecsElapsed() / 1e9);
  }
  return failures ? 1 : 0;
}
