#include "installer/DesktopEntry.h"

namespace installer {

std::string escapeEntryValue(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c == ' ' && i == 0)
      out += "\\s";
    else
      out += c;
  }
  return out;
}

std::string quoteExecArgument(const std::string& argument) {
  std::string quoted = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return escapeEntryValue(quoted);
}

std::string desktopEntryText(const std::string& executable, const std::string& icon) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Vornask\n"
         "Exec=" +
         quoteExecArgument(executable) +
         "\n"
         "Icon=" +
         escapeEntryValue(icon) +
         "\n"
         // The class of the client's windows: a dock shows them under this entry's icon.
         "StartupWMClass=Vornask\n";
}

}  // namespace installer
