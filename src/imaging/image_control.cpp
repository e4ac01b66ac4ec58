#include "imaging/image_control.h"

#include <algorithm>

#include "base/error.h"
#include "imaging/picture_file.h"

namespace tavrik {

ImageControl::ImageControl(std::string name, int left, int top, int width, int height,
                           bool autoSize, bool visible)
    : name_(std::move(name)),
      left_(left),
      top_(top),
      width_(width),
      height_(height),
      autoSize_(autoSize),
      visible_(visible) {}

void ImageControl::SetWidth(int width) {
  width_ = width;
  if (!autoSize_ && picture_.surface && width > picture_.surface->width())
    picture_.surface->grow(width, picture_.surface->height());
}

void ImageControl::SetHeight(int height) {
  height_ = height;
  if (!autoSize_ && picture_.surface && height > picture_.surface->height())
    picture_.surface->grow(picture_.surface->width(), height);
}

Surface& ImageControl::surface() { return surfaceCreatedAs(false); }

Surface& ImageControl::surfaceForOverwrite() { return surfaceCreatedAs(true); }

Surface& ImageControl::surface(std::unique_ptr<Surface> prepared) {
  return surfaceCreatedAs(false, std::move(prepared));
}

Surface& ImageControl::surfaceCreatedAs(bool forOverwrite, std::unique_ptr<Surface> prepared) {
  if (picture_.surface) return *picture_.surface;
  if (picture_.kind == PictureKind::Icon || picture_.kind == PictureKind::Metafile)
    throw Error(kBitmapOnly);
  Picture created;
  created.kind = PictureKind::Bitmap;
  if (prepared && prepared->width() == std::max(width_, 0) && prepared->height() == std::max(height_, 0))
    created.surface = std::move(prepared);
  else
    created.surface = std::make_unique<Surface>(forOverwrite ? Surface::forOverwrite(width_, height_)
                                                             : Surface(width_, height_, clWhite));
  picture_ = std::move(created);
  changed();
  return *picture_.surface;
}

void ImageControl::setPicture(Picture picture) {
  picture_ = std::move(picture);
  changed();
}

void ImageControl::loadFromFile(const std::string& fileName, PictureRules rules) {
  setPicture(loadPictureFile(fileName, rules));
}

void ImageControl::applyAutoSize() {
  const int w = picture_.width();
  const int h = picture_.height();
  if (w > 0 && h > 0) {
    width_ = w;
    height_ = h;
  }
}

}  // namespace tavrik
