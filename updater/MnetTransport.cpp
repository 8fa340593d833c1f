#include "updater/MnetTransport.h"

#include "net/Download.h"
#include "net/HTTPContext.h"
#include "net/Request.h"

namespace updater {

namespace {

class MnetDownload : public WorkflowDownload {
 public:
  MnetDownload(const std::vector<std::string>& urls, const std::string& path, uint64_t size,
               WorkflowNet::DownloadEnd onEnd)
      : download_(urls, path, static_cast<std::int64_t>(size),
                  [onEnd](mnet::Download&, mnet::DownloadAction action, int code) { onEnd(action, code); }) {}
  void oneSourceAtATime() { download_.oneSourceAtATime(); }
  void start() override { download_.start(); }
  uint64_t downloaded() const override { return static_cast<uint64_t>(download_.progress().downloaded); }
  std::vector<std::string> sourcesUsed() const override { return download_.sourcesUsed(); }

 private:
  mnet::Download download_;
};

}  // namespace

void MnetTransport::getData(const std::string& url, size_t limit, std::function<void(int)> onProgress,
                            std::function<void(int, const std::string&)> onData) {
  mnet::getData(url, limit, onProgress, onData);
}

void MnetTransport::cancelAll() {
  mnet::HTTPContext::instance().cancelAll();
}

std::unique_ptr<WorkflowDownload> MnetTransport::makeDownload(const std::vector<std::string>& urls,
                                                              const std::string& path, uint64_t size,
                                                              bool oneSourceAtATime, DownloadEnd onEnd) {
  auto download = std::make_unique<MnetDownload>(urls, path, size, onEnd);
  if (oneSourceAtATime) download->oneSourceAtATime();
  return download;
}

}  // namespace updater
