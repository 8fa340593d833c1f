#pragma once

#include "net/AsyncTask.h"
#include "net/Request.h"

namespace mnet {

// Gathers the body (and optionally the response headers) of one transfer in memory.
class GetDataAsync : public DownloadTask {
 public:
  GetDataAsync(HTTPContext& context, const Request& request);

  void finish(int code) override;

 protected:
  void doStart() override;

 private:
  static size_t write(char* data, size_t size, size_t count, void* self);
  static size_t writeHeader(char* data, size_t size, size_t count, void* self);

  DataCallback onData_;
  DataWithHeadersCallback onDataWithHeaders_;
  const size_t maxBodySize_;
  std::string body_;
  std::string headerText_;
  PostDataPtr postData_;
  HeaderList headerList_;
};

}  // namespace mnet
