#pragma once

#include <string>

namespace updater {

// Moves a finished temporary file to its target: deletes the target, creates
// its parent folders and renames. Returns "" or the system's error text.
std::string moveIntoPlace(const std::string& temporary, const std::string& target);

// Renames the temporary file over `target` in one step (a running old copy
// keeps its own file). Returns "" or the system's error text.
std::string renameOver(const std::string& temporary, const std::string& target);

// Lets everyone who may read `path` run it (a downloaded client executable).
void makeExecutable(const std::string& path);

// Deletes every file (not subfolders) directly inside `folder`; failures ignored.
void deleteFilesIn(const std::string& folder);

}  // namespace updater
