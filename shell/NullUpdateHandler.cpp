#include "shell/Client.h"
#include "shell/UpdateHandler.h"

namespace shell {
namespace {

class NullUpdateHandler : public UpdateHandler {
 public:
  explicit NullUpdateHandler(Client& client) : client_(client) {}
  void onLauncherCreated() override { client_.launcher().show(); }
  void startFileList() override {}
  void onActionButton() override {}
  void onCheckBox() override {}
  void onProgressTimer() override {}
  void onRestartTimer() override {}

 private:
  Client& client_;
};

}  // namespace

std::unique_ptr<UpdateHandler> makeNullUpdateHandler(Client& client) {
  return std::make_unique<NullUpdateHandler>(client);
}

}  // namespace shell
