#include "updater/SignedList.h"

#include "updater/BlockIndex.h"
#include "updater/FileCheck.h"
#include "updater/FileList.h"
#include "updater/Signature.h"
#include "updater/Statements.h"
#include "updater/Trust.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace updater {

const char* const signatureListName = "library/crc.txt.sig";

std::string checkSignedList(const std::string& list, const std::string& text, const std::string& publicKey,
                            uint64_t lowestSerial, Manifest& manifest) {
  TrustInput input;
  input.list = list;
  input.manifest = text;
  input.endorsementFetched = true;
  TrustState state;
  state.root = publicKey;
  state.serial = lowestSerial;
  Judgement judgement = judgeList(input, state, utcNow());
  if (judgement.verdict != Verdict::Accepted) return judgement.reason;
  manifest = std::move(judgement.manifest);
  return std::string();
}

bool matchesManifest(const Manifest& manifest, const std::string& name, const std::string& path) {
  const auto it = manifest.files.find(name);
  std::string digest;
  return it != manifest.files.end() && fileSha256(path, digest) && digest == it->second;
}

bool indexMatchesManifest(const Manifest& manifest, const std::string& name, const std::string& bytes) {
  const auto it = manifest.indexes.find(name);
  return it != manifest.indexes.end() && sha256(bytes) == it->second;
}

bool decodePublicKey(const std::string& base64, std::string& raw) {
  std::string bytes;
  if (!base64Decode(base64, bytes) || bytes.size() != publicKeySize) return false;
  raw = std::move(bytes);
  return true;
}

bool readWhole(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  content = out.str();
  return !in.bad();
}

std::vector<std::string> verifyFolder(const std::string& folder, const std::string& publicKey,
                                      uint64_t& serial) {
  namespace fs = std::filesystem;
  std::vector<std::string> failures;
  std::string list, text;
  if (!readWhole((fs::path(folder) / "library/crc.txt").string(), list))
    return {"library/crc.txt: cannot be read"};
  if (!readWhole((fs::path(folder) / signatureListName).string(), text))
    return {std::string(signatureListName) + ": cannot be read"};
  TrustInput input;
  input.list = list;
  input.manifest = text;
  input.endorsementFetched = true;
  // Absent ones stay empty.
  readWhole((fs::path(folder) / endorsementName).string(), input.endorsement);
  readWhole((fs::path(folder) / rootStatementsName).string(), input.roots);
  TrustState state;
  state.root = publicKey;
  Judgement judgement = judgeList(input, state, utcNow());
  if (judgement.verdict != Verdict::Accepted)
    return {std::string(signatureListName) + ": " + judgement.reason};
  const Manifest manifest = std::move(judgement.manifest);
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
  for (const auto& [name, digest] : manifest.indexes) {
    std::string actual;
    const std::string index = blockIndexName(name);
    if (!fileSha256((fs::path(folder) / index).string(), actual))
      failures.push_back(index + ": signed but cannot be read");
    else if (actual != digest)
      failures.push_back(index + ": SHA-256 differs from the signed one");
  }
  return failures;
}

}  // namespace updater
