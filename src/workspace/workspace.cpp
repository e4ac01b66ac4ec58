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

bool tryTextToInt(const std::string& text, int& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    magnitude = magnitude * base + digit;
    if (magnitude > 0xFFFFFFFFll) return false;
  }
  if (base == 10) {
    const std::int64_t v = negative ? -magnitude : magnitude;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int>(v);
  } else {
    // Hexadecimal text names the 32-bit pattern.
    const auto bits = static_cast<std::uint32_t>(magnitude);
    const std::int64_t v = negative ? -static_cast<std::int64_t>(static_cast<std::int32_t>(bits))
                                    : static_cast<std::int32_t>(bits);
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int>(v);
  }
  return true;
}

int textToInt(const std::string& text) {
  int value = 0;
  if (!tryTextToInt(text, value)) throw Error(format(kNotAnInteger, text.c_str()));
  return value;
}

}  // namespace tavrik
