// Message boxes and the application's error box.
#pragma once

#include "engine/operations.h"

#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace brennix {

inline const QString AppTitle = QStringLiteral("Brennix 3.2");

// Text of the program's own state (names, checkout texts, paths typed by the operator) is kept
// one byte per character, exactly as typed; these convert it to and from the screen.
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

// Paths are the file system's own bytes (UTF-8 here), not game text.
QString PathToQt(const std::string& path);
std::string PathFromQt(const QString& path);

// A message for the screen that may hold game text and paths alike: read as UTF-8 when it is
// valid UTF-8, else one byte per character.
QString MessageToQt(const std::string& text);

// A modal box with one "OK" button, titled "Information" or "Warning" with the matching icon.
void ShowMessageBox(QWidget* parent, TMessageKind kind, const std::string& text);

// The application's error box: title "Brennix 3.2", error icon, one "OK" button, and the
// message with a full stop added when its last character sorts after ".".
void ShowErrorBox(QWidget* parent, const std::string& message);

// Runs an event handler; an error that ends it is shown in the error box and the program goes on.
void RunHandler(QWidget* parent, const std::function<void()>& handler);

} // namespace brennix
