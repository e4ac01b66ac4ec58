// The load handlers and the command handlers of the window, driven without real dialogs.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QToolButton>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "app_test_support.h"
#include "controls/cgauges.h"
#include "controls/cspin.h"
#include "app/picture_dialog.h"

namespace {

using apptest::BoxRecorder;
using tavrik::TOpenPictureDialog;

// Answers every run of `dialog` with `file` (or cancels when it is empty); counts the runs.
struct FakeChooser {
  QString file;
  int filterIndex = 1;
  int runs = 0;
  void attach(TOpenPictureDialog* dialog) {
    dialog->setRunner([this](TOpenPictureDialog&, QWidget*) -> std::optional<TOpenPictureDialog::Choice> {
      ++runs;
      if (file.isEmpty()) return std::nullopt;
      return TOpenPictureDialog::Choice{file, filterIndex};
    });
  }
};

class FormHandlers : public apptest::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    chooser1.attach(form.OpenPictureDialog1);
    chooser2.attach(form.OpenPictureDialog2);
    chooser3.attach(form.OpenPictureDialog3);
  }
  QString bitmap(const QString& name, int w, int h, tavrik::Colour c = 0x123456) {
    const QString file = path(name);
    apptest::writeFile(file, apptest::bitmap24(w, h, [c](int x, int y) { return c + x + 7 * y; }));
    return file;
  }
  QString label(const char* name) {
    return form.findChild<QLabel*>(QString::fromLatin1(name))->text();
  }

  BoxRecorder boxes;
  TForm1 form;
  FakeChooser chooser1, chooser2, chooser3;
};

TEST_F(FormHandlers, LoadingSetsImageLabelsViewAndCurrentFolder) {
  chooser1.file = bitmap(QStringLiteral("SPRITES.BMP"), 320, 200);
  form.SpeedButton1->click();  // the button is wired to its handler
  EXPECT_EQ(chooser1.runs, 1);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(label("Label4"), QStringLiteral("320"));
  EXPECT_EQ(label("Label5"), QStringLiteral("200"));
  EXPECT_EQ(form.ws.Image1.Width(), 320);
  EXPECT_EQ(form.ws.Image1.readPixel(3, 2), 0x123456u + 3 + 14);
  EXPECT_EQ(form.Image1->size(), QSize(320, 200));
  EXPECT_EQ(form.OpenPictureDialog1->FileName, chooser1.file);
  EXPECT_EQ(form.ws.OpenPictureDialog1FileName, chooser1.file.toStdString());
  EXPECT_EQ(QFileInfo(QDir::currentPath()).canonicalFilePath(),
            QFileInfo(dir_.path()).canonicalFilePath());
  // The other slots are untouched.
  EXPECT_EQ(label("Label7"), QStringLiteral("N/A"));
  EXPECT_EQ(label("Label15"), QStringLiteral("N/A"));

  chooser2.file = bitmap(QStringLiteral("back.bmp"), 40, 30);
  chooser3.file = bitmap(QStringLiteral("full.bmp"), 41, 31);
  form.SpeedButton2->click();
  form.SpeedButton3->click();
  EXPECT_EQ(label("Label7"), QStringLiteral("40"));
  EXPECT_EQ(label("Label8"), QStringLiteral("30"));
  EXPECT_EQ(label("Label15"), QStringLiteral("41"));
  EXPECT_EQ(label("Label16"), QStringLiteral("31"));
  EXPECT_EQ(form.Image3->size(), QSize(41, 31));
  EXPECT_TRUE(boxes.boxes.empty());
}

// Each refused load shows the exact error-box text and leaves picture, size and labels alone.
TEST_F(FormHandlers, RefusedLoadsShowTheErrorBoxAndChangeNothing) {
  chooser1.file = bitmap(QStringLiteral("good.bmp"), 4, 3);
  form.SpeedButton1Click(nullptr);
  ASSERT_EQ(label("Label4"), QStringLiteral("4"));

  const QString other = path(QStringLiteral("other.bmp"));
  apptest::writeFile(other, {'N', 'O', 'T', ' ', 'A', ' ', 'B', 'I', 'T', 'M', 'A', 'P', ' ', 'A',
                             'T', ' ', 'A', 'L', 'L', '!'});
  const QString pipe = path(QStringLiteral("tube.bmp")), zero = path(QStringLiteral("zero.bmp"));
  ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
  const struct {
    QString file;
    QString text;
  } cases[] = {
      {path(QStringLiteral("photo.jpg")),
       QStringLiteral("Extension de fichier graphique inconnue (.jpg)")},
      {path(QStringLiteral("PHOTO.JPEG")),
       QStringLiteral("Extension de fichier graphique inconnue (.JPEG)")},
      {path(QStringLiteral("plan")), QStringLiteral("Extension de fichier graphique inconnue (.)")},
      {path(QStringLiteral("missing.bmp")),
       QStringLiteral("Impossible d'ouvrir le fichier %1.").arg(path(QStringLiteral("missing.bmp")))},
      {other, QStringLiteral("Image bitmap incorrecte.")},
      // A named pipe without a writer and an endless device are refused at once.
      {pipe, QStringLiteral("Impossible d'ouvrir le fichier %1.").arg(pipe)},
      {zero, QStringLiteral("Impossible d'ouvrir le fichier %1.").arg(zero)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    boxes.boxes.clear();
    chooser1.file = c.file;
    alarm(20);  // a load that blocks ends the test program
    form.SpeedButton1Click(nullptr);
    alarm(0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, tavrik::BoxKind::Error);
    EXPECT_EQ(boxes.boxes[0].text, c.text);
    EXPECT_EQ(label("Label4"), QStringLiteral("4"));
    EXPECT_EQ(label("Label5"), QStringLiteral("3"));
    EXPECT_EQ(form.ws.Image1.Width(), 4);
    EXPECT_EQ(form.ws.Image1.readPixel(0, 0), 0x123456u);
    EXPECT_EQ(form.Image1->size(), QSize(4, 3));
    // The dialog keeps the accepted name even though the load failed.
    EXPECT_EQ(form.OpenPictureDialog1->FileName, c.file);
  }
}

TEST_F(FormHandlers, CancelledDialogChangesNothing) {
  chooser2.file.clear();
  form.SpeedButton2Click(nullptr);
  EXPECT_EQ(chooser2.runs, 1);
  EXPECT_TRUE(form.OpenPictureDialog2->FileName.isEmpty());
  EXPECT_EQ(label("Label7"), QStringLiteral("N/A"));
  EXPECT_FALSE(form.ws.Image2.hasSurface());

  const QString good = bitmap(QStringLiteral("good.bmp"), 6, 5);
  chooser1.file = good;
  form.SpeedButton1Click(nullptr);
  chooser1.file.clear();
  form.SpeedButton1Click(nullptr);
  EXPECT_EQ(form.OpenPictureDialog1->FileName, good);
  EXPECT_EQ(form.ws.OpenPictureDialog1FileName, good.toStdString());
  EXPECT_EQ(label("Label4"), QStringLiteral("6"));
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(FormHandlers, EmptyBitmapFileKeepsTheLayoutSize) {
  chooser3.file = path(QStringLiteral("empty.bmp"));
  apptest::writeFile(chooser3.file, {});
  form.SpeedButton3Click(nullptr);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(label("Label15"), QStringLiteral("105"));
  EXPECT_EQ(label("Label16"), QStringLiteral("105"));
  EXPECT_EQ(form.Image3->size(), QSize(105, 105));
  EXPECT_EQ(form.ws.Image3.pictureKind(), tavrik::PictureKind::Bitmap);
}

TEST_F(FormHandlers, IconLoadsButTheNextStepRefusesIt) {
  chooser1.file = path(QStringLiteral("logo.ico"));
  apptest::writeFile(chooser1.file, apptest::icon16());
  form.SpeedButton1Click(nullptr);
  ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text.toStdString();
  EXPECT_EQ(label("Label4"), QStringLiteral("32"));
  EXPECT_EQ(label("Label5"), QStringLiteral("32"));
  form.grab();  // an icon has no surface: the view draws without touching one
  EXPECT_EQ(form.ws.Image1.pictureKind(), tavrik::PictureKind::Icon);

  form.SpeedButton4Click(nullptr);
  ASSERT_EQ(boxes.errors().size(), 1u);
  EXPECT_EQ(boxes.errors()[0],
            QStringLiteral("Impossible de modifier que les images comportant un bitmap."));
}

TEST_F(FormHandlers, StepsReadTheControlsAndFailuresReachTheErrorBox) {
  form.CSpinEdit1->SetValue(5);
  form.CSpinEdit2->SetValue(600);
  form.CSpinEdit3->SetValue(1023);
  form.Edit6->setText(QStringLiteral("Niveau1"));
  form.OpenPictureDialog1->FileName = QStringLiteral("/tmp/x.bmp");
  // Without lists, SpriteSize is 0: the optimisation divides by it.
  form.SpeedButton9->click();
  EXPECT_EQ(form.ws.CSpinEdit1, 5);
  EXPECT_EQ(form.ws.CSpinEdit2, 600);
  EXPECT_EQ(form.ws.CSpinEdit3, 1023);
  EXPECT_EQ(form.ws.Edit6, "Niveau1");
  EXPECT_EQ(form.ws.OpenPictureDialog1FileName, "/tmp/x.bmp");
  EXPECT_TRUE(form.ws.RadioButton2);
  EXPECT_FALSE(form.ws.RadioButton1);
  ASSERT_EQ(boxes.errors().size(), 1u);
  EXPECT_EQ(boxes.errors()[0], QStringLiteral("Division par zéro."));
  EXPECT_EQ(boxes.boxes[0].caption, tavrik::applicationCaption());
  // The window stays usable: the next command runs.
  form.SpeedButton4->click();
  EXPECT_EQ(form.CGauge1->GetProgress(), 0);
}

// The gauge repaints at once on every change; the images only once the handler has returned.
TEST_F(FormHandlers, ImagesRepaintOnceAfterTheStepWhileTheGaugeFollowsIt) {
  chooser1.file = bitmap(QStringLiteral("a.bmp"), 150, 150, 0x404040);
  chooser2.file = bitmap(QStringLiteral("b.bmp"), 150, 150, 0xA0A0A0);
  form.SpeedButton1Click(nullptr);
  form.SpeedButton2Click(nullptr);
  form.show();
  QApplication::processEvents();
  const int gaugeBefore = form.CGauge1->paintCount();
  const int imageBefore = form.Image1->paintCount();
  ASSERT_GT(imageBefore, 0);
  form.SpeedButton5Click(nullptr);  // grey levels: many gauge changes, every pixel written
  ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text.toStdString();
  EXPECT_GT(form.CGauge1->paintCount() - gaugeBefore, 10);
  EXPECT_EQ(form.Image1->paintCount(), imageBefore);  // nothing painted during the step
  QApplication::processEvents();
  EXPECT_EQ(form.Image1->paintCount(), imageBefore + 1);
  // 0x404040 has a brightness of 192: between the second and third limits, light grey.
  EXPECT_EQ(form.Image1->grab().toImage().pixel(0, 0), qRgb(0xC0, 0xC0, 0xC0));
}

// A whole conversion through the buttons: lists, counters, previews, files and the closing box.
TEST_F(FormHandlers, WholeConversionThroughTheButtons) {
  // Two 32 x 32 planes of four tiles, the background a black and white checkerboard.
  chooser1.file = path(QStringLiteral("sprites.bmp"));
  chooser2.file = path(QStringLiteral("back.bmp"));
  chooser3.file = path(QStringLiteral("full.bmp"));
  auto back = [](int x, int y) { return (x / 16 + y / 16) % 2 ? tavrik::clWhite : tavrik::clBlack; };
  apptest::writeFile(chooser1.file, apptest::bitmap24(32, 32, [](int x, int y) {
                       return x == 3 && y == 4 ? tavrik::clBlack : tavrik::clWhite;
                     }));
  apptest::writeFile(chooser2.file, apptest::bitmap24(32, 32, back));
  apptest::writeFile(chooser3.file, apptest::bitmap24(32, 32, [&](int x, int y) {
                       return x == 3 && y == 4 ? tavrik::clBlack : back(x, y);
                     }));
  form.SpeedButton1->click();
  form.SpeedButton2->click();
  form.SpeedButton3->click();
  for (QToolButton* b : {form.SpeedButton4, form.SpeedButton5, form.SpeedButton6,
                         form.SpeedButton8, form.SpeedButton7}) {
    b->click();
    ASSERT_TRUE(boxes.boxes.empty()) << b->objectName().toStdString() << ": "
                                     << boxes.boxes[0].text.toStdString();
  }
  EXPECT_EQ(form.ws.SpriteSize, 16);
  EXPECT_EQ(label("Label23"), QStringLiteral("4"));
  EXPECT_EQ(label("Label26"), QStringLiteral("4"));
  EXPECT_EQ(form.Image5->size(), QSize(form.ws.Image5.Width(), form.ws.Image5.Height()));
  form.SpeedButton9->click();
  ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text.toStdString();
  EXPECT_EQ(label("Label26"), QStringLiteral("2"));  // two distinct background tiles
  EXPECT_EQ(form.CGauge1->GetProgress(), 0);

  form.SpeedButton10->click();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].kind, tavrik::BoxKind::Message);
  EXPECT_EQ(boxes.boxes[0].text,
            QStringLiteral("Les fichiers ont été enregistrés avec l'image : %1").arg(chooser1.file));
  for (const char* name : {"Demo1.lvl", "Demo2.lvl", "Demo1.bin", "Demo2.bin"})
    EXPECT_TRUE(QFile::exists(path(QString::fromLatin1(name)))) << name;
  EXPECT_EQ(form.Image8->size(), QSize(form.ws.Image8.Width(), form.ws.Image8.Height()));
  // The legend never changes.
  for (const char* name : {"Edit1", "Edit2", "Edit3", "Edit4"})
    EXPECT_EQ(form.findChild<QLineEdit*>(QString::fromLatin1(name))->text(), QStringLiteral("000"));
}

}  // namespace
