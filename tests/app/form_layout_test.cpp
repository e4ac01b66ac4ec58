// The main window as laid out: every control's place, caption and default state.
#include <optional>

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "app_test_support.h"
#include "controls/cgauges.h"
#include "controls/cspin.h"
#include "app/picture_dialog.h"

namespace {

enum State { Any, Enabled, Disabled };

struct Expected {
  const char* name;
  const char* container;  // object name of the window, group box or scroll box holding it
  int x, y;
  int w, h;              // -1: sized to its text
  const char* text;      // nullptr: no caption to check
  State enabled = Any;
  std::optional<bool> checked = std::nullopt;
};

// The container as the layout names it: a scroll box for the views inside a scroll area.
QString containerOf(QWidget* w) {
  QWidget* parent = w->parentWidget();
  if (parent && parent->objectName() == QLatin1String("qt_scrollarea_viewport"))
    parent = parent->parentWidget();
  return parent ? parent->objectName() : QString();
}

QString captionOf(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return QStringLiteral("<no caption>");
}

const Expected kLayout[] = {
    {"Bevel1", "Form1", 8, 8, 177, 233, nullptr},
    {"Bevel2", "Form1", 192, 8, 177, 233, nullptr},
    {"Bevel3", "Form1", 376, 8, 177, 233, nullptr},
    {"SpeedButton1", "Form1", 16, 16, 161, 33, "Charger le plan de sprites", Enabled},
    {"SpeedButton2", "Form1", 200, 16, 161, 33, "Charger l'arrière-plan", Enabled},
    {"SpeedButton3", "Form1", 384, 16, 161, 33, "Charger le plan complet", Enabled},
    {"ScrollBox1", "Form1", 16, 56, 161, 161, nullptr},
    {"ScrollBox2", "Form1", 200, 56, 161, 161, nullptr},
    {"ScrollBox3", "Form1", 384, 56, 161, 161, nullptr},
    {"Image1", "ScrollBox1", 0, 0, 105, 105, nullptr},
    {"Image2", "ScrollBox2", 0, 0, 105, 105, nullptr},
    {"Image3", "ScrollBox3", 0, 0, 105, 105, nullptr},
    {"Label2", "Form1", 16, 224, -1, -1, "Taille X :"},
    {"Label4", "Form1", 64, 224, -1, -1, "N/A"},
    {"Label3", "Form1", 104, 224, -1, -1, "Taille Y :"},
    {"Label5", "Form1", 152, 224, -1, -1, "N/A"},
    {"Label1", "Form1", 200, 224, -1, -1, "Taille X :"},
    {"Label7", "Form1", 248, 224, -1, -1, "N/A"},
    {"Label6", "Form1", 288, 224, -1, -1, "Taille Y :"},
    {"Label8", "Form1", 336, 224, -1, -1, "N/A"},
    {"Label13", "Form1", 384, 224, -1, -1, "Taille X :"},
    {"Label15", "Form1", 432, 224, -1, -1, "N/A"},
    {"Label14", "Form1", 472, 224, -1, -1, "Taille Y :"},
    {"Label16", "Form1", 520, 224, -1, -1, "N/A"},
    {"Bevel4", "Form1", 8, 248, 545, 33, nullptr},
    {"Label19", "Form1", 16, 256, -1, -1, "Traitement en cours..."},
    {"CGauge1", "Form1", 136, 256, 409, 17, nullptr},
    {"GroupBox2", "Form1", 24, 288, 193, 57, "Limite Noir - Gris foncé"},
    {"Label11", "GroupBox2", 120, 32, -1, -1, "de 0 à 1023"},
    {"CSpinEdit1", "Form1", 32, 312, 97, 22, "100"},
    {"GroupBox3", "Form1", 224, 288, 193, 57, "Limite Gris foncé - Gris clair"},
    {"Label12", "GroupBox3", 120, 32, -1, -1, "de 0 à 1023"},
    {"CSpinEdit2", "Form1", 232, 312, 97, 22, "170"},
    {"GroupBox4", "Form1", 424, 288, 193, 57, "Limite Gris clair - Blanc"},
    {"Label10", "GroupBox4", 120, 32, -1, -1, "de 0 à 1023"},
    {"CSpinEdit3", "Form1", 432, 312, 97, 22, "300"},
    {"GroupBox7", "Form1", 624, 288, 121, 57, "Nom.Fch (7 cars MAX)"},
    {"Edit6", "GroupBox7", 8, 24, 105, 21, "Demo", Enabled},
    {"GroupBox5", "Form1", 560, 8, 185, 273, "Controle du programme"},
    {"SpeedButton4", "GroupBox5", 8, 32, 169, 25, "Détourage des sprites", Enabled},
    {"SpeedButton5", "GroupBox5", 8, 64, 169, 25, "Couleur -> NG4", Enabled},
    {"SpeedButton6", "GroupBox5", 8, 96, 169, 25, "Application du masque virtuel", Enabled},
    {"SpeedButton8", "GroupBox5", 8, 128, 169, 25, "Aperçu de la superposition", Enabled},
    {"SpeedButton7", "GroupBox5", 8, 160, 169, 25, "Création des listes de sprites", Enabled},
    {"SpeedButton9", "GroupBox5", 8, 192, 169, 25, "Optimisation des listes", Enabled},
    {"SpeedButton10", "GroupBox5", 8, 240, 169, 25, "Création des MAPS", Enabled},
    {"Bevel8", "Form1", 8, 352, 289, 81, nullptr},
    {"ScrollBox4", "Form1", 16, 360, 273, 51, nullptr},
    {"Image5", "ScrollBox4", 0, 0, 209, 17, nullptr},
    {"Label22", "Form1", 16, 416, -1, -1, "Nombre de sprites :"},
    {"Label23", "Form1", 120, 416, -1, -1, "N/A"},
    {"Label24", "Form1", 216, 416, -1, -1, "Plan de sprites"},
    {"Image7", "Form1", 176, 416, 25, 9, nullptr},
    {"Bevel9", "Form1", 8, 440, 289, 81, nullptr},
    {"ScrollBox5", "Form1", 16, 448, 273, 51, nullptr},
    {"Image6", "ScrollBox5", 0, 0, 209, 17, nullptr},
    {"Label25", "Form1", 16, 504, -1, -1, "Nombre de sprites :"},
    {"Label26", "Form1", 120, 504, -1, -1, "N/A"},
    {"Label21", "Form1", 232, 504, -1, -1, "Arrière-plan"},
    {"Label27", "Form1", 328, 360, -1, -1, "MATRICE : Sprites"},
    {"Label28", "Form1", 480, 360, -1, -1, "MATRICE : Arrière-plan"},
    {"ScrollBox6", "Form1", 304, 376, 145, 145, nullptr},
    {"ScrollBox7", "Form1", 464, 376, 145, 145, nullptr},
    {"Image8", "ScrollBox6", 0, 0, 113, 113, nullptr},
    {"Image9", "ScrollBox7", 0, 0, 113, 113, nullptr},
    {"GroupBox1", "Form1", 616, 360, 129, 161, "Légende des couleurs"},
    {"Edit1", "GroupBox1", 8, 32, 25, 21, "000"},
    {"Edit2", "GroupBox1", 8, 64, 25, 21, "000"},
    {"Edit3", "GroupBox1", 8, 96, 25, 21, "000"},
    {"Edit4", "GroupBox1", 8, 128, 25, 21, "000"},
    {"RadioGroup1", "Form1", 8, 528, 257, 41, "Taille des sprites"},
    {"RadioButton1", "Form1", 24, 544, -1, -1, "8 x 8", Disabled, false},
    {"RadioButton2", "Form1", 96, 544, -1, -1, "16 x 16", Enabled, true},
    {"RadioButton3", "Form1", 184, 544, -1, -1, "32 x 32", Disabled, false},
    {"RadioGroup2", "Form1", 272, 528, 385, 41, "Méthode d'enregistrement"},
    {"CheckBox1", "Form1", 304, 544, -1, -1, "Format MORKAD", Disabled, true},
    {"CheckBox2", "Form1", 432, 544, -1, -1, "Format classique ( dc.b , dc.w , dc.l )", Disabled,
     false},
    {"Image4", "Form1", 664, 528, 80, 76, nullptr},
    {"Panel2", "Form1", 8, 576, 649, 25, "Orvanel homepage : http://www.orvanel.example/"},
    {"Label9", "Panel2", -1, -1, -1, -1, ""},
};

TEST(FormLayout, EveryControlAtItsPlaceWithItsCaptionAndState) {
  TForm1 form;
  for (const Expected& e : kLayout) {
    SCOPED_TRACE(e.name);
    auto* w = form.findChild<QWidget*>(QString::fromLatin1(e.name));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(containerOf(w).toStdString(), e.container);
    if (e.x >= 0) {
      EXPECT_EQ(w->pos(), QPoint(e.x, e.y));
    }
    if (e.w >= 0) {
      EXPECT_EQ(w->size(), QSize(e.w, e.h));
    }
    if (e.text) {
      const QString text = qobject_cast<TCSpinEdit*>(w)
                               ? QString::number(static_cast<TCSpinEdit*>(w)->GetValue())
                               : captionOf(w);
      EXPECT_EQ(text.toStdString(), e.text);
    }
    if (e.enabled != Any) {
      EXPECT_EQ(w->isEnabled(), e.enabled == Enabled);
    }
    if (e.checked) {
      EXPECT_EQ(static_cast<QAbstractButton*>(w)->isChecked(), *e.checked);
    }
  }
}

TEST(FormLayout, LabelsAndCaptionsAreNotClipped) {
  TForm1 form;
  for (auto* label : form.findChildren<QLabel*>()) {
    if (label->objectName() == QLatin1String("Panel2") || label->text().isEmpty()) continue;
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_GE(label->width(), label->sizeHint().width());
  }
  for (auto* button : form.findChildren<QAbstractButton*>()) {
    if (button->objectName().isEmpty()) continue;
    SCOPED_TRACE(button->objectName().toStdString());
    EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()));
  }
}

TEST(FormLayout, WindowProperties) {
  TForm1 form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Tavrik V2 Alpha 2 Release"));
  EXPECT_EQ(form.size(), QSize(753, 609));
  EXPECT_EQ(form.minimumSize(), QSize(753, 609));
  EXPECT_EQ(form.maximumSize(), QSize(753, 609));
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(form.windowIcon().isNull());
  EXPECT_EQ(form.font().pixelSize(), 11);
  EXPECT_EQ(form.font().family(), QStringLiteral("MS Sans Serif"));
  EXPECT_FALSE(TForm1::installWindowFont().isEmpty());
}

TEST(FormLayout, ControlDefaults) {
  TForm1 form;
  EXPECT_EQ(form.Edit6->maxLength(), 7);
  EXPECT_EQ(form.CGauge1->GetProgress(), 0);
  EXPECT_EQ(form.CGauge1->GetMinValue(), 0);
  EXPECT_EQ(form.CGauge1->GetMaxValue(), 100);
  EXPECT_EQ(form.CGauge1->GetColor(), tavrik::clRed);
  EXPECT_EQ(form.CGauge1->GetForeColor(), tavrik::clBlack);
  EXPECT_EQ(form.CGauge1->GetBackColor(), tavrik::clWhite);
  EXPECT_TRUE(form.CGauge1->font().bold());
  EXPECT_EQ(form.CGauge1->font().pixelSize(), 13);
  for (TCSpinEdit* spin : {form.CSpinEdit1, form.CSpinEdit2, form.CSpinEdit3}) {
    EXPECT_EQ(spin->GetMinValue(), 0);
    EXPECT_EQ(spin->GetMaxValue(), 1023);
    EXPECT_FALSE(spin->GetEditorEnabled());
    EXPECT_TRUE(spin->focusPolicy() & Qt::TabFocus);
  }
  for (const char* name : {"Edit1", "Edit2", "Edit3", "Edit4"}) {
    auto* edit = form.findChild<QLineEdit*>(QString::fromLatin1(name));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::white));
  }
  const QColor legend[] = {Qt::black, Qt::red, Qt::blue, QColor(0, 128, 0)};
  const char* edits[] = {"Edit1", "Edit2", "Edit3", "Edit4"};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(form.findChild<QLineEdit*>(QString::fromLatin1(edits[i]))
                  ->palette()
                  .color(QPalette::Text),
              legend[i]);
  // The workspace starts from the same defaults as the controls.
  EXPECT_EQ(form.ws.SpriteSize, 0);
  EXPECT_EQ(form.ws.Image4.pictureKind(), tavrik::PictureKind::Bitmap);
  EXPECT_EQ(form.ws.Image4.pictureWidth(), 80);
  EXPECT_EQ(form.ws.Image4.pictureHeight(), 76);
  EXPECT_TRUE(form.OpenPictureDialog1->FileName.isEmpty());
  EXPECT_EQ(form.OpenPictureDialog1->FilterIndex, 1);
}

TEST(FormLayout, ScratchStripIsNeverShown) {
  TForm1 form;
  form.show();
  EXPECT_FALSE(form.Image7->isVisible());
  EXPECT_TRUE(form.Image1->isVisible());
  EXPECT_TRUE(form.Image4->isVisible());
  // Growing it, as the optimisation does, does not show it either.
  form.ws.Image7.SetWidth(400);
  form.ws.Image7.writePixel(0, 0, tavrik::clBlack);
  form.SpeedButton4Click(nullptr);
  EXPECT_FALSE(form.Image7->isVisible());
}

}  // namespace
