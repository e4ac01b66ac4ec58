// Start-up: the application object, the main window centred on the screen, the event loop.
#include <exception>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/main_form.h"
#include "base/error.h"
#include "app/error_box.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The file dialogs speak French like the rest of the window, when Qt's translations exist.
  QTranslator qtTranslator;
  if (qtTranslator.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&qtTranslator);
  try {
    TForm1 form;
    form.centreOnScreen();
    form.show();
    return app.exec();
  } catch (const std::exception& e) {
    tavrik::showErrorBox(nullptr, tavrik::userMessage(e));
  } catch (...) {
    tavrik::showErrorBox(nullptr, std::string());
  }
  return 1;
}
