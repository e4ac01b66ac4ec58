// TCSpinEdit: a single-line numeric edit with a pair of arrow buttons (TCSpinButton) at its
// right edge. The value lives in the text; the arrows and the Up and Down keys add or subtract
// Increment, clamped to MinValue..MaxValue (equal bounds mean no bounds). The arrow buttons
// (TTimerSpeedButton) repeat their click while held: after 400 ms, then every 100 ms.
#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QPixmap>
#include <functional>

class QTimer;

class TTimerSpeedButton : public QAbstractButton {
  Q_OBJECT

 public:
  enum RepeatFlag { rfFocusRect = 1, rfAutoRepeat = 2 };

  explicit TTimerSpeedButton(QWidget* parent = nullptr);

  int RepeatFlags() const { return FRepeatFlags; }
  void SetRepeatFlags(int flags);

  // The glyph drawn centred on the face; the colour of its bottom-left pixel is transparent.
  void SetGlyph(const QPixmap& glyph);
  QPixmap Glyph() const { return FGlyph; }

  // The repeat timer: none until the first press that may repeat.
  QTimer* AutoRepeatTimer() const { return FRepeatTimer; }

  // The timer's handler: from now on every 100 ms; clicks while the button shows pressed. If a
  // click throws, the timer is stopped and the error passes on.
  void TimerExpired();

  // Raises the click (the clicked signal) without ending a press in progress.
  void Click();

  // Raised by a mouse press before the button shows pressed (button, modifiers, x, y).
  std::function<void(TTimerSpeedButton*, Qt::MouseButton, Qt::KeyboardModifiers, int, int)> OnMouseDown;

  QSize sizeHint() const override { return QSize(15, 8); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer* FRepeatTimer = nullptr;
  int FRepeatFlags = 0;
  QPixmap FGlyph;
};

class TCSpinButton : public QWidget {
  Q_OBJECT

 public:
  explicit TCSpinButton(QWidget* parent = nullptr);

  TTimerSpeedButton* IncButton() const { return FUpButton; }
  TTimerSpeedButton* DecButton() const { return FDownButton; }
  TTimerSpeedButton* ActiveButton() const { return FFocusedButton; }

  // The control that receives the keyboard focus when an arrow is pressed.
  QWidget* FocusControl() const { return FFocusControl; }
  void SetFocusControl(QWidget* control) { FFocusControl = control; }

  // Called with the pair as sender when the up or down arrow clicks.
  std::function<void(TCSpinButton*)> OnUpClick;
  std::function<void(TCSpinButton*)> OnDownClick;

  // With a null pixmap the glyph comes from the resources "SpinUp" / "SpinDown".
  QPixmap GetUpGlyph() const;
  void SetUpGlyph(const QPixmap& glyph);
  QPixmap GetDownGlyph() const;
  void SetDownGlyph(const QPixmap& glyph);

  // Whether the pair itself takes the keyboard focus (Tab and click).
  bool TabStop() const;
  void SetTabStop(bool value);

  // Moves the pair and lays the arrows out: IncButton on the upper half, DecButton below it,
  // overlapping it by one row; the width is at least 15.
  void SetBounds(int left, int top, int width, int height);
  void AdjustSize(int& width, int& height);
  void SetFocusBtn(TTimerSpeedButton* button);

  void BtnClick(TTimerSpeedButton* sender);
  void BtnMouseDown(TTimerSpeedButton* sender, Qt::MouseButton button);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TTimerSpeedButton* CreateButton();

  TTimerSpeedButton* FUpButton = nullptr;
  TTimerSpeedButton* FDownButton = nullptr;
  TTimerSpeedButton* FFocusedButton = nullptr;
  QWidget* FFocusControl = nullptr;
};

class TCSpinEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TCSpinEdit(QWidget* parent = nullptr);
  ~TCSpinEdit() override;

  // The value is the text, converted at every read. Unconvertible text is replaced by MinValue,
  // which is returned; the result is not clamped.
  int GetValue();
  void SetValue(int value);
  int CheckValue(int value) const;

  void SetMinValue(int value) { FMinValue = value; }
  void SetMaxValue(int value) { FMaxValue = value; }
  int GetMinValue() const { return FMinValue; }
  int GetMaxValue() const { return FMaxValue; }
  void SetIncrement(int value) { FIncrement = value; }
  int GetIncrement() const { return FIncrement; }
  void SetEditorEnabled(bool value) { FEditorEnabled = value; }
  bool GetEditorEnabled() const { return FEditorEnabled; }
  void SetAutoSelect(bool value) { FAutoSelect = value; }
  bool GetAutoSelect() const { return FAutoSelect; }

  TCSpinButton* SpinButton() const { return FButton; }

  virtual bool IsValidChar(QChar c);
  virtual void UpClick();
  virtual void DownClick();

  int GetMinHeight() const;

  // The arrow pair's bounds in client coordinates (inside the edit's border).
  QRect SpinButtonBounds() const;
  // The width of the border around the client area.
  int BorderWidth() const;

  // Clipboard operations that insert or remove text; refused silently while the editor is
  // disabled or the edit is read-only. Copying is never affected.
  void Paste();
  void Cut();

  // The default beep, counted.
  void Beep();
  int beepCount() const { return beepCount_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool clipboardEditAllowed() const { return FEditorEnabled && !isReadOnly(); }
  void SetEditRect();
  void placeSpinButton();

  int FMinValue = 0;
  int FMaxValue = 0;
  int FIncrement = 1;
  TCSpinButton* FButton = nullptr;
  bool FEditorEnabled = true;
  bool FAutoSelect = true;

  // A mouse press gave the focus; whether it was a left press on the edit itself or on an arrow
  // decides whether the text is selected.
  bool mouseFocusPending_ = false;
  int beepCount_ = 0;
};
