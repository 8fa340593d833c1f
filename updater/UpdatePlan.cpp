#include "updater/UpdatePlan.h"

#include "updater/FileCheck.h"
#include "updater/FileList.h"
#include "updater/StartRecord.h"

#include "support/Text.h"

#include <openssl/sha.h>
#include <strings.h>
#include <algorithm>
#include <atomic>
#include <boost/filesystem/operations.hpp>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace updater {

const char* const clientListName = "download/vornask.exe";

namespace {

const char* const defaultWebHost = "vornask.ondrel.ru";

bool reservedName(const std::string& name) {
  return name == "version" || name == "vclient" || name == "lang_ru.txt";
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

}  // namespace

namespace {

struct Candidate {
  UpdateEntry entry;
  std::string compared;  // the local file the list's size and crc apply to
  bool current = false;
  bool stamped = false;  // `stamp` was taken before the file was read
  platform::ChangeStamp stamp;
};

// Small files that the record never vouches for.
bool alwaysSummed(const Candidate& c) {
  return c.entry.client || c.compared == "flash.cab";
}

// Checks the candidates' local files, spreading them over a few threads.
void checkAll(std::vector<Candidate>& candidates, size_t begin, size_t end, const PlanOptions& options) {
  const auto check = [&options](Candidate& c) {
    const UpdateEntry& e = c.entry;
    if (options.record && !alwaysSummed(c)) {
      c.stamped = platform::changeStamp(c.compared, c.stamp);
      if (c.stamped && options.record->unchanged(c.compared, e.size, e.crc, c.stamp)) return true;
    }
    return options.check ? options.check(c.compared, e.size, e.crc) : checkFile(c.compared, e.size, e.crc);
  };
  const size_t count = end - begin;
  const size_t threads =
      std::min<size_t>({std::max(1u, std::thread::hardware_concurrency()), 4, count / 8 + 1});
  std::atomic<size_t> next{begin};
  const auto work = [&] {
    for (size_t i; (i = next++) < end;) candidates[i].current = check(candidates[i]);
  };
  std::vector<std::thread> helpers;
  // A custom check may not be thread-safe: it runs on this thread only.
  for (size_t t = 1; t < threads && !options.check; ++t) helpers.emplace_back(work);
  work();
  for (auto& helper : helpers) helper.join();
}

}  // namespace

std::vector<UpdateEntry> buildPlan(const std::string& body, const PlanOptions& options) {
  std::vector<Candidate> candidates;
  size_t client = std::string::npos;  // the client entry's candidate, when listed
  for (const std::string& line : splitLines(body)) {
    ListLine parsed;
    if (!parseListLine(line, parsed)) continue;
    if (reservedName(parsed.name) || parsed.size == 0 || !isSafeListName(parsed.name)) continue;
    if (options.noDownload) continue;

    Candidate c;
    UpdateEntry& entry = c.entry;
    if (parsed.name == clientListName) {
      entry.client = true;
      c.compared = options.executableFolder + "/" + options.executableName;
      entry.target = "new." + options.executableName;
    } else if (parsed.name == "download/flash.cab") {
      c.compared = entry.target = "flash.cab";
    } else {
      c.compared = entry.target = parsed.name;
    }
    entry.name = parsed.name;
    entry.size = parsed.size;
    entry.crc = parsed.crc;
    entry.sound = parsed.name.compare(0, 6, "music/") == 0;
    const bool isClient = entry.client;
    candidates.push_back(std::move(c));
    // Lines after the client entry are read only when the client is current.
    if (isClient && !options.noClientUpdate) {
      client = candidates.size() - 1;
      checkAll(candidates, client, client + 1, options);
      if (!candidates[client].current) break;
      client = std::string::npos;
    }
  }
  if (client != std::string::npos) {
    // The changed client goes alone.
    const UpdateEntry& entry = candidates[client].entry;
    if (options.terminateLeftover) {
      boost::system::error_code ec;
      const auto cwd = boost::filesystem::current_path(ec);
      options.terminateLeftover((cwd / entry.target).string());
    }
    return {entry};
  }
  const int64_t checkedAt = platform::wallClockNs();
  checkAll(candidates, 0, candidates.size(), options);
  if (options.record && !options.noDownload) {
    options.record->clear();
    for (const Candidate& c : candidates)
      if (c.current && c.stamped) options.record->note(c.compared, c.stamp, c.entry.crc, checkedAt);
  }

  std::vector<UpdateEntry> plan;
  for (const Candidate& c : candidates)
    if (!c.current && !c.entry.client) plan.push_back(c.entry);
  return plan;
}

uint64_t updateSize(const std::vector<UpdateEntry>& plan, bool withSounds) {
  uint64_t total = 0;
  for (const UpdateEntry& entry : plan)
    if (withSounds || !entry.sound) total += entry.size;
  return total;
}

std::string sizeText(uint64_t bytes) {
  // to_chars ignores the locale (the GTK back end sets it from the environment).
  char text[64];
  const auto oneDecimal = [&text](double value) {
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr);
  };
  if (bytes > 131072) return oneDecimal(static_cast<double>(bytes) / 1048576.0) + "Мб.";
  if (bytes > 2048) return oneDecimal(static_cast<double>(bytes) / 1024.0) + "Кб.";
  return std::to_string(bytes) + "б.";
}

std::string temporaryPath(const UpdateEntry& entry) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(entry.name.data()), entry.name.size(), digest);
  return "download/" + mstd::hexBytes(digest, sizeof digest) + "." + hex(entry.crc) + ".tmp";
}

std::string webHost() {
  const char* host = std::getenv("VORNASK_WEB_HOST");
  return host && *host ? host : defaultWebHost;
}

std::string baseUrl(bool debug, const std::string& user, const std::string& password) {
  std::string host = webHost(), scheme = "http://";
  for (const char* prefix : {"https://", "http://"}) {
    const size_t n = std::strlen(prefix);
    if (host.size() >= n && ::strncasecmp(host.c_str(), prefix, n) == 0) {
      scheme = prefix;
      host.erase(0, n);
      break;
    }
  }
  while (!host.empty() && host.back() == '/') host.pop_back();
  if (debug) return scheme + user + ":" + password + "@" + host + "/vuvero/";
  return scheme + host + "/";
}

std::string fileUrl(const std::string& base, const std::string& name) {
  // Controls, space and the delimiters are encoded; bytes from 0x80 are kept as they are.
  return base + mstd::percentEncode(name, [](unsigned char byte) {
           return byte > 0x20 && byte != 0x7F &&
                  std::string_view("\"#%<>?\\^`{|}").find(char(byte)) == std::string_view::npos;
         });
}

std::string fileListUrl(const std::string& base, uint32_t tick) {
  return base + "library/crc.txt?" + std::to_string(tick);
}

uint32_t tickCount() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace updater
