#include "app/error_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QStringList>

#include "base/error.h"

namespace tavrik {

namespace {
BoxHook& boxHook() {
  static BoxHook hook;
  return hook;
}

void showBox(QWidget* parent, BoxKind kind, const QString& text) {
  const BoxRecord record{kind, applicationCaption(), text};
  if (boxHook()) {
    boxHook()(record);
    return;
  }
  QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  record.caption, record.text, QMessageBox::Ok, parent);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}
}  // namespace

void setBoxHook(BoxHook hook) { boxHook() = std::move(hook); }

QString applicationCaption() {
  const QStringList args = QCoreApplication::arguments();
  const std::string program = args.isEmpty() ? std::string() : args.first().toStdString();
  return QString::fromStdString(applicationTitle(program));
}

void showErrorBox(QWidget* parent, const std::string& message) {
  showBox(parent, BoxKind::Error, QString::fromStdString(errorBoxText(message)));
}

void showMessageBox(QWidget* parent, const std::string& text) {
  showBox(parent, BoxKind::Message, QString::fromStdString(text));
}

}  // namespace tavrik
