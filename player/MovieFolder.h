#pragma once

#include <string>

namespace player {

// The folder of a movie as the page sees it: a percent-encoded path below the
// folder maps to a regular file inside it, or to nothing. "..", ".", absolute
// paths, NUL bytes and symbolic links that lead out of the folder are refused.
class MovieFolder {
 public:
  MovieFolder() = default;
  explicit MovieFolder(const std::string& folder);

  // The real path of the file, empty when refused or missing.
  std::string resolve(const std::string& encodedPath) const;

  const std::string& root() const { return root_; }

 private:
  std::string root_;  // real path, no trailing slash; empty when the folder is missing
};

// A movie URL "PATH?QUERY" split into the path and the query of flashvars.
// The query is what follows the first "?" after the path's last "/": a "?"
// in the folders is the path's own, as the host's flashvars hold no "/".
struct MovieUrl {
  std::string path, query;
};
MovieUrl splitMovieUrl(const std::string& url);

// Percent-decodes `text`; false for a malformed escape or an encoded NUL.
bool percentDecode(const std::string& text, std::string& out);

// Content type served for a file name.
const char* contentTypeOf(const std::string& name);

}  // namespace player
