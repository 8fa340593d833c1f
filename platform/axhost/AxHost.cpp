#include "platform/axhost/AxHost.h"

#include <memory>

#include "platform/com/ComPtr.h"
#include "platform/ui/Window.h"

namespace platform::ax {

com::HRESULT attachControl(com::IUnknown* control, ui::WindowHandle host) {
  if (!control || !ui::isWindow(host)) return com::E_INVALIDARG;
  auto attached = std::make_shared<com::ComPtr<com::IControlAttach>>();
  const com::HRESULT found = control->QueryInterface(com::IID_IControlAttach, attached->out());
  if (com::FAILED(found)) {
    attached->detach();  // a failed call's value is not used
    return found;
  }
  if (!*attached) return com::E_NOINTERFACE;
  const ui::Rect r = ui::windowRect(host);
  const com::HRESULT hr = (*attached)->Attach(ui::nativeHostWidget(host), r.width(), r.height());
  if (com::FAILED(hr)) return hr;
  // The host holds the reference until it goes.
  ui::setControlHandler(host, [attached](ui::WindowHandle h, unsigned msg, ui::WParam, ui::LParam) {
    if (msg == ui::WmSize && *attached) {
      const ui::Rect size = ui::windowRect(h);
      (*attached)->SetExtent(size.width(), size.height());
    }
    if (msg == ui::WmDestroy) attached->reset();
    return ui::LResult{0};
  });
  return com::S_OK;
}

}  // namespace platform::ax
