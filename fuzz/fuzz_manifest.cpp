// The signed list's manifest from arbitrary bytes: what parses is its own canonical text, and
// its fields written again parse to the same fields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "updater/Manifest.h"
#include "updater/SignedList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  updater::Manifest manifest;
  std::string body, signature, error;
  if (!updater::parseManifest(text, manifest, body, signature, error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  if (signature.size() != 64 || manifest.listDigest.size() != 32) __builtin_trap();
  if (updater::manifestText(body, signature) != text) __builtin_trap();

  updater::Manifest again;
  std::string body2, signature2;
  if (!updater::parseManifest(updater::manifestText(updater::manifestBody(manifest), signature), again, body2,
                              signature2, error))
    __builtin_trap();
  if (again.serial != manifest.serial || again.listDigest != manifest.listDigest ||
      again.files != manifest.files)
    __builtin_trap();

  // Checked against a list and a key it was not made for: refused, never accepted.
  updater::Manifest checked;
  if (updater::checkSignedList("a:0:1:0\n", text, std::string(32, '\x01'), 0, checked).empty())
    __builtin_trap();
  return 0;
}
