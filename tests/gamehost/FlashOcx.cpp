// The tests' control library, built as "flash.ocx". Environment:
// VORNASK_TEST_CONTROL_LOG: file the calls are appended to, one line each;
// VORNASK_TEST_CONTROL_CALLS: file of FlashCall requests (one a line) fired while LoadMovie runs;
// VORNASK_TEST_CONTROL_NO_ATTACH: the control has no attach interface.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "support/Text.h"
#include "tests/gamehost/TestControl.h"

namespace com = platform::com;

namespace {

void appendLine(const std::string& line) {
  const char* path = std::getenv("VORNASK_TEST_CONTROL_LOG");
  if (!path) return;
  if (std::FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::vector<std::u16string> callsOnLoad() {
  std::vector<std::u16string> calls;
  if (const char* path = std::getenv("VORNASK_TEST_CONTROL_CALLS")) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) calls.push_back(mstd::utf8ToUtf16(line, mstd::Malformed::Bridge));
  }
  return calls;
}

// A border of 4 pixels in pure green around the control's extent; the inside is left
// to what lies below.
gboolean drawBorder(GtkWidget* widget, cairo_t* cr, gpointer) {
  const int w = gtk_widget_get_allocated_width(widget), h = gtk_widget_get_allocated_height(widget);
  cairo_set_source_rgb(cr, 0, 1, 0);
  cairo_set_line_width(cr, 8);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_stroke(cr);
  return FALSE;
}

void* addChild(void* parent, int width, int height) {
  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, width, height);
  g_signal_connect(area, "draw", G_CALLBACK(drawBorder), nullptr);
  gtk_fixed_put(GTK_FIXED(parent), area, 0, 0);
  gtk_widget_show(area);
  return area;
}

void resizeChild(void* child, int width, int height) {
  gtk_widget_set_size_request(GTK_WIDGET(child), width, height);
}

class Factory : public com::IClassFactory {
 public:
  com::HRESULT QueryInterface(com::REFIID riid, void** object) override {
    if (riid != com::IID_IUnknown && riid != com::IID_IClassFactory) return com::E_NOINTERFACE;
    *object = this;
    return com::S_OK;
  }
  com::ULONG AddRef() override { return 2; }
  com::ULONG Release() override {
    appendLine("factory Release");
    return 1;
  }
  com::HRESULT CreateInstance(com::IUnknown* outer, com::REFIID riid, void** object) override {
    appendLine("CreateInstance");
    if (outer) return com::CLASS_E_NOAGGREGATION;
    vtest::TestControl::Options options;
    options.log = appendLine;
    options.attachable = std::getenv("VORNASK_TEST_CONTROL_NO_ATTACH") == nullptr;
    options.callsOnLoad = callsOnLoad();
    options.addChild = addChild;
    options.resizeChild = resizeChild;
    auto* control = new vtest::TestControl(options);
    const com::HRESULT hr = control->QueryInterface(riid, object);
    control->Release();
    return hr;
  }
  com::HRESULT LockServer(com::BOOL) override { return com::S_OK; }
};

Factory factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) com::HRESULT DllGetClassObject(com::REFCLSID clsid,
                                                                                 com::REFIID riid,
                                                                                 void** object) {
  appendLine("DllGetClassObject");
  if (!object) return com::E_POINTER;
  *object = nullptr;
  if (clsid != com::CLSID_ShockwaveFlash) return com::CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(riid, object);
}
