// Image views: 1:1 from the top-left corner, cut off at the control's size, the container's
// background beyond the surface, repaints only after refresh().
#include <QApplication>
#include <QMessageBox>
#include <QPaintEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/image_view.h"
#include "app_test_support.h"
#include "base/error.h"

namespace {

const QRgb kBackground = qRgb(0x12, 0x34, 0x56);

struct ViewHarness {
  tavrik::ImageControl control{"Image5", 0, 0, 288, 16, false, true};
  QWidget container;
  tavrik::ImageView* view;
  ViewHarness() {
    container.resize(700, 40);
    QPalette pal = container.palette();
    pal.setColor(QPalette::Window, QColor(kBackground));
    container.setPalette(pal);
    container.setAutoFillBackground(true);
    view = new tavrik::ImageView(control, &container);
  }
  QImage shot() { return container.grab().toImage(); }
};

TEST(ImageView, ShowsTheSurfaceCutOffAtTheControlWithBackgroundBeyond) {
  ViewHarness h;
  h.control.writePixel(287, 0, tavrik::clGray);
  h.control.writePixel(0, 15, 0x0000FF);  // red in 0x00BBGGRR
  h.view->refresh();
  EXPECT_EQ(h.view->size(), QSize(288, 16));
  QImage img = h.shot();
  EXPECT_EQ(img.pixel(287, 0), qRgb(0x80, 0x80, 0x80));
  EXPECT_EQ(img.pixel(0, 15), qRgb(255, 0, 0));
  EXPECT_EQ(img.pixel(1, 1), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(0, 16), kBackground);

  // Narrower control: only the first 64 columns show, the pixels stay.
  h.control.SetWidth(64);
  h.view->refresh();
  EXPECT_EQ(h.view->size(), QSize(64, 16));
  img = h.shot();
  EXPECT_EQ(img.pixel(63, 1), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(64, 1), kBackground);
  EXPECT_EQ(h.control.readPixel(287, 0), tavrik::clGray);

  // A view larger than its surface shows the container's background beyond it. (AutoSize-less
  // controls grow their surface with the control; a 0-pixel surface never grows.)
  tavrik::ImageControl picture("Image1", 0, 0, 105, 105, true, true);
  tavrik::ImageView view(picture, &h.container);
  view.move(300, 0);
  tavrik::Picture p;
  p.kind = tavrik::PictureKind::Bitmap;
  p.surface = std::make_unique<tavrik::Surface>(20, 10, tavrik::clBlack);
  picture.setPicture(std::move(p));
  view.refresh();
  EXPECT_EQ(view.size(), QSize(20, 10));
  img = h.shot();
  EXPECT_EQ(img.pixel(319, 9), qRgb(0, 0, 0));
  EXPECT_EQ(img.pixel(320, 9), kBackground);
}

TEST(ImageView, ChangesOnlyMarkTheViewUntilRefresh) {
  ViewHarness h;
  h.view->refresh();
  h.container.show();
  QApplication::processEvents();
  EXPECT_FALSE(h.view->dirty());
  for (int x = 0; x < 100; ++x) h.control.writePixel(x, 0, tavrik::clBlack);
  EXPECT_TRUE(h.view->dirty());
  h.view->refresh();
  EXPECT_FALSE(h.view->dirty());
  EXPECT_EQ(h.shot().pixel(99, 0), qRgb(0, 0, 0));
}

// A view never creates a surface by painting: a control without picture stays without one.
TEST(ImageView, PaintingCreatesNoSurface) {
  ViewHarness h;
  h.shot();
  EXPECT_FALSE(h.control.hasSurface());
}

TEST(ImageView, WideSurfacesConvertOnlyTheExposedPart) {
  tavrik::ImageControl control("Image8", 0, 0, 20000, 16, false, true);
  control.writePixel(19999, 15, tavrik::clFuchsia);
  QWidget container;
  tavrik::ImageView view(control, &container);
  view.refresh();
  const QImage part = view.grab(QRect(19990, 0, 10, 16)).toImage();
  EXPECT_EQ(part.size(), QSize(10, 16));
  EXPECT_EQ(part.pixel(9, 15), qRgb(255, 0, 255));
}

TEST(ErrorBox, CaptionFromTheProgramNameAndFullStopRule) {
  apptest::BoxRecorder boxes;
  tavrik::showErrorBox(nullptr, "Image bitmap incorrecte");
  tavrik::showErrorBox(nullptr, "Extension de fichier graphique inconnue (.jpg)");
  tavrik::showMessageBox(nullptr, "Les fichiers ont été enregistrés avec l'image : a.bmp");
  ASSERT_EQ(boxes.boxes.size(), 3u);
  EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Image bitmap incorrecte."));
  EXPECT_EQ(boxes.boxes[1].text, QStringLiteral("Extension de fichier graphique inconnue (.jpg)"));
  EXPECT_EQ(boxes.boxes[2].kind, tavrik::BoxKind::Message);
  EXPECT_EQ(boxes.boxes[2].text,
            QStringLiteral("Les fichiers ont été enregistrés avec l'image : a.bmp"));
  // This program is test_app: the caption follows the same rule as for tavrik.
  EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("test_app"));
  EXPECT_EQ(tavrik::applicationTitle(TAVRIK_BINARY_DIR "/tavrik"), "tavrik");
  EXPECT_EQ(tavrik::applicationTitle("/opt/TAVRIK.EXE"), "Tavrik");
}

TEST(ErrorBox, RealBoxIsAModalStopBoxWithOneOkButton) {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  Qt::WindowModality modality = Qt::NonModal;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    modality = box->windowModality();
    box->accept();
  });
  tavrik::showErrorBox(nullptr, "Division par zéro");
  EXPECT_EQ(title, QStringLiteral("test_app"));
  EXPECT_EQ(text, QStringLiteral("Division par zéro."));
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(modality, Qt::ApplicationModal);
}

}  // namespace
