#include "player/WebContext.h"

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

#include "player/PageFiles.h"
#include "player/PlayerLog.h"
#include "player/SavedData.h"
#include "player/WebSandbox.h"

namespace player {
namespace {

constexpr const char* filesKey = "vornask-page-files";

bool playerFileName(const std::string& name) {
  const bool known = name.rfind("flash-player.", 0) == 0 || name.rfind("ruffle.", 0) == 0 ||
                     name.rfind("core.ruffle.", 0) == 0 ||
                     name.find('.') == 20;  // Ruffle's hashed .wasm names
  const auto ends = [&](const char* s) {
    const std::string suffix(s);
    return name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  return known && name.find('/') == std::string::npos && (ends(".html") || ends(".js") || ends(".wasm"));
}

void finish(WebKitURISchemeRequest* request, GInputStream* body, gint64 length, int status,
            const char* type) {
  GInputStream* empty = nullptr;
  if (!body) body = empty = g_memory_input_stream_new();
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(body, body == empty ? 0 : length);
  webkit_uri_scheme_response_set_status(response, status, nullptr);
  webkit_uri_scheme_response_set_content_type(response, type);
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  // Also as a header: a fetch() response shows only headers, and wasm compiles
  // while it arrives only when its response says application/wasm.
  soup_message_headers_append(headers, "Content-Type", type);
  soup_message_headers_append(headers, "Access-Control-Allow-Origin", pageOrigin);
  soup_message_headers_append(headers, "Cache-Control", "no-store");
  webkit_uri_scheme_response_set_http_headers(response, headers);  // takes the headers
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
  if (empty) g_object_unref(empty);
}

void finishWithFile(WebKitURISchemeRequest* request, const std::string& path) {
  GFile* file = path.empty() ? nullptr : g_file_new_for_path(path.c_str());
  GFileInputStream* stream = file ? g_file_read(file, nullptr, nullptr) : nullptr;
  GFileInfo* info =
      stream ? g_file_input_stream_query_info(stream, G_FILE_ATTRIBUTE_STANDARD_SIZE, nullptr, nullptr)
             : nullptr;
  if (info)
    finish(request, G_INPUT_STREAM(stream), g_file_info_get_size(info), 200, contentTypeOf(path));
  else
    finish(request, nullptr, 0, 404, "text/plain");
  if (info) g_object_unref(info);
  if (stream) g_object_unref(stream);
  if (file) g_object_unref(file);
}

void finishWithText(WebKitURISchemeRequest* request, const std::string& text, const char* type) {
  GBytes* bytes = g_bytes_new(text.data(), text.size());
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  finish(request, stream, static_cast<gint64>(text.size()), 200, type);
  g_object_unref(stream);
  g_bytes_unref(bytes);
}

void serve(WebKitURISchemeRequest* request, gpointer) {
  WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
  const auto* files =
      view ? static_cast<const PageFiles*>(g_object_get_data(G_OBJECT(view), filesKey)) : nullptr;
  const char* hostPath = webkit_uri_scheme_request_get_uri(request);
  const std::string prefix = std::string(pageOrigin) + "/";
  std::string path = hostPath ? hostPath : "";
  if (!files || path.compare(0, prefix.size(), prefix) != 0)
    return finish(request, nullptr, 0, 404, "text/plain");
  path.erase(0, prefix.size());
  path = path.substr(0, path.find_first_of("?#"));
  if (path == "player/config.json") return finishWithText(request, files->config, "application/json");
  if (path.rfind("player/", 0) == 0) {
    const std::string name = path.substr(7);
    return finishWithFile(request, playerFileName(name) ? files->libraryFolder + "/" + name : std::string());
  }
  if (path.rfind("movie/", 0) == 0) return finishWithFile(request, files->movie.resolve(path.substr(6)));
  finish(request, nullptr, 0, 404, "text/plain");
}

// WebKit's sandbox, before the first web process, when it can start; else an
// ERR record names the cause and the web process runs without it.
void enableSandbox(WebKitWebContext* context) {
  const std::string obstacle = webSandboxObstacle();
  if (!obstacle.empty()) {
    logRecord(mlog::Level::Error, "the movie's web process runs without its sandbox: " + obstacle);
    return;
  }
  // Every file the page needs comes through the page scheme: no path is added.
  webkit_web_context_set_sandbox_enabled(context, TRUE);
}

// Storage each origin may fill (IndexedDB and the like); WebKit bounds local
// storage, where Ruffle keeps shared objects, to 5 MB of its own. A movie past
// either gets a failed SharedObject.flush.
constexpr double originQuotaBytes = 64.0 * 1024 * 1024;

// The movies' saved data persists in the user's data folder, damaged stores
// set aside; cache and cookies stay in memory. Without a usable folder the
// data lives as long as the process.
WebKitWebsiteDataManager* dataManager() {
  const std::string folder = savedDataFolder();
  std::vector<SetAside> damaged;
  if (!prepareSavedData(folder, damaged)) {
    logRecord(mlog::Level::Warning,
              "the movies' saved data is kept only until the client ends: cannot use \"" + folder + "\"");
    return webkit_website_data_manager_new_ephemeral();
  }
  for (const SetAside& store : damaged)
    logRecord(mlog::Level::Warning, "a damaged store of the movies' saved data is set aside: \"" +
                                        store.from + "\" -> \"" +
                                        (store.to.empty() ? "(removed)" : store.to) + "\"");
  const std::string cache = folder + "/cache";
  return webkit_website_data_manager_new("base-data-directory", folder.c_str(), "base-cache-directory",
                                         cache.c_str(), "origin-storage-ratio",
                                         volumeShare(folder, originQuotaBytes), nullptr);
}

}  // namespace

WebKitWebContext* sharedWebContext() {
  static WebKitWebContext* const context = [] {
    WebKitWebsiteDataManager* data = dataManager();
    WebKitWebContext* c = webkit_web_context_new_with_website_data_manager(data);
    g_object_unref(data);
    enableSandbox(c);
    webkit_web_context_set_cache_model(c, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    // ruffle.js fails on the language tag WebKit reports under the C locale.
    const gchar* languages[] = {"en-US", nullptr};
    webkit_web_context_set_preferred_languages(c, languages);
    webkit_web_context_register_uri_scheme(c, pageScheme, serve, nullptr, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(c);
    webkit_security_manager_register_uri_scheme_as_secure(security, pageScheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, pageScheme);
    return c;
  }();
  return context;
}

void setPageFiles(WebKitWebView* view, const PageFiles& files) {
  g_object_set_data_full(G_OBJECT(view), filesKey, new PageFiles(files),
                         [](gpointer p) { delete static_cast<PageFiles*>(p); });
}

}  // namespace player
