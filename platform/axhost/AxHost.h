#pragma once

#include "platform/com/Com.h"
#include "platform/ui/Types.h"

namespace platform::ax {

// Puts `control` into the host control `host` (a ControlClass::Host child):
// the control's IControlAttach receives the host's native container and size,
// then every later size of the host; the reference taken here is released when
// the host is destroyed. A control without that interface fails to attach
// (E_NOINTERFACE); so does one whose Attach fails.
com::HRESULT attachControl(com::IUnknown* control, ui::WindowHandle host);

}  // namespace platform::ax
