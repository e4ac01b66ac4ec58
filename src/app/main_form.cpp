#include "app/main_form.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include "base/error.h"
#include "controls/cgauges.h"
#include "controls/cspin.h"
#include "app/error_box.h"
#include "app/picture_dialog.h"
#include "maps/export_files.h"
#include "passes/colour_passes.h"
#include "tiles/tile_lists.h"

using tavrik::ImageView;
using tavrik::TOpenPictureDialog;

namespace {

const char* const kCaption = "Tavrik V2 Alpha 2 Release";
const char* const kHomepage = "Orvanel homepage : http://www.orvanel.example/";

template <class W>
W* named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A label sized to its text, like an auto-sized label of the layout.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* label = named(new QLabel(text, parent), name);
  label->setContentsMargins(0, 0, 0, 0);
  label->move(x, y);
  label->adjustSize();
  return label;
}

QFrame* makeBevel(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* bevel = named(new QFrame(parent), name);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setGeometry(x, y, w, h);
  return bevel;
}

QToolButton* makeButton(QWidget* parent, const char* name, const QString& text, int x, int y,
                        int w, int h) {
  auto* button = named(new QToolButton(parent), name);
  button->setText(text);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  button->setAutoRaise(false);
  button->setFocusPolicy(Qt::NoFocus);  // speed buttons never take the focus
  button->setGeometry(x, y, w, h);
  return button;
}

QGroupBox* makeGroup(QWidget* parent, const char* name, const QString& title, int x, int y, int w,
                     int h) {
  auto* group = named(new QGroupBox(title, parent), name);
  group->setGeometry(x, y, w, h);
  return group;
}

QScrollArea* makeScrollBox(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* box = named(new QScrollArea(parent), name);
  box->setGeometry(x, y, w, h);
  box->setWidgetResizable(false);
  box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  box->viewport()->setBackgroundRole(QPalette::Window);
  box->viewport()->setAutoFillBackground(true);
  return box;
}

TCSpinEdit* makeSpinEdit(QWidget* parent, const char* name, int x, int y, int value) {
  auto* spin = named(new TCSpinEdit(parent), name);
  spin->setGeometry(x, y, 97, 22);
  spin->SetMinValue(0);
  spin->SetMaxValue(1023);
  spin->SetValue(value);
  spin->SetEditorEnabled(false);
  spin->setFocusPolicy(Qt::StrongFocus);
  return spin;
}

QString messageOf(const std::exception& e) { return QString::fromStdString(tavrik::userMessage(e)); }

}  // namespace

QString TForm1::installWindowFont() {
  static QString used;
  if (!used.isEmpty()) return used;
  // Wine's bitmap TrueType of "MS Sans Serif" is not in fontconfig's folders; look for it.
  bool registered = false;
  const QStringList folders = {QStringLiteral("/usr/share/wine/fonts"),
                               QStringLiteral("/usr/share/fonts"),
                               QStringLiteral("/usr/local/share/fonts"),
                               QDir::homePath() + QStringLiteral("/.local/share/fonts")};
  for (const QString& folder : folders) {
    QDirIterator it(folder, {QStringLiteral("ms_sans_serif.ttf")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (!registered && it.hasNext()) {
      const int id = QFontDatabase::addApplicationFont(it.next());
      registered = id >= 0 && QFontDatabase::applicationFontFamilies(id).contains(
                                  QStringLiteral("MS Sans Serif"));
    }
    if (registered) break;
  }
  // Otherwise the closest common substitute: Liberation Sans is narrower than the default
  // DejaVu Sans, so captions keep to their places.
  if (!registered && QFontDatabase::families().contains(QStringLiteral("Liberation Sans")))
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  used = QFontInfo(font).family();
  return used;
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(kCaption));
  setFixedSize(753, 609);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  installWindowFont();
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);

  OpenPictureDialog1 = named(new TOpenPictureDialog(this), "OpenPictureDialog1");
  OpenPictureDialog2 = named(new TOpenPictureDialog(this), "OpenPictureDialog2");
  OpenPictureDialog3 = named(new TOpenPictureDialog(this), "OpenPictureDialog3");

  loadResources();
  buildLayout();
  ws.setProgressSink([this](int percent) { CGauge1->SetProgress(percent); });
  showWorkspace();
}

TForm1::~TForm1() {
  // The image views observe the workspace's controls: remove them while it still exists.
  qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

// The window's resources live in a static library: make sure they are registered.
static void initAppResources() { Q_INIT_RESOURCE(app); }

void TForm1::loadResources() {
  initAppResources();
  setWindowIcon(QIcon(QStringLiteral(":/tavrik.png")));
  // The decorative picture: a fixed 80 x 76 true-colour bitmap.
  QImage decor(QStringLiteral(":/decor.png"));
  if (decor.isNull()) return;
  decor = decor.convertToFormat(QImage::Format_RGB32);
  tavrik::Picture picture;
  picture.kind = tavrik::PictureKind::Bitmap;
  picture.surface = std::make_unique<tavrik::Surface>(decor.width(), decor.height());
  for (int y = 0; y < decor.height(); ++y) {
    const auto* src = reinterpret_cast<const QRgb*>(decor.constScanLine(y));
    tavrik::Colour* dst = picture.surface->row(y);
    for (int x = 0; x < decor.width(); ++x)
      dst[x] = tavrik::rgb(qRed(src[x]), qGreen(src[x]), qBlue(src[x]));
  }
  ws.Image4.setPicture(std::move(picture));
}

void TForm1::buildLayout() {
  const QString sizeX = QStringLiteral("Taille X :"), sizeY = QStringLiteral("Taille Y :"),
                na = QStringLiteral("N/A");

  // The three picture columns.
  makeBevel(this, "Bevel1", 8, 8, 177, 233);
  makeBevel(this, "Bevel2", 192, 8, 177, 233);
  makeBevel(this, "Bevel3", 376, 8, 177, 233);
  SpeedButton1 = makeButton(this, "SpeedButton1", QStringLiteral("Charger le plan de sprites"),
                            16, 16, 161, 33);
  SpeedButton2 = makeButton(this, "SpeedButton2", QStringLiteral("Charger l'arrière-plan"), 200,
                            16, 161, 33);
  SpeedButton3 = makeButton(this, "SpeedButton3", QStringLiteral("Charger le plan complet"), 384,
                            16, 161, 33);
  QScrollArea* box1 = makeScrollBox(this, "ScrollBox1", 16, 56, 161, 161);
  QScrollArea* box2 = makeScrollBox(this, "ScrollBox2", 200, 56, 161, 161);
  QScrollArea* box3 = makeScrollBox(this, "ScrollBox3", 384, 56, 161, 161);
  Image1 = new ImageView(ws.Image1, nullptr);
  Image2 = new ImageView(ws.Image2, nullptr);
  Image3 = new ImageView(ws.Image3, nullptr);
  box1->setWidget(Image1);
  box2->setWidget(Image2);
  box3->setWidget(Image3);

  makeLabel(this, "Label2", sizeX, 16, 224);
  Label4 = makeLabel(this, "Label4", na, 64, 224);
  makeLabel(this, "Label3", sizeY, 104, 224);
  Label5 = makeLabel(this, "Label5", na, 152, 224);
  makeLabel(this, "Label1", sizeX, 200, 224);
  Label7 = makeLabel(this, "Label7", na, 248, 224);
  makeLabel(this, "Label6", sizeY, 288, 224);
  Label8 = makeLabel(this, "Label8", na, 336, 224);
  makeLabel(this, "Label13", sizeX, 384, 224);
  Label15 = makeLabel(this, "Label15", na, 432, 224);
  makeLabel(this, "Label14", sizeY, 472, 224);
  Label16 = makeLabel(this, "Label16", na, 520, 224);

  // Progress row.
  makeBevel(this, "Bevel4", 8, 248, 545, 33);
  makeLabel(this, "Label19", QStringLiteral("Traitement en cours..."), 16, 256);
  CGauge1 = named(new TCGauge(this), "CGauge1");
  CGauge1->setGeometry(136, 256, 409, 17);
  CGauge1->SetMinValue(0);
  CGauge1->SetMaxValue(100);
  CGauge1->SetProgress(0);
  CGauge1->SetColor(tavrik::clRed);
  CGauge1->SetForeColor(tavrik::clBlack);
  CGauge1->SetBackColor(tavrik::clWhite);
  CGauge1->SetBorderStyle(bsSingle);
  QFont gaugeFont(QStringLiteral("Arial"));
  gaugeFont.setPixelSize(13);
  gaugeFont.setBold(true);
  CGauge1->setFont(gaugeFont);
  QPalette gaugePalette = CGauge1->palette();
  gaugePalette.setColor(QPalette::WindowText, Qt::black);
  CGauge1->setPalette(gaugePalette);

  // Thresholds and base name.
  QGroupBox* group2 = makeGroup(this, "GroupBox2", QStringLiteral("Limite Noir - Gris foncé"), 24,
                                288, 193, 57);
  makeLabel(group2, "Label11", QStringLiteral("de 0 à 1023"), 120, 32);
  QGroupBox* group3 = makeGroup(this, "GroupBox3",
                                QStringLiteral("Limite Gris foncé - Gris clair"), 224, 288, 193, 57);
  makeLabel(group3, "Label12", QStringLiteral("de 0 à 1023"), 120, 32);
  QGroupBox* group4 = makeGroup(this, "GroupBox4", QStringLiteral("Limite Gris clair - Blanc"),
                                424, 288, 193, 57);
  makeLabel(group4, "Label10", QStringLiteral("de 0 à 1023"), 120, 32);
  CSpinEdit1 = makeSpinEdit(this, "CSpinEdit1", 32, 312, 100);
  CSpinEdit2 = makeSpinEdit(this, "CSpinEdit2", 232, 312, 170);
  CSpinEdit3 = makeSpinEdit(this, "CSpinEdit3", 432, 312, 300);
  QGroupBox* group7 =
      makeGroup(this, "GroupBox7", QStringLiteral("Nom.Fch (7 cars MAX)"), 624, 288, 121, 57);
  Edit6 = named(new QLineEdit(QStringLiteral("Demo"), group7), "Edit6");
  Edit6->setMaxLength(7);
  Edit6->setGeometry(8, 24, 105, 21);

  // The command buttons.
  QGroupBox* group5 =
      makeGroup(this, "GroupBox5", QStringLiteral("Controle du programme"), 560, 8, 185, 273);
  SpeedButton4 = makeButton(group5, "SpeedButton4", QStringLiteral("Détourage des sprites"), 8,
                            32, 169, 25);
  SpeedButton5 =
      makeButton(group5, "SpeedButton5", QStringLiteral("Couleur -> NG4"), 8, 64, 169, 25);
  SpeedButton6 = makeButton(group5, "SpeedButton6",
                            QStringLiteral("Application du masque virtuel"), 8, 96, 169, 25);
  SpeedButton8 = makeButton(group5, "SpeedButton8", QStringLiteral("Aperçu de la superposition"),
                            8, 128, 169, 25);
  SpeedButton7 = makeButton(group5, "SpeedButton7",
                            QStringLiteral("Création des listes de sprites"), 8, 160, 169, 25);
  SpeedButton9 = makeButton(group5, "SpeedButton9", QStringLiteral("Optimisation des listes"), 8,
                            192, 169, 25);
  SpeedButton10 =
      makeButton(group5, "SpeedButton10", QStringLiteral("Création des MAPS"), 8, 240, 169, 25);

  // Tile lists.
  makeBevel(this, "Bevel8", 8, 352, 289, 81);
  makeBevel(this, "Bevel9", 8, 440, 289, 81);
  QScrollArea* box4 = makeScrollBox(this, "ScrollBox4", 16, 360, 273, 51);
  QScrollArea* box5 = makeScrollBox(this, "ScrollBox5", 16, 448, 273, 51);
  for (QScrollArea* strip : {box4, box5}) {
    strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    strip->horizontalScrollBar()->setSingleStep(16);
  }
  Image5 = new ImageView(ws.Image5, nullptr);
  Image6 = new ImageView(ws.Image6, nullptr);
  box4->setWidget(Image5);
  box5->setWidget(Image6);
  makeLabel(this, "Label22", QStringLiteral("Nombre de sprites :"), 16, 416);
  Label23 = makeLabel(this, "Label23", na, 120, 416);
  makeLabel(this, "Label24", QStringLiteral("Plan de sprites"), 216, 416);
  makeLabel(this, "Label25", QStringLiteral("Nombre de sprites :"), 16, 504);
  Label26 = makeLabel(this, "Label26", na, 120, 504);
  makeLabel(this, "Label21", QStringLiteral("Arrière-plan"), 232, 504);
  Image7 = new ImageView(ws.Image7, this);  // the scratch strip: never shown

  // Map previews.
  makeLabel(this, "Label27", QStringLiteral("MATRICE : Sprites"), 328, 360);
  makeLabel(this, "Label28", QStringLiteral("MATRICE : Arrière-plan"), 480, 360);
  QScrollArea* box6 = makeScrollBox(this, "ScrollBox6", 304, 376, 145, 145);
  QScrollArea* box7 = makeScrollBox(this, "ScrollBox7", 464, 376, 145, 145);
  Image8 = new ImageView(ws.Image8, nullptr);
  Image9 = new ImageView(ws.Image9, nullptr);
  box6->setWidget(Image8);
  box7->setWidget(Image9);

  // Colour legend.
  QGroupBox* group1 =
      makeGroup(this, "GroupBox1", QStringLiteral("Légende des couleurs"), 616, 360, 129, 161);
  struct LegendEntry {
    const char* edit;
    const char* label;
    const char* text;
    QColor colour;
  };
  const LegendEntry legend[] = {
      {"Edit1", "Label29", "Sprite normal", Qt::black},
      {"Edit2", "Label30", "Sprite flip HZ", Qt::red},
      {"Edit3", "Label31", "Sprite flip VT", Qt::blue},
      {"Edit4", "Label17", "Sprite flip HZ/VT", QColor(0, 128, 0)},
  };
  int y = 32;
  for (const LegendEntry& entry : legend) {
    auto* edit = named(new QLineEdit(QStringLiteral("000"), group1), entry.edit);
    edit->setReadOnly(true);
    edit->setGeometry(8, y, 25, 21);
    edit->setTextMargins(0, 0, 0, 0);
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, entry.colour);
    edit->setPalette(pal);
    makeLabel(group1, entry.label, QString::fromUtf8(entry.text), 40, y + 4);
    y += 32;
  }

  // Sprite size and output format.
  makeGroup(this, "RadioGroup1", QStringLiteral("Taille des sprites"), 8, 528, 257, 41);
  RadioButton1 = named(new QRadioButton(QStringLiteral("8 x 8"), this), "RadioButton1");
  RadioButton2 = named(new QRadioButton(QStringLiteral("16 x 16"), this), "RadioButton2");
  RadioButton3 = named(new QRadioButton(QStringLiteral("32 x 32"), this), "RadioButton3");
  RadioButton1->move(24, 544);
  RadioButton2->move(96, 544);
  RadioButton3->move(184, 544);
  RadioButton1->setEnabled(false);
  RadioButton2->setChecked(true);
  RadioButton3->setEnabled(false);
  makeGroup(this, "RadioGroup2", QStringLiteral("Méthode d'enregistrement"), 272, 528, 385, 41);
  auto* check1 = named(new QCheckBox(QStringLiteral("Format MORKAD"), this), "CheckBox1");
  auto* check2 = named(new QCheckBox(QStringLiteral("Format classique ( dc.b , dc.w , dc.l )"), this),
                       "CheckBox2");
  check1->setChecked(true);
  check1->move(304, 544);
  check2->move(432, 544);
  for (QWidget* w : std::initializer_list<QWidget*>{RadioButton1, RadioButton2, RadioButton3,
                                                     check1, check2}) {
    w->adjustSize();
    w->raise();  // above the group frames that surround them
  }
  check1->setEnabled(false);
  check2->setEnabled(false);

  Image4 = new ImageView(ws.Image4, this);

  auto* panel2 = named(new QLabel(QString::fromLatin1(kHomepage), this), "Panel2");
  panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel2->setAlignment(Qt::AlignCenter);
  panel2->setGeometry(8, 576, 649, 25);
  auto* label9 = named(new QLabel(panel2), "Label9");
  label9->move(8, 6);
  label9->resize(0, 13);

  views_ = {Image1, Image2, Image3, Image4, Image5, Image6, Image7, Image8, Image9};

  const std::pair<QToolButton*, void (TForm1::*)(QObject*)> handlers[] = {
      {SpeedButton1, &TForm1::SpeedButton1Click}, {SpeedButton2, &TForm1::SpeedButton2Click},
      {SpeedButton3, &TForm1::SpeedButton3Click}, {SpeedButton4, &TForm1::SpeedButton4Click},
      {SpeedButton5, &TForm1::SpeedButton5Click}, {SpeedButton6, &TForm1::SpeedButton6Click},
      {SpeedButton7, &TForm1::SpeedButton7Click}, {SpeedButton8, &TForm1::SpeedButton8Click},
      {SpeedButton9, &TForm1::SpeedButton9Click}, {SpeedButton10, &TForm1::SpeedButton10Click},
  };
  for (const auto& [button, handler] : handlers)
    connect(button, &QToolButton::clicked, this, [this, button, handler] { (this->*handler)(button); });
}

void TForm1::centreOnScreen() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

// ---- handlers ------------------------------------------------------------------------------

void TForm1::loadSlot(int slot, TOpenPictureDialog* dialog) {
  const bool accepted = dialog->Execute(this);
  if (dialog == OpenPictureDialog1)
    ws.OpenPictureDialog1FileName = dialog->FileName.toStdString();
  if (!accepted) return;
  runAndShow([&] { ws.loadSlot(slot, QFile::encodeName(dialog->FileName).toStdString()); });
}

void TForm1::SpeedButton1Click(QObject*) { loadSlot(1, OpenPictureDialog1); }
void TForm1::SpeedButton2Click(QObject*) { loadSlot(2, OpenPictureDialog2); }
void TForm1::SpeedButton3Click(QObject*) { loadSlot(3, OpenPictureDialog3); }
void TForm1::SpeedButton4Click(QObject*) { runStep([this] { tavrik::cutOut(ws); }); }
void TForm1::SpeedButton5Click(QObject*) { runStep([this] { tavrik::greyLevels(ws); }); }
void TForm1::SpeedButton6Click(QObject*) { runStep([this] { tavrik::virtualMask(ws); }); }
void TForm1::SpeedButton7Click(QObject*) { runStep([this] { tavrik::createTileLists(ws); }); }
void TForm1::SpeedButton8Click(QObject*) { runStep([this] { tavrik::overlayPreview(ws); }); }
void TForm1::SpeedButton9Click(QObject*) { runStep([this] { tavrik::optimiseTileLists(ws); }); }

void TForm1::SpeedButton10Click(QObject*) {
  std::string closing;
  bool done = false;
  runStep([this, &closing, &done] {
    closing = tavrik::createMaps(ws, std::string()).closingMessage;
    done = true;
  });
  if (done) tavrik::showMessageBox(this, closing);
}

void TForm1::runStep(const std::function<void()>& step) {
  copyControlsToWorkspace();
  ws.setProgressSink([this](int percent) { CGauge1->SetProgress(percent); });
  runAndShow(step);
}

void TForm1::runAndShow(const std::function<void()>& command) {
  QString error;
  bool failed = false;
  try {
    command();
  } catch (const std::exception& e) {
    failed = true;
    error = messageOf(e);
  } catch (...) {
    failed = true;
  }
  // What the command did up to where it stopped is shown in any case.
  showWorkspace();
  if (failed) tavrik::showErrorBox(this, error.toStdString());
}

void TForm1::copyControlsToWorkspace() {
  ws.CSpinEdit1 = CSpinEdit1->GetValue();
  ws.CSpinEdit2 = CSpinEdit2->GetValue();
  ws.CSpinEdit3 = CSpinEdit3->GetValue();
  ws.RadioButton1 = RadioButton1->isChecked();
  ws.RadioButton2 = RadioButton2->isChecked();
  ws.Edit6 = Edit6->text().toStdString();
  ws.OpenPictureDialog1FileName = OpenPictureDialog1->FileName.toStdString();
}

void TForm1::showWorkspace() {
  const std::pair<QLabel*, const std::string*> labels[] = {
      {Label4, &ws.Label4},   {Label5, &ws.Label5},   {Label7, &ws.Label7},
      {Label8, &ws.Label8},   {Label15, &ws.Label15}, {Label16, &ws.Label16},
      {Label23, &ws.Label23}, {Label26, &ws.Label26},
  };
  for (const auto& [label, text] : labels) {
    const QString value = QString::fromStdString(*text);
    if (label->text() != value) {
      label->setText(value);
      label->adjustSize();
    }
  }
  for (ImageView* view : views_) view->refresh();
}
