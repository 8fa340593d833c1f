#pragma once

namespace shell {

// The client version, as the user agent and the movie's "client" reply carry it.
extern const char* const clientVersion;

}  // namespace shell
