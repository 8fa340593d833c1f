#include "updater/Manifest.h"

#include "updater/Signature.h"
#include "updater/SignedText.h"

namespace updater {

namespace {

const char* const header = "vornask-signed-list 1";
const char* const expiringHeader = "vornask-signed-list 2";

// Room for a few hundred thousand files; a longer text is not a manifest.
const size_t maxManifestSize = 64u << 20;

}  // namespace

std::string manifestBody(const Manifest& manifest) {
  std::string body = std::string(manifest.expires ? expiringHeader : header) + "\nserial " +
                     std::to_string(manifest.serial) + "\n";
  if (manifest.expires) body += "expires " + std::to_string(manifest.expires) + "\n";
  body += "list " + toHex(manifest.listDigest) + "\n";
  if (!manifest.mirrorsDigest.empty()) body += "mirrors " + toHex(manifest.mirrorsDigest) + "\n";
  for (const auto& [name, digest] : manifest.files) body += "file " + toHex(digest) + " " + name + "\n";
  for (const auto& [name, digest] : manifest.indexes) body += "index " + toHex(digest) + " " + name + "\n";
  return body;
}

std::string manifestText(const std::string& body, const std::string& signature) {
  return body + "signature " + base64Encode(signature) + "\n";
}

bool parseManifest(const std::string& text, Manifest& manifest, std::string& body, std::string& signature,
                   std::string& error) {
  const auto bad = [&error](const std::string& why) {
    error = why;
    return false;
  };
  if (text.size() > maxManifestSize) return bad("too large");
  if (!plainLines(text, error)) return false;

  Manifest out;
  size_t begin = 0, lineNumber = 0;
  bool expiring = false;
  std::string rest;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    const std::string line = text.substr(begin, end - begin);
    const std::string where = "line " + std::to_string(++lineNumber) + ": ";
    // Version 2 has the expiry as its third line; the later lines come one further down.
    const size_t listLine = expiring ? 4 : 3;
    if (lineNumber == 1) {
      expiring = line == expiringHeader;
      if (line != header && !expiring)
        return bad(where + "not \"" + header + "\" nor \"" + expiringHeader + "\"");
    } else if (lineNumber == 2) {
      if (!field(line, "serial", rest) || !decimal(rest, out.serial)) return bad(where + "no serial");
    } else if (expiring && lineNumber == 3) {
      if (!field(line, "expires", rest) || !decimal(rest, out.expires) || out.expires == 0)
        return bad(where + "no expiry");
    } else if (lineNumber == listLine) {
      if (!field(line, "list", rest) || !hexDigest(rest, out.listDigest))
        return bad(where + "no list digest");
    } else if (lineNumber == listLine + 1 && field(line, "mirrors", rest)) {
      if (!hexDigest(rest, out.mirrorsDigest)) return bad(where + "malformed mirrors line");
    } else if (field(line, "file", rest) || field(line, "index", rest)) {
      const bool index = line[0] == 'i';
      std::string digest;
      if (rest.size() < 2 * sha256Size + 2 || rest[2 * sha256Size] != ' ' ||
          !hexDigest(rest.substr(0, 2 * sha256Size), digest))
        return bad(where + (index ? "malformed index line" : "malformed file line"));
      auto& digests = index ? out.indexes : out.files;
      if (!digests.emplace(rest.substr(2 * sha256Size + 1), digest).second)
        return bad(where + "name listed twice");
    } else if (field(line, "signature", rest)) {
      if (end + 1 != text.size()) return bad(where + "lines after the signature");
      std::string raw;
      if (!base64Decode(rest, raw) || raw.size() != signatureSize) return bad(where + "malformed signature");
      for (const auto& entry : out.indexes)
        if (!out.files.count(entry.first)) return bad("index of a file not signed: " + entry.first);
      manifest = std::move(out);
      body = text.substr(0, begin);
      signature = std::move(raw);
      return true;
    } else {
      return bad(where + "unknown line");
    }
    begin = end + 1;
  }
  return bad("no signature line");
}

}  // namespace updater
