// vornaskctl: the operators' and support engineers' command-line tool.
#include <algorithm>
#include <cstring>
#include <iostream>

#include "tools/vornaskctl/Command.h"

namespace vornaskctl {

std::vector<Command>& commands() {
  static std::vector<Command> all;
  return all;
}

namespace {

void printHelp(std::ostream& out) {
  auto all = commands();
  std::sort(all.begin(), all.end(),
            [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
  out << "usage: vornaskctl COMMAND [ARGS...]\n"
         "       vornaskctl --help | --version\n\n"
         "Commands:\n";
  for (const auto& c : all) {
    out << "  " << c.usage << "\n      " << c.summary << "\n";
  }
  out << "\nEnvironment: VORNASK_LOG (log levels, e.g. http=7,download=6 or 7),\n"
         "             VORNASK_WEB_HOST, VORNASK_GAME_SERVER (HOST:PORT overrides).\n";
}

}  // namespace
}  // namespace vornaskctl

int main(int argc, char** argv) {
  using namespace vornaskctl;
  if (argc < 2) {
    printHelp(std::cerr);
    return 2;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    printHelp(std::cout);
    return 0;
  }
  if (first == "--version") {
    std::cout << VORNASK_VERSION << "\n";
    return 0;
  }
  for (const auto& c : commands()) {
    if (first == c.name) {
      std::vector<std::string> args(argv + 2, argv + argc);
      if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << "usage: vornaskctl " << c.usage << "\n" << c.summary << "\n";
        return 0;
      }
      try {
        return c.run(args);
      } catch (const std::exception& e) {
        std::cerr << "vornaskctl " << c.name << ": " << e.what() << "\n";
        return 1;
      }
    }
  }
  std::cerr << "vornaskctl: unknown command '" << first << "'\n";
  printHelp(std::cerr);
  return 2;
}
