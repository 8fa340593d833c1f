#pragma once

#include <string>

#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "updater/Publish.h"
#include "updater/Signature.h"

namespace vtest {

// One signing key for a test, with what the client is given for it.
struct TestKey {
  updater::SigningKey key = updater::SigningKey::generate();
  std::string publicBase64() const { return updater::base64Encode(key.publicKey()); }
  void publish(const std::string& folder, uint64_t serial) const {
    updater::publishSignedFolder(folder, key, serial);
  }
};

}  // namespace vtest
