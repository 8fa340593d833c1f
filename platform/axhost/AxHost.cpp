#include "platform/axhost/AxHost.h"

#include <memory>

#include "platform/ui/Window.h"

namespace platform::ax {
namespace {

// The host's reference to the attached control.
class Attached {
 public:
  explicit Attached(com::IControlAttach* control) : control_(control) {}
  ~Attached() { release(); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;

  void resize(const ui::Rect& r) {
    if (control_) control_->SetExtent(r.width(), r.height());
  }
  void release() {
    if (com::IControlAttach* c = control_) {
      control_ = nullptr;
      c->Release();
    }
  }

 private:
  com::IControlAttach* control_;
};

}  // namespace

com::HRESULT attachControl(com::IUnknown* control, ui::WindowHandle host) {
  if (!control || !ui::isWindow(host)) return com::E_INVALIDARG;
  void* p = nullptr;
  const com::HRESULT found = control->QueryInterface(com::IID_IControlAttach, &p);
  if (com::FAILED(found) || !p) return com::FAILED(found) ? found : com::E_NOINTERFACE;
  auto attached = std::make_shared<Attached>(static_cast<com::IControlAttach*>(p));
  const ui::Rect r = ui::windowRect(host);
  const com::HRESULT hr =
      static_cast<com::IControlAttach*>(p)->Attach(ui::nativeHostWidget(host), r.width(), r.height());
  if (com::FAILED(hr)) return hr;
  ui::setControlHandler(host, [attached](ui::WindowHandle h, unsigned msg, ui::WParam, ui::LParam) {
    if (msg == ui::WmSize) attached->resize(ui::windowRect(h));
    if (msg == ui::WmDestroy) attached->release();
    return ui::LResult{0};
  });
  return com::S_OK;
}

}  // namespace platform::ax
