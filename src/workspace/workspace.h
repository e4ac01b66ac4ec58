// The window's state without the window: what every step reads and writes, shared by the
// window (TForm1) and the command-line tool.
#pragma once
#include <functional>
#include <string>

#include "base/text_to_int.h"
#include "imaging/image_control.h"

namespace tavrik {

// Receives the gauge's whole percentages, only when the value changes.
using ProgressSink = std::function<void(int percent)>;

struct Workspace {
  Workspace();

  // The nine image controls, at their layout places and start sizes.
  ImageControl Image1;  // sprite plane
  ImageControl Image2;  // background plane
  ImageControl Image3;  // full plane
  ImageControl Image4;  // decorative picture
  ImageControl Image5;  // sprite list
  ImageControl Image6;  // background list
  ImageControl Image7;  // scratch strip (never shown)
  ImageControl Image8;  // sprite map preview
  ImageControl Image9;  // background map preview
  ImageControl& image(int number);  // 1..9

  // Tile edge length; 0 until the lists are first created.
  int SpriteSize = 0;

  // Size labels of the three picture slots.
  std::string Label4 = "N/A", Label5 = "N/A";    // sprite plane width, height
  std::string Label7 = "N/A", Label8 = "N/A";    // background plane width, height
  std::string Label15 = "N/A", Label16 = "N/A";  // full plane width, height
  // Tile counters of the sprite list and the background list.
  std::string Label23 = "N/A";
  std::string Label26 = "N/A";

  // Values of the controls that the user sets.
  int CSpinEdit1 = 100;  // black / dark grey limit
  int CSpinEdit2 = 170;  // dark grey / light grey limit
  int CSpinEdit3 = 300;  // light grey / white limit
  bool RadioButton1 = false;  // "8 x 8"
  bool RadioButton2 = true;   // "16 x 16"
  std::string Edit6 = "Demo";  // output base name
  // File name of the sprite plane's picture dialog: the last accepted file, empty if none.
  std::string OpenPictureDialog1FileName;

  // Progress of CGauge1 (range 0..100).
  int progress() const { return progress_; }
  // Sets the gauge: clamps to 0..100 and tells the sink when the value changes.
  void setProgress(int percent);
  void setProgressSink(ProgressSink sink) { progressSink_ = std::move(sink); }

  // Loads a picture file into picture slot 1, 2 or 3 and writes the slot's size labels.
  // On error nothing changes and the error propagates.
  void loadSlot(int slot, const std::string& fileName, PictureRules rules = PictureRules::Window);
  // Puts a picture already loaded into picture slot 1, 2 or 3 and writes the slot's size labels.
  void setSlotPicture(int slot, Picture picture);

 private:
  int progress_ = 0;
  ProgressSink progressSink_;
};

}  // namespace tavrik
