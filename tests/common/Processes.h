#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vtest {

// One process as /proc shows it.
struct ProcessEntry {
  long pid = 0;
  long parent = 0;
  char state = '?';  // 'Z' for a zombie
  std::string name;  // the command name, at most 15 characters

  std::filesystem::path dir() const { return "/proc/" + std::to_string(pid); }
  // The target of one of its links ("exe", "cwd"); empty when it cannot be read.
  std::filesystem::path link(const char* which) const;
};

// Every process that could be read at the moment of the walk.
std::vector<ProcessEntry> processes();

// The live (not zombie) processes below `root`, however deep; a process named
// `pruned` is left out with all below it.
std::vector<ProcessEntry> descendantsOf(long root, const std::string& pruned = {});

// The CPU seconds, user and system, that process `pid` has used; 0 when it cannot be read.
double cpuSeconds(long pid);

// What each of this process's descriptors is open on ("?" when unreadable), by number;
// the walk's own descriptor is among them.
std::map<int, std::string> descriptorTargets();

// The threads of this process.
std::size_t threadCount();

// The threads of this process by id, with their names.
std::map<int, std::string> threadNames();

}  // namespace vtest
