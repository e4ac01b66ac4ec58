#include "controls/cspin.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

void key(QWidget* w, int k, const QString& text = QString(), Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, k, mods, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, mods, text);
  QApplication::sendEvent(w, &release);
}

void mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), type == QEvent::MouseMove ? Qt::NoButton : button,
                held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void focus(QWidget* w, QEvent::Type type, Qt::FocusReason reason) {
  QFocusEvent e(type, reason);
  QApplication::sendEvent(w, &e);
}

// The main window's threshold: 0..1023, typing disabled, value 100.
struct Threshold : TCSpinEdit {
  Threshold() {
    SetMaxValue(1023);
    SetEditorEnabled(false);
    SetValue(100);
  }
};

}  // namespace

TEST(SpinValue, DefaultsMeanNoBounds) {
  TCSpinEdit e;
  EXPECT_EQ(e.text(), "0");
  EXPECT_EQ(e.GetIncrement(), 1);
  EXPECT_TRUE(e.GetEditorEnabled());
  e.SetValue(-7);
  EXPECT_EQ(e.text(), "-7");
  e.SetValue(2147483647);
  e.UpClick();  // saturates instead of wrapping
  EXPECT_EQ(e.GetValue(), 2147483647);
}

TEST(SpinValue, BoundsClampWritesAndSpins) {
  Threshold e;
  EXPECT_EQ(e.text(), "100");
  e.SetValue(1500);
  EXPECT_EQ(e.text(), "1023");
  e.UpClick();
  EXPECT_EQ(e.text(), "1023");
  e.SetValue(0);
  e.DownClick();
  EXPECT_EQ(e.text(), "0");
  e.SetIncrement(5);
  e.SetValue(1021);
  e.UpClick();
  EXPECT_EQ(e.text(), "1023");
  // New bounds take effect at the next write only.
  e.SetMaxValue(500);
  EXPECT_EQ(e.text(), "1023");
  e.DownClick();
  EXPECT_EQ(e.text(), "500");
}

TEST(SpinValue, UnconvertibleTextBecomesMinValue) {
  TCSpinEdit e;
  e.SetMinValue(3);
  e.SetMaxValue(10);
  for (const char* bad : {"12a", "", "-", "1,5", "5-", "2147483648"}) {
    e.setText(QString::fromLatin1(bad));
    EXPECT_EQ(e.GetValue(), 3) << bad;
    EXPECT_EQ(e.text(), "3") << bad;
  }
  // Not clamped on reading.
  e.setText("5000");
  EXPECT_EQ(e.GetValue(), 5000);
  EXPECT_EQ(e.text(), "5000");
  e.setText("$1F");
  EXPECT_EQ(e.GetValue(), 31);
  e.setText(" -2");
  EXPECT_EQ(e.GetValue(), -2);
}

TEST(SpinKeys, UpAndDownSpinAndReadOnlyBeeps) {
  Threshold e;
  key(&e, Qt::Key_Up);
  EXPECT_EQ(e.text(), "101");
  key(&e, Qt::Key_Down);
  key(&e, Qt::Key_Down);
  EXPECT_EQ(e.text(), "99");
  EXPECT_EQ(e.beepCount(), 0);
  e.setReadOnly(true);
  key(&e, Qt::Key_Up);
  e.DownClick();
  EXPECT_EQ(e.text(), "99");
  EXPECT_EQ(e.beepCount(), 2);
}

TEST(SpinKeys, CharacterFilterWithEditorEnabled) {
  TCSpinEdit e;
  e.setText("");
  const QString point = QLocale().decimalPoint();
  key(&e, Qt::Key_1, "1");
  key(&e, Qt::Key_Plus, "+");
  key(&e, Qt::Key_Minus, "-");
  key(&e, 0, point);
  EXPECT_EQ(e.text(), "1+-" + point);
  EXPECT_EQ(e.beepCount(), 0);
  key(&e, Qt::Key_Backspace, "\b");
  EXPECT_EQ(e.text(), "1+-");
  key(&e, Qt::Key_A, "a");
  key(&e, Qt::Key_Space, " ");
  key(&e, Qt::Key_Return, "\r");
  key(&e, Qt::Key_Enter, "\r", Qt::KeypadModifier);
  EXPECT_EQ(e.text(), "1+-");
  EXPECT_EQ(e.beepCount(), 4);
  EXPECT_TRUE(e.IsValidChar(QChar(1)));
  EXPECT_TRUE(e.IsValidChar(QChar(8)));
  EXPECT_FALSE(e.IsValidChar(QChar(13)));
  EXPECT_FALSE(e.IsValidChar(QChar(0xE9)));
}

TEST(SpinKeys, CharacterFilterWithEditorDisabled) {
  Threshold e;
  for (auto [k, text] : {std::pair{Qt::Key_5, "5"}, {Qt::Key_A, "a"}, {Qt::Key_Minus, "-"}, {Qt::Key_Backspace, "\b"}})
    key(&e, k, QString::fromLatin1(text));
  EXPECT_EQ(e.text(), "100");
  EXPECT_EQ(e.beepCount(), 4);
  // Delete types no character: it still removes one.
  e.setCursorPosition(0);
  key(&e, Qt::Key_Delete, "\x7f");
  EXPECT_EQ(e.text(), "00");
  EXPECT_EQ(e.beepCount(), 4);
  EXPECT_TRUE(e.IsValidChar(QChar(1)));
  EXPECT_FALSE(e.IsValidChar(QChar(8)));
  EXPECT_FALSE(e.IsValidChar(QChar('7')));
  // Ctrl+A types a control code, which passes, and selects everything.
  key(&e, Qt::Key_A, "a", Qt::ControlModifier);
  EXPECT_EQ(e.selectedText(), "00");
  EXPECT_EQ(e.beepCount(), 4);
}

TEST(SpinClipboard, PasteAndCutRefusedSilently) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  Threshold e;
  clipboard->setText("77");
  key(&e, Qt::Key_V, "v", Qt::ControlModifier);
  key(&e, Qt::Key_Insert, QString(), Qt::ShiftModifier);
  e.Paste();
  EXPECT_EQ(e.text(), "100");
  e.selectAll();
  key(&e, Qt::Key_X, "x", Qt::ControlModifier);
  key(&e, Qt::Key_Delete, QString(), Qt::ShiftModifier);
  e.Cut();
  EXPECT_EQ(e.text(), "100");
  EXPECT_EQ(clipboard->text(), "77");
  EXPECT_EQ(e.beepCount(), 0);

  // The context menu's entries go through the same refusal.
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5), e.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&e, &menuEvent);
  QMenu* menu = e.findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  int rewired = 0;
  for (QAction* action : menu->actions())
    if (action->objectName() == "edit-paste" || action->objectName() == "edit-cut") {
      action->trigger();
      ++rewired;
    }
  menu->close();
  EXPECT_EQ(rewired, 2);
  EXPECT_EQ(e.text(), "100");
  EXPECT_EQ(clipboard->text(), "77");

  // Copying is not affected; with the editor enabled pasting works, unless read-only.
  key(&e, Qt::Key_C, "c", Qt::ControlModifier);
  EXPECT_EQ(clipboard->text(), "100");
  e.SetEditorEnabled(true);
  e.setReadOnly(true);
  clipboard->setText("7");
  e.setCursorPosition(3);
  key(&e, Qt::Key_V, "v", Qt::ControlModifier);
  EXPECT_EQ(e.text(), "100");
  e.setReadOnly(false);
  key(&e, Qt::Key_V, "v", Qt::ControlModifier);
  EXPECT_EQ(e.text(), "1007");
  e.selectAll();
  e.Cut();
  EXPECT_EQ(e.text(), "");
  EXPECT_EQ(clipboard->text(), "1007");
}

TEST(SpinFocus, LeavingRewritesTheBoundedValue) {
  Threshold e;
  e.setText("5000");
  focus(&e, QEvent::FocusOut, Qt::PopupFocusReason);  // a menu opening is not leaving
  EXPECT_EQ(e.text(), "5000");
  focus(&e, QEvent::FocusOut, Qt::TabFocusReason);
  EXPECT_EQ(e.text(), "1023");
  e.setText("12a");
  focus(&e, QEvent::FocusOut, Qt::MouseFocusReason);
  EXPECT_EQ(e.text(), "0");
  e.setText("0x10");  // in range: left as typed
  focus(&e, QEvent::FocusOut, Qt::TabFocusReason);
  EXPECT_EQ(e.text(), "0x10");
}

TEST(SpinFocus, EnteringSelectsUnlessClickedOnTheEdit) {
  Threshold e;
  e.resize(97, 22);
  e.show();
  QApplication::processEvents();
  focus(&e, QEvent::FocusIn, Qt::TabFocusReason);
  EXPECT_EQ(e.selectedText(), "100");

  // A left press on the edit itself: no selection.
  e.deselect();
  focus(&e, QEvent::FocusIn, Qt::MouseFocusReason);
  mouse(&e, QEvent::MouseButtonPress, QPoint(10, 10));
  mouse(&e, QEvent::MouseButtonRelease, QPoint(10, 10));
  EXPECT_FALSE(e.hasSelectedText());

  // A press on an arrow gives the focus and selects the text.
  TTimerSpeedButton* up = e.SpinButton()->IncButton();
  focus(&e, QEvent::FocusIn, Qt::MouseFocusReason);
  mouse(up, QEvent::MouseButtonPress, QPoint(5, 4));
  EXPECT_EQ(e.selectedText(), "100");
  mouse(up, QEvent::MouseButtonRelease, QPoint(5, 4));
  EXPECT_EQ(e.text(), "101");

  e.SetAutoSelect(false);
  e.deselect();
  focus(&e, QEvent::FocusIn, Qt::OtherFocusReason);
  EXPECT_FALSE(e.hasSelectedText());
}

TEST(SpinLayout, ArrowPairAndMinimumHeight) {
  TCSpinEdit e;
  QFont font(QStringLiteral("DejaVu Sans"));  // 13 pixels high, as the window's font
  font.setPixelSize(11);
  e.setFont(font);
  ASSERT_LE(e.GetMinHeight(), 22);
  e.setGeometry(0, 0, 97, 22);
  e.show();
  QApplication::processEvents();
  EXPECT_EQ(e.SpinButtonBounds(), QRect(77, 0, 15, 17));
  EXPECT_EQ(e.SpinButton()->geometry(), QRect(77 + e.BorderWidth(), e.BorderWidth(), 15, 17));
  EXPECT_EQ(e.SpinButton()->IncButton()->geometry(), QRect(0, 0, 15, 8));
  EXPECT_EQ(e.SpinButton()->DecButton()->geometry(), QRect(0, 7, 15, 10));
  // The text scrolls before it reaches the arrows.
  struct Probe : TCSpinEdit {
    using QLineEdit::cursorRect;
  };
  static_cast<Probe&>(e).setText("123456789012345678901234567890");
  e.setCursorPosition(30);
  e.repaint();
  EXPECT_LT(static_cast<Probe&>(e).cursorRect().center().x(), e.SpinButton()->x());

  // Taller edit: the pair follows the height.
  e.resize(120, 40);
  QApplication::processEvents();
  EXPECT_EQ(e.SpinButtonBounds(), QRect(100, 0, 15, 35));
  EXPECT_EQ(e.SpinButton()->DecButton()->geometry(), QRect(0, 16, 15, 19));

  // Lower than the minimum height: grows at once.
  e.resize(97, 10);
  EXPECT_EQ(e.height(), e.GetMinHeight());
  EXPECT_EQ(e.SpinButtonBounds().height(), e.GetMinHeight() - 5);
}

TEST(SpinLayout, MinimumHeightOfAThirteenPixelFont) {
  TCSpinEdit e;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(11);
  e.setFont(font);
  const int system = QFontMetrics(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).height();
  if (QFontMetrics(font).height() != 13 || system < 13)
    GTEST_SKIP() << "needs a font 13 pixels high and a system font at least as high";
  EXPECT_EQ(e.GetMinHeight(), 22);  // 13 + 13 div 4 + 4 + 2
  EXPECT_GE(e.minimumHeight(), 22);
}

TEST(SpinLayout, StandalonePairAndGlyphs) {
  TCSpinButton pair;
  EXPECT_EQ(pair.size(), QSize(20, 25));
  EXPECT_EQ(pair.IncButton()->geometry(), QRect(0, 0, 20, 12));
  EXPECT_EQ(pair.DecButton()->geometry(), QRect(0, 11, 20, 14));
  pair.SetBounds(3, 4, 9, 30);  // at least 15 wide
  EXPECT_EQ(pair.geometry(), QRect(3, 4, 15, 30));
  EXPECT_EQ(pair.DecButton()->geometry(), QRect(0, 14, 15, 16));
  EXPECT_EQ(pair.ActiveButton(), pair.IncButton());

  const char* up[] = {".........", "....#....", "...###...", "..#####..", ".#######.", "........."};
  const char* down[] = {".........", ".#######.", "..#####..", "...###...", "....#....", "........."};
  for (auto [glyph, rows] : {std::pair{pair.GetUpGlyph(), up}, {pair.GetDownGlyph(), down}}) {
    const QImage image = glyph.toImage();
    ASSERT_EQ(image.size(), QSize(9, 6));
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 9; ++x)
        EXPECT_EQ(image.pixel(x, y), rows[y][x] == '#' ? qRgb(0, 0, 0) : qRgb(0x80, 0x80, 0)) << x << "," << y;
  }
}

TEST(SpinButtonKeys, FocusMarkFollowsTheActiveArrow) {
  TCSpinButton pair;
  int ups = 0, downs = 0;
  pair.OnUpClick = [&](TCSpinButton* sender) { ups += sender == &pair; };
  pair.OnDownClick = [&](TCSpinButton* sender) { downs += sender == &pair; };
  pair.SetTabStop(true);
  pair.show();
  QApplication::processEvents();
  focus(&pair, QEvent::FocusIn, Qt::TabFocusReason);
  EXPECT_TRUE(pair.IncButton()->RepeatFlags() & TTimerSpeedButton::rfFocusRect);
  key(&pair, Qt::Key_Down);
  key(&pair, Qt::Key_Space);
  key(&pair, Qt::Key_Up);
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(downs, 2);
  focus(&pair, QEvent::FocusOut, Qt::TabFocusReason);
  EXPECT_FALSE(pair.IncButton()->RepeatFlags() & TTimerSpeedButton::rfFocusRect);
  EXPECT_FALSE(pair.DecButton()->RepeatFlags() & TTimerSpeedButton::rfFocusRect);
}

TEST(SpinRepeat, TimerDrivesRepeatedClicks) {
  Threshold e;
  e.show();
  QApplication::processEvents();
  TTimerSpeedButton* up = e.SpinButton()->IncButton();
  EXPECT_EQ(up->AutoRepeatTimer(), nullptr);
  // A short press: one step, on release.
  mouse(up, QEvent::MouseButtonPress, QPoint(5, 4));
  ASSERT_NE(up->AutoRepeatTimer(), nullptr);
  QTimer* timer = up->AutoRepeatTimer();
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 400);
  EXPECT_EQ(e.text(), "100");
  mouse(up, QEvent::MouseButtonRelease, QPoint(5, 4));
  EXPECT_EQ(e.text(), "101");
  EXPECT_FALSE(timer->isActive());

  // Held: every tick clicks, then 100 ms apart; one more on release. The timer is reused.
  mouse(up, QEvent::MouseButtonPress, QPoint(5, 4));
  EXPECT_EQ(up->AutoRepeatTimer(), timer);
  EXPECT_EQ(timer->interval(), 400);
  for (int i = 0; i < 3; ++i) up->TimerExpired();
  EXPECT_EQ(timer->interval(), 100);
  EXPECT_EQ(e.text(), "104");
  // Dragged out: the button no longer shows pressed, ticks do nothing, no click on release.
  QMouseEvent move(QEvent::MouseMove, QPointF(40, 40), QPointF(up->mapToGlobal(QPoint(40, 40))), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(up, &move);
  EXPECT_FALSE(up->isDown());
  up->TimerExpired();
  mouse(up, QEvent::MouseButtonRelease, QPoint(40, 40));
  EXPECT_EQ(e.text(), "104");

  // The down arrow, and a right press that never shows pressed.
  TTimerSpeedButton* down = e.SpinButton()->DecButton();
  mouse(down, QEvent::MouseButtonPress, QPoint(5, 5), Qt::RightButton);
  ASSERT_NE(down->AutoRepeatTimer(), nullptr);
  down->TimerExpired();
  mouse(down, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::RightButton);
  EXPECT_EQ(e.text(), "104");
  EXPECT_FALSE(down->AutoRepeatTimer()->isActive());
  mouse(down, QEvent::MouseButtonPress, QPoint(5, 5));
  down->TimerExpired();
  mouse(down, QEvent::MouseButtonRelease, QPoint(5, 5));
  EXPECT_EQ(e.text(), "102");
}

TEST(SpinRepeat, RealTimeHoldOf1050MsGivesEightSteps) {
  Threshold e;
  e.show();
  QApplication::processEvents();
  TTimerSpeedButton* up = e.SpinButton()->IncButton();
  // Holds the arrow for `ms` of real time; `ticks` gets the repeat timer's ticks, in ms since the
  // press, and `released` the time of the release.
  QElapsedTimer clock;
  std::vector<qint64> ticks;
  qint64 released = 0;
  QMetaObject::Connection recording;
  auto hold = [&](int ms) {
    e.SetValue(100);
    ticks.clear();
    clock.start();
    mouse(up, QEvent::MouseButtonPress, QPoint(5, 4));
    if (!recording) recording = QObject::connect(up->AutoRepeatTimer(), &QTimer::timeout, [&] { ticks.push_back(clock.elapsed()); });
    QEventLoop loop;
    QTimer::singleShot(ms - int(clock.elapsed()), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    released = clock.elapsed();
    mouse(up, QEvent::MouseButtonRelease, QPoint(5, 4));
    return e.GetValue() - 100;
  };
  // A step per tick and one for the release; the first tick 400 ms after the press, the others
  // 100 ms apart, all before the release. When the machine kept time (every tick and the release
  // within 20 ms of its moment), the ticks are those due before the release: none for 250 ms;
  // 400, 500, ..., 1000 ms for 1050 ms. On a busy machine only the bounds hold.
  for (const int ms : {250, 1050}) {
    const int steps = hold(ms);
    EXPECT_EQ(steps, static_cast<int>(ticks.size()) + 1) << ms;
    bool punctual = released <= ms + 20;
    for (size_t k = 0; k < ticks.size(); ++k) {
      EXPECT_GE(ticks[k] - (k == 0 ? 0 : ticks[k - 1]), k == 0 ? 400 : 99) << ms << " tick " << k;
      EXPECT_LE(ticks[k], released) << ms << " tick " << k;
      punctual = punctual && ticks[k] <= 400 + 100 * static_cast<qint64>(k) + 20;
    }
    // A tick due more than 20 ms before the release that has not come is late too.
    punctual = punctual && 400 + 100 * static_cast<qint64>(ticks.size()) + 20 >= released;
    if (punctual) {
      EXPECT_EQ(steps, ms == 250 ? 1 : 8);
    }
  }
  QObject::disconnect(recording);
}

TEST(SpinRepeat, AClickThatThrowsStopsTheTimer) {
  TCSpinButton pair;
  pair.show();
  QApplication::processEvents();
  pair.OnUpClick = [](TCSpinButton*) { throw std::runtime_error("refused"); };
  TTimerSpeedButton* up = pair.IncButton();
  mouse(up, QEvent::MouseButtonPress, QPoint(5, 4));
  ASSERT_TRUE(up->AutoRepeatTimer()->isActive());
  EXPECT_THROW(up->TimerExpired(), std::runtime_error);
  EXPECT_FALSE(up->AutoRepeatTimer()->isActive());
  pair.OnUpClick = nullptr;
  mouse(up, QEvent::MouseButtonRelease, QPoint(5, 4));
}
