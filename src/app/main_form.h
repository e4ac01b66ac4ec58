// The main window: every control of the layout, the three picture dialogs, and the ten click
// handlers. The workspace `ws` is the state behind the window; each handler copies the control
// values that its step reads into it, runs the step, and shows what changed.
#pragma once
#include <array>
#include <functional>
#include <string>

#include <QWidget>

#include "app/image_view.h"
#include "workspace/workspace.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QScrollArea;
class QToolButton;
class TCGauge;
class TCSpinEdit;

namespace tavrik {
class TOpenPictureDialog;
}

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Registers the window's face "MS Sans Serif" (Wine's bitmap TrueType when installed) and
  // returns the family that the window's text really uses.
  static QString installWindowFont();

  // Places the window in the middle of its screen.
  void centreOnScreen();

  tavrik::Workspace ws;

  // Click handlers, named after their buttons; `Sender` is not used.
  void SpeedButton1Click(QObject* Sender);   // load the sprite plane
  void SpeedButton2Click(QObject* Sender);   // load the background plane
  void SpeedButton3Click(QObject* Sender);   // load the full plane
  void SpeedButton4Click(QObject* Sender);   // cut-out
  void SpeedButton5Click(QObject* Sender);   // four grey levels
  void SpeedButton6Click(QObject* Sender);   // virtual mask
  void SpeedButton7Click(QObject* Sender);   // tile list creation
  void SpeedButton8Click(QObject* Sender);   // overlay preview
  void SpeedButton9Click(QObject* Sender);   // tile list optimisation
  void SpeedButton10Click(QObject* Sender);  // maps and export

  // Controls that the handlers read or write.
  QToolButton *SpeedButton1, *SpeedButton2, *SpeedButton3, *SpeedButton4, *SpeedButton5,
      *SpeedButton6, *SpeedButton7, *SpeedButton8, *SpeedButton9, *SpeedButton10;
  QLabel *Label4, *Label5, *Label7, *Label8, *Label15, *Label16, *Label23, *Label26;
  TCGauge* CGauge1;
  TCSpinEdit *CSpinEdit1, *CSpinEdit2, *CSpinEdit3;
  QRadioButton *RadioButton1, *RadioButton2, *RadioButton3;
  QLineEdit* Edit6;
  tavrik::ImageView *Image1, *Image2, *Image3, *Image4, *Image5, *Image6, *Image7, *Image8,
      *Image9;
  tavrik::TOpenPictureDialog *OpenPictureDialog1, *OpenPictureDialog2, *OpenPictureDialog3;

 private:
  void buildLayout();
  void loadResources();
  void loadSlot(int slot, tavrik::TOpenPictureDialog* dialog);
  // Copies the control values into the workspace, connects the gauge, runs `step`, shows the
  // workspace again (also after a failure), then the error box if the step failed.
  void runStep(const std::function<void()>& step);
  // Runs a command; errors go to the error box after the window shows what changed.
  void runAndShow(const std::function<void()>& command);
  void copyControlsToWorkspace();
  void showWorkspace();

  std::array<tavrik::ImageView*, 9> views_{};
};
