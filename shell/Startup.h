#pragma once

#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "shell/CommandLine.h"

namespace shell {

struct ClientParts;

// The key holding "place" and "path".
extern const char* const registryKeyName;

// The current user's store; opened by the start-up (or on first use).
void openRegistryRoot();
const platform::RegistryRoot& registryRoot();

// Normal mode: prepares the process, runs the Client until quit; the exit code.
int runClient(const StartOptions& options, ClientParts parts);

// The whole program: module path and arguments (without the program name).
int runProgram(const std::string& modulePath, const std::vector<std::string>& arguments, ClientParts parts);

}  // namespace shell
