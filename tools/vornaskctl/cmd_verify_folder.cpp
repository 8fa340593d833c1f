// vornaskctl verify-folder: reads every listed file of an install folder, whatever the
// start record holds.
#include "tools/vornaskctl/Command.h"

#include "updater/FileList.h"
#include "updater/UpdatePlan.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

int usage() {
  std::cerr << "usage: vornaskctl verify-folder DIR [--list FILE] [--exe NAME]\n";
  return 2;
}

size_t listedFiles(const std::string& body) {
  size_t count = 0;
  for (const std::string& line : updater::splitLines(body)) {
    updater::ListLine parsed;
    if (updater::parseListLine(line, parsed) && parsed.size != 0) ++count;
  }
  return count;
}

int runVerifyFolder(const std::vector<std::string>& args) {
  std::string folder, list, executable = "Vornask";
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--list" && i + 1 < args.size())
      list = args[++i];
    else if (args[i] == "--exe" && i + 1 < args.size())
      executable = args[++i];
    else if (folder.empty())
      folder = args[i];
    else
      return usage();
  }
  if (folder.empty()) return usage();
  namespace fs = std::filesystem;
  const fs::path listPath = list.empty() ? fs::path(folder) / "library/crc.txt" : fs::absolute(list);
  std::ifstream in(listPath, std::ios::binary);
  std::ostringstream body;
  if (!in || !(body << in.rdbuf())) {
    std::cerr << "vornaskctl verify-folder: cannot read " << listPath.string() << "\n";
    return 1;
  }
  // Listed names are relative to the install folder, as for the client.
  fs::current_path(folder);
  updater::PlanOptions options;
  options.executableFolder = fs::current_path().string();
  options.executableName = executable;
  std::vector<UpdateEntry> changed = updater::buildPlan(body.str(), options);
  if (!changed.empty() && changed.front().client) {
    // A changed client ends the plan there; the other files are compared without it.
    options.noClientUpdate = true;
    std::vector<UpdateEntry> rest = updater::buildPlan(body.str(), options);
    rest.insert(rest.begin(), changed.front());
    changed.swap(rest);
  }
  for (const UpdateEntry& entry : changed) std::cout << "changed " << entry.target << "\n";
  std::cout << "files=" << listedFiles(body.str()) << " changed=" << changed.size() << std::endl;
  return changed.empty() ? 0 : 1;
}

}  // namespace

static ::vornaskctl::CommandRegistrar verify_folder_registrar(
    {"verify-folder", "verify-folder DIR [--list FILE] [--exe NAME]",
     "reads and sums every file the list (default DIR/library/crc.txt) names; one line per changed file",
     runVerifyFolder});
