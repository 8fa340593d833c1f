#pragma once

#include "updater/UpdateEntry.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace updater {

class StartRecord;

// The list's name of the client executable, whatever its local name.
extern const char* const clientListName;

struct PlanOptions {
  bool noDownload = false;      // "nodl": plan nothing
  bool noClientUpdate = false;  // "nocu": never plan the client executable
  std::string executableFolder;
  std::string executableName;
  // File check; defaults to checkFile.
  std::function<bool(const std::string& path, uint32_t size, uint32_t crc)> check;
  // Called with the working directory's "new." + executable name when the
  // client entry is planned (ends a leftover process started from it).
  std::function<void(const std::string& path)> terminateLeftover;
  // Files found correct at an earlier start: a listed one whose stamp is unchanged is not
  // read (the client executable and flash.cab always are). Once every listed file was
  // compared, it holds the files this check found correct.
  StartRecord* record = nullptr;
};

// Builds the plan from the file list's body; lines that do not parse, that
// name reserved or unsafe paths, or whose local file is current are skipped.
std::vector<UpdateEntry> buildPlan(const std::string& body, const PlanOptions& options);

// Sum of the entries' sizes; sound entries only with `withSounds`. 64-bit:
// a few large files must not wrap to a small (or zero) update.
uint64_t updateSize(const std::vector<UpdateEntry>& plan, bool withSounds);

// "2048б.", "2.0Кб.", "1.0Мб."; the point is "." whatever the locale.
std::string sizeText(uint64_t bytes);

// "download/" + SHA-1 of the name (hex) + "." + crc (hex) + ".tmp"
std::string temporaryPath(const UpdateEntry& entry);

// Base URL of the game's web host, plain or the "debug" form with credentials.
std::string baseUrl(bool debug, const std::string& user, const std::string& password);
// The web host: VORNASK_WEB_HOST or the compiled-in default; "HOST[:PORT]" (plain HTTP) or
// "https://HOST[:PORT]" (certificates verified).
std::string webHost();
// base + the listed name, with the bytes a URL cannot carry as they are
// (controls, space, " # % < > ? \\ ^ ` { | }) written as %XX.
std::string fileUrl(const std::string& base, const std::string& name);
// base + "library/crc.txt?" + tick
std::string fileListUrl(const std::string& base, uint32_t tick);
// Milliseconds since boot, 32-bit.
uint32_t tickCount();

}  // namespace updater
