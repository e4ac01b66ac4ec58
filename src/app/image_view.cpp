#include "app/image_view.h"

#include <algorithm>

#include <QPaintEvent>
#include <QPainter>

#include "app/picture_dialog.h"

namespace tavrik {

ImageView::ImageView(ImageControl& control, QWidget* parent) : QWidget(parent), control_(control) {
  setObjectName(QString::fromStdString(control.name()));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  control_.setOnChanged([this] { dirty_ = true; });
  move(control.Left(), control.Top());
  refresh();
  if (!control.Visible()) hide();
}

ImageView::~ImageView() { control_.setOnChanged(nullptr); }

void ImageView::refresh() {
  const QSize size(std::max(0, control_.Width()), std::max(0, control_.Height()));
  if (this->size() != size) resize(size);
  if (dirty_) {
    dirty_ = false;
    update();
  }
}

void ImageView::paintEvent(QPaintEvent* event) {
  ++paintCount_;
  QPainter p(this);
  if (const Surface* surface = control_.surfaceIfAny()) {
    // Convert only the exposed part of the surface, so that huge strips scroll smoothly.
    const QRect part = event->rect() & rect() & QRect(0, 0, surface->width(), surface->height());
    if (!part.isEmpty()) p.drawImage(part.topLeft(), surfaceToImage(*surface, part));
    return;
  }
  const int w = control_.pictureWidth(), h = control_.pictureHeight();
  if (control_.pictureKind() != PictureKind::None && w > 0 && h > 0) {
    // Icons and metafiles have no pixels here: a frame where the picture lies.
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(QRect(0, 0, w, h).adjusted(0, 0, -1, -1));
    p.drawLine(0, 0, w - 1, h - 1);
    p.drawLine(0, h - 1, w - 1, 0);
  }
}

}  // namespace tavrik
