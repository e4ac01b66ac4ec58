// The error box and the plain message box of the window, with a hook that lets tests record
// the boxes instead of showing them.
#pragma once
#include <functional>
#include <string>

#include <QString>

class QWidget;

namespace tavrik {

enum class BoxKind { Error, Message };

struct BoxRecord {
  BoxKind kind;
  QString caption;
  QString text;
};

// Replaces the real boxes: every box is handed to `hook` instead of being shown. An empty hook
// restores the real boxes.
using BoxHook = std::function<void(const BoxRecord&)>;
void setBoxHook(BoxHook hook);

// The application's title, derived from the program's name as it was started (argv[0]).
QString applicationCaption();

// Modal stop box with one OK button: caption the application's title, text the message with
// the error box's full-stop rule.
void showErrorBox(QWidget* parent, const std::string& message);

// Modal box without icon and with one OK button, for the closing message of a command.
void showMessageBox(QWidget* parent, const std::string& text);

}  // namespace tavrik
