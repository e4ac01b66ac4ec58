#include "app/picture_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "imaging/picture_file.h"

namespace tavrik {

const char* const kPictureDialogFilter =
    "Tout (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|"
    "Fichier image JPEG (*.jpg)|*.jpg|Fichier image JPEG (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|"
    "Icônes (*.ico)|*.ico|MétaFichiers améliorés (*.emf)|*.emf|MetaFichiers (*.wmf)|*.wmf";

QStringList qtNameFilters(const QString& filter) {
  QStringList result;
  const QStringList parts = filter.split(QLatin1Char('|'));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    const qsizetype paren = description.indexOf(QLatin1Char('('));
    if (paren >= 0) description.truncate(paren);
    description = description.trimmed();
    const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    result << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
  }
  return result;
}

QImage surfaceToImage(const Surface& surface, const QRect& part) {
  QImage image(part.size(), QImage::Format_RGB32);
  // Qt refuses sizes it cannot address or allocate with a null image, which has no rows.
  if (image.isNull()) return image;
  for (int y = 0; y < part.height(); ++y) {
    const Colour* src = surface.row(part.top() + y) + part.left();
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < part.width(); ++x) {
      const Colour c = src[x];
      dst[x] = qRgb(static_cast<int>(redOf(c)), static_cast<int>(greenOf(c)),
                    static_cast<int>(blueOf(c)));
    }
  }
  return image;
}

QImage previewImage(const PictureThumbnail& picture, const QString& fileName) {
  switch (picture.kind) {
    case PictureKind::Bitmap:
      if (!picture.pixels.empty())
        return surfaceToImage(picture.pixels, QRect(0, 0, picture.pixels.width(), picture.pixels.height()));
      return {};
    case PictureKind::Icon: {
      // Icons are shown only; their pixels never reach a surface.
      QImage icon(fileName);
      if (!icon.isNull() && picture.width > 0 && picture.height > 0)
        icon = icon.scaled(picture.width, picture.height, Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
      return icon;
    }
    default:
      return {};
  }
}

QRect previewRect(const QSize& picture, const QRect& area) {
  const int w = picture.width(), h = picture.height();
  if (w <= 0 || h <= 0) return {};
  if (w <= area.width() && h <= area.height())
    return QRect(area.left() + (area.width() - w) / 2, area.top() + (area.height() - h) / 2, w, h);
  if (w > h) return QRect(area.left(), area.top(), area.width(), h * area.width() / w);
  return QRect(area.left(), area.top(), w * area.height() / h, area.height());
}

// ---- preview window ------------------------------------------------------------------------

PicturePreviewWindow::PicturePreviewWindow(const QImage& image, QSize pictureSize,
                                           QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      image_(image) {
  setObjectName(QStringLiteral("PreviewWindow"));
  setWindowTitle(QStringLiteral("Prévisualiser"));
  setModal(true);
  setSizeGripEnabled(false);
  QSize size(pictureSize.width() + 10, pictureSize.height() + 10);
  QScreen* screen = QGuiApplication::primaryScreen();
  // A picture larger than the screen would ask for a window (and its backing store) as large.
  if (screen) size = size.boundedTo(screen->availableGeometry().size());
  resize(size);
  if (screen) move(screen->availableGeometry().center() - rect().center());
}

void PicturePreviewWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Base));
  if (!image_.isNull()) p.drawImage(pictureRect(), image_);
}

// ---- preview pane --------------------------------------------------------------------------

namespace {
class PreviewArea : public QWidget {
 public:
  explicit PreviewArea(PicturePreview* pane) : QWidget(pane), pane_(pane) {
    setObjectName(QStringLiteral("PictureArea"));
    setMinimumSize(150, 150);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect area = rect();
    p.fillRect(area, palette().color(QPalette::Window));
    if (!pane_->hasPicture()) {
      p.drawText(area, Qt::AlignCenter, QStringLiteral("(vide)"));
      return;
    }
    const QRect target = previewRect(pane_->pictureSize(), area);
    if (pane_->pictureKind() == PictureKind::Bitmap && (pane_->image().isNull() || !target.isValid())) {
      // A bitmap that cannot be shown (no image could be made, or too thin to cover a pixel
      // here): the empty state; the caption still gives its size.
      p.drawText(area, Qt::AlignCenter, QStringLiteral("(vide)"));
    } else if (pane_->image().isNull()) {
      // A metafile: no pixels to show, only where it would be.
      p.setPen(palette().color(QPalette::Mid));
      p.drawRect(target.adjusted(0, 0, -1, -1));
    } else {
      p.drawImage(target, pane_->image());
    }
  }

 private:
  PicturePreview* pane_;
};
}  // namespace

PicturePreview::PicturePreview(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PicturePreview"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 0, 0, 0);
  auto* top = new QHBoxLayout;
  caption_ = new QLabel(QStringLiteral("Image :"), this);
  caption_->setObjectName(QStringLiteral("PreviewCaption"));
  button_ = new QToolButton(this);
  button_->setObjectName(QStringLiteral("PreviewButton"));
  button_->setToolTip(QStringLiteral("Prévisualiser"));
  button_->setText(QStringLiteral("…"));
  button_->setEnabled(false);
  top->addWidget(caption_, 1);
  top->addWidget(button_);
  layout->addLayout(top);
  area_ = new PreviewArea(this);
  layout->addWidget(area_, 1);
  setFixedWidth(180);
  connect(button_, &QToolButton::clicked, this, &PicturePreview::openPreviewWindow);
}

void PicturePreview::showFile(const QString& fileName) {
  hasPicture_ = false;
  pictureKind_ = PictureKind::None;
  pictureSize_ = QSize();
  image_ = QImage();
  const QFileInfo info(fileName);
  if (!fileName.isEmpty() && info.isFile()) {
    try {
      // Only the pixels that the pane and the preview window can show are decoded.
      const PictureThumbnail picture = loadPictureThumbnail(
          QFile::encodeName(fileName).toStdString(), kPreviewPixels, kPreviewPixels);
      hasPicture_ = true;
      pictureKind_ = picture.kind;
      pictureSize_ = QSize(picture.width, picture.height);
      image_ = previewImage(picture, fileName);
    } catch (const std::exception&) {
      // A file that does not load simply shows no picture.
      hasPicture_ = false;
      pictureKind_ = PictureKind::None;
      pictureSize_ = QSize();
      image_ = QImage();
    }
  }
  caption_->setText(hasPicture_ ? QStringLiteral(" (%1x%2)").arg(pictureSize_.width())
                                      .arg(pictureSize_.height())
                                : QStringLiteral("Image :"));
  button_->setEnabled(hasPicture_);
  area_->update();
}

QString PicturePreview::caption() const { return caption_->text(); }

void PicturePreview::openPreviewWindow() {
  if (!hasPicture_) return;
  PicturePreviewWindow window(image_, pictureSize_, this);
  window.exec();
}

// ---- the dialog ----------------------------------------------------------------------------

TOpenPictureDialog::TOpenPictureDialog(QObject* parent) : QObject(parent) {}

bool TOpenPictureDialog::Execute(QWidget* parent) {
  const std::optional<Choice> choice =
      runner_ ? runner_(*this, parent) : runFileDialog(*this, parent);
  if (!choice) return false;
  FileName = choice->fileName;
  FilterIndex = choice->filterIndex;
  // Relative names written by later commands resolve in the picture's folder. A typed folder
  // that does not exist leaves the current folder as it was.
  QDir::setCurrent(QFileInfo(FileName).absolutePath());
  return true;
}

std::unique_ptr<QFileDialog> TOpenPictureDialog::createFileDialog(QWidget* parent) const {
  auto dialog = std::make_unique<QFileDialog>(parent);
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setOption(QFileDialog::ReadOnly, false);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  const QStringList filters = qtNameFilters(Filter);
  dialog->setNameFilters(filters);
  if (!filters.isEmpty())
    dialog->selectNameFilter(filters.value(qBound(1, FilterIndex, int(filters.size())) - 1));
  if (!FileName.isEmpty()) dialog->selectFile(FileName);
  dialog->setSizeGripEnabled(true);

  auto* preview = new PicturePreview(dialog.get());
  if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
    grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
  QObject::connect(dialog.get(), &QFileDialog::currentChanged, preview,
                   &PicturePreview::showFile);
  return dialog;
}

std::optional<TOpenPictureDialog::Choice> TOpenPictureDialog::runFileDialog(
    TOpenPictureDialog& self, QWidget* parent) {
  const std::unique_ptr<QFileDialog> dialog = self.createFileDialog(parent);
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog->selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  Choice choice;
  choice.fileName = files.first();
  const int index = int(dialog->nameFilters().indexOf(dialog->selectedNameFilter()));
  choice.filterIndex = index >= 0 ? index + 1 : self.FilterIndex;
  return choice;
}

}  // namespace tavrik
