#include "installer/ErrorBox.h"

#include "platform/files/SystemError.h"
#include "platform/ui/Window.h"

namespace installer {

std::string errorBoxText(const std::string& message, int code) {
  if (code == 0) return message;
  const auto system = platform::systemErrorText(code);
  return message + "\n" + (system ? *system : "Ошибка: " + std::to_string(code));
}

void showErrorBox(const std::string& message, int code) {
  namespace ui = platform::ui;
  ui::messageBox(nullptr, errorBoxText(message, code), "Ошибка", ui::MessageIcon::Error);
}

}  // namespace installer
