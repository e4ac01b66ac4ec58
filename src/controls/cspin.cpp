#include "controls/cspin.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <algorithm>
#include <cstdint>

#include "base/text_to_int.h"
#include "imaging/colour.h"

// The glyphs live in a static library: its resources must be registered explicitly.
static void initControlsResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(controls);
    return true;
  }();
  (void)done;
}

namespace {

QColor scheme(unsigned index) {
  const tavrik::Colour c = tavrik::schemeColour(index);
  return QColor(tavrik::redOf(c), tavrik::greenOf(c), tavrik::blueOf(c));
}

// Colour numbers of the classic scheme used by the arrow buttons.
constexpr unsigned kButtonFace = 15, kButtonShadow = 16, kButtonHighlight = 20, kDarkShadow = 21,
                   kLight3D = 22;

int saturate(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }

bool canFocus(const QWidget* w) { return w->isVisible() && w->isEnabled(); }

// The glyph as drawn: pixels of the bottom-left pixel's colour become transparent.
QPixmap transparentGlyph(const QPixmap& glyph, const QColor* paint = nullptr) {
  if (glyph.isNull()) return glyph;
  QImage image = glyph.toImage().convertToFormat(QImage::Format_ARGB32);
  const QRgb transparent = image.pixel(0, image.height() - 1);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (c == transparent) image.setPixel(x, y, 0);
      else if (paint) image.setPixel(x, y, paint->rgb());
    }
  return QPixmap::fromImage(image);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTimerSpeedButton

TTimerSpeedButton::TTimerSpeedButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::NoFocus);
}

void TTimerSpeedButton::SetRepeatFlags(int flags) {
  if (flags == FRepeatFlags) return;
  FRepeatFlags = flags;
  update();
}

void TTimerSpeedButton::SetGlyph(const QPixmap& glyph) {
  FGlyph = glyph;
  update();
}

void TTimerSpeedButton::Click() { emit clicked(false); }

void TTimerSpeedButton::TimerExpired() {
  if (FRepeatTimer) FRepeatTimer->setInterval(100);
  if (!isDown()) return;
  try {
    Click();
  } catch (...) {
    if (FRepeatTimer) FRepeatTimer->stop();
    throw;
  }
}

void TTimerSpeedButton::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
  // Shows the button pressed for the left button.
  QAbstractButton::mousePressEvent(event);
  if (FRepeatFlags & rfAutoRepeat) {
    if (!FRepeatTimer) {
      FRepeatTimer = new QTimer(this);
      // The coarse default timer drifts by about 10 % and loses repeats on a long hold.
      FRepeatTimer->setTimerType(Qt::PreciseTimer);
      connect(FRepeatTimer, &QTimer::timeout, this, &TTimerSpeedButton::TimerExpired);
    }
    FRepeatTimer->setInterval(400);
    FRepeatTimer->start();
    // Keep the press, whatever the mouse button, so that its release stops the timer.
    event->accept();
  }
}

void TTimerSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  // A release inside a pressed button clicks once more.
  QAbstractButton::mouseReleaseEvent(event);
  if (FRepeatTimer) FRepeatTimer->stop();
}

void TTimerSpeedButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width(), h = height();
  const bool down = isDown();
  p.fillRect(rect(), scheme(kButtonFace));
  // Two bevels: raised when up, sunken when pressed.
  auto bevel = [&](int inset, const QColor& topLeft, const QColor& bottomRight) {
    const int l = inset, t = inset, r = w - 1 - inset, b = h - 1 - inset;
    if (r < l || b < t) return;
    p.setPen(topLeft);
    p.drawLine(l, t, r - 1, t);
    p.drawLine(l, t, l, b - 1);
    p.setPen(bottomRight);
    p.drawLine(l, b, r, b);
    p.drawLine(r, t, r, b);
  };
  if (down) {
    bevel(0, scheme(kButtonShadow), scheme(kButtonHighlight));
    bevel(1, scheme(kDarkShadow), scheme(kLight3D));
  } else {
    bevel(0, scheme(kButtonHighlight), scheme(kDarkShadow));
    bevel(1, scheme(kLight3D), scheme(kButtonShadow));
  }
  if (!FGlyph.isNull()) {
    const QColor grey = scheme(kButtonShadow);
    const QPixmap glyph = transparentGlyph(FGlyph, isEnabled() ? nullptr : &grey);
    const int x = (w - glyph.width()) / 2 + (down ? 1 : 0);
    const int y = (h - glyph.height()) / 2 + (down ? 1 : 0);
    p.drawPixmap(x, y, glyph);
  }
  if (FRepeatFlags & rfFocusRect) {
    // A dotted rectangle inverted pixel by pixel, inset by 3 and moved with the pressed face.
    QRect r = rect().adjusted(3, 3, -3, -3);
    if (down) r.translate(1, 1);
    if (r.width() > 0 && r.height() > 0) {
      p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      p.setPen(Qt::white);
      const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
      int n = 0;
      for (int x = l; x <= rr; ++x, ++n)
        if (n % 2 == 0) p.drawPoint(x, t);
      for (int y = t + 1; y <= b; ++y, ++n)
        if (n % 2 == 0) p.drawPoint(rr, y);
      for (int x = rr - 1; x >= l && b > t; --x, ++n)
        if (n % 2 == 0) p.drawPoint(x, b);
      for (int y = b - 1; y > t && rr > l; --y, ++n)
        if (n % 2 == 0) p.drawPoint(l, y);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TCSpinButton

TCSpinButton::TCSpinButton(QWidget* parent) : QWidget(parent) {
  initControlsResources();
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::ArrowCursor);
  FUpButton = CreateButton();
  FDownButton = CreateButton();
  SetUpGlyph(QPixmap());
  SetDownGlyph(QPixmap());
  SetBounds(x(), y(), 20, 25);
  FFocusedButton = FUpButton;
}

TTimerSpeedButton* TCSpinButton::CreateButton() {
  auto* button = new TTimerSpeedButton(this);
  connect(button, &QAbstractButton::clicked, this, [this, button] { BtnClick(button); });
  button->OnMouseDown = [this](TTimerSpeedButton* sender, Qt::MouseButton mouseButton, Qt::KeyboardModifiers,
                               int, int) { BtnMouseDown(sender, mouseButton); };
  button->SetRepeatFlags(TTimerSpeedButton::rfAutoRepeat);
  button->setVisible(true);
  button->setEnabled(true);
  return button;
}

QPixmap TCSpinButton::GetUpGlyph() const { return FUpButton->Glyph(); }
QPixmap TCSpinButton::GetDownGlyph() const { return FDownButton->Glyph(); }

void TCSpinButton::SetUpGlyph(const QPixmap& glyph) {
  FUpButton->SetGlyph(glyph.isNull() ? QPixmap(QStringLiteral(":/SPINUP")) : glyph);
}

void TCSpinButton::SetDownGlyph(const QPixmap& glyph) {
  FDownButton->SetGlyph(glyph.isNull() ? QPixmap(QStringLiteral(":/SPINDOWN")) : glyph);
}

bool TCSpinButton::TabStop() const { return focusPolicy() & Qt::TabFocus; }

void TCSpinButton::SetTabStop(bool value) { setFocusPolicy(value ? Qt::StrongFocus : Qt::NoFocus); }

void TCSpinButton::AdjustSize(int& width, int& height) {
  if (!FUpButton) return;
  if (width < 15) width = 15;
  FUpButton->setGeometry(0, 0, width, height / 2);
  const int upHeight = FUpButton->height();
  FDownButton->setGeometry(0, upHeight - 1, width, height - upHeight + 1);
}

void TCSpinButton::SetBounds(int left, int top, int width, int height) {
  AdjustSize(width, height);
  setGeometry(left, top, width, height);
}

void TCSpinButton::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  int w = width(), h = height();
  AdjustSize(w, h);
  if (w != width() || h != height()) setGeometry(x(), y(), w, h);
}

void TCSpinButton::BtnClick(TTimerSpeedButton* sender) {
  if (sender == FUpButton) {
    if (OnUpClick) OnUpClick(this);
  } else if (OnDownClick) {
    OnDownClick(this);
  }
}

void TCSpinButton::BtnMouseDown(TTimerSpeedButton* sender, Qt::MouseButton button) {
  if (button != Qt::LeftButton) return;
  SetFocusBtn(sender);
  if (FFocusControl && (FFocusControl->focusPolicy() & Qt::TabFocus) && canFocus(FFocusControl) &&
      !FFocusControl->hasFocus()) {
    FFocusControl->setFocus(Qt::OtherFocusReason);
  } else if (TabStop() && !hasFocus() && canFocus(this)) {
    setFocus(Qt::OtherFocusReason);
  }
}

void TCSpinButton::SetFocusBtn(TTimerSpeedButton* button) {
  if (!TabStop() || !canFocus(this) || button == FFocusedButton) return;
  FFocusedButton->SetRepeatFlags(FFocusedButton->RepeatFlags() & ~TTimerSpeedButton::rfFocusRect);
  FFocusedButton = button;
  if (hasFocus()) {
    button->SetRepeatFlags(button->RepeatFlags() | TTimerSpeedButton::rfFocusRect);
    update();
  }
}

void TCSpinButton::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  FFocusedButton->SetRepeatFlags(FFocusedButton->RepeatFlags() | TTimerSpeedButton::rfFocusRect);
}

void TCSpinButton::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  FFocusedButton->SetRepeatFlags(FFocusedButton->RepeatFlags() & ~TTimerSpeedButton::rfFocusRect);
}

void TCSpinButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space: FFocusedButton->Click(); break;
    case Qt::Key_Up:
      SetFocusBtn(FUpButton);
      FUpButton->Click();
      break;
    case Qt::Key_Down:
      SetFocusBtn(FDownButton);
      FDownButton->Click();
      break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

// ---------------------------------------------------------------------------------------------
// TCSpinEdit

TCSpinEdit::TCSpinEdit(QWidget* parent) : QLineEdit(parent) {
  FButton = new TCSpinButton(this);
  FButton->SetBounds(0, 0, 15, 17);
  FButton->setVisible(true);
  FButton->SetFocusControl(this);
  FButton->OnUpClick = [this](TCSpinButton*) { UpClick(); };
  FButton->OnDownClick = [this](TCSpinButton*) { DownClick(); };
  // Arrow presses are seen before the arrows handle them (see focusInEvent).
  FButton->installEventFilter(this);
  FButton->IncButton()->installEventFilter(this);
  FButton->DecButton()->installEventFilter(this);
  setText(QStringLiteral("0"));
  setMinimumHeight(GetMinHeight());
  placeSpinButton();
  SetEditRect();
}

TCSpinEdit::~TCSpinEdit() {
  // Cleared first: the resize step checks it.
  TCSpinButton* button = FButton;
  FButton = nullptr;
  delete button;
}

int TCSpinEdit::CheckValue(int value) const {
  if (FMaxValue == FMinValue) return value;
  if (value < FMinValue) return FMinValue;
  if (value > FMaxValue) return FMaxValue;
  return value;
}

void TCSpinEdit::SetValue(int value) { setText(QString::number(CheckValue(value))); }

int TCSpinEdit::GetValue() {
  int value = 0;
  if (tavrik::tryTextToInt(text().toStdString(), value)) return value;
  setText(QString::number(FMinValue));
  return FMinValue;
}

void TCSpinEdit::Beep() {
  ++beepCount_;
  QApplication::beep();
}

void TCSpinEdit::UpClick() {
  if (isReadOnly()) {
    Beep();
    return;
  }
  // Saturates at the ends of the 32-bit range instead of wrapping.
  SetValue(saturate(std::int64_t(GetValue()) + FIncrement));
}

void TCSpinEdit::DownClick() {
  if (isReadOnly()) {
    Beep();
    return;
  }
  SetValue(saturate(std::int64_t(GetValue()) - FIncrement));
}

bool TCSpinEdit::IsValidChar(QChar c) {
  const char16_t code = c.unicode();
  bool valid = QString(c) == QLocale().decimalPoint() || c == u'+' || c == u'-' || (c >= u'0' && c <= u'9') ||
               (code < 32 && code != 13);
  if (!FEditorEnabled && valid && (code >= 32 || code == 8)) valid = false;
  return valid;
}

void TCSpinEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) {
    if (clipboardEditAllowed()) QLineEdit::keyPressEvent(event);
    else event->accept();  // discarded without a beep
    return;
  }
  const int key = event->key();
  if (key == Qt::Key_Up || key == Qt::Key_Down) {
    if (key == Qt::Key_Up) UpClick();
    else DownClick();
    // The edit sees the key too; on one line it has no visible effect.
    QLineEdit::keyPressEvent(event);
    event->accept();
    return;
  }
  // The characters this key types, as the framework's character filter sees them. Keys that
  // type nothing (cursor keys, Home, End, Delete, function keys) are not filtered.
  const Qt::KeyboardModifiers mods = event->modifiers();
  const bool control = (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
  QString chars;
  if (key == Qt::Key_Backspace) {
    chars = QChar(control ? 127 : 8);
  } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    chars = QChar(13);
  } else if (key == Qt::Key_Delete) {
    chars.clear();
  } else if (control && key >= Qt::Key_A && key <= Qt::Key_Z) {
    chars = QChar(key - Qt::Key_A + 1);  // Ctrl+letter types a control code
  } else if (control) {
    chars.clear();
  } else {
    chars = event->text();
  }
  for (const QChar c : chars) {
    if (!IsValidChar(c)) {
      Beep();
      event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

void TCSpinEdit::inputMethodEvent(QInputMethodEvent* event) {
  bool valid = FEditorEnabled;
  for (const QChar c : event->commitString()) valid = valid && IsValidChar(c);
  if (!valid) {
    if (!event->commitString().isEmpty()) Beep();
    event->accept();
    return;
  }
  QLineEdit::inputMethodEvent(event);
}

void TCSpinEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  mouseFocusPending_ = false;
  const Qt::FocusReason reason = event->reason();
  // Returning from a menu or another window is not entering the control.
  if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason || !FAutoSelect) return;
  if (reason == Qt::MouseFocusReason) {
    // The press that gave the focus follows at once: a left press on the edit itself places the
    // cursor; any other press (on an arrow, or another button) selects the text.
    mouseFocusPending_ = true;
    return;
  }
  selectAll();
}

bool TCSpinEdit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && mouseFocusPending_ && FButton &&
      (watched == FButton || watched == FButton->IncButton() || watched == FButton->DecButton())) {
    mouseFocusPending_ = false;
    selectAll();
  }
  return QLineEdit::eventFilter(watched, event);
}

void TCSpinEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  mouseFocusPending_ = false;
  const Qt::FocusReason reason = event->reason();
  if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) return;
  const int value = GetValue();
  if (CheckValue(value) != value) SetValue(value);
}

void TCSpinEdit::mousePressEvent(QMouseEvent* event) {
  const bool select = mouseFocusPending_ && event->button() != Qt::LeftButton;
  mouseFocusPending_ = false;
  QLineEdit::mousePressEvent(event);
  if (select) selectAll();
}

void TCSpinEdit::mouseReleaseEvent(QMouseEvent* event) {
  // The middle button pastes the selection on X11.
  if (event->button() == Qt::MiddleButton && !clipboardEditAllowed()) {
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void TCSpinEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (!clipboardEditAllowed()) {
    event->ignore();
    return;
  }
  QLineEdit::dragEnterEvent(event);
}

void TCSpinEdit::dropEvent(QDropEvent* event) {
  if (!clipboardEditAllowed()) {
    event->ignore();
    return;
  }
  QLineEdit::dropEvent(event);
}

void TCSpinEdit::Paste() {
  if (clipboardEditAllowed()) paste();
}

void TCSpinEdit::Cut() {
  if (clipboardEditAllowed()) cut();
}

void TCSpinEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  // The menu's cut and paste go through the same refusal as the keys. Qt 6.4 names neither
  // entry: recognise them by their text (before the shortcut), translated as QLineEdit does.
  const QString cutText = QCoreApplication::translate("QLineEdit", "Cu&t");
  const QString pasteText = QCoreApplication::translate("QLineEdit", "&Paste");
  for (QAction* action : menu->actions()) {
    const QString text = action->text().section(QLatin1Char('\t'), 0, 0);
    if (text == cutText) action->setObjectName(QStringLiteral("edit-cut"));
    else if (text == pasteText) action->setObjectName(QStringLiteral("edit-paste"));
    const QString name = action->objectName();
    if (name != QLatin1String("edit-cut") && name != QLatin1String("edit-paste")) continue;
    disconnect(action, &QAction::triggered, nullptr, nullptr);
    if (name == QLatin1String("edit-cut")) connect(action, &QAction::triggered, this, &TCSpinEdit::Cut);
    else connect(action, &QAction::triggered, this, &TCSpinEdit::Paste);
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

int TCSpinEdit::BorderWidth() const { return hasFrame() ? 2 : 0; }

int TCSpinEdit::GetMinHeight() const {
  // The system font's stand-in is the platform's general font.
  const QFontMetrics system(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
  const QFontMetrics own(font());
  const int i = std::min(system.height(), own.height());
  constexpr int borderHeight = 1;
  return own.height() + i / 4 + 4 * borderHeight + 2;
}

QRect TCSpinEdit::SpinButtonBounds() const {
  if (!FButton) return QRect();
  const int w = FButton->width();
  // Inside a three-dimensional border the pair leaves a small gap to the right and below.
  if (hasFrame()) return QRect(width() - w - 5, 0, w, height() - 5);
  return QRect(width() - w, 0, w, height());
}

void TCSpinEdit::placeSpinButton() {
  if (!FButton) return;
  const QRect bounds = SpinButtonBounds();
  FButton->SetBounds(BorderWidth() + bounds.x(), BorderWidth() + bounds.y(), bounds.width(), bounds.height());
}

// The text's formatting rectangle ends two pixels left of the arrows, so text never runs under
// them.
void TCSpinEdit::SetEditRect() {
  if (!FButton) return;
  const int clientWidth = width() - 2 * BorderWidth();
  const int textRight = BorderWidth() + clientWidth - FButton->width() - 2;  // excluded
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
  const int margin = std::max(0, contents.right() + 1 - textRight);
  const QMargins current = textMargins();
  if (current.right() != margin) setTextMargins(current.left(), current.top(), margin, current.bottom());
}

void TCSpinEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  const int minHeight = GetMinHeight();
  if (height() < minHeight) {
    resize(width(), minHeight);
    return;
  }
  placeSpinButton();
  SetEditRect();
}

void TCSpinEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    const int minHeight = GetMinHeight();
    setMinimumHeight(minHeight);
    if (height() < minHeight) resize(width(), minHeight);
    placeSpinButton();
    SetEditRect();
  }
}
