#include "workspace/workspace.h"

#include <cstdint>

#include "base/error.h"
#include "imaging/picture_file.h"

namespace tavrik {

Workspace::Workspace()
    : Image1("Image1", 0, 0, 105, 105, true, true),
      Image2("Image2", 0, 0, 105, 105, true, true),
      Image3("Image3", 0, 0, 105, 105, true, true),
      Image4("Image4", 664, 528, 80, 76, true, true),
      Image5("Image5", 0, 0, 209, 17, false, true),
      Image6("Image6", 0, 0, 209, 17, false, true),
      Image7("Image7", 176, 416, 25, 9, false, false),
      Image8("Image8", 0, 0, 113, 113, false, true),
      Image9("Image9", 0, 0, 113, 113, false, true) {}

ImageControl& Workspace::image(int number) {
  switch (number) {
    case 1: return Image1;
    case 2: return Image2;
    case 3: return Image3;
    case 4: return Image4;
    case 5: return Image5;
    case 6: return Image6;
    case 7: return Image7;
    case 8: return Image8;
    case 9: return Image9;
    default: throw Error(format("Image%d n'existe pas", number));
  }
}

void Workspace::setProgress(int percent) {
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (percent == progress_) return;
  progress_ = percent;
  if (progressSink_) progressSink_(percent);
}

void Workspace::loadSlot(int slot, const std::string& fileName, PictureRules rules) {
  setSlotPicture(slot, loadPictureFile(fileName, rules));
}

void Workspace::setSlotPicture(int slot, Picture picture) {
  ImageControl& control = image(slot);
  control.setPicture(std::move(picture));
  std::string& widthLabel = slot == 1 ? Label4 : slot == 2 ? Label7 : Label15;
  std::string& heightLabel = slot == 1 ? Label5 : slot == 2 ? Label8 : Label16;
  widthLabel = std::to_string(control.Width());
  heightLabel = std::to_string(control.Height());
}

}  // namespace tavrik
