#pragma once

#include "updater/WorkflowHost.h"

namespace updater {

// The workflow's network side over the mnet library.
class MnetTransport : public WorkflowNet {
 public:
  void getData(const std::string& url, size_t limit, std::function<void(int)> onProgress,
               std::function<void(int, const std::string&)> onData) override;
  void cancelAll() override;
  std::unique_ptr<WorkflowDownload> makeDownload(const std::vector<std::string>& urls,
                                                 const std::string& path, uint64_t size,
                                                 bool oneSourceAtATime, DownloadEnd onEnd) override;
};

}  // namespace updater
