#pragma once

#include "updater/WorkflowHost.h"

namespace updater {

// The workflow's network side over the mnet library.
class MnetTransport : public WorkflowNet {
 public:
  void getData(const std::string& url, boost::function<void(int)> onProgress,
               boost::function<void(int, const std::string&)> onData) override;
  void cancelAll() override;
  std::unique_ptr<WorkflowDownload> makeDownload(const std::string& url, const std::string& path,
                                                 uint64_t size,
                                                 boost::function<void(int, int)> onEnd) override;
};

}  // namespace updater
