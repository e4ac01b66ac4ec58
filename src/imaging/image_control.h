// An image control of the main window: position, size, AutoSize, Visible, and its picture.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "imaging/picture.h"
#include "imaging/picture_file.h"

namespace tavrik {

class ImageControl {
 public:
  ImageControl(std::string name, int left, int top, int width, int height, bool autoSize,
               bool visible);

  const std::string& name() const { return name_; }
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool AutoSize() const { return autoSize_; }
  bool Visible() const { return visible_; }

  // Changes the control's size only. A control without AutoSize whose surface is smaller than
  // the new size has its surface grown to cover it (old pixels kept, new ones white), so that
  // a later, larger conversion loses no tiles. Surfaces never shrink.
  void SetWidth(int width);
  void SetHeight(int height);

  PictureKind pictureKind() const { return picture_.kind; }
  int pictureWidth() const { return picture_.width(); }
  int pictureHeight() const { return picture_.height(); }
  bool hasSurface() const { return picture_.surface != nullptr; }
  const Surface* surfaceIfAny() const { return picture_.surface.get(); }

  // Surface access: creates a white surface of the control's current size when the control
  // holds no picture; throws Error for an icon or metafile picture. Bulk writers call
  // changed() once they are done.
  Surface& surface();
  // Same, but a surface created here has its pixels unset: for a writer that sets every pixel
  // of the new surface before anything reads it.
  Surface& surfaceForOverwrite();
  // Same as surface(), with `prepared` taken as the surface to create when the control has
  // none and `prepared` is white at the control's current size (made ahead, on another
  // thread); otherwise `prepared` is dropped.
  Surface& surface(std::unique_ptr<Surface> prepared);

  // Single-pixel operations: surface access, the operation, then (for writes) the change
  // notification.
  Colour readPixel(int x, int y) { return surface().read(x, y); }
  void writePixel(int x, int y, Colour c) {
    surface().write(x, y, c);
    changed();
  }
  void fillRect(int left, int top, int right, int bottom) {
    surface().fillRect(left, top, right, bottom);
    changed();
  }
  void drawText(int x, int y, std::string_view text, Colour ink = clBlack) {
    surface().drawText(x, y, text, ink);
    changed();
  }

  // Replaces the picture (and any surface) and notifies.
  void setPicture(Picture picture);
  // Loads a picture file into the control; on error the control is left exactly as it was.
  void loadFromFile(const std::string& fileName, PictureRules rules = PictureRules::Window);

  // Change notification: applies the AutoSize rule and tells the observer, if any.
  void changed() {
    if (autoSize_) applyAutoSize();
    if (onChanged_) onChanged_();
  }
  void setOnChanged(std::function<void()> observer) { onChanged_ = std::move(observer); }

 private:
  void applyAutoSize();
  Surface& surfaceCreatedAs(bool forOverwrite, std::unique_ptr<Surface> prepared = nullptr);

  std::string name_;
  int left_, top_, width_, height_;
  bool autoSize_, visible_;
  Picture picture_;
  std::function<void()> onChanged_;
};

}  // namespace tavrik
