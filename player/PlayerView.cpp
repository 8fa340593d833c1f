#include "player/PlayerView.h"

#include <webkit2/webkit2.h>

#include <vector>

#include "player/PageFiles.h"
#include "player/PageMessages.h"
#include "player/PlayerLog.h"
#include "player/WebContext.h"
#include "support/MarkupBounds.h"
#include "support/Text.h"

namespace player {
namespace {

constexpr const char* channel = "vornask";

// Calls into the movie waiting for the page or still running in it. A game
// makes a handful; a movie that provokes replies in a loop must not queue
// them without end.
constexpr std::size_t maxQueuedCalls = 256;

std::string jsonPorts(const std::vector<std::uint16_t>& ports) {
  std::string out = "[";
  for (std::uint16_t port : ports) out += (out.size() > 1 ? "," : "") + std::to_string(port);
  return out + "]";
}

// A movie URL's query (flashvars) kept readable for URLSearchParams in the page.
bool keptInQuery(unsigned char c) {
  return mstd::unreservedByte(c) || c == '=' || c == '&' || c == '%' || c == '+';
}

std::string lettersOnly(const std::string& text) {
  std::string out;
  for (char c : text)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) out += c;
  return out;
}

WebKitSettings* playerSettings() {
  return webkit_settings_new_with_settings(
      "enable-developer-extras", FALSE, "enable-page-cache", FALSE, "enable-dns-prefetching", FALSE,
      "enable-smooth-scrolling", FALSE, "enable-media-stream", FALSE, "enable-webrtc", FALSE,
      "javascript-can-open-windows-automatically", FALSE, "enable-write-console-messages-to-stdout", FALSE,
      "media-playback-requires-user-gesture", FALSE, "enable-back-forward-navigation-gestures", FALSE,
      "enable-spatial-navigation", FALSE, "enable-site-specific-quirks", FALSE, "enable-fullscreen", TRUE,
      "hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER, nullptr);
}

}  // namespace

struct PlayerView::Impl {
  std::string libraryFolder;
  CallHandler onCall;
  WebKitUserContentManager* content = nullptr;
  GtkWidget* view = nullptr;
  bool ready = false;
  bool destroyed = false;  // with the window it was in: its page is gone
  // A movie was asked to make way: its calls still on the way are dropped until the page says it stopped.
  bool stopping = false;
  std::vector<std::string> pending;
  // Scripts handed to the page and not finished yet; shared with their callbacks.
  std::shared_ptr<std::size_t> running = std::make_shared<std::size_t>(0);
  std::string page;  // the page of the current movie, empty before the first load
  int restarts = 0;  // of the current movie after its web process ended

  void message(const std::string& text) {
    PageMessage kind;
    std::string body;
    if (!parsePageMessage(text, kind, body)) return;
    switch (kind) {
      case PageMessage::Call:
        if (stopping) break;
        if (!mstd::markupWithinBounds(std::string_view(body))) {
          logRecord(mlog::Level::Warning, "a call of the movie past 1 MiB or 64 levels is dropped");
          break;
        }
        onCall(mstd::utf8ToUtf16(body, mstd::Malformed::Replace));  // may end this object: nothing after it
        break;
      case PageMessage::Ready:
        ready = true;
        for (const std::string& script : pending) run(script);
        pending.clear();
        break;
      case PageMessage::Error:
        logRecord(mlog::Level::Warning, body);
        break;
      case PageMessage::Stopped:
        stopping = false;
        break;
      case PageMessage::Failed:
        startAgain("player failed (" + body + ")");
        break;
    }
  }

  // The movie went with its page: the page starts again, a few times per
  // movie, so the game does not sit blank.
  void startAgain(const std::string& why) {
    ready = false;
    stopping = false;
    if (page.empty()) {  // no movie: a kept view's next load starts the page again
      logRecord(mlog::Level::Debug, "the " + why + " in a view without a movie");
      return;
    }
    if (restarts >= maxRestarts) {
      logRecord(mlog::Level::Error, "the movie's " + why + "; the movie stops");
      return;
    }
    ++restarts;
    logRecord(mlog::Level::Error, "the movie's " + why + "; the movie starts again");
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), page.c_str());
  }

  void run(const std::string& script) {
    ++*running;
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), script.data(),
                                        static_cast<gssize>(script.size()), nullptr, nullptr, nullptr, onRun,
                                        new std::shared_ptr<std::size_t>(running));
  }

  static void onRun(GObject* view, GAsyncResult* result, gpointer data) {
    auto* count = static_cast<std::shared_ptr<std::size_t>*>(data);
    --**count;
    delete count;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
    if (value) g_object_unref(value);
  }

  static void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) return;
    gchar* text = jsc_value_to_string(value);
    std::string copy(text ? text : "");
    g_free(text);
    static_cast<Impl*>(self)->message(copy);
  }

  // Only the player's own page is shown; links the movie opens go nowhere.
  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const std::string page = std::string(pageOrigin) + "/player/flash-player.html";
    if (uri && std::string(uri) == page) return FALSE;
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }

  // A web process that crashed or was ended takes the movie with it.
  static void onProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer self) {
    const char* why = reason == WEBKIT_WEB_PROCESS_CRASHED                 ? "crashed"
                      : reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "exceeded its memory limit"
                                                                           : "was ended";
    static_cast<Impl*>(self)->startAgain(std::string("web process ") + why);
  }

  static constexpr int maxRestarts = 3;

  static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                gpointer) {
    return TRUE;
  }
};

PlayerView::PlayerView(std::string libraryFolder, CallHandler onCall) : impl_(std::make_unique<Impl>()) {
  impl_->libraryFolder = std::move(libraryFolder);
  impl_->onCall = std::move(onCall);
  impl_->content = webkit_user_content_manager_new();
  g_signal_connect(impl_->content, "script-message-received::vornask", G_CALLBACK(Impl::onMessage),
                   impl_.get());
  webkit_user_content_manager_register_script_message_handler(impl_->content, channel);
  WebKitUserScript* names =
      webkit_user_script_new(pageMessagesScript().c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(impl_->content, names);
  webkit_user_script_unref(names);
  WebKitSettings* settings = playerSettings();
  // Sound from the movie's first frame, as a Flash Player gave it: no click first.
  WebKitWebsitePolicies* policies =
      webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
  impl_->view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", sharedWebContext(), "settings", settings,
                              "user-content-manager", impl_->content, "website-policies", policies, nullptr));
  g_object_unref(policies);
  g_object_unref(settings);
  g_object_ref_sink(impl_->view);
  gtk_widget_set_can_focus(impl_->view, TRUE);
  g_signal_connect(impl_->view, "decide-policy", G_CALLBACK(Impl::onDecidePolicy), nullptr);
  g_signal_connect(impl_->view, "context-menu", G_CALLBACK(Impl::onContextMenu), nullptr);
  g_signal_connect(impl_->view, "web-process-terminated", G_CALLBACK(Impl::onProcessEnded), impl_.get());
  g_signal_connect_swapped(impl_->view, "destroy", G_CALLBACK(+[](Impl* impl) { impl->destroyed = true; }),
                           impl_.get());
}

PlayerView::~PlayerView() {
  g_signal_handlers_disconnect_by_data(impl_->content, impl_.get());
  g_signal_handlers_disconnect_by_data(impl_->view, impl_.get());
  webkit_user_content_manager_unregister_script_message_handler(impl_->content, channel);
  gtk_widget_destroy(impl_->view);
  g_object_unref(impl_->view);
  g_object_unref(impl_->content);
}

void PlayerView::attach(GtkWidget* fixed, int width, int height) {
  if (GtkWidget* old = gtk_widget_get_parent(impl_->view))
    gtk_container_remove(GTK_CONTAINER(old), impl_->view);
  gtk_fixed_put(GTK_FIXED(fixed), impl_->view, 0, 0);
  setExtent(width, height);
  gtk_widget_show(impl_->view);
  gtk_widget_grab_focus(impl_->view);
}

void PlayerView::setExtent(int width, int height) {
  gtk_widget_set_size_request(impl_->view, width > 0 ? width : 1, height > 0 ? height : 1);
}

void PlayerView::load(const std::string& movieUrl, const std::string& proxyPrefix, const std::string& wmode,
                      const std::vector<std::uint16_t>& socketPorts) {
  const auto [moviePath, query] = splitMovieUrl(movieUrl);
  const std::size_t slash = moviePath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : moviePath.substr(0, slash);
  const std::string name = slash == std::string::npos ? moviePath : moviePath.substr(slash + 1);
  PageFiles files;
  files.libraryFolder = impl_->libraryFolder;
  files.movie = MovieFolder(folder);
  files.config = std::string("{\"movie\":\"") + pageOrigin + "/movie/" +
                 mstd::percentEncode(name, mstd::unreservedByte) + "\",\"base\":\"" + pageOrigin +
                 "/movie/\",\"proxy\":\"" + proxyPrefix + "\",\"wmode\":\"" + lettersOnly(wmode) +
                 "\",\"query\":\"" + mstd::percentEncode(query, keptInQuery) +
                 "\",\"ports\":" + jsonPorts(socketPorts) + "}";
  setPageFiles(WEBKIT_WEB_VIEW(impl_->view), files);
  impl_->pending.clear();
  impl_->restarts = 0;
  impl_->page = std::string(pageOrigin) + "/player/flash-player.html";
  if (impl_->ready) {
    impl_->stopping = true;
    impl_->run("vornaskLoad()");
  } else {
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(impl_->view), impl_->page.c_str());
  }
  gtk_widget_grab_focus(impl_->view);
}

void PlayerView::park() {
  if (impl_->ready) {
    impl_->stopping = true;
    impl_->run("vornaskStop()");
  }
  impl_->pending.clear();
  impl_->page.clear();  // a web process that ends now is not started again
  impl_->onCall = [](const std::u16string&) {};
  if (GtkWidget* parent = gtk_widget_get_parent(impl_->view))
    gtk_container_remove(GTK_CONTAINER(parent), impl_->view);
}

bool PlayerView::reusable() const {
  return !impl_->destroyed;
}

const std::string& PlayerView::libraryFolder() const {
  return impl_->libraryFolder;
}

void PlayerView::setCallHandler(CallHandler onCall) {
  impl_->onCall = std::move(onCall);
}

void PlayerView::callMovie(const std::u16string& request) {
  if (!mstd::markupWithinBounds(std::u16string_view(request))) {
    logRecord(mlog::Level::Warning, "a call into the movie past 1 MiB or 64 levels is dropped");
    return;
  }
  if (impl_->pending.size() + *impl_->running >= maxQueuedCalls) {
    logRecord(mlog::Level::Warning,
              "a call into the movie is dropped: " + std::to_string(maxQueuedCalls) + " are waiting");
    return;
  }
  std::string script = "vornaskCallIn(" + mstd::jsStringLiteral(request) + ")";
  if (impl_->ready)
    impl_->run(script);
  else
    impl_->pending.push_back(std::move(script));
}

}  // namespace player
