#pragma once

#include "base/ReferenceCounter.h"

#include <boost/intrusive_ptr.hpp>

#include <cstddef>
#include <string>

namespace mnet {

// Reference-counted POST body; curl reads the bytes in place while the transfer runs.
class PostData : public mstd::reference_counter<PostData> {
 public:
  explicit PostData(std::string bytes) : bytes_(std::move(bytes)) {}

  const char* data() const noexcept { return bytes_.data(); }
  std::size_t length() const noexcept { return bytes_.size(); }

 private:
  std::string bytes_;
};

typedef boost::intrusive_ptr<PostData> PostDataPtr;

}  // namespace mnet
