#pragma once

#include <string>
#include <vector>

namespace shell {

// What the command line and the module path give the start-up.
struct StartOptions {
  std::string modulePath;
  std::string executableFolder;      // module path up to the last "/", without it
  std::string executableFileName;    // module path after the last "/"
  std::vector<std::string> items;    // the arguments, the first one included
  std::string argumentText;          // items joined by single spaces, no quotes
  std::string user, password;        // "u=" / "p=", the last one wins
  bool debug = false;                // "debug"
  bool noDownload = false;           // "nodl"
  bool noClientUpdate = false;       // "nocu"
  bool skipInstallCheck = false;     // "noStupidPath"
  bool replacement = false;          // first item "@" + path
  std::string replacementTarget;     // that path
  std::string replacementArguments;  // items 2..n joined like argumentText
};

// Items joined by single spaces, without quotes.
std::string argumentText(const std::vector<std::string>& items, std::size_t from = 0);

// Reads the options from the items of the argument list, the first one included.
StartOptions readArguments(std::vector<std::string> items, const std::string& modulePath);

// Skips `"modulePath"` and the blanks after it at the start of `rawLine`
// (path compared case-insensitively), splits the rest and reads the options.
StartOptions prepareCommandLine(const std::string& rawLine, const std::string& modulePath);

}  // namespace shell
