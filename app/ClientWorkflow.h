#pragma once

#include <memory>

#include "shell/Client.h"
#include "shell/UpdateHandler.h"

namespace app {

// The update workflow behind the Client's launcher window.
std::unique_ptr<shell::UpdateHandler> makeClientWorkflow(shell::Client& client);

}  // namespace app
