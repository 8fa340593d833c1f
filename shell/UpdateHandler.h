#pragma once

#include <memory>

namespace shell {

class Client;

// The update workflow as the Client sees it. All calls come on the UI thread.
// The launcher's controls are reached through Client::launcher().
class UpdateHandler {
 public:
  virtual ~UpdateHandler() = default;

  // The launcher window and its controls were just made (hidden): read
  // settings, start the launcher's progress timer, then launch the game or
  // show the window.
  virtual void onLauncherCreated() = 0;
  // After construction, on ReloadMessage and from the restart path.
  virtual void startFileList() = 0;
  virtual void onActionButton() = 0;
  // The check box has already toggled itself.
  virtual void onCheckBox() = 0;
  // The launcher's progress timer.
  virtual void onProgressTimer() = 0;
  // The launcher's one-shot restart timer fired (it is stopped already).
  virtual void onRestartTimer() = 0;
  // Called first while the Client is destroyed: stop and destroy the current
  // download (the handler itself is destroyed later).
  virtual void stopDownload() {}
};

// Shows the launcher and otherwise does nothing: the Client's workflow when none is given.
std::unique_ptr<UpdateHandler> makeNullUpdateHandler(Client& client);

}  // namespace shell
