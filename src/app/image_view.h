// On-screen view of one image control of the workspace: the picture at 1:1 from the view's
// top-left corner, cut off at the control's size; the container's background shows beyond it.
#pragma once
#include <QWidget>

#include "imaging/image_control.h"

namespace tavrik {

class ImageView : public QWidget {
  Q_OBJECT
 public:
  ImageView(ImageControl& control, QWidget* parent);
  ~ImageView() override;

  ImageControl& control() const { return control_; }

  // True when the control changed since the last refresh().
  bool dirty() const { return dirty_; }

  // Takes the control's size and, when the control changed, schedules one repaint. Called once
  // a command has returned, never from the change notification itself: a step's many writes
  // then cost one repaint, and the gauge's synchronous repaints do not drag the images along.
  void refresh();

  // Paint events handled, for tests and diagnostics.
  int paintCount() const { return paintCount_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ImageControl& control_;
  bool dirty_ = true;
  int paintCount_ = 0;
};

}  // namespace tavrik
