#include "updater/SignedList.h"

#include "updater/FileCheck.h"
#include "updater/FileList.h"
#include "updater/Signature.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace updater {

const char* const signatureListName = "library/crc.txt.sig";

std::string checkSignedList(const std::string& list, const std::string& text, const std::string& publicKey,
                            uint64_t lowestSerial, Manifest& manifest) {
  Manifest parsed;
  std::string body, signature, error;
  if (!parseManifest(text, parsed, body, signature, error)) return "malformed signature file (" + error + ")";
  if (!verifySignature(publicKey, body, signature)) return "not signed by this key";
  if (parsed.listDigest != sha256(list)) return "crc.txt does not match its signed SHA-256";
  if (parsed.serial < lowestSerial)
    return "serial " + std::to_string(parsed.serial) + " is older than the accepted " +
           std::to_string(lowestSerial);
  manifest = std::move(parsed);
  return std::string();
}

bool matchesManifest(const Manifest& manifest, const std::string& name, const std::string& path) {
  const auto it = manifest.files.find(name);
  std::string digest;
  return it != manifest.files.end() && fileSha256(path, digest) && digest == it->second;
}

bool decodePublicKey(const std::string& base64, std::string& raw) {
  std::string bytes;
  if (!base64Decode(base64, bytes) || bytes.size() != publicKeySize) return false;
  raw = std::move(bytes);
  return true;
}

namespace {

bool readAll(const std::filesystem::path& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  content = out.str();
  return !in.bad();
}

}  // namespace

std::vector<std::string> verifyFolder(const std::string& folder, const std::string& publicKey,
                                      uint64_t& serial) {
  namespace fs = std::filesystem;
  std::vector<std::string> failures;
  std::string list, text;
  if (!readAll(fs::path(folder) / "library/crc.txt", list)) return {"library/crc.txt: cannot be read"};
  if (!readAll(fs::path(folder) / signatureListName, text))
    return {std::string(signatureListName) + ": cannot be read"};
  Manifest manifest;
  const std::string error = checkSignedList(list, text, publicKey, 0, manifest);
  if (!error.empty()) return {std::string(signatureListName) + ": " + error};
  serial = manifest.serial;

  std::set<std::string> listed;
  for (const std::string& line : splitLines(list)) {
    ListLine parsed;
    if (!parseListLine(line, parsed)) continue;
    listed.insert(parsed.name);
    const std::string path = (fs::path(folder) / parsed.name).string();
    if (!manifest.files.count(parsed.name))
      failures.push_back(parsed.name + ": listed but not signed");
    else if (!checkFile(path, parsed.size, parsed.crc))
      failures.push_back(parsed.name + ": missing, or size or CRC-32 differs from crc.txt");
    else if (!matchesManifest(manifest, parsed.name, path))
      failures.push_back(parsed.name + ": SHA-256 differs from the signed one");
  }
  for (const auto& entry : manifest.files)
    if (!listed.count(entry.first)) failures.push_back(entry.first + ": signed but not in crc.txt");
  return failures;
}

}  // namespace updater
