#pragma once

#include "shell/Client.h"
#include "shell/Startup.h"

namespace shell {

// The services and parts linked into the executable.
Wiring programWiring();
ClientParts programParts();

}  // namespace shell
