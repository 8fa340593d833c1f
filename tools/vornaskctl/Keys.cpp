#include "tools/vornaskctl/Keys.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "updater/SignedList.h"
#include "updater/SignedText.h"
#include "updater/Statements.h"

namespace vornaskctl {

bool parseDuration(const std::string& text, uint64_t& seconds) {
  if (text.size() < 2) return false;
  uint64_t unit = 0;
  switch (text.back()) {
    case 's':
      unit = 1;
      break;
    case 'm':
      unit = 60;
      break;
    case 'h':
      unit = 3600;
      break;
    case 'd':
      unit = 86400;
      break;
    default:
      return false;
  }
  uint64_t count = 0;
  // Up to about 30,000 years: far past any publication, and no overflow when added to now.
  if (!updater::decimal(text.substr(0, text.size() - 1), count) || count == 0 || count > (1ull << 40) / unit)
    return false;
  seconds = count * unit;
  return true;
}

bool parseSerial(const std::string& text, uint64_t& serial) {
  return updater::decimal(text, serial);
}

uint64_t secondsNow() {
  return static_cast<uint64_t>(std::time(nullptr));
}

updater::SigningKey readSigningKey(const std::string& file) {
  std::string pem;
  if (!updater::readWhole(file, pem)) throw std::runtime_error("cannot read " + file);
  return updater::SigningKey::fromPem(pem);
}

bool readPublicKey(const std::string& source, std::string& raw) {
  if (updater::decodePublicKey(source, raw)) return true;
  std::string text;
  if (!updater::readWhole(source, text)) return false;
  if (text.find("-----BEGIN") != std::string::npos) {
    try {
      raw = updater::SigningKey::fromPem(text).publicKey();
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }
  return updater::decodePublicKey(text.substr(0, text.find('\n')), raw);
}

void writeFileReplacing(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::error_code ignored;  // a folder that cannot be made fails the write below
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush()) throw std::runtime_error("cannot write " + temporary);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot replace " + path);
}

bool parseSignOptions(const std::vector<std::string>& args, SignOptions& options, std::string& error) {
  // A list that outlives a week of missed publications is refused: players see the freeze.
  const uint64_t defaultLifetime = 7 * 86400;
  uint64_t lifetime = defaultLifetime;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool valued = i + 1 < args.size();
    if (args[i] == "--mirror" && valued) {
      options.mirrors.push_back(args[++i]);
    } else if (args[i] == "--sign" && valued && options.keyFile.empty()) {
      options.keyFile = args[++i];
    } else if (args[i] == "--endorsement" && valued && options.endorsementFile.empty()) {
      options.endorsementFile = args[++i];
    } else if (args[i] == "--serial" && valued && !options.serialGiven) {
      options.serialGiven = true;
      if (!parseSerial(args[++i], options.serial)) return error = "--serial takes a decimal number", false;
    } else if (args[i] == "--expires" && valued && !options.expiresGiven) {
      options.expiresGiven = true;
      // "never": the version 1 signature file, for clients that do not read expiries.
      if (args[++i] == "never")
        lifetime = 0;
      else if (!parseDuration(args[i], lifetime))
        return error = "--expires takes a number with s, m, h or d (7d), or never", false;
    } else if (options.folder.empty() && args[i].compare(0, 2, "--") != 0) {
      options.folder = args[i];
    } else {
      return error = "unknown or repeated option " + args[i], false;
    }
  }
  if (options.folder.empty()) return error = "no folder", false;
  if (options.keyFile.empty() &&
      (options.serialGiven || options.expiresGiven || !options.endorsementFile.empty()))
    return error = "--serial, --expires and --endorsement need --sign", false;
  // Clients take a list without expiry only from the root.
  if (!options.endorsementFile.empty() && lifetime == 0)
    return error = "--expires never is for the root key, not for an endorsed one", false;
  const uint64_t now = secondsNow();
  if (!options.serialGiven) options.serial = now;
  options.expires = lifetime ? now + lifetime : 0;
  return true;
}

void publishEndorsement(const std::string& folder, const std::string& file, const updater::SigningKey& key) {
  std::string text, body, signature, error;
  updater::Endorsement endorsement;
  if (!updater::readWhole(file, text)) throw std::runtime_error("cannot read " + file);
  if (!updater::parseEndorsement(text, endorsement, body, signature, error))
    throw std::runtime_error(file + ": " + error);
  if (endorsement.key != key.publicKey()) throw std::runtime_error(file + " endorses another key");
  writeFileReplacing(folder + "/" + updater::endorsementName, text);
}

}  // namespace vornaskctl
