#include "updater/Publish.h"

#include "updater/BlockIndex.h"
#include "updater/FileCheck.h"
#include "updater/FileList.h"
#include "updater/Manifest.h"
#include "updater/Mirrors.h"
#include "updater/Signature.h"
#include "updater/SignedList.h"
#include "updater/Statements.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace updater {

namespace fs = std::filesystem;

namespace {

const char* const listName = "library/crc.txt";

bool isPublishedFile(const std::string& name) {
  for (const std::string& own :
       {std::string(listName), std::string(signatureListName), std::string(endorsementName),
        std::string(rootStatementsName), std::string(mirrorListName)})
    if (name == own || name == own + ".new") return true;
  return false;
}

void writeReplacing(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  const fs::path temporary = path.string() + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush()) throw std::runtime_error("cannot write " + temporary.string());
  }
  fs::rename(temporary, path);
}

// The mirror list, or none when no mirror is given (a stale one would still be used).
void writeMirrors(const std::string& folder, const std::vector<std::string>& mirrors) {
  const fs::path path = fs::path(folder) / mirrorListName;
  if (mirrors.empty()) {
    fs::remove(path);
    return;
  }
  writeReplacing(path, mirrorListText(mirrors));
}

}  // namespace

std::string fileListOf(const std::string& folder, PublishResult& result) {
  std::vector<std::pair<std::string, fs::path>> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    const std::string name = item.path().lexically_relative(folder).generic_string();
    if (isPublishedFile(name)) continue;
    if (name.rfind("library/blocks/", 0) == 0) continue;  // the block indexes describe listed files
    if (item.file_size() == 0) continue;
    // The name ends at the first ':' and a line at LF: such a name would list another file.
    if (name.find_first_of(":\n") != std::string::npos)
      throw std::runtime_error("a listed name cannot hold ':' or a line end: " + name);
    files.emplace_back(name, item.path());
  }
  std::sort(files.begin(), files.end());

  result = PublishResult();
  std::string text;
  for (const auto& [name, file] : files) {
    uint64_t size = 0;
    uint32_t crc = 0;
    if (!fileCrc(file.string(), size, crc)) throw std::runtime_error("cannot read " + file.string());
    if (size > 0xFFFFFFFFu) throw std::runtime_error("4 GiB or larger: " + file.string());
    char fields[64];
    std::snprintf(fields, sizeof fields, ":0:%llu:%x\n", static_cast<unsigned long long>(size), crc);
    text += name + fields;
    ++result.files;
    result.bytes += size;
  }
  return text;
}

PublishResult publishFolder(const std::string& folder, const std::vector<std::string>& mirrors) {
  PublishResult result;
  const std::string text = fileListOf(folder, result);
  writeMirrors(folder, mirrors);
  writeReplacing(fs::path(folder) / listName, text);
  result.indexes = publishBlockIndexes(folder, text);
  return result;
}

std::string signedManifestOf(const std::string& folder, const std::string& list, uint64_t serial,
                             const SigningKey& key, uint64_t expires) {
  Manifest manifest;
  manifest.serial = serial;
  manifest.expires = expires;
  manifest.listDigest = sha256(list);
  const fs::path mirrorList = fs::path(folder) / mirrorListName;
  std::error_code missing;
  if (fs::is_regular_file(mirrorList, missing) && !fileSha256(mirrorList.string(), manifest.mirrorsDigest))
    throw std::runtime_error("cannot read " + mirrorList.string());
  for (const std::string& line : splitLines(list)) {
    ListLine parsed;
    if (!parseListLine(line, parsed)) continue;
    // The manifest's lines end at LF and hold no CR.
    if (parsed.name.find('\r') != std::string::npos)
      throw std::runtime_error("a signed name cannot hold a carriage return: " + parsed.name);
    std::string digest;
    if (!fileSha256((fs::path(folder) / parsed.name).string(), digest))
      throw std::runtime_error("cannot read " + parsed.name);
    manifest.files[parsed.name] = digest;
    if (parsed.size < blockIndexMinimum) continue;
    const fs::path index = fs::path(folder) / blockIndexName(parsed.name);
    std::error_code ec;
    if (!fs::is_regular_file(index, ec)) continue;
    if (!fileSha256(index.string(), digest)) throw std::runtime_error("cannot read " + index.string());
    manifest.indexes[parsed.name] = digest;
  }
  const std::string body = manifestBody(manifest);
  return manifestText(body, key.sign(body));
}

PublishResult publishSignedFolder(const std::string& folder, const SigningKey& key, uint64_t serial,
                                  uint64_t expires, const std::vector<std::string>& mirrors) {
  PublishResult result;
  const std::string text = fileListOf(folder, result);
  writeMirrors(folder, mirrors);
  // The indexes are signed with the files. A failure before the list is replaced leaves new
  // indexes beside the old list; clients refuse them by their size, CRC-32 or signed digest.
  result.indexes = publishBlockIndexes(folder, text);
  const std::string manifest = signedManifestOf(folder, text, serial, key, expires);
  writeReplacing(fs::path(folder) / listName, text);
  writeReplacing(fs::path(folder) / signatureListName, manifest);
  return result;
}

uint64_t resignFolder(const std::string& folder, const SigningKey& key, uint64_t serial, uint64_t expires) {
  std::string list, text;
  if (!readWhole((fs::path(folder) / listName).string(), list) ||
      !readWhole((fs::path(folder) / signatureListName).string(), text))
    throw std::runtime_error("cannot read the published list and its signature file");
  Manifest manifest;
  std::string body, signature, error;
  if (!parseManifest(text, manifest, body, signature, error))
    throw std::runtime_error(std::string(signatureListName) + ": " + error);
  if (manifest.listDigest != sha256(list))
    throw std::runtime_error(std::string(signatureListName) + " does not sign the published crc.txt");
  manifest.serial = serial > manifest.serial ? serial : manifest.serial + 1;
  manifest.expires = expires;
  const std::string newBody = manifestBody(manifest);
  writeReplacing(fs::path(folder) / signatureListName, manifestText(newBody, key.sign(newBody)));
  return manifest.serial;
}

}  // namespace updater
