// The picture dialogs of the window (TOpenPictureDialog): Qt's own file dialog with a preview
// pane at its right, keeping the filter, the filter index and the file name between runs.
#pragma once
#include <functional>
#include <memory>
#include <optional>

#include <QDialog>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "imaging/picture.h"
#include "imaging/picture_file.h"

class QFileDialog;
class QLabel;
class QToolButton;

namespace tavrik {

// The filter of the three picture dialogs: "description|patterns" pairs separated by "|",
// patterns separated by ";".
extern const char* const kPictureDialogFilter;

// Qt name filters for a filter of "description|patterns" pairs: each description keeps its
// text before any "(", followed by the patterns in parentheses, separated by spaces (Qt shows
// nothing when they are separated by ";").
QStringList qtNameFilters(const QString& filter);

// The part `part` of a surface as a QImage (RGB32); `part` must lie inside the surface. A null
// image when Qt cannot make one of that size.
QImage surfaceToImage(const Surface& surface, const QRect& part);

// What the preview pane draws for a picture: the bitmap's thumbnail, Qt's rendering of an icon
// file, or a null image for a metafile (which has no pixels here).
QImage previewImage(const PictureThumbnail& picture, const QString& fileName);

// The largest thumbnail that the preview decodes, in each direction: enough for the pane
// (about 150 pixels) and for the preview window of a picture that fits the screen.
inline constexpr int kPreviewPixels = 1024;

// Draws a picture inside an area the way the preview pane does: centred at 1:1 when it fits,
// otherwise scaled down keeping its proportions to the area's full width (wider than high) or
// full height, from the area's top-left corner. Returns the rectangle drawn into.
QRect previewRect(const QSize& picture, const QRect& area);

// The modal tool window "Prévisualiser": the picture stretched over the window inside a
// 5-pixel margin; first shown at the size that shows it at 1:1; Escape closes it.
class PicturePreviewWindow : public QDialog {
  Q_OBJECT
 public:
  PicturePreviewWindow(const QImage& image, QSize pictureSize, QWidget* parent = nullptr);
  QRect pictureRect() const { return rect().adjusted(5, 5, -5, -5); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

// The preview pane: caption line, "Prévisualiser" button, picture area.
class PicturePreview : public QWidget {
  Q_OBJECT
 public:
  explicit PicturePreview(QWidget* parent = nullptr);

  // Shows the picture in `fileName`, or none when it does not load (no error is raised).
  void showFile(const QString& fileName);

  QString caption() const;
  bool hasPicture() const { return hasPicture_; }
  QSize pictureSize() const { return pictureSize_; }
  PictureKind pictureKind() const { return pictureKind_; }
  QToolButton* previewButton() const { return button_; }
  QWidget* pictureArea() const { return area_; }
  const QImage& image() const { return image_; }

  // Opens the "Prévisualiser" window (modal) for the shown picture.
  void openPreviewWindow();

 private:
  QLabel* caption_;
  QToolButton* button_;
  QWidget* area_;
  bool hasPicture_ = false;
  PictureKind pictureKind_ = PictureKind::None;
  QSize pictureSize_;
  QImage image_;
};

class TOpenPictureDialog : public QObject {
  Q_OBJECT
 public:
  struct Choice {
    QString fileName;     // full path of the accepted file
    int filterIndex = 1;  // 1-based entry of the filter chosen
  };
  // Runs the dialog: the choice, or nothing when cancelled. Tests replace it.
  using Runner = std::function<std::optional<Choice>(TOpenPictureDialog& dialog, QWidget* parent)>;

  explicit TOpenPictureDialog(QObject* parent = nullptr);

  // Runs the dialog. On acceptance keeps the file name and filter index and makes the file's
  // folder the current folder; a cancelled run changes nothing.
  bool Execute(QWidget* parent = nullptr);

  QString Filter = QString::fromUtf8(kPictureDialogFilter);
  int FilterIndex = 1;
  QString FileName;

  void setRunner(Runner runner) { runner_ = std::move(runner); }

  // Qt's non-native file dialog set up from this dialog's state, with the preview pane
  // (object name "PicturePreview") in a new column at the right.
  std::unique_ptr<QFileDialog> createFileDialog(QWidget* parent) const;
  // The default runner: runs createFileDialog() modally.
  static std::optional<Choice> runFileDialog(TOpenPictureDialog& dialog, QWidget* parent);

 private:
  Runner runner_;
};

}  // namespace tavrik
