// The picture dialogs: filter conversion, the configured Qt dialog, the preview pane and window.
#include <sys/resource.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include "app_test_support.h"
#include "app/picture_dialog.h"

namespace {

using tavrik::TOpenPictureDialog;

TEST(PictureDialogFilter, ConvertedForQtWithSpaceSeparatedPatterns) {
  const QStringList filters = tavrik::qtNameFilters(QString::fromUtf8(tavrik::kPictureDialogFilter));
  const QStringList expected = {
      QStringLiteral("Tout (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf)"),
      QStringLiteral("Fichier image JPEG (*.jpg)"),
      QStringLiteral("Fichier image JPEG (*.jpeg)"),
      QStringLiteral("Bitmaps (*.bmp)"),
      QStringLiteral("Icônes (*.ico)"),
      QStringLiteral("MétaFichiers améliorés (*.emf)"),
      QStringLiteral("MetaFichiers (*.wmf)"),
  };
  EXPECT_EQ(filters, expected);
  // A description without its own pattern list still gets one; a lone last part is ignored.
  EXPECT_EQ(tavrik::qtNameFilters(QStringLiteral("Images|*.bmp;*.ico|Orphan")),
            QStringList{QStringLiteral("Images (*.bmp *.ico)")});
}

TEST(PictureDialog, KeepsTheExactFilterAndStartsEmpty) {
  TOpenPictureDialog dialog;
  EXPECT_EQ(dialog.Filter,
            QStringLiteral("Tout (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;"
                           "*.emf;*.wmf|Fichier image JPEG (*.jpg)|*.jpg|Fichier image JPEG "
                           "(*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|Icônes (*.ico)|*.ico|"
                           "MétaFichiers améliorés (*.emf)|*.emf|MetaFichiers (*.wmf)|*.wmf"));
  EXPECT_EQ(dialog.FilterIndex, 1);
  EXPECT_TRUE(dialog.FileName.isEmpty());
}

TEST(PictureDialog, QtDialogIsNonNativeAnyFileWithPreviewAndRememberedFilter) {
  TOpenPictureDialog dialog;
  dialog.FilterIndex = 4;
  auto qt = dialog.createFileDialog(nullptr);
  EXPECT_TRUE(qt->testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_FALSE(qt->testOption(QFileDialog::ReadOnly));
  EXPECT_EQ(qt->fileMode(), QFileDialog::AnyFile);
  EXPECT_EQ(qt->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(qt->nameFilters().size(), 7);
  EXPECT_EQ(qt->selectedNameFilter(), QStringLiteral("Bitmaps (*.bmp)"));
  EXPECT_TRUE(qt->isSizeGripEnabled());
  auto* preview = qt->findChild<tavrik::PicturePreview*>(QStringLiteral("PicturePreview"));
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->caption(), QStringLiteral("Image :"));
  EXPECT_FALSE(preview->previewButton()->isEnabled());
}

// The real dialog, accepted with a typed name that does not exist.
TEST(PictureDialog, RealDialogAcceptsATypedMissingName) {
  QTemporaryDir dir;
  const QString saved = QDir::currentPath();
  TOpenPictureDialog dialog;
  dialog.FileName = dir.filePath(QStringLiteral("start.bmp"));
  QTimer::singleShot(0, [&] {
    auto* qt = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(qt, nullptr);
    qt->selectNameFilter(qt->nameFilters().value(3));
    qt->selectFile(dir.filePath(QStringLiteral("nouveau.bmp")));
    static_cast<QDialog*>(qt)->accept();
  });
  ASSERT_TRUE(dialog.Execute(nullptr));
  EXPECT_EQ(QFileInfo(dialog.FileName).fileName(), QStringLiteral("nouveau.bmp"));
  EXPECT_EQ(dialog.FilterIndex, 4);
  EXPECT_EQ(QFileInfo(QDir::currentPath()).canonicalFilePath(),
            QFileInfo(dir.path()).canonicalFilePath());
  QDir::setCurrent(saved);

  // A cancelled run keeps the name and the index.
  QTimer::singleShot(0, [] {
    if (auto* qt = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) qt->reject();
  });
  EXPECT_FALSE(dialog.Execute(nullptr));
  EXPECT_EQ(QFileInfo(dialog.FileName).fileName(), QStringLiteral("nouveau.bmp"));
  EXPECT_EQ(dialog.FilterIndex, 4);
}

TEST(PicturePreviewPane, FollowsTheSelection) {
  QTemporaryDir dir;
  const QString good = dir.filePath(QStringLiteral("b.bmp"));
  apptest::writeFile(good, apptest::bitmap24(200, 100, [](int x, int) {
                       return x < 100 ? tavrik::clBlack : tavrik::clFuchsia;
                     }));
  const QString bad = dir.filePath(QStringLiteral("bad.bmp"));
  apptest::writeFile(bad, {'x', 'y', 'z'});

  tavrik::PicturePreview pane;
  pane.resize(180, 200);
  pane.showFile(good);
  EXPECT_EQ(pane.caption(), QStringLiteral(" (200x100)"));
  EXPECT_TRUE(pane.previewButton()->isEnabled());
  EXPECT_EQ(pane.previewButton()->toolTip(), QStringLiteral("Prévisualiser"));
  EXPECT_EQ(pane.image().pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_EQ(pane.image().pixel(150, 50), qRgb(255, 0, 255));

  for (const QString& none : {bad, dir.path(), QString(), dir.filePath(QStringLiteral("no.bmp")),
                              dir.filePath(QStringLiteral("a.jpg"))}) {
    pane.showFile(good);
    pane.showFile(none);
    EXPECT_EQ(pane.caption(), QStringLiteral("Image :"));
    EXPECT_FALSE(pane.previewButton()->isEnabled());
    EXPECT_FALSE(pane.hasPicture());
  }
}

// A run-length (RLE8) bitmap file of any declared size whose data is only "end of bitmap": a
// file of 1,080 bytes, its colour-table entry 0 red.
std::vector<std::uint8_t> emptyRle8(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> b = {'B', 'M'};
  apptest::put32(b, 1080);
  apptest::put32(b, 0);
  apptest::put32(b, 1078);
  apptest::put32(b, 40);
  apptest::put32(b, width);
  apptest::put32(b, height);
  apptest::put16(b, 1);
  apptest::put16(b, 8);
  apptest::put32(b, 1);  // RLE8
  for (int k = 0; k < 5; ++k) apptest::put32(b, 0);
  apptest::put32(b, 0x00FF0000);  // entry 0: red
  b.resize(1078, 0);
  b.push_back(0);
  b.push_back(1);  // end of bitmap
  return b;
}

long peakMemoryKiB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Selecting a tiny file that declares a huge picture shows its size without decoding all of
// it: the pane never needs memory in proportion to the picture, and never crashes.
TEST(PicturePreviewPane, HugeDeclaredPicturesShowTheirSizeInLittleMemory) {
  QTemporaryDir dir;
  const struct {
    std::uint32_t width, height;
    bool shown;  // wide enough to cover a pixel of the area
  } cases[] = {{67108864, 4, false}, {67108863, 4, false}, {16384, 16384, true}, {4, 16384, false}, {2048, 16384, true}};
  for (const auto& c : cases) {
    const QString name = QStringLiteral("%1x%2").arg(c.width).arg(c.height);
    SCOPED_TRACE(name.toStdString());
    const QString file = dir.filePath(name + QStringLiteral(".bmp"));
    apptest::writeFile(file, emptyRle8(c.width, c.height));
    ASSERT_EQ(QFileInfo(file).size(), 1080);

    const long before = peakMemoryKiB();
    tavrik::PicturePreview pane;
    pane.resize(180, 200);
    pane.show();
    pane.showFile(file);
    const QImage shot = pane.grab().toImage();  // a real repaint of the area
    EXPECT_LT(peakMemoryKiB() - before, 64 * 1024) << "KiB";

    EXPECT_EQ(pane.caption(), QStringLiteral(" (%1x%2)").arg(c.width).arg(c.height));
    EXPECT_TRUE(pane.hasPicture());
    EXPECT_EQ(pane.pictureSize(), QSize(int(c.width), int(c.height)));
    EXPECT_LE(pane.image().width(), tavrik::kPreviewPixels);
    EXPECT_LE(pane.image().height(), tavrik::kPreviewPixels);
    // The area shows the red picture where it covers pixels, the empty state otherwise.
    const QPoint origin = pane.pictureArea()->mapTo(&pane, QPoint(0, 0));
    EXPECT_EQ(shot.pixel(origin + QPoint(1, 1)) == qRgb(255, 0, 0), c.shown);

    // The preview window of such a picture never asks for more than the screen.
    tavrik::PicturePreviewWindow window(pane.image(), pane.pictureSize());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      EXPECT_LE(window.width(), screen->availableGeometry().width());
      EXPECT_LE(window.height(), screen->availableGeometry().height());
    }
    EXPECT_LT(peakMemoryKiB() - before, 64 * 1024) << "KiB";
  }
}

TEST(PicturePreviewPane, PlacesThePictureInItsArea) {
  const QRect area(0, 0, 150, 150);
  EXPECT_EQ(tavrik::previewRect(QSize(50, 20), area), QRect(50, 65, 50, 20));  // centred, 1:1
  EXPECT_EQ(tavrik::previewRect(QSize(150, 150), area), QRect(0, 0, 150, 150));
  EXPECT_EQ(tavrik::previewRect(QSize(600, 300), area), QRect(0, 0, 150, 75));  // full width
  EXPECT_EQ(tavrik::previewRect(QSize(100, 400), area), QRect(0, 0, 37, 150));  // full height
  EXPECT_EQ(tavrik::previewRect(QSize(300, 300), area), QRect(0, 0, 150, 150));
  EXPECT_TRUE(tavrik::previewRect(QSize(0, 0), area).isEmpty());
}

TEST(PicturePreviewWindow, OpensAtOneToOneInsideAFivePixelMargin) {
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(qRgb(255, 0, 0));
  tavrik::PicturePreviewWindow window(image, image.size());
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Prévisualiser"));
  EXPECT_TRUE(window.isModal());
  EXPECT_EQ(window.size(), QSize(50, 40));
  EXPECT_EQ(window.pictureRect(), QRect(5, 5, 40, 30));
  EXPECT_TRUE(window.windowFlags() & Qt::Tool);
  const QImage shot = window.grab().toImage();
  EXPECT_EQ(shot.pixel(5, 5), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(44, 34), qRgb(255, 0, 0));
  EXPECT_NE(shot.pixel(4, 4), qRgb(255, 0, 0));
  EXPECT_NE(shot.pixel(45, 35), qRgb(255, 0, 0));
  // Stretched when the window is resized.
  window.resize(90, 70);
  const QImage big = window.grab().toImage();
  EXPECT_EQ(big.pixel(84, 64), qRgb(255, 0, 0));
  // Escape closes it.
  window.show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&window, &escape);
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
