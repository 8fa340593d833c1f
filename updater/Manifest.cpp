#include "updater/Manifest.h"

#include "updater/Signature.h"

namespace updater {

namespace {

const char* const header = "vornask-signed-list 1";

// Room for a few hundred thousand files; a longer text is not a manifest.
const size_t maxManifestSize = 64u << 20;

bool hexDigest(const std::string& text, std::string& digest) {
  if (text.size() != 2 * sha256Size) return false;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    int byte = 0;
    for (size_t k = i; k < i + 2; ++k) {
      const char c = text[k];
      if (c >= '0' && c <= '9')
        byte = byte * 16 + (c - '0');
      else if (c >= 'a' && c <= 'f')
        byte = byte * 16 + (c - 'a' + 10);
      else
        return false;
    }
    out += static_cast<char>(byte);
  }
  digest = std::move(out);
  return true;
}

bool decimal(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
  uint64_t out = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (out > (UINT64_MAX - digit) / 10) return false;
    out = out * 10 + digit;
  }
  value = out;
  return true;
}

// Splits "key rest" at the first space; false when `line` does not start with `key` + " ".
bool field(const std::string& line, const std::string& key, std::string& rest) {
  if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 || line[key.size()] != ' ')
    return false;
  rest = line.substr(key.size() + 1);
  return true;
}

}  // namespace

std::string manifestBody(const Manifest& manifest) {
  std::string body = std::string(header) + "\nserial " + std::to_string(manifest.serial) + "\nlist " +
                     toHex(manifest.listDigest) + "\n";
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
  if (text.empty() || text.back() != '\n') return bad("does not end with a line end");
  if (text.find_first_of(std::string("\r\0", 2)) != std::string::npos) return bad("holds CR or NUL");

  Manifest out;
  size_t begin = 0, lineNumber = 0;
  std::string rest;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    const std::string line = text.substr(begin, end - begin);
    const std::string where = "line " + std::to_string(++lineNumber) + ": ";
    if (lineNumber == 1) {
      if (line != header) return bad(where + "not \"" + header + "\"");
    } else if (lineNumber == 2) {
      if (!field(line, "serial", rest) || !decimal(rest, out.serial)) return bad(where + "no serial");
    } else if (lineNumber == 3) {
      if (!field(line, "list", rest) || !hexDigest(rest, out.listDigest))
        return bad(where + "no list digest");
    } else if (lineNumber == 4 && field(line, "mirrors", rest)) {
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
