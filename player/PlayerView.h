#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;

namespace player {

// The web view that plays a movie with Ruffle: the page, its files and the
// exchange of ExternalInterface calls. Lives on the GTK main thread.
class PlayerView {
 public:
  // Called with the request XML of each ExternalInterface call of the movie, in order.
  using CallHandler = std::function<void(const std::u16string& request)>;

  PlayerView(std::string libraryFolder, CallHandler onCall);
  ~PlayerView();  // ends the view and its page
  PlayerView(const PlayerView&) = delete;
  PlayerView& operator=(const PlayerView&) = delete;

  // Puts the view into `fixed` (a GtkFixed) at its origin with this size.
  void attach(GtkWidget* fixed, int width, int height);
  void setExtent(int width, int height);

  // Plays the SWF file at `movieUrl` (a path, with an optional
  // "?NAME=VALUE&…" query of flashvars after its file name, as splitMovieUrl
  // reads it); sockets go to `proxyPrefix` + port when it is not empty. A
  // page already up plays it in place of its movie; else the page loads.
  void load(const std::string& movieUrl, const std::string& proxyPrefix, const std::string& wmode,
            const std::vector<std::uint16_t>& socketPorts = {});

  // Ends the movie and takes the view out of its parent; the page stays up,
  // so a later load plays at once.
  void park();
  void setCallHandler(CallHandler onCall);
  // False once the view was destroyed with the window it was in.
  bool reusable() const;
  const std::string& libraryFolder() const;

  // Hands a request XML to the movie's callback; kept until the page runs.
  // Past 1 MiB or 64 levels, or with 256 calls already waiting for the page,
  // the call is dropped with a WRN record.
  void callMovie(const std::u16string& request);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace player
