#pragma once

typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitWebView WebKitWebView;

namespace player {

struct PageFiles;

// The one web context of the process, made on first use and kept: an ephemeral
// data store, the page scheme, the smallest cache model.
WebKitWebContext* sharedWebContext();

// Ties the files a view's page may load to the view for as long as it lives.
void setPageFiles(WebKitWebView* view, const PageFiles& files);

}  // namespace player
