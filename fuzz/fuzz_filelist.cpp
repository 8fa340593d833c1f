// The file list from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "updater/FileList.h"
#include "updater/UpdatePlan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  updater::PlanOptions options;
  options.executableFolder = "/nonexistent";
  options.executableName = "Vornask";
  options.check = [](const std::string&, uint32_t, uint32_t) { return false; };
  for (const UpdateEntry& entry : updater::buildPlan(body, options)) {
    // Every planned name stays inside the game folder.
    if (!updater::isSafeListName(entry.name) || entry.size == 0) __builtin_trap();
    updater::temporaryPath(entry);
    // The URL path is the name's own: nothing in it starts a query or a fragment.
    const std::string url = updater::fileUrl("http://h/", entry.name);
    if (url.find_first_of(" #?", 9) != std::string::npos) __builtin_trap();
  }
  updater::sizeText(updater::updateSize(updater::buildPlan(body, options), true));
  return 0;
}
