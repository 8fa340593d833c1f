#pragma once

#include "shell/Client.h"

namespace app {

// The program's parts: install check, HTTP engine, update workflow, game host and relay.
shell::ClientParts programParts();

}  // namespace app
