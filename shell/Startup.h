#pragma once

#include <string>

#include "platform/registry/Registry.h"
#include "shell/CommandLine.h"

namespace shell {

// The key holding "place" and "path".
extern const char* const registryKeyName;

// The current user's store; opened by the start-up (or on first use).
void openRegistryRoot();
const platform::RegistryRoot& registryRoot();

// Initialises OLE once; later calls only answer.
bool initialiseOle();
bool oleInitialised();

// What the executable plugs in (defined next to main).
struct Wiring {
  // True: the program may run from `executableFolder`.
  bool (*installCheck)(const std::string& executableFolder) = nullptr;
  // Sets the HTTP context's user agent and dispatcher.
  void (*prepareHttp)(const std::string& userAgent, unsigned uiThread) = nullptr;
};

// Normal mode: prepares the process, runs the Client until quit; the exit code.
int runClient(const StartOptions& options, const Wiring& wiring, struct ClientParts parts);

// The whole program: module path and arguments (without the program name).
int runProgram(const std::string& modulePath, const std::vector<std::string>& arguments, const Wiring& wiring,
               struct ClientParts parts);

}  // namespace shell
