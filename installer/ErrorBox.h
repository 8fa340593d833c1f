#pragma once

#include <string>

namespace installer {

// The text of the error box: the message alone for code 0, else the message,
// a line feed and the system's text for the code ("Ошибка: " and the code in
// decimal when the system has none).
std::string errorBoxText(const std::string& message, int code);

// A message box without owner, caption "Ошибка", error icon.
void showErrorBox(const std::string& message, int code);

}  // namespace installer
